#include "live/qt/modbus_client.h"

#include "platform/system_file.h"

#include <QModbusReply>
#include <QModbusRtuSerialClient>
#include <QSerialPort>
#include <QSerialPortInfo>
#include <QVariant>

#include <algorithm>
#include <optional>

namespace vestrel::live {

namespace {

QSerialPort::Parity QtParity(Parity parity) {
    switch (parity) {
        case Parity::Even: return QSerialPort::EvenParity;
        case Parity::Odd: return QSerialPort::OddParity;
        case Parity::None: break;
    }
    return QSerialPort::NoParity;
}

// The exception code of an exception response: its first data byte. Not
// QModbusPdu::exceptionCode(): Qt keeps the received function byte as a
// sign-extended enum value, and the inline accessor's read of it is
// undefined behaviour that the sanitizer build stops on.
int ExceptionCodeOf(const QModbusResponse& response) {
    const QByteArray data = response.data();
    return data.isEmpty() ? 0 : static_cast<quint8>(data.at(0));
}

// Whether another program holds the port. Qt SerialPort takes a lock file
// beside the device and answers PermissionError when the lock is held; a
// port this process may read and write is then not refused for its rights.
// Asked only after the port failed to open, so the probe does not open the
// port of a working link.
bool HeldByAnotherProgram(const std::string& port) {
    if (!MayReadAndWrite(port)) return false;
    QSerialPort probe(QString::fromStdString(port));
    if (probe.open(QIODevice::ReadWrite)) return false;
    return probe.error() == QSerialPort::PermissionError;
}

std::string OpenPortMessage(const std::string& port, const std::string& reason) {
    if (HeldByAnotherProgram(port))
        return "Cannot open serial port " + port + ": it is in use by another program (" + reason + ")";
    return "Cannot open serial port " + port + ": " + reason;
}

}  // namespace

Result<void> OpenSerialDevice(QModbusDevice*& device, const std::string& port, const SerialSettings& s,
                             QObject* owner, std::function<void(const QString&)> failed) {
    device->setConnectionParameter(QModbusDevice::SerialPortNameParameter, QString::fromStdString(port));
    device->setConnectionParameter(QModbusDevice::SerialBaudRateParameter, s.baud);
    device->setConnectionParameter(QModbusDevice::SerialDataBitsParameter,
                                   s.dataBits == 7 ? QSerialPort::Data7 : QSerialPort::Data8);
    device->setConnectionParameter(QModbusDevice::SerialParityParameter, QtParity(s.parity));
    device->setConnectionParameter(QModbusDevice::SerialStopBitsParameter,
                                   s.stopBits == 2 ? QSerialPort::TwoStop : QSerialPort::OneStop);
    if (!device->connectDevice()) {
        const std::string reason = device->errorString().toStdString();
        delete device;
        device = nullptr;
        return Failure{OpenPortMessage(port, reason)};
    }
    QModbusDevice* opened = device;
    QObject::connect(opened, &QModbusDevice::errorOccurred, owner,
                     [opened, port, failed = std::move(failed)](QModbusDevice::Error e) {
                         if (e != QModbusDevice::ConnectionError && e != QModbusDevice::ReadError &&
                             e != QModbusDevice::WriteError)
                             return;
                         failed(QString::fromStdString("Serial port " + port +
                                                       " failed: " + opened->errorString().toStdString()));
                     });
    return {};
}

void CloseSerialDevice(QModbusDevice*& device, QObject* owner) {
    if (!device) return;
    device->disconnect(owner);
    device->disconnectDevice();
    device->deleteLater();
    device = nullptr;
}

ModbusClient::ModbusClient(QObject* parent) : QObject(parent) {}

ModbusClient::~ModbusClient() { Close(); }

Result<void> ModbusClient::Open(const std::string& port, const SerialSettings& s) {
    Close();
    port_ = port;
    auto* client = new QModbusRtuSerialClient(this);
    client->setTimeout(timeOutMs_);
    client->setNumberOfRetries(0);
    QModbusDevice* device = client;
    Result<void> opened = OpenSerialDevice(device, port, s, this, [this](const QString& why) { emit linkFailed(why); });
    client_ = device ? client : nullptr;
    return opened;
}

void ModbusClient::Close() {
    QModbusDevice* device = client_;
    CloseSerialDevice(device, this);
    client_ = nullptr;
}

bool ModbusClient::IsOpen() const { return client_ && client_->state() == QModbusDevice::ConnectedState; }

void ModbusClient::SetTimeOut(int milliseconds) {
    timeOutMs_ = milliseconds;
    if (client_) client_->setTimeout(milliseconds);
}

RequestOutcome ModbusClient::Fails(const std::string& text) const {
    RequestOutcome outcome;
    outcome.device = deviceAddress_;
    outcome.failure.kind = RequestFailure::Kind::Link;
    outcome.failure.detail = text;
    outcome.values = Failure{RequestFailureText(outcome.failure, deviceAddress_, timeOutMs_)};
    return outcome;
}

void ModbusClient::Read(ReadFunction function, RegisterBlock block, const QObject* receiver, Done done) {
    if (!IsOpen()) return done(Fails("the serial port " + (port_.empty() ? std::string("is not open") : port_ + " is not open")));
    const QModbusDataUnit unit(function == ReadFunction::HoldingRegisters ? QModbusDataUnit::HoldingRegisters
                                                                          : QModbusDataUnit::InputRegisters,
                               block.start, static_cast<quint16>(block.count));
    QModbusReply* reply = client_->sendReadRequest(unit, deviceAddress_);
    if (!reply) return done(Fails(client_->errorString().toStdString()));
    Sent sent;
    sent.isRead = true;
    sent.block = block;
    Track(reply, std::move(sent), receiver, std::move(done));
}

void ModbusClient::Write(WriteFunction function, std::uint16_t address, const std::vector<std::uint16_t>& values,
                         const QObject* receiver, Done done) {
    if (!IsOpen()) return done(Fails("the serial port " + (port_.empty() ? std::string("is not open") : port_ + " is not open")));
    if (values.empty()) return done(Fails("no value to write"));
    QModbusRequest request;
    if (function == WriteFunction::SingleRegister) {
        request = QModbusRequest(QModbusRequest::WriteSingleRegister, quint16(address), quint16(values[0]));
    } else {
        const QList<quint16> list(values.begin(), values.end());
        request = QModbusRequest(QModbusRequest::WriteMultipleRegisters, quint16(address), quint16(list.size()),
                                 quint8(list.size() * 2), list);
    }
    QModbusReply* reply = client_->sendRawRequest(request, deviceAddress_);
    if (!reply) return done(Fails(client_->errorString().toStdString()));
    Sent sent;
    sent.block = RegisterBlock{address, static_cast<int>(values.size())};
    sent.writeFunction = function;
    sent.written = values;
    Track(reply, std::move(sent), receiver, std::move(done));
}

namespace {

// An answer Qt took for a valid one that is still not the one asked for.
Result<void> CheckAnswer(QModbusReply* reply, bool isRead, const RegisterBlock& block, WriteFunction function,
                         const std::vector<std::uint16_t>& written) {
    if (isRead) return CheckReadAnswer(block, static_cast<std::size_t>(reply->result().valueCount()));
    const QByteArray data = reply->rawResult().data();
    return CheckWriteAnswer(function, block.start, written, std::vector<std::uint8_t>(data.begin(), data.end()));
}

}  // namespace

void ModbusClient::Track(QModbusReply* reply, Sent sent, const QObject* receiver, Done done) {
    sent.device = deviceAddress_;
    sent.timeOutMs = timeOutMs_;
    // The reply goes once it has ended, whether or not anyone still listens.
    auto finish = [this, reply, sent = std::move(sent), done = std::move(done)] {
        // Qt takes the first answer that fits the request at the head of its
        // queue, even one that came while the request still waited to go out:
        // the device answered an earlier request again. Only one request is
        // out at a time, so bytes still waiting are this request's.
        const bool requestWent = !client_ || !client_->device() || client_->device()->bytesToWrite() == 0;
        RequestOutcome outcome;
        outcome.device = sent.device;
        RequestFailure& f = outcome.failure;
        bool answered = false;
        for (QModbusDevice::IntermediateError e : reply->intermediateErrors())
            ++(e == QModbusDevice::ResponseCrcError ? f.crcErrors : f.mismatches);
        switch (reply->error()) {
            case QModbusDevice::NoError:
                if (!requestWent) {
                    f.kind = RequestFailure::Kind::Invalid;
                    f.detail = "an answer came before the request went out; the device may answer a request more "
                               "than once";
                    break;
                }
                if (const Result<void> answer = CheckAnswer(reply, sent.isRead, sent.block, sent.writeFunction, sent.written);
                    !answer) {
                    f.kind = RequestFailure::Kind::Invalid;
                    f.detail = answer.Why();
                    break;
                }
                answered = true;
                if (sent.isRead) {
                    const QList<quint16> values = reply->result().values();
                    outcome.values = std::vector<std::uint16_t>(values.begin(), values.end());
                }
                break;
            case QModbusDevice::TimeoutError: f.kind = RequestFailure::Kind::NoAnswer; break;
            case QModbusDevice::ProtocolError:
                f.kind = RequestFailure::Kind::Exception;
                f.exceptionCode = ExceptionCodeOf(reply->rawResult());
                break;
            case QModbusDevice::InvalidResponseError:
            case QModbusDevice::UnknownError:
                f.kind = RequestFailure::Kind::Invalid;
                f.detail = reply->errorString().toStdString();
                break;
            default:
                f.kind = RequestFailure::Kind::Link;
                f.detail = reply->errorString().toStdString();
                break;
        }
        if (!answered) outcome.values = Failure{RequestFailureText(f, sent.device, sent.timeOutMs)};
        done(outcome);
    };
    if (reply->isFinished()) {
        reply->deleteLater();
        finish();
        return;
    }
    connect(reply, &QModbusReply::finished, reply, &QObject::deleteLater);
    connect(reply, &QModbusReply::finished, receiver, std::move(finish));
}

std::vector<SerialPortEntry> SerialPorts() {
    std::vector<SerialPortEntry> ports;
    for (const QSerialPortInfo& info : QSerialPortInfo::availablePorts())
        ports.push_back(SerialPortEntry{info.systemLocation().toStdString(), info.description().toStdString()});
    return ports;
}

}  // namespace vestrel::live
