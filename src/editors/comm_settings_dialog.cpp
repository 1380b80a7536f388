#include "editors/comm_settings_dialog.h"

#include "editors/unsaved_changes.h"
#include "platform/error.h"
#include "platform/qt/qt_paths.h"
#include "project/integer_text.h"

#include <QButtonGroup>
#include <QCheckBox>
#include <QComboBox>
#include <QFrame>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QShowEvent>
#include <QVBoxLayout>

namespace vestrel {

namespace {


// The list of a rate code: the rate in bit/s divided by `unit`, by code.
template <std::size_t N>
QStringList RateItems(const std::array<int, N>& rates, int unit) {
    QStringList items;
    for (const int rate : rates) items << QString::number(rate / unit);
    return items;
}

QComboBox* MakeList(QWidget* parent, const char* name, const QStringList& items, bool editable) {
    auto* box = new QComboBox(parent);
    box->setObjectName(name);
    box->setEditable(editable);
    if (editable) box->setInsertPolicy(QComboBox::NoInsert);
    box->addItems(items);
    return box;
}

QLineEdit* MakeEdit(QWidget* parent, const char* name, const char* text) {
    auto* edit = new QLineEdit(QString::fromLatin1(text), parent);
    edit->setObjectName(name);
    return edit;
}

template <typename Button>
Button* MakeButton(QWidget* parent, const char* name, const char* caption) {
    auto* button = new Button(caption, parent);
    button->setObjectName(name);
    return button;
}

// The two buttons exclude each other, whatever else their box holds.
void GroupExclusive(QObject* owner, QAbstractButton* first, QAbstractButton* second) {
    auto* group = new QButtonGroup(owner);
    group->addButton(first);
    group->addButton(second);
}

QFrame* MakeInnerBox(QWidget* parent) {
    auto* box = new QFrame(parent);
    box->setFrameShape(QFrame::StyledPanel);
    box->setFrameShadow(QFrame::Sunken);
    return box;
}

// Strict conversion of a list index; absent or not integer text gives the
// default, an index outside the list no selection.
void SelectIndex(QComboBox* box, const CommParameters::Field& field, int fallback) {
    int index = fallback;
    if (field) {
        if (auto value = ParseIntegerText(*field)) index = *value;
    }
    box->setCurrentIndex(index >= 0 && index < box->count() ? index : -1);
}

// Whether the field holds an integer from `low` to `high`; if not, shows
// `error` and selects the field's text for the correction.
bool CheckRange(UserDialogs& dialogs, QLineEdit* field, std::int32_t low, std::int32_t high, const char* error) {
    const std::int32_t value = ParseIntegerText(FromQText(field->text()), -1);
    if (value >= low && value <= high) return true;
    dialogs.ShowError(error);
    field->setFocus();
    field->selectAll();
    return false;
}

}  // namespace

TFpargen::TFpargen(UserDialogs& dialogs, QWidget* parent)
    : QDialog(parent, Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint), 
      dialogs_(dialogs) {
    setObjectName("Fpargen");
    setWindowTitle("SET COMMUNICATION");
    setModal(true);

    QGroupBox* can = BuildCanGroup();
    QGroupBox* serial = BuildSerialGroup();
    QLayout* buttons = BuildButtons();
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(can);
    layout->addWidget(serial);
    layout->addLayout(buttons);
    layout->setSizeConstraint(QLayout::SetFixedSize);

    connect(BitBtn1, &QPushButton::clicked, this, &TFpargen::BitBtn1Click);
    connect(BitBtn2, &QPushButton::clicked, this, &QDialog::reject);
    connect(CB_BR_CAN->lineEdit(), &QLineEdit::editingFinished, this, &TFpargen::SyncTypedCanRate);
}

// " CAN Bus ": the rate, the identifier format and the time-outs.
QGroupBox* TFpargen::BuildCanGroup() {
    auto* can = new QGroupBox(" CAN Bus ", this);
    CB_BR_CAN = MakeList(can, "CB_BR_CAN", RateItems(kCanBitRates, 1000), true);
    RB_CAN_A = MakeButton<QRadioButton>(can, "RB_CAN_A", "CAN Bus 2.0A (CobID 11Bit)");
    RB_CAN_B = MakeButton<QRadioButton>(can, "RB_CAN_B", "CAN Bus 2.0B (CobID 29Bit)");
    GroupExclusive(this, RB_CAN_A, RB_CAN_B);
    RB_CAN_A->setChecked(true);
    RB_CAN_A->setEnabled(false);

    auto* timeoutBox = MakeInnerBox(can);
    E_TO_Data = MakeEdit(timeoutBox, "E_TO_Data", "0");
    E_TO_MR = MakeEdit(timeoutBox, "E_TO_MR", "1");
    auto* timeoutGrid = new QGridLayout(timeoutBox);
    timeoutGrid->addWidget(new QLabel("TimeOut Data", timeoutBox), 0, 0);
    timeoutGrid->addWidget(E_TO_Data, 0, 1);
    timeoutGrid->addWidget(new QLabel("(Sec.)", timeoutBox), 0, 2);
    timeoutGrid->addWidget(new QLabel("Modbus Register", timeoutBox), 1, 0);
    timeoutGrid->addWidget(E_TO_MR, 1, 1);

    auto* canGrid = new QGridLayout(can);
    canGrid->addWidget(new QLabel("Baud rate", can), 0, 0);
    canGrid->addWidget(CB_BR_CAN, 0, 1);
    canGrid->addWidget(RB_CAN_A, 1, 0, 1, 2);
    canGrid->addWidget(RB_CAN_B, 2, 0, 1, 2);
    canGrid->addWidget(timeoutBox, 3, 0, 1, 2);
    return can;
}

// " Serial ": the line type, rate, parity and device ID, and the two
// options on cancelling data.
QGroupBox* TFpargen::BuildSerialGroup() {
    auto* serial = new QGroupBox(" Serial ", this);
    auto* lineBox = MakeInnerBox(serial);
    RB_RS232 = MakeButton<QRadioButton>(lineBox, "RB_RS232", "RS232");
    RB_RS485 = MakeButton<QRadioButton>(lineBox, "RB_RS485", "RS485");
    GroupExclusive(this, RB_RS232, RB_RS485);
    RB_RS485->setChecked(true);
    auto* lineLayout = new QHBoxLayout(lineBox);
    lineLayout->addWidget(RB_RS232);
    lineLayout->addWidget(RB_RS485);

    CB_BR_RTU = MakeList(serial, "CB_BR_RTU", RateItems(kSerialBitRates, 1), false);
    CB_BR_RTU->setCurrentIndex(3);
    CB_PAR_RTU = MakeList(serial, "CB_PAR_RTU", {"NONE", "ODD", "EVEN"}, false);
    E_ID_RTU = MakeEdit(serial, "E_ID_RTU", "1");
    E_TIME_RTU = MakeEdit(serial, "E_TIME_RTU", "1000");
    auto* timeRtuLabel = new QLabel("Timeout  (ms)", serial);
    E_TIME_RTU->setVisible(false);
    timeRtuLabel->setVisible(false);

    auto* optionsBox = MakeInnerBox(serial);
    CB_Can_Data = MakeButton<QCheckBox>(optionsBox, "CB_Can_Data", "Cancel data after read");
    CB_C_D_Inp_Reg = MakeButton<QCheckBox>(optionsBox, "CB_C_D_Inp_Reg", "No cancel if read Input Reg.");
    auto* optionsLayout = new QVBoxLayout(optionsBox);
    optionsLayout->addWidget(CB_Can_Data);
    optionsLayout->addWidget(CB_C_D_Inp_Reg);

    auto* serialGrid = new QGridLayout(serial);
    serialGrid->addWidget(lineBox, 0, 0, 1, 2);
    serialGrid->addWidget(new QLabel("Baud rate", serial), 1, 0);
    serialGrid->addWidget(CB_BR_RTU, 1, 1);
    serialGrid->addWidget(new QLabel("Parity", serial), 2, 0);
    serialGrid->addWidget(CB_PAR_RTU, 2, 1);
    serialGrid->addWidget(new QLabel("Dev ID", serial), 3, 0);
    serialGrid->addWidget(E_ID_RTU, 3, 1);
    serialGrid->addWidget(timeRtuLabel, 4, 0);
    serialGrid->addWidget(E_TIME_RTU, 4, 1);
    serialGrid->addWidget(optionsBox, 5, 0, 1, 2);
    return serial;
}

// "OK" and "Cancel", centred.
QLayout* TFpargen::BuildButtons() {
    BitBtn1 = MakeButton<QPushButton>(this, "BitBtn1", "OK");
    BitBtn1->setDefault(true);
    BitBtn2 = MakeButton<QPushButton>(this, "BitBtn2", "Cancel");
    BitBtn2->setAutoDefault(false);
    auto* buttons = new QHBoxLayout;
    buttons->addStretch();
    buttons->addWidget(BitBtn1);
    buttons->addWidget(BitBtn2);
    buttons->addStretch();
    return buttons;
}

void TFpargen::showEvent(QShowEvent* event) {
    // Not when the window manager merely restores a minimized window.
    if (!event->spontaneous()) FormShow();
    QDialog::showEvent(event);
}

void TFpargen::FormShow() {
    projectDir_ = paths_.projectDir;
    RB_CAN_A->setChecked(true);
    RB_CAN_A->setEnabled(false);
    RB_CAN_B->setEnabled(false);

    // Without a readable file every control keeps what it holds, and OK asks
    // before it replaces a file that is there but could not be read.
    CommParametersRead read = ReadCommParameters(projectDir_);
    replaceQuestion_.clear();
    if (read.status == CommParametersRead::Status::Loaded) LoadControls(read.parameters);
    shownSettings_ = ShownSettings();
    if (read.status == CommParametersRead::Status::Unreadable) {
        const auto file = FindProjectFile(projectDir_, kPargenFile);
        const std::string name = file ? file->filename().string() : std::string(kPargenFile);
        replaceQuestion_ = name + " could not be read:\n" + read.error + "\n\nReplace " + name + " with the settings shown?";
    }
    BitBtn1->setFocus();
}

void TFpargen::LoadControls(const CommParameters& p) {
    const CommParameters defaults = CommParameters::Defaults();

    SelectIndex(CB_BR_CAN, p.BaudRateCAN, 0);
    SelectIndex(CB_BR_RTU, p.Baud_Ser, 3);
    SelectIndex(CB_PAR_RTU, p.Par_Ser, 0);

    if (p.CANType) {
        if (auto type = ParseIntegerText(*p.CANType)) {
            (*type != 0 ? RB_CAN_B : RB_CAN_A)->setChecked(true);
            RB_CAN_A->setEnabled(true);
            RB_CAN_B->setEnabled(true);
        }
    }

    E_ID_RTU->setText(ToQText(p.IDDev_Ser.value_or(*defaults.IDDev_Ser)));
    E_TIME_RTU->setText(ToQText(p.TimeOut_Ser.value_or(*defaults.TimeOut_Ser)));
    E_TO_Data->setText(ToQText(p.TimeOut_Data.value_or(*defaults.TimeOut_Data)));
    E_TO_MR->setText(ToQText(p.TO_ModReg.value_or(*defaults.TO_ModReg)));

    (!p.Serial || *p.Serial == "1" ? RB_RS485 : RB_RS232)->setChecked(true);
    CB_Can_Data->setChecked(p.Cancel_Data == "1");
    CB_C_D_Inp_Reg->setChecked(p.Can_Data_Inp_Reg == "1");
}

void TFpargen::keyPressEvent(QKeyEvent* event) {
    // The Cancel button discards without asking.
    if (!CancelOnEscape(this, event, dialogs_, [this] { return ShownSettings() != shownSettings_; }))
        QDialog::keyPressEvent(event);
}

std::pair<CommParameters, QString> TFpargen::ShownSettings() const {
    // The rate typed into the CAN list counts before it is taken.
    return {ParametersFromControls(), CB_BR_CAN->currentText()};
}

bool TFpargen::Controllo_Dati() {
    return CheckRange(dialogs_, E_TO_Data, 0, 255,
                      "Error! The Time Out Data must to be between 0 and 255 seconds") &&
           CheckRange(dialogs_, E_TO_MR, 1, 65535,
                      "Error! The Modbus Register must to be between 1 and 65535 seconds");
}

CommParameters TFpargen::ParametersFromControls() const {
    CommParameters p;
    p.BaudRateCAN = std::to_string(CB_BR_CAN->currentIndex());
    p.CANType = RB_CAN_A->isChecked() ? "0" : "1";
    p.Baud_Ser = std::to_string(CB_BR_RTU->currentIndex());
    p.Par_Ser = std::to_string(CB_PAR_RTU->currentIndex());
    p.IDDev_Ser = FromQText(E_ID_RTU->text());
    p.TimeOut_Ser = FromQText(E_TIME_RTU->text());
    p.TimeOut_Data = FromQText(E_TO_Data->text());
    p.TO_ModReg = FromQText(E_TO_MR->text());
    p.Serial = RB_RS485->isChecked() ? "1" : "0";
    p.Cancel_Data = CB_Can_Data->isChecked() ? "1" : "0";
    p.Can_Data_Inp_Reg = CB_C_D_Inp_Reg->isChecked() ? "1" : "0";
    return p;
}

void TFpargen::BitBtn1Click() {
    SyncTypedCanRate();
    if (!Controllo_Dati()) return;
    if (!replaceQuestion_.empty() && dialogs_.ConfirmDefaultNo(replaceQuestion_) != Answer::Yes) return;
    try {
        WriteCommParameters(projectDir_, ParametersFromControls());
    } catch (const Error& e) {
        dialogs_.ShowError(e.what());
        return;
    }
    replaceQuestion_.clear();
    accept();
}

// Only a chosen rate is stored: typed text that names a rate in the list
// chooses it, any other text gives way to the rate chosen before, so that
// what the list shows is what OK writes.
void TFpargen::SyncTypedCanRate() {
    const int typed = CB_BR_CAN->findText(CB_BR_CAN->currentText().trimmed(), Qt::MatchFixedString);
    if (typed >= 0) CB_BR_CAN->setCurrentIndex(typed);
    const int index = CB_BR_CAN->currentIndex();
    CB_BR_CAN->setEditText(index >= 0 ? CB_BR_CAN->itemText(index) : QString());
}

}  // namespace vestrel
