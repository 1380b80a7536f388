#include "live/ui/can_monitor_page.h"

#include "can/log_formats.h"
#include "live/qt/bench_session.h"
#include "live/qt/can_bus.h"
#include "live/qt/frame_sender.h"
#include "live/send_schedule.h"
#include "live/ui/bench_widgets.h"
#include "live/ui/text_table_model.h"
#include "platform/text.h"

#include <QFileDialog>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSpinBox>
#include <QTableView>
#include <QTimer>
#include <QVBoxLayout>

#include <filesystem>

namespace vestrel::live {


TFCanMonitorPage::TFCanMonitorPage(QWidget* parent) : QWidget(parent) {
    setObjectName("TFCanMonitorPage");
    sgMonitor = TextTableView(this, "sgMonitor", MonitorTable(nullptr, nullptr, 0).headings);
    BtClear = new QPushButton("Clear", this);
    BtClear->setObjectName("BtClear");
    BtRecord = new QPushButton("Record...", this);
    BtRecord->setObjectName("BtRecord");
    E_Send = new QLineEdit(this);
    E_Send->setObjectName("E_Send");
    E_Send->setPlaceholderText("181#1122334455667788");
    BtSend = new QPushButton("Send", this);
    BtSend->setObjectName("BtSend");
    E_Every = new QSpinBox(this);
    E_Every->setObjectName("E_Every");
    E_Every->setRange(0, 3'600'000);
    E_Every->setSuffix(" ms");
    E_Every->setSpecialValueText("once");
    E_Every->setToolTip("0: send the frame once; otherwise every so many milliseconds until Stop");
    BtPlay = new QPushButton("Play log...", this);
    BtPlay->setObjectName("BtPlay");
    for (QPushButton* b : {BtClear, BtRecord, BtSend, BtPlay}) b->setAutoDefault(false);
    LbSent = new QLabel(this);
    LbSent->setObjectName("LbSent");
    LbStatus = new QLabel(this);
    LbStatus->setObjectName("LbStatus");
    LbStatus->setWordWrap(true);

    auto* actions = new QHBoxLayout;
    actions->addWidget(BtClear);
    actions->addWidget(BtRecord);
    actions->addWidget(BtPlay);
    actions->addStretch(1);
    auto* send = new QHBoxLayout;
    send->addWidget(new QLabel("Send frame (ID#DATA):", this));
    send->addWidget(E_Send, 1);
    send->addWidget(new QLabel("every", this));
    send->addWidget(E_Every);
    send->addWidget(BtSend);
    // The outcome of a send shares the status line, so that its text never
    // moves the Send button under the pointer.
    auto* status = new QHBoxLayout;
    status->addWidget(LbStatus, 1);
    status->addWidget(LbSent);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(sgMonitor, 1);
    layout->addLayout(actions);
    layout->addLayout(send);
    layout->addLayout(status);

    askSavePath = [this](const std::string& suggested) -> std::optional<std::string> {
        const QString path = QFileDialog::getSaveFileName(this, "Record the CAN bus", QString::fromStdString(suggested),
                                                          "candump log (*.log);;All files (*)");
        if (path.isEmpty()) return std::nullopt;
        return path.toStdString();
    };
    askLogPath = [this]() -> std::optional<std::string> {
        const QString path = QFileDialog::getOpenFileName(this, "Play a CAN log", QString(),
                                                          QString::fromStdString("CAN logs (" + can::LogFilePatterns() +
                                                                                 ");;All files (*)"));
        if (path.isEmpty()) return std::nullopt;
        return path.toStdString();
    };
    refresh_ = new QTimer(this);
    refresh_->setInterval(250);
    connect(refresh_, &QTimer::timeout, this, [this] {
        if (isVisible()) Refresh(NowMicros());
    });
    refresh_->start();
    connect(BtClear, &QPushButton::clicked, this, [this] { BtClearClick(); });
    connect(BtRecord, &QPushButton::clicked, this, [this] { BtRecordClick(); });
    connect(BtSend, &QPushButton::clicked, this, [this] { BtSendClick(); });
    connect(BtPlay, &QPushButton::clicked, this, [this] { BtPlayClick(); });
    connect(E_Send, &QLineEdit::returnPressed, this, [this] { BtSendClick(); });
}

TFCanMonitorPage::~TFCanMonitorPage() = default;

void TFCanMonitorPage::SetSession(BenchSession* session) {
    StopSending();
    if (session_) disconnect(session_, nullptr, this, nullptr);
    session_ = session;
    if (session_)
        connect(session_, &BenchSession::framesFed, this,
                [this](const std::vector<TimedFrame>& frames) { OnFrames(frames); });
    Refresh(NowMicros());
}

void TFCanMonitorPage::Sent(const can::CanFrame& frame) {
    if (session_) session_->OnSent(TimedFrame{frame, NowMicros()});
}

void TFCanMonitorPage::SetExample(const std::string& frame) {
    E_Send->setPlaceholderText(QString::fromStdString(frame));
}

void TFCanMonitorPage::OnFrames(const std::vector<TimedFrame>& frames) {
    if (!recording_) return;
    try {
        for (const TimedFrame& timed : frames) recording_->Add(timed.frame, timed.time);
        recording_->Flush();
    } catch (const std::exception& e) {
        recordError_ = e.what();
        StopRecording();
    }
}

void TFCanMonitorPage::Refresh(std::int64_t now) {
    ModelOf(sgMonitor).SetTable(
        session_ ? MonitorTable(session_->Monitor(), session_->Meanings(), now) : MonitorTable(nullptr, nullptr, now));
    ShowCounts();
}

void TFCanMonitorPage::ShowCounts() {
    if (!recordError_.empty()) {
        ShowStatus(LbStatus, "Recording stopped: " + recordError_, true);
        return;
    }
    auto frames = [](std::uint64_t n) { return Plural(n, "frame", "frames"); };
    const BusMonitor* monitor = session_ ? session_->Monitor() : nullptr;
    std::string text = frames(monitor ? monitor->Frames() : 0);
    if (recording_)
        text += "; recording to " + recording_->Path().string() + " (" + frames(recording_->Frames()) +
                ", a candump log that vestrel-cli replay reads)";
    ShowStatus(LbStatus, text, false);
}

void TFCanMonitorPage::BtClearClick() {
    if (session_ && session_->Monitor()) session_->Monitor()->Clear();
    Refresh(NowMicros());
}

void TFCanMonitorPage::BtRecordClick() {
    if (recording_) {
        StopRecording();
        return;
    }
    const std::string name = session_ ? can::LogInterfaceName(session_->Bus().Endpoint().interface) : "can";
    const auto path = askSavePath("candump-" + name + ".log");
    if (!path) return;
    recordError_.clear();
    try {
        recording_ = std::make_unique<can::CandumpWriter>(*path, name);
    } catch (const std::exception& e) {
        recordError_ = e.what();
    }
    BtRecord->setText(recording_ ? "Stop recording" : "Record...");
    ShowCounts();
}

void TFCanMonitorPage::StopRecording() {
    if (recording_) {
        try {
            recording_->Flush();
        } catch (const std::exception& e) {
            recordError_ = e.what();
        }
    }
    recording_.reset();
    BtRecord->setText("Record...");
    ShowCounts();
}

void TFCanMonitorPage::BtSendClick() {
    if (Sending()) {
        StopSending();
        return;
    }
    const std::string text = E_Send->text().trimmed().toStdString();
    const Result<can::CanFrame> parsed = can::ParseCompactFrame(text);
    if (!parsed) {
        ShowStatus(LbSent, "'" + text + "' is not a frame: " + parsed.Why(), true);
        return;
    }
    const can::CanFrame frame = *parsed;
    if (session_ && E_Every->value() > 0) {
        const int every = E_Every->value();
        StartSending(std::make_unique<PeriodicFrames>(std::vector<can::CanFrame>{frame},
                                                      static_cast<std::int64_t>(every) * 1000, 0),
                     can::CompactFrameText(frame) + " every " + std::to_string(every) + " ms");
        return;
    }
    if (!session_) {
        ShowStatus(LbSent, "Open a CAN interface first", true);
        return;
    }
    if (const Result<void> sent = session_->Bus().Send(frame); !sent) {
        ShowStatus(LbSent, sent.Why(), true);
        return;
    }
    ShowStatus(LbSent, "Sent " + can::CompactFrameText(frame), false);
    Sent(frame);
}

void TFCanMonitorPage::BtPlayClick() {
    if (Sending()) {
        StopSending();
        return;
    }
    if (!session_) {
        ShowStatus(LbSent, "Open a CAN interface first", true);
        return;
    }
    const auto path = askLogPath();
    if (!path) return;
    try {
        StartSending(std::make_unique<LogFrames>(*path, PlayOptions{}), std::filesystem::path(*path).filename().string());
    } catch (const std::exception& e) {
        ShowStatus(LbSent, e.what(), true);
    }
}

bool TFCanMonitorPage::Sending() const { return sender_ && sender_->Running(); }

void TFCanMonitorPage::StartSending(std::unique_ptr<FrameSource> source, const std::string& what) {
    sender_.reset();
    source_ = std::move(source);
    sending_ = what;
    sender_ = std::make_unique<FrameSender>(
        session_->Bus(), *source_, [this](const TimedSend& sent) { Sent(sent.frame); },
        nullptr, this);
    // The sender is in the middle of its own signal then: it goes once that returns.
    connect(sender_.get(), &FrameSender::finished, this, [this] {
        OnSendingEnded({});
        sender_.release()->deleteLater();
    });
    connect(sender_.get(), &FrameSender::failed, this, [this](const QString& m) {
        OnSendingEnded(m.toStdString());
        sender_.release()->deleteLater();
    });
    sender_->Start();
    const bool log = dynamic_cast<LogFrames*>(source_.get()) != nullptr;
    (log ? BtPlay : BtSend)->setText("Stop");
    (log ? BtSend : BtPlay)->setEnabled(false);
    ShowStatus(LbSent, (log ? "Playing " : "Sending ") + what, false);
}

void TFCanMonitorPage::StopSending() {
    if (!sender_) return;
    sender_->Stop();
    OnSendingEnded({});
    sender_.reset();
}

void TFCanMonitorPage::OnSendingEnded(const std::string& failure) {
    const std::uint64_t frames = sender_ ? sender_->Tally().frames : 0;
    BtSend->setText("Send");
    BtPlay->setText("Play log...");
    BtSend->setEnabled(true);
    BtPlay->setEnabled(true);
    ShowStatus(LbSent,
               failure.empty() ? sending_ + ": sent " + Plural(frames, "frame", "frames")
                               : failure,
               !failure.empty());
}

}  // namespace vestrel::live
