#pragma once

#include "platform/result.h"

#include "live/bench_settings.h"
#include "live/modbus_request.h"

#include <QObject>
#include <QString>

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

class QModbusDevice;
class QModbusReply;
class QModbusRtuSerialClient;

namespace vestrel::live {

// How one request ended: the values read (none for a write), or the
// failure as the engineer reads it, with what went wrong beside it.
struct RequestOutcome {
    int device = 0;  // the device address the request went to
    Result<std::vector<std::uint16_t>> values = std::vector<std::uint16_t>{};
    RequestFailure failure;  // when `values` holds none
};

// A Modbus RTU master on a serial port through Qt SerialBus. One attempt per
// request (no silent retries), so that every time-out, CRC error and
// exception response shows up with the request it belongs to. An answer
// that is not exactly the one asked for (another number of registers, a
// write echo of other addresses or values) is an invalid answer, never a
// value.
//
// Every request names a receiver: `done` is called only while the receiver
// lives, so that whoever drops a run of requests (destroys its receiver)
// cancels every callback still outstanding. The device address and the
// time-out apply to the next request sent; one already sent keeps its own.
class ModbusClient : public QObject {
    Q_OBJECT

public:
    explicit ModbusClient(QObject* parent = nullptr);
    ~ModbusClient() override;

    // Opens the port, or says why it cannot, e.g. "Cannot open
    // serial port /dev/ttyUSB0: Permission denied".
    Result<void> Open(const std::string& port, const SerialSettings& settings);
    void Close();
    bool IsOpen() const;
    const std::string& Port() const { return port_; }

    void SetDeviceAddress(int address) { deviceAddress_ = address; }
    int DeviceAddress() const { return deviceAddress_; }
    void SetTimeOut(int milliseconds);
    int TimeOut() const { return timeOutMs_; }

    using Done = std::function<void(const RequestOutcome&)>;
    // Queues a request; `done` is called once when it ends, unless
    // `receiver` is destroyed first.
    void Read(ReadFunction function, RegisterBlock block, const QObject* receiver, Done done);
    // 06 writes values[0] alone; 16 writes all values from `address` on.
    void Write(WriteFunction function, std::uint16_t address, const std::vector<std::uint16_t>& values,
               const QObject* receiver, Done done);

signals:
    // The port failed after it was opened (a cable pulled, a device gone).
    void linkFailed(const QString& message);

private:
    // How a request is judged when its answer comes: what it asked for.
    struct Sent {
        bool isRead = false;
        RegisterBlock block;
        WriteFunction writeFunction = WriteFunction::SingleRegister;
        std::vector<std::uint16_t> written;
        int device = 0;
        int timeOutMs = 0;
    };
    void Track(QModbusReply* reply, Sent sent, const QObject* receiver, Done done);
    RequestOutcome Fails(const std::string& text) const;

    QModbusRtuSerialClient* client_ = nullptr;
    std::string port_;
    int deviceAddress_ = 1;
    int timeOutMs_ = 1000;
};

// The one way the bench opens and closes its Modbus RTU ends, client or
// server. OpenSerialDevice sets the serial line and connects; on failure it
// deletes the device, clears `device` and says why (a port whose lock another
// program holds is named as in use by it). Once open, a failure
// of the link itself (not of one request) reaches `failed` as
// "Serial port <port> failed: <reason>".
Result<void> OpenSerialDevice(QModbusDevice*& device, const std::string& port, const SerialSettings& s,
                             QObject* owner, std::function<void(const QString&)> failed);
void CloseSerialDevice(QModbusDevice*& device, QObject* owner);

// The serial ports the system lists, with their descriptions:
// "/dev/ttyUSB0 (FT232R USB UART)".
struct SerialPortEntry {
    std::string path;
    std::string description;
};
std::vector<SerialPortEntry> SerialPorts();

}  // namespace vestrel::live
