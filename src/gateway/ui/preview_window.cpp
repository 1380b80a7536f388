#include "gateway/ui/preview_window.h"

#include "gateway/model_loading.h"
#include "platform/workspace_paths.h"
#include "gateway/model_examples.h"
#include "gateway/preview.h"
#include "platform/printable_text.h"
#include "platform/qt/window_util.h"
#include "plot/ui/plot_window.h"

#include <QFontDatabase>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QShowEvent>
#include <QVBoxLayout>

#include <limits>
#include <sstream>

namespace vestrel {

using namespace gateway;

TFPreview::TFPreview(QWidget* parent) : QDialog(parent) {
    setObjectName("TFPreview");
    setWindowTitle("Preview");
    LbProject = new QLabel(this);
    LbProject->setObjectName("LbProject");
    LbProject->setWordWrap(true);
    E_Frames = new QLineEdit(this);
    E_Frames->setObjectName("E_Frames");
    E_Frames->setPlaceholderText("181#1122334455667788 281#A1B2 (ID#DATA, ID#R for a remote frame)");
    // A pasted log holds thousands of frames: no cut at the line edit's
    // default of 32767 characters.
    E_Frames->setMaxLength(std::numeric_limits<int>::max());
    E_Registers = new QLineEdit(this);
    E_Registers->setObjectName("E_Registers");
    E_Registers->setPlaceholderText("100=0x1234,110=7");
    E_Registers->setMaxLength(std::numeric_limits<int>::max());
    E_Signals = new QLineEdit(this);
    E_Signals->setObjectName("E_Signals");
    E_Signals->setPlaceholderText("Target velocity=-1000, ControlWord=15 (imported transmit signals)");
    M_Result = new QPlainTextEdit(this);
    M_Result->setObjectName("M_Result");
    M_Result->setReadOnly(true);
    M_Result->setLineWrapMode(QPlainTextEdit::NoWrap);
    M_Result->setFont(QFontDatabase::systemFont(QFontDatabase::FixedFont));
    BtPlot = new QPushButton("Plot...", this);
    BtPlot->setObjectName("BtPlot");
    BtPlot->setAutoDefault(false);
    BtClose = new QPushButton("Close", this);
    BtClose->setObjectName("BtClose");
    BtClose->setAutoDefault(false);
    plot_ = new plot::TFPlot(this);

    auto* inputs = new QFormLayout;
    inputs->addRow("Received frames:", E_Frames);
    inputs->addRow("Register values:", E_Registers);
    inputs->addRow("Signal values:", E_Signals);
    auto* buttons = new QHBoxLayout;
    buttons->addWidget(BtPlot);
    buttons->addStretch(1);
    buttons->addWidget(BtClose);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(LbProject);
    layout->addLayout(inputs);
    layout->addWidget(M_Result, 1);
    layout->addLayout(buttons);
    resize(900, 520);

    connect(E_Frames, &QLineEdit::textChanged, this, [this] { E_FramesChange(); });
    connect(E_Registers, &QLineEdit::textChanged, this, [this] { E_RegistersChange(); });
    connect(E_Signals, &QLineEdit::textChanged, this, [this] { E_RegistersChange(); });
    connect(BtPlot, &QPushButton::clicked, this, [this] { BtPlotClick(); });
    connect(BtClose, &QPushButton::clicked, this, &QDialog::accept);
}

TFPreview::~TFPreview() = default;

void TFPreview::showEvent(QShowEvent* event) {
    if (!event->spontaneous()) FitToScreen(this);
    QDialog::showEvent(event);
    FormShow();
}

void TFPreview::FormShow() {
    loaded_.reset();
    signals_ = {};
    loadError_.clear();
    try {
        loaded_ = std::make_unique<ProjectModel>(LoadProjectModel(paths_.projectDir));
        signals_ = LoadSignalValues(paths_.projectDir).signalValues;
        // Placeholders of this project, never another's.
        E_Frames->setPlaceholderText(
            QString::fromStdString(ExampleFramesText(loaded_->model) + " (ID#DATA, ID#R for a remote frame)"));
        E_Registers->setPlaceholderText(QString::fromStdString(ExampleRegisterValuesText(loaded_->model)));
    } catch (const ProjectNotCompiled& e) {
        // Every problem at once, not only the first that stopped the compile.
        loadError_ = "The project cannot be compiled:";
        for (const Problem& problem : e.Problems()) loadError_ += "\n" + FormatProblem(problem);
        if (e.Problems().empty()) loadError_ += std::string(" ") + e.what();
    } catch (const std::exception& e) {
        loadError_ = "The project cannot be compiled: " + std::string(e.what());
    }
    LbProject->setText(QString::fromStdString("Project: " + PrintableText(paths_.projectDir, LineBreaks::OneLine)));
    ShowResult();
}

void TFPreview::BtPlotClick() {
    plot_->SetPaths(paths_);
    plot_->show();
    plot_->raise();
}

void TFPreview::E_FramesChange() { ShowResult(); }
void TFPreview::E_RegistersChange() { ShowResult(); }

void TFPreview::ShowResult() {
    if (!loaded_) {
        M_Result->setPlainText(QString::fromStdString(PrintableText(loadError_, LineBreaks::Keep)));
        return;
    }
    std::string text;
    for (const TypedFrame& typed : ReadTypedFrames(E_Frames->text().toStdString())) {
        if (typed.frame)
            text += PreviewFrameText(loaded_->model, typed.text, *typed.frame, Signals());
        else
            text += PrintableText(typed.text, LineBreaks::OneLine) + ": not a frame: " + typed.frame.Why() + "\n";
    }
    const std::string registers = E_Registers->text().trimmed().toStdString();
    const std::string typedSignals = E_Signals->text().trimmed().toStdString();
    if (!registers.empty() || !typedSignals.empty()) {
        std::vector<std::string> warnings;
        const auto values = TypedTransmitValues(registers, typedSignals, Signals(), warnings);
        if (values) {
            for (const std::string& warning : warnings) text += "warning: " + PrintableText(warning, LineBreaks::OneLine) + "\n";
            if (!typedSignals.empty()) {
                const auto given = TypedTransmitValues(registers, "", nullptr, warnings);
                const std::string set = SignalRegistersText(given ? *given : RegisterValues{}, *values);
                if (!set.empty()) text += PrintableText(set, LineBreaks::OneLine) + "\n";
            }
            text += PreviewTransmitText(loaded_->model, *values, Signals());
        } else {
            text += PrintableText(values.Why(), LineBreaks::OneLine) + "\n";
        }
    }
    if (text.empty())
        text = "Type received frames (181#1122334455667788), register values (100=0x1234,110=7) or physical values "
               "of imported transmit signals (Speed=1500).\n"
               "-- marks a half or byte that is not fed, ?? a value that is not known.\n";
    M_Result->setPlainText(QString::fromStdString(text));
}

}  // namespace vestrel
