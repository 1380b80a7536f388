#include "live/ui/bench_plot_page.h"

#include "live/qt/bench_session.h"
#include "live/qt/can_bus.h"
#include "live/ui/bench_widgets.h"
#include "plot/ui/chart_list.h"
#include "plot/ui/chart_view.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QListWidget>
#include <QScrollArea>
#include <QSpinBox>
#include <QSplitter>
#include <QTimer>
#include <QVBoxLayout>

namespace vestrel::live {

namespace {

constexpr std::size_t kTickedAtFirst = 6;
constexpr std::int64_t kMicrosPerSecond = 1000000;

}  // namespace

TFBenchPlotPage::TFBenchPlotPage(QWidget* parent) : QWidget(parent) {
    setObjectName("TFBenchPlotPage");
    LB_Charts = new QListWidget(this);
    LB_Charts->setObjectName("LB_Charts");
    SE_Seconds = new QSpinBox(this);
    SE_Seconds->setObjectName("SE_Seconds");
    SE_Seconds->setRange(2, 600);
    SE_Seconds->setValue(10);
    SE_Seconds->setSuffix(" s");
    view_ = new plot::ChartView;
    SA_Charts = new QScrollArea(this);
    SA_Charts->setObjectName("SA_Charts");
    SA_Charts->setWidgetResizable(true);
    SA_Charts->setWidget(view_);
    LbStatus = new QLabel(this);
    LbStatus->setObjectName("LbStatus");
    LbStatus->setWordWrap(true);

    auto* left = new QWidget(this);
    auto* leftLayout = new QVBoxLayout(left);
    leftLayout->setContentsMargins(0, 0, 0, 0);
    leftLayout->addWidget(LB_Charts, 1);
    auto* seconds = new QHBoxLayout;
    seconds->addWidget(new QLabel("The last", this));
    seconds->addWidget(SE_Seconds);
    leftLayout->addLayout(seconds);
    auto* splitter = new QSplitter(this);
    splitter->addWidget(left);
    splitter->addWidget(SA_Charts);
    splitter->setStretchFactor(1, 1);
    splitter->setSizes({200, 800});
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(splitter, 1);
    layout->addWidget(LbStatus);

    refresh_ = new QTimer(this);
    refresh_->setInterval(250);
    connect(refresh_, &QTimer::timeout, this, [this] {
        if (isVisible()) Refresh(NowMicros());
    });
    refresh_->start();
    connect(LB_Charts, &QListWidget::itemChanged, this, [this] { Restart(); });
    connect(SE_Seconds, &QSpinBox::valueChanged, this, [this] { Restart(); });
}

TFBenchPlotPage::~TFBenchPlotPage() = default;

void TFBenchPlotPage::SetSession(BenchSession* session) {
    if (session_) disconnect(session_, nullptr, this, nullptr);
    session_ = session;
    if (session_) {
        connect(session_, &BenchSession::framesFed, this,
                [this](const std::vector<TimedFrame>& frames) { OnFrames(frames); });
        connect(session_, &BenchSession::projectChanged, this, [this] { ProjectChanged(); });
    }
    ProjectChanged();
}

void TFBenchPlotPage::ProjectChanged() {
    live_.reset();
    sources_.clear();
    const QSignalBlocker blocker(LB_Charts);
    LB_Charts->clear();
    const gateway::GatewayModel* model = session_ ? session_->Model() : nullptr;
    if (model) {
        sources_ = plot::DefaultSources(*model, session_->Meanings());
        plot::ListCharts(*LB_Charts, *model, session_->Meanings(), sources_, kTickedAtFirst);
    }
    Restart();
}

void TFBenchPlotPage::Restart() {
    live_.reset();
    const gateway::GatewayModel* model = session_ ? session_->Model() : nullptr;
    if (!model) {
        view_->SetPlot({});
        ShowStatus(LbStatus, "Open a project to plot its signals.", false);
        return;
    }
    live_ = std::make_unique<plot::LivePlot>(*model, session_->Meanings(), plot::TickedCharts(*LB_Charts, sources_),
                                             SE_Seconds->value() * kMicrosPerSecond);
    ShowStatus(LbStatus,
               session_->Meanings() ? "Tick the signals to draw: what the frames heard and sent make of them."
                                    : "The project has no imported signals: its registers are drawn.",
               false);
    Refresh(NowMicros());
}

void TFBenchPlotPage::OnFrames(const std::vector<TimedFrame>& frames) {
    if (!live_) return;
    for (const TimedFrame& timed : frames) live_->Feed(timed.frame, timed.time);
}

void TFBenchPlotPage::Refresh(std::int64_t now) {
    if (live_) view_->SetPlot(live_->Snapshot(now));
}

}  // namespace vestrel::live
