#include "live/qt/can_bus.h"

#include <QCanBus>
#include <QCanBusDevice>
#include <QCanBusFrame>
#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QEventLoop>
#include <QIODevice>
#include <QUrl>
#include <QVariant>

#include <algorithm>

#include <chrono>

namespace vestrel::live {

namespace {

std::int64_t NowMicros() {
    return std::chrono::duration_cast<std::chrono::microseconds>(
               std::chrono::system_clock::now().time_since_epoch())
        .count();
}

std::string Joined(const std::vector<std::string>& words) {
    std::string text;
    for (const std::string& w : words) text += (text.empty() ? "" : ", ") + w;
    return text;
}

// Plugins Qt may find here that cannot serve on this system, and why: they
// are not offered, and opening one is refused before Qt loads it. The
// passthrucan plugin drives J2534 pass-thru adapters through their vendors'
// Windows drivers; elsewhere it hangs while it opens and crashes when it is
// closed.
std::string_view WhyPluginCannotServe(std::string_view plugin) {
#ifndef _WIN32
    if (plugin == "passthrucan")
        return "it drives J2534 pass-thru adapters through their Windows drivers, which this system cannot load";
#endif
    (void)plugin;
    return {};
}

// Qt's virtualcan relay has the channels it lists (can0 and can1), and an
// interface of any other name joins can0 with no more than a log line: such
// a name is refused here, with the channels there are.
std::string UnknownVirtualChannel(const CanEndpoint& endpoint) {
    if (endpoint.plugin != "virtualcan") return {};
    const std::string channel = QUrl(QString::fromStdString(endpoint.interface)).fileName().toStdString();
    const std::vector<std::string> channels = CanBus::Interfaces(endpoint.plugin);
    if (channels.empty() || std::find(channels.begin(), channels.end(), channel) != channels.end()) return {};
    return "Cannot open CAN interface " + endpoint.Text() + ": the virtualcan relay has the channels " +
           Joined(channels) + ", not '" + channel + "'";
}

}  // namespace

can::CanFrame FromQtFrame(const QCanBusFrame& qt) {
    can::CanFrame frame;
    frame.id = qt.frameId();
    frame.extended = qt.hasExtendedFrameFormat();
    frame.remote = qt.frameType() == QCanBusFrame::RemoteRequestFrame;
    frame.error = qt.frameType() == QCanBusFrame::ErrorFrame;
    if (frame.error) frame.id = static_cast<std::uint32_t>(qt.error());
    frame.fd = qt.hasFlexibleDataRateFormat();
    frame.bitRateSwitch = frame.fd && qt.hasBitrateSwitch();
    frame.errorStateIndicator = frame.fd && qt.hasErrorStateIndicator();
    const QByteArray payload = qt.payload();
    const int length =
        std::min<int>(static_cast<int>(payload.size()), frame.fd ? can::kMaxFdDataBytes : can::kMaxDataBytes);
    frame.length = static_cast<std::uint8_t>(length);
    for (int i = 0; i < length; ++i) frame.data[static_cast<std::size_t>(i)] = static_cast<std::uint8_t>(payload[i]);
    return frame;
}

QCanBusFrame ToQtFrame(const can::CanFrame& frame) {
    QCanBusFrame qt;
    qt.setExtendedFrameFormat(frame.extended);
    qt.setFrameId(frame.id);
    qt.setFlexibleDataRateFormat(frame.fd);
    qt.setBitrateSwitch(frame.fd && frame.bitRateSwitch);
    qt.setErrorStateIndicator(frame.fd && frame.errorStateIndicator);
    if (frame.remote) {
        qt.setFrameType(QCanBusFrame::RemoteRequestFrame);
        // A remote request carries the length it asks for and no data.
        qt.setPayload(QByteArray(frame.length, '\0'));
    } else {
        qt.setPayload(QByteArray(reinterpret_cast<const char*>(frame.data.data()), frame.length));
    }
    return qt;
}

CanBus::CanBus(QObject* parent) : QObject(parent) {}

CanBus::~CanBus() { Close(); }

void CanBus::Open(const CanEndpoint& endpoint, int bitRate) {
    Close();
    endpoint_ = endpoint;
    bitRate_ = bitRate;
    if (const std::string_view why = WhyPluginCannotServe(endpoint.plugin); !why.empty()) {
        Fail("Cannot open CAN interface " + endpoint.Text() + ": the plugin " + endpoint.plugin +
             " cannot serve here: " + std::string(why));
        return;
    }
    if (const Result<void> usable = CheckCanEndpoint(endpoint); !usable) {
        Fail("Cannot open " + usable.Why());
        return;
    }
    if (std::string unknown = UnknownVirtualChannel(endpoint); !unknown.empty()) {
        Fail(unknown);
        return;
    }
    QString error;
    std::unique_ptr<QCanBusDevice> device(QCanBus::instance()->createDevice(
        QString::fromStdString(endpoint.plugin), QString::fromStdString(endpoint.interface), &error));
    if (!device) {
        Fail("Cannot open CAN interface " + endpoint.Text() + ": " + error.toStdString() + " (plugins found: " +
             Joined(Plugins()) + ")");
        return;
    }
    device_ = device.release();
    device_->setParent(this);
    if (bitRate > 0) device_->setConfigurationParameter(QCanBusDevice::BitRateKey, bitRate);
    // CAN FD frames are received (and sent) as what they are, so that the
    // tools can show them as CAN FD instead of not seeing them at all.
    device_->setConfigurationParameter(QCanBusDevice::CanFdKey, true);
    connect(device_, &QCanBusDevice::stateChanged, this, [this](QCanBusDevice::CanBusDeviceState s) {
        OnStateChanged(static_cast<int>(s));
    });
    connect(device_, &QCanBusDevice::errorOccurred, this,
            [this](QCanBusDevice::CanBusError e) { OnError(static_cast<int>(e)); });
    connect(device_, &QCanBusDevice::framesReceived, this, [this] { OnFramesReceived(); });
    if (!device_->connectDevice()) {
        // The device has said why through errorOccurred, or says it now.
        if (device_) Fail("Cannot open CAN interface " + endpoint.Text() + ": " + device_->errorString().toStdString());
        return;
    }
    if (device_ && device_->state() == QCanBusDevice::ConnectedState) OnStateChanged(QCanBusDevice::ConnectedState);
}

void CanBus::Close() {
    if (!device_) return;
    QCanBusDevice* device = device_;
    device_ = nullptr;
    reportedOpen_ = false;
    device->disconnect(this);
    if (device->state() != QCanBusDevice::UnconnectedState) device->disconnectDevice();
    device->deleteLater();
}

void CanBus::Drain(int guardMs) {
    const QDeadlineTimer deadline(guardMs);
    while (device_ && device_->framesToWrite() > 0 && !deadline.hasExpired())
        QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
    if (!device_) return;
    // A plugin that talks to a relay (virtualcan) has handed the frames to
    // its socket, which writes them from the event loop.
    for (QIODevice* io : device_->findChildren<QIODevice*>()) {
        while (io->isOpen() && io->bytesToWrite() > 0 && !deadline.hasExpired())
            if (!io->waitForBytesWritten(static_cast<int>(std::max<qint64>(1, deadline.remainingTime())))) break;
    }
}

bool CanBus::Backlogged() const {
    constexpr qint64 kMostFrames = 64;
    constexpr qint64 kMostBytes = 64 * 1024;
    if (!device_) return false;
    if (device_->framesToWrite() > kMostFrames) return true;
    for (const QIODevice* io : device_->findChildren<QIODevice*>())
        if (io->bytesToWrite() > kMostBytes) return true;
    return false;
}

bool CanBus::IsOpen() const { return device_ && device_->state() == QCanBusDevice::ConnectedState; }

Result<void> CanBus::Send(const can::CanFrame& frame) {
    if (!IsOpen()) return Failure{"the CAN interface " + endpoint_.Text() + " is not open"};
    if (device_->writeFrame(ToQtFrame(frame))) return {};
    return Failure{"Cannot send " + can::CompactFrameText(frame) + " on " + endpoint_.Text() + ": " +
                   device_->errorString().toStdString()};
}

void CanBus::OnStateChanged(int state) {
    if (state == QCanBusDevice::ConnectedState && !reportedOpen_) {
        reportedOpen_ = true;
        emit opened();
    } else if (state == QCanBusDevice::UnconnectedState && device_) {
        Fail(reportedOpen_ ? "CAN interface " + endpoint_.Text() + " was closed"
                           : "Cannot open CAN interface " + endpoint_.Text() + ": it closed while opening");
    }
}

void CanBus::OnError(int error) {
    if (!device_) return;
    const std::string reason = device_->errorString().toStdString();
    if (error == QCanBusDevice::ConfigurationError) {
        emit note(QString::fromStdString("CAN interface " + endpoint_.Text() + ": the bit rate " +
                                         CanBitRateText(bitRate_) + " was not set: " + reason));
        return;
    }
    if (!reportedOpen_ || error == QCanBusDevice::ConnectionError) {
        Fail((reportedOpen_ ? "CAN interface " + endpoint_.Text() + " failed: " : "Cannot open CAN interface " +
                                                                                  endpoint_.Text() + ": ") +
             reason);
        return;
    }
    emit note(QString::fromStdString("CAN interface " + endpoint_.Text() + ": " + reason));
}

void CanBus::OnFramesReceived() {
    if (!device_) return;
    batch_.clear();
    const std::int64_t now = NowMicros();
    while (device_->framesAvailable() > 0) {
        const QCanBusFrame qt = device_->readFrame();
        if (!qt.isValid()) continue;
        const QCanBusFrame::TimeStamp stamp = qt.timeStamp();
        const std::int64_t time =
            stamp.seconds() > 0 ? stamp.seconds() * 1'000'000 + stamp.microSeconds() : now;
        batch_.push_back(TimedFrame{FromQtFrame(qt), time});
    }
    if (!batch_.empty()) emit framesReceived(batch_);
}

void CanBus::Fail(const std::string& message) {
    Close();
    emit failed(QString::fromStdString(message));
}

std::vector<std::string> CanBus::Plugins() {
    std::vector<std::string> plugins;
    for (const QString& p : QCanBus::instance()->plugins())
        if (WhyPluginCannotServe(p.toStdString()).empty()) plugins.push_back(p.toStdString());
    return plugins;
}

std::vector<std::string> CanBus::Interfaces(const std::string& plugin) {
    std::vector<std::string> names;
    if (!WhyPluginCannotServe(plugin).empty()) return names;
    QString error;
    for (const QCanBusDeviceInfo& info : QCanBus::instance()->availableDevices(QString::fromStdString(plugin), &error))
        names.push_back(info.name().toStdString());
    return names;
}

}  // namespace vestrel::live
