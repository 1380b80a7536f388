#pragma once

#include "gateway/model_loading.h"
#include "gateway/signal_values.h"
#include "platform/workspace_paths.h"
#include "plot/chart_sources.h"
#include "plot/log_plot.h"

#include <QDialog>

#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

class QLabel;
class QLineEdit;
class QListWidget;
class QPushButton;
class QScrollArea;
class QTimer;

namespace vestrel::plot {

class ChartView;

// "Plot": the charts vestrel-cli plot writes, for a CAN log and the signals
// (or registers) ticked, of the open project. Zoomed in further than the
// whole log's columns show, the stretch in view is read again in detail.
// Saves what is in view as PNG or SVG; the status line says what went wrong.
class TFPlot : public QDialog {
    Q_OBJECT

public:
    explicit TFPlot(QWidget* parent = nullptr);
    ~TFPlot() override;

    // The folders to work in, set right before each showing.
    void SetPaths(const WorkspacePaths& paths) { paths_ = paths; }
    // Reads the project again and lists what it can chart.
    void FormShow();
    void BtLogClick();  // asks for the log, then draws
    void BtDrawClick();
    void BtSavePngClick();
    void BtSaveSvgClick();
    // Reads the stretch in view again in detail where the plot shown has
    // fewer columns there than the view has pixels; a moment after the
    // view stops moving, or at once from a test.
    void Refine();

    void SetLogPath(const std::string& path);

    // Asks for a log; a file dialog by default, tests answer it.
    std::function<std::optional<std::string>()> askLogPath;
    // Asks where to save: title, filter, suggested name; nothing on Cancel.
    std::function<std::optional<std::string>(const std::string&, const std::string&, const std::string&)> askSavePath;

    QListWidget* Charts() const { return LB_Charts; }
    ChartView* View() const { return view_; }
    QLabel* Status() const { return LbStatus; }
    QLineEdit* LogEdit() const { return E_Log; }

protected:
    void showEvent(QShowEvent* event) override;

private:
    std::vector<ChartSource> Ticked() const;
    std::optional<LogPlot> Read(std::optional<std::int64_t> from, std::optional<std::int64_t> to);
    void ViewMoved();
    std::vector<std::filesystem::path> Inputs() const;
    void Save(const std::string& title, const std::string& filter, const char* extension, bool png);

    WorkspacePaths paths_;
    std::unique_ptr<gateway::ProjectModel> loaded_;
    gateway::SignalValues signals_;
    std::vector<ChartSource> sources_;  // per row of the list
    Plot whole_;                        // the whole log at its resolution
    bool detailed_ = false;             // the view shows a stretch read in detail

    QLabel* LbProject;
    QLineEdit* E_Log;
    QPushButton* BtLog;
    QListWidget* LB_Charts;
    QScrollArea* SA_Charts;
    ChartView* view_;
    QLabel* LbStatus;
    QPushButton* BtDraw;
    QPushButton* BtSavePng;
    QPushButton* BtSaveSvg;
    QPushButton* BtClose;
    QTimer* refine_;
};

}  // namespace vestrel::plot
