#include "editors/frame_mapping_editor.h"

#include "editors/mapping_csv.h"
#include "editors/mapping_read_check.h"
#include "editors/unsaved_changes.h"
#include "platform/error.h"
#include "platform/qt/qt_paths.h"
#include "platform/qt/window_util.h"
#include "project/integer_text.h"
#include "project/pos_comp.h"
#include "platform/text.h"

#include <QButtonGroup>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QRadioButton>
#include <QShowEvent>
#include <QSignalBlocker>
#include <QTabWidget>
#include <QVBoxLayout>

#include <algorithm>
#include <cstdint>

namespace vestrel {

namespace {

constexpr const char* kDuplicateIndex = "Index or Subindex Not Valid";
constexpr const char* kImportQuestion =
    "The import Function cancel all Modbus regicters created, are you sure to import the file?";

// How many registers a question lists before it says how many more.
constexpr std::size_t kListedRegisters = 20;


std::string FileName(const std::filesystem::path& dir, std::string_view name) {
    const auto file = FindProjectFile(dir, name);
    return file ? file->filename().string() : std::string(name);
}

std::string FrameCount(std::size_t count) { return Plural(count, "frame", "frames"); }

// "5 (frame 2), 6 (frame 2)", and how many more past the first few.
std::string ListRegisters(const std::vector<MappingPastLastFrame>& registers) {
    std::string out;
    for (std::size_t i = 0; i < registers.size() && i < kListedRegisters; ++i) {
        if (i > 0) out += ", ";
        out += registers[i].index + " (frame " + std::to_string(registers[i].nrPdo) + ")";
    }
    if (registers.size() > kListedRegisters) out += " and " + std::to_string(registers.size() - kListedRegisters) + " more";
    return out;
}

QPushButton* MakeButton(QWidget* parent, const char* name, const char* caption) {
    auto* button = new QPushButton(caption, parent);
    button->setObjectName(name);
    // Return in the Index field must not press OK and close the dialog.
    button->setAutoDefault(false);
    return button;
}

// PosComp's nibbles as the groups' positions; above 8 is "B8".
int HighItem(std::uint32_t posComp) { return std::min(PosCompHigh(posComp), 8); }
int LowItem(std::uint32_t posComp) { return std::min(PosCompLow(posComp), 8); }

}  // namespace

TRadioGroup::TRadioGroup(const QString& byteLabel, QWidget* parent)
    : QGroupBox("Selected Frame Byte", parent), group_(new QButtonGroup(this)) {
    auto* layout = new QGridLayout(this);
    layout->addWidget(new QLabel("Tanslate in", this), 0, 0, 1, 3);
    layout->addWidget(new QLabel(byteLabel, this), 1, 0, 1, 3);
    for (int i = 0; i < kItems; ++i) {
        auto* item = new QRadioButton(i == 0 ? QString("none") : QString("B%1").arg(i), this);
        group_->addButton(item, i);
        layout->addWidget(item, 2 + i / 3, i % 3);
    }
    // Only the chosen item is in the Tab chain: Tab enters the group there
    // and the arrow keys move on from it.
    connect(group_, &QButtonGroup::idToggled, this, [this](int id, bool checked) {
        if (checked) TakeTabFocus(id);
    });
    SetItemIndex(0);
    TakeTabFocus(0);
}

void TRadioGroup::TakeTabFocus(int chosen) {
    for (int i = 0; i < kItems; ++i) Item(i)->setFocusPolicy(i == chosen ? Qt::StrongFocus : Qt::ClickFocus);
}

int TRadioGroup::ItemIndex() const { return std::max(group_->checkedId(), 0); }

void TRadioGroup::SetItemIndex(int index) { Item(std::clamp(index, 0, kItems - 1))->setChecked(true); }

QRadioButton* TRadioGroup::Item(int index) const { return static_cast<QRadioButton*>(group_->button(index)); }

TFInfopdoMB::TFInfopdoMB(UserDialogs& dialogs, QWidget* parent)
    : QDialog(parent, Qt::Dialog | Qt::WindowTitleHint | Qt::WindowSystemMenuHint | Qt::WindowCloseButtonHint |
                          Qt::MSWindowsFixedSizeDialogHint), 
      dialogs_(dialogs) {
    setObjectName("FInfopdoMB");
    setWindowTitle("Receive CAN Frame Info");
    setModal(true);

    PageControl = new QTabWidget(this);
    auto* page = new QWidget(PageControl);
    PageControl->addTab(page, "Can0-ModBus");
    CreateControls(page);
    LayOutPage(page);

    LayOutEditor(this, PageControl, BitBtn1, BitBtn2, BtnExport, BtnImport);

    ConnectLists();
    ConnectButtons();
}

void TFInfopdoMB::CreateControls(QWidget* page) {
    LB_IndMB = new QListWidget(page);
    LB_IndMB->setObjectName("LB_IndMB");
    LB_Cob = new QListWidget(page);
    LB_Cob->setObjectName("LB_Cob");
    E_Index = new QLineEdit(page);
    E_Index->setObjectName("E_Index");
    RG_High = new TRadioGroup("High MODBUS Byte", page);
    RG_High->setObjectName("RG_High");
    RG_Low = new TRadioGroup("Low MODBUS Byte", page);
    RG_Low->setObjectName("RG_Low");

    BtnDelete = MakeButton(page, "BtnDelete", "Delete");
    BtnNew = MakeButton(page, "BtnNew", "New");
    BtnModify = MakeButton(page, "BtnModify", "Modify");
    BtnCopy = MakeButton(page, "BtnCopy", "Copy");
    BtnPaste = MakeButton(page, "BtnPaste", "Paste");
    BitBtn1 = MakeButton(this, "BitBtn1", "OK");
    BitBtn2 = MakeButton(this, "BitBtn2", "Cancel");
    BtnExport = MakeButton(this, "BtnExport", "Export");
    BtnImport = MakeButton(this, "BtnImport", "Import");
}

// The registers, the frames, and the register being edited side by side.
void TFInfopdoMB::LayOutPage(QWidget* page) {
    auto* registers = new QVBoxLayout;
    registers->addWidget(new QLabel("MODBUS", page));
    registers->addWidget(LB_IndMB);
    auto* frames = new QVBoxLayout;
    frames->addWidget(new QLabel("Correlated", page));
    frames->addWidget(new QLabel("COB-ID Frame", page));
    frames->addWidget(LB_Cob);
    auto* commands = new QGridLayout;
    commands->addWidget(BtnDelete, 0, 0);
    commands->addWidget(BtnNew, 0, 1);
    commands->addWidget(BtnModify, 0, 2);
    commands->addWidget(BtnCopy, 1, 2);
    commands->addWidget(BtnPaste, 2, 2);
    auto* edit = new QVBoxLayout;
    edit->addWidget(new QLabel("Index MODBUS", page));
    edit->addWidget(E_Index);
    edit->addWidget(RG_High);
    edit->addWidget(RG_Low);
    edit->addLayout(commands);
    edit->addStretch();
    auto* pageLayout = new QHBoxLayout(page);
    pageLayout->addLayout(registers, 1);
    pageLayout->addLayout(frames, 1);
    pageLayout->addLayout(edit, 2);
}

void TFInfopdoMB::ConnectLists() {
    connect(LB_Cob, &QListWidget::currentRowChanged, this, [this](int row) {
        if (row >= 0) LB_CobClick();
    });
    connect(LB_IndMB, &QListWidget::currentRowChanged, this, [this](int row) {
        if (row >= 0) LB_IndMBClick();
    });
    // Choosing the entry that is already current is a choice too: a click on
    // it, or Space or Return on it.
    for (QListWidget* list : {LB_Cob, LB_IndMB}) {
        list->installEventFilter(this);
        list->viewport()->installEventFilter(this);
        connect(list, &QListWidget::itemClicked, this, [this, list](QListWidgetItem* item) {
            if (list->row(item) == rowAtPress_) ChooseCurrentAgain(list);
        });
    }
}

void TFInfopdoMB::ConnectButtons() {
    connect(BtnNew, &QPushButton::clicked, this, &TFInfopdoMB::BtnNewClick);
    connect(BtnModify, &QPushButton::clicked, this, &TFInfopdoMB::BtnModifyClick);
    connect(BtnDelete, &QPushButton::clicked, this, &TFInfopdoMB::BtnDeleteClick);
    connect(BtnCopy, &QPushButton::clicked, this, &TFInfopdoMB::BtnCopyClick);
    connect(BtnPaste, &QPushButton::clicked, this, &TFInfopdoMB::BtnPasteClick);
    connect(BitBtn1, &QPushButton::clicked, this, &TFInfopdoMB::BitBtn1Click);
    connect(BitBtn2, &QPushButton::clicked, this, &QDialog::reject);
    connect(BtnExport, &QPushButton::clicked, this, &TFInfopdoMB::BtnExportClick);
    connect(BtnImport, &QPushButton::clicked, this, &TFInfopdoMB::BtnImportClick);
}

void TFInfopdoMB::showEvent(QShowEvent* event) {
    if (!event->spontaneous()) FormShow();
    QDialog::showEvent(event);
}

void TFInfopdoMB::keyPressEvent(QKeyEvent* event) {
    // The Cancel button and the close box discard without asking.
    if (!CancelOnEscape(this, event, dialogs_, [this] { return HasChanges(); })) QDialog::keyPressEvent(event);
}

std::vector<std::vector<TClIndMB>> TFInfopdoMB::RegisterSets() const {
    std::vector<std::vector<TClIndMB>> sets;
    for (const TClPdo& frame : frames_) sets.push_back(frame.Registers);
    return sets;
}

bool TFInfopdoMB::HasChanges() const {
    return RegisterSets() != shownRegisters_ || std::pair(E_Index->text(), PosCompFromGroups()) != takenFields_;
}

void TFInfopdoMB::TakeEditFields() { takenFields_ = {E_Index->text(), PosCompFromGroups()}; }

bool TFInfopdoMB::eventFilter(QObject* watched, QEvent* event) {
    for (QListWidget* list : {LB_Cob, LB_IndMB}) {
        if (watched == list->viewport() && event->type() == QEvent::MouseButtonPress) rowAtPress_ = list->currentRow();
        if (watched == list && event->type() == QEvent::KeyPress && list->currentRow() >= 0) {
            const int key = static_cast<QKeyEvent*>(event)->key();
            if (key == Qt::Key_Space || key == Qt::Key_Select || key == Qt::Key_Return || key == Qt::Key_Enter) {
                ChooseCurrentAgain(list);
                return true;
            }
        }
    }
    return QDialog::eventFilter(watched, event);
}

void TFInfopdoMB::ChooseCurrentAgain(QListWidget* list) {
    if (list->currentRow() < 0) return;
    if (list == LB_Cob) {
        LB_CobClick();
    } else {
        LB_IndMBClick();
    }
}

void TFInfopdoMB::FormShow() {
    projectDir_ = paths_.projectDir;
    {
        const QSignalBlocker blockFrames(LB_Cob);
        const QSignalBlocker blockRegisters(LB_IndMB);
        LB_Cob->clear();
        LB_IndMB->clear();
    }
    E_Index->clear();
    RG_High->SetItemIndex(0);
    RG_Low->SetItemIndex(0);

    direction_ = DirectionFromMode(EditorMode);
    setWindowTitle(direction_ == FrameDirection::Receive ? "Receive CAN Frame Info" : "Transmit CAN Frame Info");

    FrameListRead read = LoadFrameList(projectDir_, direction_);
    frames_ = std::move(read.frames);
    {
        const QSignalBlocker block(LB_Cob);
        for (const TClPdo& frame : frames_) LB_Cob->addItem(ToQText(frame.CobID));
        LB_Cob->setCurrentRow(-1);
    }
    if (read.error) dialogs_.ShowMessage(*read.error);
    const bool mappingsIncomplete = !LoadMappings(projectDir_, direction_, frames_);
    shownRegisters_ = RegisterSets();
    TakeEditFields();
    if (mappingsIncomplete) dialogs_.ShowMessage(kMappingsReadError);
    PrepareReplaceQuestions(read.error.has_value(), mappingsIncomplete);
    BitBtn1->setFocus();
}

void TFInfopdoMB::PrepareReplaceQuestions(bool framesIncomplete, bool mappingsIncomplete) {
    replaceQuestions_.clear();
    const std::string framesFile = FileName(projectDir_, FramesFileName(direction_));
    const std::string mappingsFile = FileName(projectDir_, MappingsFileName(direction_));
    const MappingFileScan scan = ScanMappingFile(projectDir_, direction_, frames_.size());
    if (mappingsIncomplete) {
        replaceQuestions_.push_back(mappingsFile +
                                    " could not be read completely, so the registers shown are not all it holds:\n" +
                                    (scan.reads ? std::string(kMappingsReadError) : scan.reads.Why()) + "\n\nReplace " + mappingsFile +
                                    " with the registers shown?");
    }
    if (scan.pastLastFrame.empty()) return;
    const std::string dropped = ListRegisters(scan.pastLastFrame) + ".\n\nSave " + mappingsFile + " without them?";
    if (framesIncomplete) {
        const Result<void> frames = CheckFrameListReads(projectDir_, direction_);
        const std::string reason = frames ? std::string(kFrameListReadError) : frames.Why();
        replaceQuestions_.push_back(framesFile + " could not be read completely, so only " + FrameCount(frames_.size()) +
                                    (frames_.size() == 1 ? " is" : " are") + " listed:\n" + reason +
                                    "\n\nThese registers of " + mappingsFile +
                                    " belong to frames that are not listed and would not be saved: " + dropped);
    } else {
        const bool framesExist = FindProjectFile(projectDir_, FramesFileName(direction_)).has_value();
        replaceQuestions_.push_back((framesExist ? framesFile + " has " + FrameCount(frames_.size())
                                                 : "There is no " + framesFile) +
                                    ", so these registers of " + mappingsFile +
                                    " belong to frames that are gone and would not be saved: " + dropped);
    }
}

TClPdo* TFInfopdoMB::SelectedFrame() {
    const int row = LB_Cob->currentRow();
    return row >= 0 && row < static_cast<int>(frames_.size()) ? &frames_[static_cast<std::size_t>(row)] : nullptr;
}

// The register list mirrors the frame's Registers position for position;
// an entry with no register behind it selects nothing.
TClIndMB* TFInfopdoMB::SelectedRegister() {
    TClPdo* frame = SelectedFrame();
    const int row = LB_IndMB->currentRow();
    if (!frame || row < 0 || row >= static_cast<int>(frame->Registers.size())) return nullptr;
    return &frame->Registers[static_cast<std::size_t>(row)];
}

void TFInfopdoMB::FillRegisterList() {
    const QSignalBlocker block(LB_IndMB);
    LB_IndMB->clear();
    if (TClPdo* frame = SelectedFrame()) {
        for (std::size_t i = 0; i < frame->Registers.size(); ++i)
            LB_IndMB->addItem(QString("Ind MB %1").arg(i));
    }
    LB_IndMB->setCurrentRow(-1);
}

void TFInfopdoMB::SelectRegisterEntry(int row) {
    const QSignalBlocker block(LB_IndMB);
    LB_IndMB->setCurrentRow(row);
}

void TFInfopdoMB::LB_CobClick() {
    FillRegisterList();
    E_Index->clear();
    RG_High->SetItemIndex(0);
    RG_Low->SetItemIndex(0);
    TakeEditFields();
}

void TFInfopdoMB::LB_IndMBClick() {
    const TClIndMB* reg = SelectedRegister();
    if (!reg) return;
    E_Index->setText(ToQText(reg->Index));
    const auto posComp = ParseIntegerText(reg->PosComp);
    if (!posComp) {
        dialogs_.ShowError(InvalidIntegerMessage(reg->PosComp));
        return;
    }
    RG_High->SetItemIndex(HighItem(static_cast<std::uint32_t>(*posComp)));
    RG_Low->SetItemIndex(LowItem(static_cast<std::uint32_t>(*posComp)));
    TakeEditFields();
}

bool TFInfopdoMB::CheckRegisterIndex(const std::string& text, const TClIndMB* excluded) {
    const auto value = ParseIntegerText(text);
    if (!value) {
        dialogs_.ShowError(InvalidIntegerMessage(text));
        return false;
    }
    for (const TClPdo& frame : frames_) {
        for (const TClIndMB& reg : frame.Registers) {
            if (&reg == excluded) continue;
            if (ParseIntegerText(reg.Index) == value) {
                dialogs_.ShowMessage(kDuplicateIndex);
                return false;
            }
        }
    }
    return true;
}

std::string TFInfopdoMB::PosCompFromGroups() const {
    return std::to_string(MakePosComp(RG_High->ItemIndex(), RG_Low->ItemIndex()));
}

void TFInfopdoMB::BtnNewClick() {
    TClPdo* frame = SelectedFrame();
    if (!frame) return;
    const std::string index = FromQText(E_Index->text());
    if (!CheckRegisterIndex(index, nullptr)) return;
    frame->Registers.push_back(TClIndMB{index, PosCompFromGroups()});
    const int before = LB_IndMB->count();
    LB_IndMB->addItem(QString("Ind Mb %1").arg(before));
    SelectRegisterEntry(before);
    TakeEditFields();
}

void TFInfopdoMB::BtnModifyClick() {
    TClIndMB* reg = SelectedRegister();
    if (!reg) return;
    const std::string index = FromQText(E_Index->text());
    if (!CheckRegisterIndex(index, reg)) return;
    reg->Index = index;
    reg->PosComp = PosCompFromGroups();
    TakeEditFields();
}

void TFInfopdoMB::BtnDeleteClick() {
    TClPdo* frame = SelectedFrame();
    const TClIndMB* reg = SelectedRegister();
    if (!reg) return;
    const int row = LB_IndMB->currentRow();
    frame->Registers.erase(frame->Registers.begin() + row);
    const QSignalBlocker block(LB_IndMB);
    delete LB_IndMB->takeItem(row);
    LB_IndMB->setCurrentRow(-1);
}

void TFInfopdoMB::BtnCopyClick() {
    CopiedIndex = FromQText(E_Index->text());
    CopiedPosComp = PosCompFromGroups();
}

void TFInfopdoMB::BtnPasteClick() {
    E_Index->setText(ToQText(CopiedIndex));
    const auto posComp = ParseIntegerText(CopiedPosComp);
    if (!posComp) {
        dialogs_.ShowError(InvalidIntegerMessage(CopiedPosComp));
        return;
    }
    RG_Low->SetItemIndex(LowItem(static_cast<std::uint32_t>(*posComp)));
    RG_High->SetItemIndex(HighItem(static_cast<std::uint32_t>(*posComp)));
}

void TFInfopdoMB::BitBtn1Click() {
    for (const std::string& question : replaceQuestions_)
        if (dialogs_.ConfirmDefaultNo(question) != Answer::Yes) return;
    try {
        SaveMappings(projectDir_, direction_, frames_);
    } catch (const Error& e) {
        dialogs_.ShowError(e.what());
        return;
    }
    accept();
}

void TFInfopdoMB::BtnExportClick() {
    try {
        ExportMappingsCsv(projectDir_, direction_, frames_);
    } catch (const Error& e) {
        dialogs_.ShowError(e.what());
    }
}

void TFInfopdoMB::BtnImportClick() {
    if (dialogs_.Confirm(kImportQuestion, true) != Answer::Yes) return;
    const auto file = dialogs_.OpenFile("Open", {"CSV File (*.csv)"}, projectDir_.string());
    if (!file) return;
    try {
        ImportMappingsCsv(*file, frames_);
    } catch (const Error& e) {
        dialogs_.ShowError(e.what());
        return;
    }
    // The old entries named registers that are gone. The user agreed to
    // replace every register, so the file's old ones are no loss any more.
    FillRegisterList();
    replaceQuestions_.clear();
}

}  // namespace vestrel
