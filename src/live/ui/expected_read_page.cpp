#include "live/ui/expected_read_page.h"

#include "gateway/gateway_model.h"
#include "gateway/model_wording.h"
#include "gateway/preview.h"
#include "live/qt/bench_session.h"
#include "live/qt/can_bus.h"
#include "live/qt/check_runs.h"
#include "live/qt/modbus_client.h"
#include "live/ui/bench_widgets.h"
#include "live/ui/text_table_model.h"
#include "platform/printable_text.h"
#include "signaldb/signal_names.h"

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


TFExpectedReadPage::TFExpectedReadPage(QWidget* parent) : QWidget(parent) {
    setObjectName("TFExpectedReadPage");
    CB_IndexNumbering = new QComboBox(this);
    CB_IndexNumbering->setObjectName("CB_IndexNumbering");
    CB_IndexNumbering->addItems({"Index = protocol address (as the gateway's firmware reads it)",
                                 "Index = 1-based register number (protocol address = Index - 1)"});
    LbNumbering = new QLabel(this);
    LbNumbering->setObjectName("LbNumbering");
    CB_Function = new QComboBox(this);
    CB_Function->setObjectName("CB_Function");
    CB_Function->addItems({"03 Read holding registers", "04 Read input registers"});
    BtReadAll = new QPushButton("Read and compare", this);
    BtReadAll->setObjectName("BtReadAll");
    sgRegisters =
        TextTableView(this, "sgRegisters", ExpectedTable(nullptr, nullptr, Numbering::ProtocolAddress, nullptr, nullptr).headings);
    E_Write = new QLineEdit(this);
    E_Write->setObjectName("E_Write");
    E_Write->setPlaceholderText("100=0x1234,101=5");
    E_WriteSignals = new QLineEdit(this);
    E_WriteSignals->setObjectName("E_WriteSignals");
    E_WriteSignals->setPlaceholderText("physical values of imported signals: Target velocity=-1000, ControlWord=15");
    SE_FrameWait = new QSpinBox(this);
    SE_FrameWait->setObjectName("SE_FrameWait");
    SE_FrameWait->setRange(1, 600000);
    SE_FrameWait->setValue(1000);
    SE_FrameWait->setSuffix(" ms");
    BtWrite = new QPushButton("Write and watch the bus", this);
    BtWrite->setObjectName("BtWrite");
    for (QPushButton* b : {BtReadAll, BtWrite}) b->setAutoDefault(false);
    M_Transmit = new QPlainTextEdit(this);
    M_Transmit->setObjectName("M_Transmit");
    M_Transmit->setReadOnly(true);
    M_Transmit->setLineWrapMode(QPlainTextEdit::NoWrap);
    M_Transmit->setFont(QFontDatabase::systemFont(QFontDatabase::FixedFont));
    M_Transmit->setMaximumHeight(M_Transmit->fontMetrics().lineSpacing() * 6 + 12);
    LbSummary = new QLabel(this);
    LbSummary->setObjectName("LbSummary");
    LbSummary->setWordWrap(true);

    auto* receive = new QGroupBox("Receive registers: expected from the traffic, read from the device", this);
    auto* receiveForm = new QFormLayout(receive);
    receiveForm->addRow("Project register number:", CB_IndexNumbering);
    auto* readRow = new QHBoxLayout;
    readRow->addWidget(CB_Function);
    readRow->addWidget(BtReadAll);
    readRow->addSpacing(12);
    readRow->addWidget(LbNumbering, 1);
    receiveForm->addRow("Read with:", readRow);
    auto* transmit = new QGroupBox("Transmit registers: write values, then watch for the frames they feed", this);
    auto* transmitLayout = new QVBoxLayout(transmit);
    auto* writeRow = new QHBoxLayout;
    writeRow->addWidget(new QLabel("Registers:", this));
    writeRow->addWidget(E_Write, 1);
    writeRow->addWidget(new QLabel("wait", this));
    writeRow->addWidget(SE_FrameWait);
    writeRow->addWidget(BtWrite);
    transmitLayout->addLayout(writeRow);
    auto* signalRow = new QHBoxLayout;
    signalRow->addWidget(new QLabel("Signals:", this));
    signalRow->addWidget(E_WriteSignals, 1);
    transmitLayout->addLayout(signalRow);
    transmitLayout->addWidget(M_Transmit);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(receive);
    layout->addWidget(sgRegisters, 1);
    layout->addWidget(transmit);
    layout->addWidget(LbSummary);

    refresh_ = new QTimer(this);
    refresh_->setInterval(250);
    connect(refresh_, &QTimer::timeout, this, [this] {
        if (isVisible()) ShowExpected();
    });
    refresh_->start();
    connect(BtReadAll, &QPushButton::clicked, this, [this] { BtReadAllClick(); });
    connect(BtWrite, &QPushButton::clicked, this, [this] { BtWriteClick(); });
    connect(CB_IndexNumbering, &QComboBox::currentIndexChanged, this, [this] { CB_IndexNumberingChange(); });
    ShowChecks();
}

TFExpectedReadPage::~TFExpectedReadPage() = default;

void TFExpectedReadPage::SetSession(BenchSession* session) {
    if (session_) disconnect(session_, nullptr, this, nullptr);
    session_ = session;
    if (session_) connect(session_, &BenchSession::projectChanged, this, [this] { ForgetChecks(); });
    ForgetChecks();
}

void TFExpectedReadPage::ForgetChecks() {
    // The session dropped the checks of the old project, and their callbacks with them.
    dropped_.clear();
    M_Transmit->clear();
    BtReadAll->setEnabled(true);
    BtWrite->setEnabled(true);
    ShowChecks();
}

void TFExpectedReadPage::SetExample(const std::string& registerValues) {
    E_Write->setPlaceholderText(QString::fromStdString(registerValues));
}

bool TFExpectedReadPage::Busy() const { return session_ && session_->Checking(); }

const gateway::GatewayModel* TFExpectedReadPage::Model() const { return session_ ? session_->Model() : nullptr; }

const gateway::RegisterTable* TFExpectedReadPage::Table() const {
    return session_ && session_->Monitor() ? &session_->Monitor()->Table() : nullptr;
}

live::Numbering TFExpectedReadPage::CurrentNumbering() const {
    return CB_IndexNumbering->currentIndex() == 1 ? live::Numbering::RegisterNumber : live::Numbering::ProtocolAddress;
}

void TFExpectedReadPage::CB_IndexNumberingChange() {
    // The registers were read at the addresses of the other numbering: the
    // results, or the read still going on, no longer fit the rows.
    const ReceiveCheckRun* reads = session_ ? session_->CheckOf<ReceiveCheckRun>() : nullptr;
    const bool running = reads && reads->Running();
    if (session_) session_->DropCheck<ReceiveCheckRun>();
    dropped_ = running ? "Read and compare stopped: the numbering changed. Read again." : std::string();
    BtReadAll->setEnabled(true);
    ShowChecks();
}

const std::vector<RegisterCheck>* TFExpectedReadPage::FinishedChecks() const {
    const ReceiveCheckRun* reads = session_ ? session_->CheckOf<ReceiveCheckRun>() : nullptr;
    if (!reads || reads->Running() || !Table() || reads->Checks().size() != Model()->ReceiveRegisters().size())
        return nullptr;
    return &reads->Checks();
}

void TFExpectedReadPage::ShowChecks() {
    // The whole sentence on the label's tooltip; the table shows each address.
    LbNumbering->setText(CurrentNumbering() == live::Numbering::ProtocolAddress
                             ? "register 40 is read at protocol address 40"
                             : "register 40 is read at protocol address 39");
    LbNumbering->setToolTip(QString::fromStdString(IndexNumberingText(CurrentNumbering())));
    ShowExpected();
}

void TFExpectedReadPage::ShowExpected() {
    ModelOf(sgRegisters).SetTable(
        ExpectedTable(Model(), Table(), CurrentNumbering(), FinishedChecks(), session_ ? session_->Meanings() : nullptr));
    ShowSummary();
}

void TFExpectedReadPage::ShowSummary() {
    static const std::vector<RegisterCheck> noChecks;
    static const std::vector<WriteCheck> noWrites;
    const std::vector<RegisterCheck>* checks = FinishedChecks();
    WriteCheckRun* run = session_ ? session_->CheckOf<WriteCheckRun>() : nullptr;
    const std::vector<WriteCheck>& writes = run && !run->Running() && writesJudged_ ? run->Writes() : noWrites;
    if (!dropped_.empty() && writes.empty()) {
        ShowStatus(LbSummary, dropped_, false);
        return;
    }
    if (!checks && writes.empty()) {
        LbSummary->setText(Model() ? "Open both interfaces, let the bus run, then read and compare."
                                  : "The project cannot be compiled: nothing to compare.");
        LbSummary->setStyleSheet("");
        return;
    }
    const VerifyTally tally = Tally(checks ? *checks : noChecks, writes, Table());
    const std::vector<std::string> lines = SummaryLines(tally, false);
    ShowStatus(LbSummary, lines[0] + " - " + lines[1], !Passed(tally, false) && tally.outOfDate == 0);
}

void TFExpectedReadPage::BtReadAllClick() {
    if (Busy()) return;
    if (!Table() || !session_->Client().IsOpen()) {
        ShowStatus(LbSummary, "Open a serial port first", true);
        return;
    }
    const ReadFunction function = CB_Function->currentIndex() == 1 ? ReadFunction::InputRegisters
                                                                   : ReadFunction::HoldingRegisters;
    dropped_.clear();
    ReceiveCheckRun& reads = session_->TakeCheck(std::make_unique<ReceiveCheckRun>(
        *Model(), *Table(), session_->Client(), function, CurrentNumbering()));
    connect(&reads, &ReceiveCheckRun::finished, this, [this] {
        BtReadAll->setEnabled(true);
        ShowChecks();
        emit checkFinished();
    });
    BtReadAll->setEnabled(false);
    reads.Start();
}

// The registers to write: those typed, and those the typed physical values
// of imported signals give (the signals' bits win); the reason otherwise.
Result<gateway::RegisterValues> TFExpectedReadPage::TypedWrite() const {
    gateway::RegisterValues values;
    const std::string registers = E_Write->text().trimmed().toStdString();
    const std::string typedSignals = E_WriteSignals->text().trimmed().toStdString();
    if (!registers.empty() || typedSignals.empty()) {
        auto parsed = gateway::ParseRegisterValues(registers);
        if (!parsed) return Failure{parsed.Why()};
        values = std::move(*parsed);
    }
    if (typedSignals.empty()) return values;
    const gateway::SignalValues* meanings = session_ ? session_->Meanings() : nullptr;
    if (!meanings) return Failure{"the project has no imported signals (signals.xml) to take physical values of"};
    const auto assignments = signaldb::ParseSignalValues(typedSignals);
    if (!assignments) return Failure{assignments.Why()};
    std::vector<std::string> warnings;
    if (const Result<void> applied = gateway::ApplySignalAssignments(*meanings, *assignments, values, warnings); !applied)
        return Failure{applied.Why()};
    return values;
}

void TFExpectedReadPage::BtWriteClick() {
    if (Busy()) return;
    const auto values = TypedWrite();
    if (!values) {
        M_Transmit->setPlainText(QString::fromStdString(PrintableText(values.Why(), LineBreaks::OneLine)));
        return;
    }
    if (!Model() || !session_->Client().IsOpen()) {
        M_Transmit->setPlainText("Open a serial port and a CAN interface first.");
        return;
    }
    // Without the bus no frame can be seen: a write would be judged by what
    // the window cannot hear.
    if (!session_->Bus().IsOpen()) {
        M_Transmit->setPlainText("The CAN interface is not open, so the frames a write feeds cannot be watched: "
                                 "nothing was written and nothing is judged. Open the CAN interface first.");
        return;
    }
    // A signal over several registers given only some of them goes out half new.
    std::string warnings;
    if (const gateway::SignalValues* meanings = session_->Meanings())
        for (const std::string& partial : gateway::PartialSignalWrites(*meanings, *values))
            warnings += PrintableText("warning: " + partial, LineBreaks::OneLine) + "\n";
    writesJudged_ = true;
    WriteCheckRun& writes = session_->TakeCheck(
        std::make_unique<WriteCheckRun>(*Model(), session_->Client(), CurrentNumbering(), *values, SE_FrameWait->value()));
    connect(&writes, &WriteCheckRun::finished, this, [this, &writes, warnings] {
        std::string text = warnings;
        writesJudged_ = session_->Bus().IsOpen();
        if (writesJudged_) {
            for (const std::string& line : writes.Lines(session_->LineContext()))
                text += PrintableText(line, LineBreaks::OneLine) + "\n";
        } else {
            text += "The CAN interface closed during the write check: the frames were not watched and nothing is "
                    "judged.";
        }
        M_Transmit->setPlainText(QString::fromStdString(text));
        BtWrite->setEnabled(true);
        ShowSummary();
        emit checkFinished();
    });
    M_Transmit->setPlainText(QString::fromStdString(
        warnings + "Writing " + PrintableText(live::WrittenValuesText(*values), LineBreaks::OneLine) + " ..."));
    BtWrite->setEnabled(false);
    writes.Start();
}

}  // namespace vestrel::live
