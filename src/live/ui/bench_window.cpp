#include "live/ui/bench_window.h"

#include "gateway/model_examples.h"
#include "gateway/model_loading.h"
#include "live/qt/bench_session.h"
#include "live/qt/can_bus.h"
#include "live/qt/modbus_client.h"
#include "live/ui/bench_plot_page.h"
#include "live/ui/bench_widgets.h"
#include "live/ui/can_monitor_page.h"
#include "live/ui/expected_read_page.h"
#include "live/ui/modbus_poll_page.h"
#include "platform/printable_text.h"
#include "platform/qt/window_util.h"

#include <QComboBox>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QScrollArea>
#include <QShowEvent>
#include <QSpinBox>
#include <QTabWidget>
#include <QVBoxLayout>

#include <algorithm>

namespace vestrel::live {

namespace {


QComboBox* Combo(QWidget* parent, const char* name, bool editable = false) {
    auto* combo = new QComboBox(parent);
    combo->setObjectName(name);
    combo->setEditable(editable);
    return combo;
}

}  // namespace

TFBench::TFBench(QWidget* parent) : QDialog(parent), session_(std::make_unique<BenchSession>()) {
    setObjectName("TFBench");
    setWindowTitle("Bench test");
    LbProject = new QLabel(this);
    LbProject->setObjectName("LbProject");
    LbProject->setWordWrap(true);
    TC_Pages = new QTabWidget(this);
    TC_Pages->setObjectName("TC_Pages");
    monitorPage_ = new TFCanMonitorPage(TC_Pages);
    pollPage_ = new TFModbusPollPage(TC_Pages);
    expectedPage_ = new TFExpectedReadPage(TC_Pages);
    TC_Pages->addTab(monitorPage_, "CAN monitor");
    TC_Pages->addTab(pollPage_, "Modbus poll");
    TC_Pages->addTab(expectedPage_, "Expected / read");
    plotPage_ = new TFBenchPlotPage(TC_Pages);
    TC_Pages->addTab(plotPage_, "Plot");
    BtClose = new QPushButton("Close", this);
    BtClose->setObjectName("BtClose");
    BtClose->setAutoDefault(false);

    // Everything but the bottom bar scrolls when the screen is smaller than
    // the window would like to be, so that Close always stays in reach.
    auto* content = new QWidget;
    auto* connections = new QHBoxLayout;
    connections->addWidget(BuildCanGroup(), 1);
    connections->addWidget(BuildModbusGroup(), 1);
    auto* contentLayout = new QVBoxLayout(content);
    contentLayout->setContentsMargins(0, 0, 0, 0);
    contentLayout->addWidget(LbProject);
    contentLayout->addLayout(connections);
    contentLayout->addWidget(TC_Pages, 1);
    auto* scroll = new QScrollArea(this);
    scroll->setObjectName("SA_Content");
    scroll->setFrameShape(QFrame::NoFrame);
    scroll->setWidgetResizable(true);
    scroll->setWidget(content);
    auto* buttons = new QHBoxLayout;
    buttons->addWidget(new QLabel("Closing the window closes the CAN interface and the serial port.", this));
    buttons->addStretch(1);
    buttons->addWidget(BtClose);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(scroll, 1);
    layout->addLayout(buttons);
    resize(1100, 760);

    connect(BtClose, &QPushButton::clicked, this, &QDialog::accept);
    monitorPage_->SetSession(session_.get());
    expectedPage_->SetSession(session_.get());
    plotPage_->SetSession(session_.get());
    pollPage_->SetClient(&Client());
    CanBus* bus = &Bus();
    ModbusClient* client = &Client();
    connect(bus, &CanBus::opened, this, [this, bus] {
        ShowStatus(LbCanStatus, "Open: " + bus->Endpoint().Text(), false);
        BtCanOpen->setText("Close");
    });
    // A device address or time-out changed while the port is open applies to
    // the next request; the status line says which device that is.
    connect(SE_Address, &QSpinBox::valueChanged, this, [this, client](int address) {
        client->SetDeviceAddress(address);
        if (client->IsOpen()) ShowModbusOpen();
    });
    connect(SE_TimeOut, &QSpinBox::valueChanged, this, [this, client](int ms) {
        client->SetTimeOut(ms);
        if (client->IsOpen()) ShowModbusOpen();
    });
    connect(bus, &CanBus::failed, this, [this](const QString& message) {
        ShowStatus(LbCanStatus, message.toStdString(), true);
        BtCanOpen->setText("Open");
    });
    connect(bus, &CanBus::note, this,
            [this](const QString& message) { ShowStatus(LbCanStatus, message.toStdString(), true); });
    connect(client, &ModbusClient::linkFailed, this, [this, client](const QString& message) {
        client->Close();
        ShowStatus(LbModbusStatus, message.toStdString(), true);
        BtModbusOpen->setText("Open");
        pollPage_->ClearValues(message.toStdString(), true);
    });
}

TFBench::~TFBench() { CloseAll(); }

CanBus& TFBench::Bus() const { return session_->Bus(); }

ModbusClient& TFBench::Client() const { return session_->Client(); }

const BusMonitor* TFBench::Model() const { return session_->Monitor(); }

QWidget* TFBench::BuildCanGroup() {
    auto* group = new QGroupBox("CAN bus", this);
    CB_Plugin = Combo(group, "CB_Plugin");
    for (const std::string& plugin : CanBus::Plugins()) CB_Plugin->addItem(QString::fromStdString(plugin));
    CB_Interface = Combo(group, "CB_Interface", true);
    LbBitRate = new QLabel(group);
    LbBitRate->setObjectName("LbBitRate");
    BtCanOpen = new QPushButton("Open", group);
    BtCanOpen->setObjectName("BtCanOpen");
    BtCanOpen->setAutoDefault(false);
    LbCanStatus = new QLabel(group);
    LbCanStatus->setObjectName("LbCanStatus");
    LbCanStatus->setWordWrap(true);
    auto* grid = new QGridLayout(group);
    grid->addWidget(new QLabel("Plugin:", group), 0, 0);
    grid->addWidget(CB_Plugin, 0, 1);
    grid->addWidget(new QLabel("Interface:", group), 0, 2);
    grid->addWidget(CB_Interface, 0, 3);
    grid->setColumnStretch(3, 1);
    grid->addWidget(BtCanOpen, 0, 4);
    grid->addWidget(LbBitRate, 1, 0, 1, 5);
    grid->addWidget(LbCanStatus, 2, 0, 1, 5);
    const int socketcan = CB_Plugin->findText("socketcan");
    if (socketcan >= 0) CB_Plugin->setCurrentIndex(socketcan);
    CB_PluginChange();
    connect(CB_Plugin, &QComboBox::currentIndexChanged, this, [this] { CB_PluginChange(); });
    connect(BtCanOpen, &QPushButton::clicked, this, [this] { BtCanOpenClick(); });
    return group;
}

QWidget* TFBench::BuildModbusGroup() {
    auto* group = new QGroupBox("Modbus RTU", this);
    CB_Port = Combo(group, "CB_Port", true);
    for (const SerialPortEntry& port : SerialPorts())
        CB_Port->addItem(QString::fromStdString(port.path + (port.description.empty() ? "" : " (" + port.description + ")")),
                         QString::fromStdString(port.path));
    CB_Baud = Combo(group, "CB_Baud");
    for (int rate : kSerialBitRates) CB_Baud->addItem(QString::number(rate), rate);
    CB_Parity = Combo(group, "CB_Parity");
    CB_Parity->addItems({"None", "Even", "Odd"});
    CB_StopBits = Combo(group, "CB_StopBits");
    CB_StopBits->addItems({"1", "2"});
    SE_Address = new QSpinBox(group);
    SE_Address->setObjectName("SE_Address");
    SE_Address->setRange(1, 247);
    SE_TimeOut = new QSpinBox(group);
    SE_TimeOut->setObjectName("SE_TimeOut");
    SE_TimeOut->setRange(10, 60000);
    SE_TimeOut->setValue(1000);
    SE_TimeOut->setSuffix(" ms");
    BtModbusOpen = new QPushButton("Open", group);
    BtModbusOpen->setObjectName("BtModbusOpen");
    BtModbusOpen->setAutoDefault(false);
    LbModbusStatus = new QLabel(group);
    LbModbusStatus->setObjectName("LbModbusStatus");
    LbModbusStatus->setWordWrap(true);
    auto* grid = new QGridLayout(group);
    grid->addWidget(new QLabel("Port:", group), 0, 0);
    grid->addWidget(CB_Port, 0, 1, 1, 5);
    grid->addWidget(BtModbusOpen, 0, 6);
    grid->addWidget(CB_Baud, 1, 1);
    grid->addWidget(new QLabel("8 data bits, parity", group), 1, 2);
    grid->addWidget(CB_Parity, 1, 3);
    grid->addWidget(new QLabel("stop bits", group), 1, 4);
    grid->addWidget(CB_StopBits, 1, 5);
    grid->addWidget(new QLabel("Device:", group), 2, 0);
    grid->addWidget(SE_Address, 2, 1);
    grid->addWidget(new QLabel("time-out", group), 2, 2);
    grid->addWidget(SE_TimeOut, 2, 3);
    grid->addWidget(LbModbusStatus, 3, 0, 1, 7);
    grid->setColumnStretch(1, 1);
    connect(BtModbusOpen, &QPushButton::clicked, this, [this] { BtModbusOpenClick(); });
    return group;
}

void TFBench::SetProjectDir(const std::string& projectDir) { projectDir_ = projectDir; }

void TFBench::showEvent(QShowEvent* event) {
    QDialog::showEvent(event);
    // Shown again after it was minimized, the window keeps its interfaces
    // open and its pages as they were.
    if (event->spontaneous()) return;
    FitToScreen(this);
    FormShow();
}

void TFBench::FormShow() {
    CloseAll();
    // The checks and the pages let go of the old project before it goes.
    session_->SetProject(nullptr);
    std::string text = "Project: " + projectDir_;
    try {
        auto loaded = std::make_shared<const gateway::ProjectModel>(gateway::LoadProjectModel(projectDir_));
        gateway::SignalValuesLoad meanings = gateway::LoadSignalValues(projectDir_);
        if (!meanings.problem.empty()) text += "\nNote: " + meanings.problem + ".";
        for (const std::string& note : meanings.notes) text += "\nNote: " + note + ".";
        const BenchSettings settings = BenchSettingsOf(loaded->model.Banks());
        Preselect(settings);
        for (const std::string& note : BenchNotes(settings, loaded->model.Banks())) text += "\nNote: " + note + ".";
        session_->SetProject(std::move(loaded), std::move(meanings.signalValues));
    } catch (const std::exception& e) {
        text += "\nThe project cannot be compiled: " + std::string(e.what());
    }
    LbProject->setText(QString::fromStdString(PrintableText(text, LineBreaks::Keep)));
    ShowProject();
}

void TFBench::Preselect(const BenchSettings& s) {
    canBitRate_ = s.canBitRate;
    LbBitRate->setText(QString::fromStdString(
        s.canBitRate > 0 ? "Bit rate " + CanBitRateText(s.canBitRate) + " (the project's), asked of the plugin"
                         : "The project names no bit rate: the interface keeps its own"));
    CB_Baud->setCurrentIndex(std::max(0, CB_Baud->findData(s.serial.baud)));
    CB_Parity->setCurrentIndex(s.serial.parity == live::Parity::Even ? 1 : s.serial.parity == live::Parity::Odd ? 2 : 0);
    CB_StopBits->setCurrentIndex(s.serial.stopBits == 2 ? 1 : 0);
    SE_Address->setValue(std::clamp(s.deviceAddress, 1, 247));
}

void TFBench::ShowProject() {
    const gateway::GatewayModel* model = session_->Model();
    pollPage_->SetMeanings(session_->Meanings());
    monitorPage_->Refresh(NowMicros());
    if (!model) return;
    // Placeholders and defaults from this project, never from another.
    monitorPage_->SetExample(gateway::ExampleFramesText(*model, 1));
    pollPage_->SetProject(model);
    expectedPage_->SetExample(gateway::ExampleRegisterValuesText(*model));
}

void TFBench::CB_PluginChange() {
    // What an earlier plugin said is not this one's.
    if (!Bus().IsOpen()) LbCanStatus->clear();
    const QString typed = CB_Interface->currentText();
    CB_Interface->clear();
    for (const std::string& name : CanBus::Interfaces(CB_Plugin->currentText().toStdString()))
        CB_Interface->addItem(QString::fromStdString(name));
    CB_Interface->setEditText(typed.isEmpty() ? (CB_Interface->count() ? CB_Interface->itemText(0) : "can0") : typed);
}

void TFBench::BtCanOpenClick() {
    if (Bus().IsOpen()) {
        Bus().Close();
        BtCanOpen->setText("Open");
        ShowStatus(LbCanStatus, "Closed", false);
        return;
    }
    const CanEndpoint endpoint{CB_Plugin->currentText().toStdString(), CB_Interface->currentText().trimmed().toStdString()};
    ShowStatus(LbCanStatus, "Opening " + endpoint.Text() + " ...", false);
    Bus().Open(endpoint, canBitRate_);
}

std::string TFBench::PortPath() const {
    const int index = CB_Port->findText(CB_Port->currentText());
    if (index >= 0 && CB_Port->itemData(index).isValid()) return CB_Port->itemData(index).toString().toStdString();
    return CB_Port->currentText().trimmed().toStdString();
}

void TFBench::BtModbusOpenClick() {
    if (Client().IsOpen()) {
        Client().Close();
        BtModbusOpen->setText("Open");
        ShowStatus(LbModbusStatus, "Closed", false);
        return;
    }
    SerialSettings s;
    s.baud = CB_Baud->currentData().toInt();
    s.parity = CB_Parity->currentIndex() == 1 ? live::Parity::Even
               : CB_Parity->currentIndex() == 2 ? live::Parity::Odd
                                                : live::Parity::None;
    s.stopBits = CB_StopBits->currentIndex() == 1 ? 2 : 1;
    Client().SetDeviceAddress(SE_Address->value());
    Client().SetTimeOut(SE_TimeOut->value());
    const std::string port = PortPath();
    const Result<void> opened = port.empty() ? Failure{"Choose or type a serial port"} : Client().Open(port, s);
    if (!opened) {
        ShowStatus(LbModbusStatus, opened.Why(), true);
        return;
    }
    BtModbusOpen->setText("Close");
    serialText_ = SerialSettingsText(s);
    ShowModbusOpen();
}

void TFBench::ShowModbusOpen() {
    ShowStatus(LbModbusStatus,
               "Open: " + Client().Port() + ", " + serialText_ + ", device address " +
                   std::to_string(Client().DeviceAddress()) + ", time-out " + std::to_string(Client().TimeOut()) +
                   " ms",
               false);
}

void TFBench::CloseAll() {
    monitorPage_->StopRecording();
    monitorPage_->StopSending();
    session_->Close();
    BtCanOpen->setText("Open");
    BtModbusOpen->setText("Open");
    // Nothing on the status lines may still say "Open".
    LbCanStatus->clear();
    LbModbusStatus->clear();
}

void TFBench::done(int result) {
    CloseAll();
    QDialog::done(result);
}

}  // namespace vestrel::live
