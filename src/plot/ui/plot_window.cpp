#include "plot/ui/plot_window.h"

#include "can/log_formats.h"
#include "platform/error.h"
#include "platform/file_util.h"
#include "platform/output_file.h"
#include "platform/printable_text.h"
#include "platform/qt/window_util.h"
#include "platform/text.h"
#include "plot/plot_svg.h"
#include "plot/ui/chart_list.h"
#include "plot/ui/chart_view.h"
#include "plot/ui/figure_painter.h"

#include <QBuffer>
#include <QFileDialog>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QScrollArea>
#include <QShowEvent>
#include <QSplitter>
#include <QTimer>
#include <QVBoxLayout>

#include <algorithm>

namespace vestrel::plot {

namespace {

// The whole log is kept in this many columns; a view with fewer of them
// across its width than it has pixels is read again.
constexpr std::size_t kColumns = 4096;
constexpr std::size_t kTickedAtFirst = 12;

QPushButton* Button(QWidget* parent, const char* name, const char* text) {
    auto* button = new QPushButton(text, parent);
    button->setObjectName(name);
    button->setAutoDefault(false);
    return button;
}

}  // namespace

TFPlot::TFPlot(QWidget* parent) : QDialog(parent) {
    setObjectName("TFPlot");
    setWindowTitle("Plot");
    LbProject = new QLabel(this);
    LbProject->setObjectName("LbProject");
    LbProject->setWordWrap(true);
    E_Log = new QLineEdit(this);
    E_Log->setObjectName("E_Log");
    E_Log->setPlaceholderText(QString::fromStdString("a CAN log: " + can::LogFormatsInWords()));
    BtLog = Button(this, "BtLog", "Log...");
    LB_Charts = new QListWidget(this);
    LB_Charts->setObjectName("LB_Charts");
    view_ = new ChartView;
    SA_Charts = new QScrollArea(this);
    SA_Charts->setObjectName("SA_Charts");
    SA_Charts->setWidgetResizable(true);
    SA_Charts->setWidget(view_);
    LbStatus = new QLabel(this);
    LbStatus->setObjectName("LbStatus");
    LbStatus->setWordWrap(true);
    LbStatus->setTextFormat(Qt::PlainText);
    BtDraw = Button(this, "BtDraw", "Draw");
    BtSavePng = Button(this, "BtSavePng", "Save as PNG...");
    BtSaveSvg = Button(this, "BtSaveSvg", "Save as SVG...");
    BtClose = Button(this, "BtClose", "Close");

    auto* log = new QHBoxLayout;
    log->addWidget(new QLabel("Log:", this));
    log->addWidget(E_Log, 1);
    log->addWidget(BtLog);
    auto* splitter = new QSplitter(this);
    splitter->addWidget(LB_Charts);
    splitter->addWidget(SA_Charts);
    splitter->setStretchFactor(1, 1);
    splitter->setSizes({220, 880});
    auto* buttons = new QHBoxLayout;
    buttons->addWidget(BtDraw);
    buttons->addWidget(BtSavePng);
    buttons->addWidget(BtSaveSvg);
    buttons->addWidget(new QLabel("Wheel: zoom, drag: pan, double click: the whole log", this));
    buttons->addStretch(1);
    buttons->addWidget(BtClose);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(LbProject);
    layout->addLayout(log);
    layout->addWidget(splitter, 1);
    layout->addWidget(LbStatus);
    layout->addLayout(buttons);
    resize(1180, 760);

    refine_ = new QTimer(this);
    refine_->setSingleShot(true);
    refine_->setInterval(300);
    askLogPath = [this]() -> std::optional<std::string> {
        const QString path = QFileDialog::getOpenFileName(
            this, "Plot a CAN log", E_Log->text(),
            QString::fromStdString("CAN logs (" + can::LogFilePatterns() + ");;All files (*)"));
        return path.isEmpty() ? std::nullopt : std::optional<std::string>(path.toStdString());
    };
    askSavePath = [this](const std::string& title, const std::string& filter, const std::string& suggested) {
        const QString path = QFileDialog::getSaveFileName(this, QString::fromStdString(title),
                                                          QString::fromStdString(suggested),
                                                          QString::fromStdString(filter));
        return path.isEmpty() ? std::nullopt : std::optional<std::string>(path.toStdString());
    };
    connect(BtLog, &QPushButton::clicked, this, [this] { BtLogClick(); });
    connect(BtDraw, &QPushButton::clicked, this, [this] { BtDrawClick(); });
    connect(E_Log, &QLineEdit::returnPressed, this, [this] { BtDrawClick(); });
    connect(BtSavePng, &QPushButton::clicked, this, [this] { BtSavePngClick(); });
    connect(BtSaveSvg, &QPushButton::clicked, this, [this] { BtSaveSvgClick(); });
    connect(BtClose, &QPushButton::clicked, this, &QDialog::accept);
    connect(view_, &ChartView::viewChanged, this, [this] { ViewMoved(); });
    connect(refine_, &QTimer::timeout, this, [this] { Refine(); });
}

TFPlot::~TFPlot() = default;

void TFPlot::showEvent(QShowEvent* event) {
    QDialog::showEvent(event);
    if (event->spontaneous()) return;
    FitToScreen(this);
    FormShow();
}

void TFPlot::FormShow() {
    LbProject->setText(QString::fromStdString("Project: " + PrintableText(paths_.projectDir, LineBreaks::OneLine)));
    LB_Charts->clear();
    sources_.clear();
    loaded_.reset();
    signals_ = {};
    try {
        loaded_ = std::make_unique<gateway::ProjectModel>(gateway::LoadProjectModel(paths_.projectDir));
        signals_ = gateway::LoadSignalValues(paths_.projectDir).signalValues;
    } catch (const std::exception& e) {
        LbStatus->setText(QString::fromStdString("The project cannot be compiled: " +
                                                 PrintableText(e.what(), LineBreaks::OneLine)));
        view_->SetPlot({});
        return;
    }
    const gateway::SignalValues* meanings = signals_.Empty() ? nullptr : &signals_;
    sources_ = DefaultSources(loaded_->model, meanings);
    ListCharts(*LB_Charts, loaded_->model, meanings, sources_, kTickedAtFirst);
    LbStatus->setText(meanings ? "Tick the signals to draw, choose a log and press Draw."
                              : "The project has no imported signals: its registers are drawn. Tick them, choose a "
                                "log and press Draw.");
    if (!E_Log->text().isEmpty()) BtDrawClick();
}

void TFPlot::SetLogPath(const std::string& path) { E_Log->setText(QString::fromStdString(path)); }

void TFPlot::BtLogClick() {
    const std::optional<std::string> path = askLogPath();
    if (!path) return;
    SetLogPath(*path);
    BtDrawClick();
}

std::vector<ChartSource> TFPlot::Ticked() const { return TickedCharts(*LB_Charts, sources_); }

std::optional<LogPlot> TFPlot::Read(std::optional<std::int64_t> from, std::optional<std::int64_t> to) {
    if (!loaded_) return std::nullopt;
    const std::string log = E_Log->text().toStdString();
    LogPlotOptions options;
    options.sources = Ticked();
    options.chosen = true;
    options.from = from;
    options.to = to;
    options.columns = kColumns;
    options.title = std::filesystem::path(paths_.projectDir).filename().string() + ": " +
                    std::filesystem::path(log).filename().string();
    try {
        return PlotLog(loaded_->model, signals_.Empty() ? nullptr : &signals_, log, options);
    } catch (const std::exception& e) {
        LbStatus->setText(QString::fromStdString(PrintableText(e.what(), LineBreaks::OneLine)));
        return std::nullopt;
    }
}

void TFPlot::BtDrawClick() {
    if (E_Log->text().isEmpty()) {
        LbStatus->setText("Choose a CAN log first.");
        return;
    }
    std::optional<LogPlot> plotted = Read(std::nullopt, std::nullopt);
    if (!plotted) return;
    const std::vector<std::string> summary = gateway::ReplaySummaryLines(loaded_->model, plotted->summary);
    std::string status = summary.empty() ? std::string() : summary.front();
    if (plotted->summary.frames == 0) status += "; no CAN frame could be read";
    if (Ticked().empty()) status += "; nothing is ticked to draw";
    LbStatus->setText(QString::fromStdString(PrintableText(status, LineBreaks::OneLine)));
    whole_ = std::move(plotted->plot);
    detailed_ = false;
    view_->SetPlot(whole_);
}

void TFPlot::ViewMoved() {
    // Out of the stretch read in detail: the whole log until it is read again.
    const Plot& shown = view_->Shown();
    if (detailed_ && (view_->From() < shown.time.from || view_->To() > shown.time.to)) {
        view_->SetPlot(whole_, true);
        detailed_ = false;
    }
    refine_->start();
}

void TFPlot::Refine() {
    refine_->stop();
    const std::int64_t from = view_->From(), to = view_->To(), span = to - from;
    const double pixels = view_->Picture().areas.empty() ? 1000 : view_->Picture().areas[0].w;
    if (static_cast<double>(span) / static_cast<double>(whole_.time.resolution) >= pixels) {
        if (detailed_) view_->SetPlot(whole_, true);
        detailed_ = false;
        return;
    }
    const Plot& shown = view_->Shown();
    if (detailed_ && static_cast<double>(span) / static_cast<double>(shown.time.resolution) >= pixels) return;
    // Half a view more on either side, so that a little panning reads nothing.
    std::optional<LogPlot> plotted =
        Read(std::max(whole_.time.from, from - span / 2), std::min(whole_.time.to, to + span / 2));
    if (!plotted) return;
    view_->SetPlot(std::move(plotted->plot), true);
    detailed_ = true;
}

std::vector<std::filesystem::path> TFPlot::Inputs() const {
    std::vector<std::filesystem::path> inputs = gateway::SourceFiles(paths_.projectDir);
    if (!E_Log->text().isEmpty()) inputs.emplace_back(E_Log->text().toStdString());
    return inputs;
}

void TFPlot::Save(const std::string& title, const std::string& filter, const char* extension, bool png) {
    const std::string name = std::filesystem::path(E_Log->text().toStdString()).stem().string();
    const std::optional<std::string> path = askSavePath(title, filter, (name.empty() ? "plot" : name) + extension);
    if (!path) return;
    try {
        RequireNotAnInput(*path, Inputs());
        const Figure& figure = view_->Picture().figure;
        if (png) {
            QByteArray bytes;
            QBuffer buffer(&bytes);
            buffer.open(QIODevice::WriteOnly);
            FigureImage(figure).save(&buffer, "PNG");
            WriteFileAtomic(*path, bytes.toStdString());
        } else {
            WriteFileAtomic(*path, FigureSvg(figure));
        }
    } catch (const std::exception& e) {
        LbStatus->setText(QString::fromStdString(PrintableText(e.what(), LineBreaks::OneLine)));
        return;
    }
    LbStatus->setText(QString::fromStdString("Saved " + PrintableText(*path, LineBreaks::OneLine)));
}

void TFPlot::BtSavePngClick() { Save("Save as PNG", "PNG picture (*.png)", ".png", true); }

void TFPlot::BtSaveSvgClick() { Save("Save as SVG", "SVG picture (*.svg)", ".svg", false); }

}  // namespace vestrel::plot
