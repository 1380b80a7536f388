#pragma once

#include "platform/workspace_paths.h"

#include "gateway/register_report.h"

#include <QDialog>

#include <functional>
#include <memory>
#include <optional>
#include <string>

class QLabel;
class QProgressDialog;
class QPushButton;
class QTextBrowser;

namespace vestrel {

class UserDialogs;
namespace plot {
class TFPlot;
}

// "Register map": the report of the open project, as vestrel-cli report
// writes it, with "Save as HTML" (that very page) and "Save as PDF" (the
// same document laid out on A4 pages, the frame pictures drawn from the same
// SVG). The PDF is made in the background, with its progress and Cancel; a
// project that does not compile shows the whole project check instead.
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
    // "Plot...": the project's signals or registers over a CAN log.
    void BtPlotClick();
    // Starts the PDF in the background; pdfDone says when it has ended.
    void BtSavePdfClick();
    // The progress window's Cancel: the PDF stops, nothing is written.
    void CancelPdf();
    bool SavingPdf() const;

    // Asks where to save: title, filter, suggested file name; nothing on
    // Cancel. A file dialog by default; tests answer it.
    std::function<std::optional<std::string>(const std::string&, const std::string&, const std::string&)> askSavePath;
    // Called in the PDF's thread at each step with the per cent done, before
    // the step's progress is shown; tests stop a run at a chosen step with it.
    std::function<void(int percent)> atPdfStep;

    QTextBrowser* Report() const { return TB_Report; }
    plot::TFPlot* PlotWindow() const { return plot_; }
    QProgressDialog* PdfProgress() const { return pdfProgress_; }
    const std::string& Html() const { return html_; }

    void done(int result) override;

signals:
    // The PDF was written, could not be written (its error shown), or was
    // cancelled (nothing written).
    void pdfDone();

protected:
    void showEvent(QShowEvent* event) override;

private:
    struct PdfJob;
    std::string SuggestedName(const char* extension) const;
    void FinishPdf(int number, std::optional<QByteArray> pdf, const std::string& error);
    void StopPdf();

    WorkspacePaths paths_;
    UserDialogs& dialogs_;
    gateway::ReportDocument document_;
    std::string html_;
    std::string name_;
    std::unique_ptr<PdfJob> pdf_;

    QTextBrowser* TB_Report;
    QPushButton* BtSaveHtml;
    QPushButton* BtSavePdf;
    QPushButton* BtPlot;
    QPushButton* BtClose;
    plot::TFPlot* plot_;
    QProgressDialog* pdfProgress_;
};

}  // namespace vestrel
