#pragma once

#include "platform/workspace_paths.h"

#include "gateway/gateway_model.h"

#include <QDialog>

#include <functional>
#include <memory>
#include <optional>
#include <string>

class QLabel;
class QPushButton;
class QTextBrowser;

namespace vestrel {

class UserDialogs;

// "Register map": the report of the open project, as vestrel-cli report
// writes it, with "Save as HTML" (that very page) and "Save as PDF" (Qt's PDF
// writer, the frame pictures drawn from the same SVG).
class TFRegisterMap : public QDialog {
    Q_OBJECT

public:
    // The folders to work in; the main window sets them right before each
    // showing, so that they are always those of the open project.
    void SetPaths(const WorkspacePaths& paths) { paths_ = paths; }
    TFRegisterMap(UserDialogs& dialogs, QWidget* parent = nullptr);
    ~TFRegisterMap() override;

    void FormShow();
    void BtSaveHtmlClick();
    void BtSavePdfClick();

    // Asks where to save: title, filter, suggested file name; nothing on
    // Cancel. A file dialog by default; tests answer it.
    std::function<std::optional<std::string>(const std::string&, const std::string&, const std::string&)> askSavePath;

    QTextBrowser* Report() const { return TB_Report; }
    const std::string& Html() const { return html_; }

    // Writes the report as a PDF. Throws Error when the file cannot be written.
    void WritePdf(const std::string& path) const;

protected:
    void showEvent(QShowEvent* event) override;

private:
    std::string SuggestedName(const char* extension) const;

    WorkspacePaths paths_;
    UserDialogs& dialogs_;
    std::string html_;
    std::string name_;

    QTextBrowser* TB_Report;
    QPushButton* BtSaveHtml;
    QPushButton* BtSavePdf;
    QPushButton* BtClose;
};

}  // namespace vestrel
