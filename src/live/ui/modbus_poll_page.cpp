#include "live/ui/modbus_poll_page.h"

#include "gateway/gateway_model.h"
#include "gateway/model_wording.h"
#include "gateway/register_values.h"
#include "live/qt/modbus_client.h"
#include "live/ui/bench_widgets.h"
#include "live/ui/text_table_model.h"
#include "platform/printable_text.h"
#include "platform/text.h"

#include <QCheckBox>
#include <QComboBox>
#include <QFontDatabase>
#include <QFormLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QSpinBox>
#include <QTableView>
#include <QTimer>
#include <QVBoxLayout>


namespace vestrel::live {

namespace {

QSpinBox* NumberBox(QWidget* parent, const char* name, int min, int max, int value) {
    auto* box = new QSpinBox(parent);
    box->setObjectName(name);
    box->setRange(min, max);
    box->setValue(value);
    return box;
}

}  // namespace

TFModbusPollPage::TFModbusPollPage(QWidget* parent) : QWidget(parent) {
    setObjectName("TFModbusPollPage");
    CB_Function = new QComboBox(this);
    CB_Function->setObjectName("CB_Function");
    CB_Function->addItems({"03 Read holding registers", "04 Read input registers"});
    CB_Numbering = new QComboBox(this);
    CB_Numbering->setObjectName("CB_Numbering");
    CB_Numbering->addItems({"0-based protocol address", "1-based register number"});
    SE_Start = NumberBox(this, "SE_Start", 0, 65536, 1);
    SE_Count = NumberBox(this, "SE_Count", 1, kMaxReadCount, 4);
    SE_Interval = NumberBox(this, "SE_Interval", 50, 60000, 500);
    SE_Interval->setSuffix(" ms");
    LbAddress = new QLabel(this);
    LbAddress->setObjectName("LbAddress");
    BtRead = new QPushButton("Read", this);
    BtRead->setObjectName("BtRead");
    CB_Poll = new QCheckBox("Poll every", this);
    CB_Poll->setObjectName("CB_Poll");
    sgValues = TextTableView(this, "sgValues", ReadValuesTable({}, {}, Numbering::ProtocolAddress, nullptr).headings);
    LbReadResult = new QLabel(this);
    LbReadResult->setObjectName("LbReadResult");
    LbReadResult->setWordWrap(true);
    CB_WriteFunction = new QComboBox(this);
    CB_WriteFunction->setObjectName("CB_WriteFunction");
    CB_WriteFunction->addItems({"06 Write single register", "16 Write multiple registers"});
    SE_WriteStart = NumberBox(this, "SE_WriteStart", 0, 65536, 100);
    E_WriteValues = new QLineEdit(this);
    E_WriteValues->setObjectName("E_WriteValues");
    E_WriteValues->setPlaceholderText("0x1234, 7");
    LbWriteAddress = new QLabel(this);
    LbWriteAddress->setObjectName("LbWriteAddress");
    BtWrite = new QPushButton("Write", this);
    BtWrite->setObjectName("BtWrite");
    for (QPushButton* b : {BtRead, BtWrite}) b->setAutoDefault(false);
    M_Log = new QPlainTextEdit(this);
    M_Log->setObjectName("M_Log");
    M_Log->setReadOnly(true);
    M_Log->setFont(QFontDatabase::systemFont(QFontDatabase::FixedFont));
    M_Log->setMaximumBlockCount(2000);

    QWidget* read = BuildReadGroup();
    QWidget* write = BuildWriteGroup();

    auto* left = new QVBoxLayout;
    left->addWidget(read);
    left->addWidget(sgValues, 1);
    left->addWidget(LbReadResult);
    left->addWidget(write);
    auto* layout = new QHBoxLayout(this);
    layout->addLayout(left, 3);
    layout->addWidget(M_Log, 2);

    again_ = new QTimer(this);
    again_->setSingleShot(true);
    connect(again_, &QTimer::timeout, this, [this] { BtReadClick(); });
    connect(BtRead, &QPushButton::clicked, this, [this] { BtReadClick(); });
    connect(CB_Poll, &QCheckBox::toggled, this, [this] { CB_PollClick(); });
    connect(BtWrite, &QPushButton::clicked, this, [this] { BtWriteClick(); });
    connect(CB_Numbering, &QComboBox::currentIndexChanged, this, [this] { CB_NumberingChange(); });
    for (QSpinBox* box : {SE_Start, SE_Count, SE_WriteStart})
        connect(box, &QSpinBox::valueChanged, this, [this] { ShowAddresses(); });
    connect(E_WriteValues, &QLineEdit::textChanged, this, [this] { ShowAddresses(); });
    ShowAddresses();
}

TFModbusPollPage::~TFModbusPollPage() = default;

QWidget* TFModbusPollPage::BuildReadGroup() {
    auto* read = new QGroupBox("Read", this);
    auto* readForm = new QFormLayout(read);
    readForm->addRow("Function:", CB_Function);
    readForm->addRow("Numbering:", CB_Numbering);
    auto* range = new QHBoxLayout;
    range->addWidget(SE_Start);
    range->addWidget(new QLabel("count", this));
    range->addWidget(SE_Count);
    range->addWidget(BtRead);
    range->addWidget(CB_Poll);
    range->addWidget(SE_Interval);
    range->addStretch(1);
    readForm->addRow("Start:", range);
    readForm->addRow("", LbAddress);
    return read;
}

QWidget* TFModbusPollPage::BuildWriteGroup() {
    auto* write = new QGroupBox("Write", this);
    auto* writeForm = new QFormLayout(write);
    writeForm->addRow("Function:", CB_WriteFunction);
    auto* writeRow = new QHBoxLayout;
    writeRow->addWidget(SE_WriteStart);
    writeRow->addWidget(new QLabel("values", this));
    writeRow->addWidget(E_WriteValues, 1);
    writeRow->addWidget(BtWrite);
    writeForm->addRow("Start:", writeRow);
    writeForm->addRow("", LbWriteAddress);
    return write;
}

void TFModbusPollPage::SetClient(ModbusClient* client) {
    client_ = client;
    if (!client_) CB_Poll->setChecked(false);
}

void TFModbusPollPage::SetProject(const gateway::GatewayModel* model) {
    if (!model) return;
    const PollDefaults defaults = PollDefaultsOf(*model);
    const live::Numbering n = CurrentNumbering();
    SE_Start->setValue(static_cast<int>(NumberOf(defaults.read.start, n)));
    SE_Count->setValue(defaults.read.count);
    SE_WriteStart->setValue(static_cast<int>(NumberOf(defaults.write, n)));
}

void TFModbusPollPage::ClearValues(const std::string& why, bool failure) {
    ModelOf(sgValues).SetTable(ReadValuesTable({}, {}, CurrentNumbering(), meanings_));
    ShowStatus(LbReadResult, why, failure);
}

live::Numbering TFModbusPollPage::CurrentNumbering() const {
    return CB_Numbering->currentIndex() == 1 ? live::Numbering::RegisterNumber : live::Numbering::ProtocolAddress;
}

void TFModbusPollPage::CB_NumberingChange() {
    // The protocol address stays; the number that names it changes.
    const int shift = CurrentNumbering() == live::Numbering::RegisterNumber ? 1 : -1;
    for (QSpinBox* box : {SE_Start, SE_WriteStart}) {
        const QSignalBlocker quiet(box);
        box->setValue(box->value() + shift);
    }
    ShowAddresses();
    // The rows name their registers in the old numbering.
    if (ModelOf(sgValues).rowCount() > 0) ClearValues("The numbering changed: read again", false);
}

namespace {

// The protocol addresses of `count` registers from `number`, or why they have none.
std::string AddressRangeText(long number, long count, live::Numbering n) {
    const auto first = AddressOf(number, n);
    const auto last = AddressOf(number + count - 1, n);
    if (!first || !last)
        return "no protocol address: " + NumberingName(n) + " " + std::to_string(number) +
               (count > 1 ? " to " + std::to_string(number + count - 1) : "") + " is outside 0 to 65535";
    std::string text = AddressText(*first, n);
    if (count > 1) text += " ... " + AddressText(*last, n);
    return text;
}

}  // namespace

void TFModbusPollPage::ShowAddresses() {
    const live::Numbering n = CurrentNumbering();
    LbAddress->setText(QString::fromStdString(AddressRangeText(SE_Start->value(), SE_Count->value(), n)));
    const auto values = gateway::ParseRegisterValueList(E_WriteValues->text().toStdString());
    const long count = values ? static_cast<long>(values->size()) : 1;
    LbWriteAddress->setText(QString::fromStdString(AddressRangeText(SE_WriteStart->value(), count, n)));
}

void TFModbusPollPage::AddLogLine(const std::string& line) {
    M_Log->appendPlainText(QString::fromStdString(PrintableText(line, LineBreaks::OneLine)));
}

void TFModbusPollPage::BtReadClick() {
    if (reading_) return;
    const live::Numbering n = CurrentNumbering();
    const auto first = AddressOf(SE_Start->value(), n);
    const auto last = AddressOf(SE_Start->value() + SE_Count->value() - 1, n);
    if (!client_ || !client_->IsOpen() || !first || !last) {
        ShowStatus(LbReadResult,
                   !first || !last ? AddressRangeText(SE_Start->value(), SE_Count->value(), n) : "Open a serial port first",
                   true);
        CB_Poll->setChecked(false);
        return;
    }
    const ReadFunction function = CB_Function->currentIndex() == 1 ? ReadFunction::InputRegisters
                                                                   : ReadFunction::HoldingRegisters;
    const RegisterBlock block{*first, SE_Count->value()};
    const int number = ++sequence_;
    reading_ = true;
    client_->Read(function, block, this, [this, function, block, number](const RequestOutcome& outcome) {
        reading_ = false;
        ++answered_;
        std::string line = "#" + std::to_string(number) + " " + ReadRequestText(function, block, outcome.device) + ": ";
        if (outcome.values) {
            for (std::uint16_t v : *outcome.values) line += gateway::RegisterValueText(v) + " ";
            line.pop_back();
        } else {
            line += outcome.values.Why();
        }
        AddLogLine(line);
        ShowValues(block, outcome);
        if (CB_Poll->isChecked()) again_->start(SE_Interval->value());
        emit requestDone();
    });
}

void TFModbusPollPage::ShowValues(RegisterBlock block, const RequestOutcome& outcome) {
    TextTableModel& shown = ModelOf(sgValues);
    if (!outcome.values) {
        shown.SetTable(ReadValuesTable(block, {}, CurrentNumbering(), meanings_));
        ShowStatus(LbReadResult, outcome.values.Why(), true);
        return;
    }
    shown.SetTable(ReadValuesTable(block, *outcome.values, CurrentNumbering(), meanings_));
    ShowStatus(LbReadResult,
               "Read " + Plural(outcome.values->size(), "register", "registers") + " from device " +
                   std::to_string(outcome.device),
               false);
}

void TFModbusPollPage::CB_PollClick() {
    if (CB_Poll->isChecked())
        BtReadClick();
    else
        again_->stop();
}

void TFModbusPollPage::BtWriteClick() {
    const live::Numbering n = CurrentNumbering();
    const auto first = AddressOf(SE_WriteStart->value(), n);
    const bool single = CB_WriteFunction->currentIndex() == 0;
    const auto parsed = gateway::ParseRegisterValueList(E_WriteValues->text().toStdString());
    if (!parsed) {
        AddLogLine("write: " + parsed.Why());
        return;
    }
    const std::vector<std::uint16_t>& values = *parsed;
    if (!first || (single && values.size() > 1) ||
        !AddressOf(SE_WriteStart->value() + static_cast<long>(values.size()) - 1, n)) {
        AddLogLine("write: " + (single && values.size() > 1 ? std::string("06 writes one register; choose 16 for several")
                                                            : AddressRangeText(SE_WriteStart->value(),
                                                                               static_cast<long>(values.size()), n)));
        return;
    }
    if (!client_ || !client_->IsOpen()) {
        AddLogLine("write: open a serial port first");
        return;
    }
    const WriteFunction function = single ? WriteFunction::SingleRegister : WriteFunction::MultipleRegisters;
    const RegisterBlock block{*first, static_cast<int>(values.size())};
    if (meanings_) {
        // Register numbers as the signals' registers are read: the protocol address.
        gateway::RegisterValues written;
        for (std::size_t i = 0; i < values.size(); ++i) written[static_cast<std::uint16_t>(*first + i)] = values[i];
        for (const std::string& partial : gateway::PartialSignalWrites(*meanings_, written))
            AddLogLine("write: warning: " + partial);
    }
    const int number = ++sequence_;
    client_->Write(function, *first, values, this, [this, function, block, number](const RequestOutcome& outcome) {
        ++answered_;
        AddLogLine("#" + std::to_string(number) + " " + WriteRequestText(function, block, outcome.device) + ": " +
            (outcome.values ? std::string("done") : outcome.values.Why()));
        emit requestDone();
    });
}

}  // namespace vestrel::live
