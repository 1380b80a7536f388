#pragma once

#include "gateway/model_loading.h"
#include "platform/workspace_paths.h"

#include "gateway/gateway_model.h"
#include "gateway/signal_values.h"

#include <QDialog>

#include <memory>

class QLabel;
class QLineEdit;
class QPlainTextEdit;
class QPushButton;

namespace vestrel {

namespace plot {
class TFPlot;
}

// "Preview": what the gateway does with frames, register values or physical
// values of imported signals the user types, from the open project as a
// compile would lay it into the banks. The result follows every keystroke;
// the text is the one vestrel-cli preview prints.
class TFPreview : public QDialog {
    Q_OBJECT

public:
    // The folders to work in; the main window sets them right before each
    // showing, so that they are always those of the open project.
    void SetPaths(const WorkspacePaths& paths) { paths_ = paths; }
    explicit TFPreview(QWidget* parent = nullptr);
    ~TFPreview() override;

    // Builds the model of the open project each time the window is shown.
    void FormShow();
    void E_FramesChange();
    void E_RegistersChange();
    // "Plot...": the project's signals or registers over a CAN log.
    void BtPlotClick();

    QLineEdit* FramesEdit() const { return E_Frames; }
    QLineEdit* RegistersEdit() const { return E_Registers; }
    QLineEdit* SignalsEdit() const { return E_Signals; }
    QPlainTextEdit* Result() const { return M_Result; }
    plot::TFPlot* PlotWindow() const { return plot_; }

protected:
    void showEvent(QShowEvent* event) override;

private:
    void ShowResult();
    const gateway::SignalValues* Signals() const { return signals_.Empty() ? nullptr : &signals_; }

    WorkspacePaths paths_;
    std::unique_ptr<gateway::ProjectModel> loaded_;
    gateway::SignalValues signals_;  // what the registers mean, where signals were imported
    std::string loadError_;

    QLabel* LbProject;
    QLineEdit* E_Frames;
    QLineEdit* E_Registers;
    QLineEdit* E_Signals;
    QPlainTextEdit* M_Result;
    QPushButton* BtPlot;
    QPushButton* BtClose;
    plot::TFPlot* plot_;
};

}  // namespace vestrel
