#include "firmware/firmware_update_dialog.h"

#include "platform/workspace_paths.h"
#include "platform/file_util.h"
#include "platform/folder_lock.h"
#include "platform/output_file.h"
#include "platform/printable_text.h"
#include "platform/qt/qt_paths.h"
#include "platform/qt/window_util.h"
#include "platform/user_dialogs.h"

#include <QCheckBox>
#include <QComboBox>
#include <QGridLayout>
#include <QGroupBox>
#include <QGuiApplication>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QScreen>
#include <QShowEvent>
#include <QToolButton>
#include <QVBoxLayout>

#include <algorithm>
#include <climits>
#include <cstdio>
#include <filesystem>
#include <system_error>

namespace vestrel {

namespace fs = std::filesystem;

namespace {

constexpr const char* kNotComplete = "New firmware not complete,Abort Procedure";

// The flasher as its messages name it: "FwLoader.exe" where that is the
// file, otherwise the full path that was looked for.
std::string FlasherShown(const std::string& path) {
#ifdef _WIN32
    (void)path;
    return kFlasherFileName;
#else
    return path;
#endif
}

std::string WithTrailingSeparator(std::string dir) {
    if (dir.empty() || dir.back() != kPathSeparator) dir += kPathSeparator;
    return dir;
}


// Merge messages in plain boxes.
class BoxMessages : public MessageSink {
public:
    explicit BoxMessages(UserDialogs& dialogs) : dialogs_(dialogs) {}
    void Show(const std::string& text) override { dialogs_.ShowMessage(text); }

private:
    UserDialogs& dialogs_;
};

// The merge's progress on the dialog's bar.
class BarProgress : public ProgressSink {
public:
    explicit BarProgress(QProgressBar* bar) : bar_(bar) {}
    void SetPosition(std::int64_t position) override {
        position_ = position;
        Show();
    }
    void SetMaximum(std::int64_t maximum) override { bar_->setMaximum(Clamp(maximum)); }
    void Step() override {
        ++position_;
        Show();
    }

private:
    static int Clamp(std::int64_t v) { return static_cast<int>(std::clamp<std::int64_t>(v, 0, INT_MAX)); }
    void Show() { bar_->setValue(std::min(Clamp(position_), bar_->maximum())); }

    QProgressBar* bar_;
    std::int64_t position_ = 0;
};

QPushButton* MakeButton(QWidget* parent, const char* name, const char* caption) {
    auto* button = new QPushButton(caption, parent);
    button->setObjectName(name);
    button->setAutoDefault(false);
    return button;
}

}  // namespace

TFModifyFileSx::TFModifyFileSx(UserDialogs& dialogs, ProcessLauncher& launcher,
                               QWidget* parent)
    : QDialog(parent),  dialogs_(dialogs), launcher_(launcher) {
    setObjectName("TFModifyFileSx");
    setWindowTitle("Generate Firmware");
    setWindowFlags(Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint);

    BuildShownControls();
    BuildHiddenControls();
    LayOutControls();
    ConnectControls();
}

// The port, the close button, "Execute update firmware" and its progress.
void TFModifyFileSx::BuildShownControls() {
    Label1 = new QLabel("Serial port", this);
    Label1->setObjectName("Label1");
    cbport = new QComboBox(this);
    cbport->setObjectName("cbport");
    cbport->setEditable(false);
    for (int i = 1; i <= 8; ++i) cbport->addItem(QString("COM%1").arg(i));
    cbport->setCurrentIndex(0);
    Label1->setBuddy(cbport);

    // A small caption button: a tool button is as wide as its "X" needs.
    LbButton1 = new QToolButton(this);
    LbButton1->setObjectName("LbButton1");
    LbButton1->setText("X");
    LbButton2 = MakeButton(this, "LbButton2", "Execute update firmware");
    QFont strong = LbButton2->font();
    strong.setBold(true);
    LbButton2->setFont(strong);
    LbButton2->setMinimumHeight(34);
    LbButton2->setMinimumWidth(340);

    Label4 = new QLabel(this);
    Label4->setObjectName("Label4");
    Label4->setTextFormat(Qt::PlainText);
    Label4->setWordWrap(true);
    ShowChanges = MakeButton(this, "ShowChanges", "Show changes...");
    ShowChanges->setEnabled(false);

    Avanzamento = new QProgressBar(this);
    Avanzamento->setObjectName("Avanzamento");
    Avanzamento->setRange(0, 100);
    Avanzamento->setValue(0);
}

// The other firmware, the new file's name, the bank selection and the two
// steps of the update one by one; "Options >>" shows the banks.
void TFModifyFileSx::BuildHiddenControls() {
    OpenFile = MakeButton(this, "OpenFile", "Open Firmware");
    Label3 = new QLabel("Name new Firmware:", this);
    Label3->setObjectName("Label3");
    NewFileSx = new QLineEdit(this);
    NewFileSx->setObjectName("NewFileSx");
    Options = MakeButton(this, "Options", "Options >>");
    GbBank = new QGroupBox(this);
    GbBank->setObjectName("GbBank");
    auto* bankLayout = new QHBoxLayout(GbBank);
    for (int i = 0; i < 5; ++i) {
        auto* box = new QCheckBox(QString("Bank %1").arg(i + 1), GbBank);
        box->setObjectName(QString("Cbbank%1").arg(i + 1));
        box->setChecked(true);
        bankLayout->addWidget(box);
        Cbbank[static_cast<std::size_t>(i)] = box;
    }
    DirFileBin = MakeButton(this, "DirFileBin", "Directory File Bin");
    ExeModFileSx = MakeButton(this, "ExeModFileSx", "Execute Modify File Sx");
    ExeUpdateFir = MakeButton(this, "ExeUpdateFir", "Execute update firmware");
    for (QWidget* hidden : std::initializer_list<QWidget*>{OpenFile, Label3, NewFileSx, Options, GbBank, DirFileBin,
                                                           ExeModFileSx, ExeUpdateFir})
        hidden->hide();
}

void TFModifyFileSx::LayOutControls() {
    auto* top = new QHBoxLayout;
    top->addWidget(Label1);
    top->addWidget(cbport);
    top->addStretch(1);
    top->addWidget(LbButton1, 0, Qt::AlignTop);

    auto* hiddenRow = new QHBoxLayout;
    hiddenRow->addWidget(OpenFile);
    hiddenRow->addWidget(Label3);
    hiddenRow->addWidget(NewFileSx, 1);
    hiddenRow->addWidget(Options);
    auto* hiddenRow2 = new QHBoxLayout;
    hiddenRow2->addWidget(DirFileBin);
    hiddenRow2->addWidget(ExeModFileSx);
    hiddenRow2->addWidget(ExeUpdateFir);

    auto* layout = new QVBoxLayout(this);
    layout->setSizeConstraint(QLayout::SetFixedSize);
    layout->addLayout(top);
    layout->addLayout(hiddenRow);
    layout->addWidget(GbBank);
    layout->addLayout(hiddenRow2);
    // The count has the dialog's width to itself; the list is a click below.
    auto* changes = new QHBoxLayout;
    changes->addStretch(1);
    changes->addWidget(ShowChanges);

    layout->addSpacing(6);
    layout->addWidget(Label4);
    layout->addLayout(changes);
    layout->addWidget(LbButton2);
    layout->addWidget(Avanzamento);
}

void TFModifyFileSx::ConnectControls() {
    connect(LbButton2, &QPushButton::clicked, this, [this] { LbButton2Click(); });
    connect(LbButton1, &QToolButton::clicked, this, [this] { LbButton1Click(); });
    connect(ExeModFileSx, &QPushButton::clicked, this, [this] { ExeModFileSxClick(); });
    connect(ExeUpdateFir, &QPushButton::clicked, this, [this] { ExeUpdateFirClick(); });
    connect(Options, &QPushButton::clicked, this, [this] { OptionsClick(); });
    connect(OpenFile, &QPushButton::clicked, this, [this] { OpenFileClick(); });
    connect(DirFileBin, &QPushButton::clicked, this, [this] { DirFileBinClick(); });
    connect(NewFileSx, &QLineEdit::textChanged, this, [this] { NewFileSxChange(); });
    connect(ShowChanges, &QPushButton::clicked, this, [this] { ShowChangesClick(); });
}

void TFModifyFileSx::showEvent(QShowEvent* event) {
    QDialog::showEvent(event);
    if (event->spontaneous()) return;
    FormShow();
}

void TFModifyFileSx::PlaceAboveMiddle() {
    // The lower edge meets the screen's middle line.
    QScreen* s = screen() ? screen() : QGuiApplication::primaryScreen();
    if (!s) return;
    QRect area = s->geometry();
    QSize size = frameGeometry().size();
    move(area.x() + area.width() / 2 - size.width() / 2, area.y() + area.height() / 2 - size.height());
}

void TFModifyFileSx::FormShow() {
    Options->setText("Options >>");
    GbBank->hide();
    DirFileBin->hide();
    adjustSize();
    PlaceAboveMiddle();

    if constexpr (ProductVariant == 2 || ProductVariant == 3) {
        for (int bank = 1; bank <= 5; ++bank) {
            QCheckBox* box = BankBox(bank);
            box->setVisible(bank <= 2);
            if (bank <= 2) box->setChecked(true);
            SetBankNotFound(bank, false);
        }
    }

    cbport->setCurrentIndex(0);
    Avanzamento->setValue(0);
    LbButton2->setEnabled(false);
    ClearUpdateChanges();
    lastRunComplete_ = false;
    refusal_ = kNotComplete;

    // The banks are always those of the open project: a project without a
    // bin folder must not pick up the banks of the project shown before.
    const std::string& projectDir = paths_.projectDir;
    std::string bin = WithTrailingSeparator(projectDir) + "bin" + kPathSeparator;
    dirBin_ = !projectDir.empty() && DirectoryExists(bin) ? bin : std::string();

    if (projectDir.empty()) {
        dialogs_.ShowMessage(kProjectNotValid);
        return;
    }
    const std::string& master = paths_.masterDir;
    // Found whatever the letter case of its name, as project files are.
    const auto base = FindFileNoCase(master, kBaseFirmwareName);
    if (!base) {
        // Appended, not added: GCC 12 at -O2 warns falsely about string + char*.
        std::string message = "Error file ";
        message.append(kBaseFirmwareName).append(" not found");
        dialogs_.ShowError(message);
        return;
    }
    std::error_code ec;
    fs::current_path(master, ec);
    if (ec) {
        dialogs_.ShowError("Error");
        return;
    }
    fileSx_ = kBaseFirmwareName;
    baseFile_ = base->filename().string();
    baseDir_ = master;
    dirOut_ = WithTrailingSeparator(projectDir);
    NewFileSx->setText(ToQDisplayPath("New_" + fileSx_));
    NewFileSxChange();
    LbButton2->setEnabled(true);
    ShowUpdateChanges();
}

void TFModifyFileSx::ClearUpdateChanges() {
    changes_ = {};
    Label4->clear();
    ShowChanges->setEnabled(false);
}

void TFModifyFileSx::ShowUpdateChanges() {
    changes_ = compare::ChangesOfUpdate(fs::path(dirOut_) / newFileName_, fs::path(baseDir_) / baseFile_, dirBin_);
    Label4->setText(QString::fromStdString(PrintableText(changes_.count, LineBreaks::OneLine) + "\n" +
                                           PrintableText(changes_.about, LineBreaks::OneLine)));
    ShowChanges->setEnabled(!changes_.list.empty());
    // The dialog keeps its place above the screen's middle as the text grows it.
    adjustSize();
    PlaceAboveMiddle();
}

void TFModifyFileSx::ShowChangesClick() {
    if (changes_.list.empty()) return;
    dialogs_.ShowReport(PrintableText(changes_.count, LineBreaks::OneLine), PrintableText(changes_.list, LineBreaks::Keep),
                        false);
}

std::array<bool, 5> TFModifyFileSx::BankSelection() const {
    // A bank counts when its own box is visible and ticked; the hidden panel
    // around the boxes does not matter.
    std::array<bool, 5> selection{};
    for (int i = 0; i < 5; ++i) {
        const QCheckBox* box = Cbbank[static_cast<std::size_t>(i)];
        selection[static_cast<std::size_t>(i)] = !box->isHidden() && box->isChecked();
    }
    return selection;
}

bool TFModifyFileSx::BankNotFound(int bank) const { return BankBox(bank)->property("notFound").toBool(); }

void TFModifyFileSx::SetBankNotFound(int bank, bool notFound) {
    QCheckBox* box = BankBox(bank);
    box->setProperty("notFound", notFound);
    box->setStyleSheet(notFound ? "QCheckBox { background-color: #d32f2f; color: white; }" : QString());
}

void TFModifyFileSx::LbButton2Click() {
    ExeModFileSxClick();
    ExeUpdateFirClick();
}

void TFModifyFileSx::LbButton1Click() { reject(); }

void TFModifyFileSx::ExeModFileSxClick() {
    for (int bank = 1; bank <= 5; ++bank) SetBankNotFound(bank, false);
    ExeModFileSx->setEnabled(false);
    lastRunComplete_ = false;
    refusal_.clear();

    BankMergeInputs inputs;
    inputs.baseFirmware = fs::path(baseDir_) / baseFile_;
    inputs.dirBin = dirBin_;
    inputs.dirOut = dirOut_;
    inputs.newFileName = newFileName_;
    inputs.bankSelection = BankSelection();

    BoxMessages messages(dialogs_);
    BarProgress progress(Avanzamento);
    BankMergeRun run;
    bool finished = RunCommand(dialogs_, [&] {
        // Another run writing into the same folders is refused, not waited
        // for: the window would stop answering meanwhile.
        FolderLocks locks(FoldersToLock({inputs.dirBin, inputs.dirOut}, {inputs.NewImage()}), FolderLocks::Wait::No);
        WaitCursor wait;
        run = RunBankMerge(inputs, messages, progress, [this](int bank, BankMergeResult result) {
            if (result == BankMergeResult::NotFound) SetBankNotFound(bank, true);
        });
    });
    ExeModFileSx->setEnabled(true);

    if (!finished) return;  // the failure's text has been shown
    lastRunComplete_ = run.Complete(inputs.bankSelection);
    refusal_ = ExplainMergeRun(run, inputs);
}

void TFModifyFileSx::ExeUpdateFirClick() {
    if (!lastRunComplete_) {
        if (!refusal_.empty()) dialogs_.ShowMessage(refusal_);
        return;
    }
    std::string image = dirOut_ + newFileName_;
    if (!FileExists(image)) {
        dialogs_.ShowMessage("File *.Sx Not Found,Abort Procedure");
        return;
    }
    std::string flasher = paths_.appDir + kPathSeparator + kFlasherFileName;
    if (!FileExists(flasher)) {
        dialogs_.ShowMessage(FlasherShown(flasher) + " Not Found, Procedure Aborted");
        return;
    }
    // The flasher runs on its own in the current folder (MASTER); nothing
    // waits for it.
    std::error_code ec;
    std::string current = fs::current_path(ec).string();
    if (!launcher_.StartDetached(flasher, {image, std::to_string(cbport->currentIndex())}, current))
        dialogs_.ShowMessage(FlasherShown(flasher) + " Not Started, Procedure Aborted");
}

void TFModifyFileSx::OptionsClick() {
    if (GbBank->isHidden()) {
        GbBank->show();
        DirFileBin->show();
        Options->setText("<< Options");
    } else {
        GbBank->hide();
        DirFileBin->hide();
        Options->setText("Options >>");
    }
}

void TFModifyFileSx::OpenFileClick() {
    const std::string& master = paths_.masterDir;
    std::string start = !master.empty() && DirectoryExists(master) ? master : paths_.appDir;
    std::optional<std::string> chosen = dialogs_.OpenFile("Open Firmware", {"File Sx (*.Sx *.sx)"}, start);
    if (!chosen) return;
    fs::path picked(*chosen);
    fileSx_ = picked.filename().string();
    baseFile_ = fileSx_;
    baseDir_ = picked.parent_path().string();
    dirOut_ = WithTrailingSeparator(paths_.projectDir);
    NewFileSx->setText(ToQDisplayPath("New_" + fileSx_));
    NewFileSxChange();
    LbButton2->setEnabled(true);
    ShowUpdateChanges();
}

void TFModifyFileSx::DirFileBinClick() {
    std::string folder;
    if (!FolderChooser(dialogs_, "Select Directory Bin", paths_.projectDir, folder)) return;
    dirBin_ = WithTrailingSeparator(folder);
    if (LbButton2->isEnabled()) ShowUpdateChanges();
}

void TFModifyFileSx::NewFileSxChange() { newFileName_ = FromQPath(NewFileSx->text()); }

}  // namespace vestrel
