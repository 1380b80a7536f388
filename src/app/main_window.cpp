#include "app/main_window.h"

#include "app/about_box.h"
#include "app/import_signals_window.h"
#include "app/new_project_dialog.h"
#include "compiler/bank_files.h"
#include "editors/comm_settings_dialog.h"
#include "editors/frame_mapping_editor.h"
#include "editors/frame_table_editor.h"
#include "firmware/firmware_update_dialog.h"
#include "gateway/ui/preview_window.h"
#include "gateway/ui/register_map_window.h"
#include "inspect/project_check.h"
#include "live/ui/bench_window.h"
#include "platform/folder_lock.h"
#include "platform/output_file.h"
#include "platform/qt/click_label.h"
#include "platform/qt/qt_paths.h"
#include "platform/qt/window_util.h"
#include "platform/user_dialogs.h"
#include "project/project_files.h"
#include "workspace/product.h"

#include <QApplication>
#include <QCloseEvent>
#include <QGridLayout>
#include <QGuiApplication>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QStyle>
#include <QToolButton>
#include <QVBoxLayout>

namespace vestrel {

namespace {

QPushButton* MakeButton(QWidget* parent, const char* name, const char* caption) {
    auto* button = new QPushButton(caption, parent);
    button->setObjectName(name);
    button->setAutoDefault(false);
    button->setMinimumWidth(150);
    return button;
}

void SetBold(QWidget* widget) {
    QFont font = widget->font();
    font.setBold(true);
    widget->setFont(font);
}

}  // namespace

TFVestreleFirmWare::TFVestreleFirmWare(UserDialogs& dialogs, ProcessLauncher& launcher, const std::string& appDir,
                                       const Result<std::string>& userRoot, QWidget* parent)
    : QWidget(parent),
      dialogs_(dialogs),
      launcher_(launcher),
      setNotices_([this](const std::string& text) { dialogs_.ShowMessage(text); }) {
    setObjectName("TFVestreleFirmWare");
    setWindowFlags(Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint);
    BuildControls();
    FixSizeForText(this, QSize(566, 255));

    workspace_.StartWorkspace(appDir, userRoot);
    ShowTitle();
    CenterOnScreen(this);

    // The dialogs, once each, in the order the application has always made
    // them; each lives as long as the main window.
    saveproj_ = new TFsaveproj(workspace_, dialogs_, this);
    about_ = new TFAbout(launcher_, workspace_.RootDir(), this);
    modifyFileSx_ = new TFModifyFileSx(dialogs_, launcher_, this);
    pargen_ = new TFpargen(dialogs_, this);
    pdoMB_ = new TFpdoMB(dialogs_, this);
    infopdoMB_ = new TFInfopdoMB(dialogs_, this);
    pdoMB_2_ = new TFpdoMB_2(dialogs_, this);
    preview_ = new TFPreview(this);
    registerMap_ = new TFRegisterMap(dialogs_, this);
    bench_ = new live::TFBench(this);
    importSignals_ = new TFImportSignals(dialogs_, this);
}

TFVestreleFirmWare::~TFVestreleFirmWare() = default;

void TFVestreleFirmWare::BuildControls() {
    BuildHeading();
    BuildStepButtons();
    LbWeb = new ClickLabel(this);
    LbWeb->setObjectName("LbWeb");
    LbWeb->setText(kProduct.webLabel);
    LbWeb->SetLinkStyle();

    QLayout* top = LayOutHeading();
    QLayout* steps = LayOutSteps();
    auto* bottom = new QHBoxLayout;
    bottom->addStretch(1);
    bottom->addWidget(LbWeb);

    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(14, 8, 10, 8);
    layout->addLayout(top);
    layout->addSpacing(10);
    layout->addLayout(steps);
    layout->addStretch(1);
    layout->addLayout(bottom);

    ConnectButtons();
}

// The logo, the title with the open project below it, "About" and "X".
void TFVestreleFirmWare::BuildHeading() {
    LbLogo = new QLabel(this);
    LbLogo->setObjectName("LbLogo");
    LbLogo->setPixmap(VendorLogo(28));
    LbTitle = new QLabel(kProduct.windowTitleText, this);
    LbTitle->setObjectName("LbTitle");
    QFont titleFont = LbTitle->font();
    titleFont.setBold(true);
    titleFont.setPointSizeF(titleFont.pointSizeF() * 1.1);
    LbTitle->setFont(titleFont);
    LbProject = new QLabel(this);
    LbProject->setObjectName("LbProject");
    QPalette muted = LbProject->palette();
    muted.setColor(QPalette::WindowText, muted.color(QPalette::PlaceholderText));
    LbProject->setPalette(muted);

    BtAbout = new QPushButton(this);
    BtAbout->setObjectName("BtAbout");
    BtAbout->setText("About");
    BtAbout->setIcon(style()->standardIcon(QStyle::SP_MessageBoxInformation));
    BtAbout->setAutoDefault(false);
    BtAbout->setFlat(true);
    // A small caption button: a tool button is as wide as its "X" needs.
    BtClose = new QToolButton(this);
    BtClose->setObjectName("BtClose");
    BtClose->setText("X");
}

// The five steps' buttons; the service editors' buttons are made but stay
// hidden.
void TFVestreleFirmWare::BuildStepButtons() {
    BtNewProject = MakeButton(this, "BtNewProject", "New project");
    BtOpenProject = MakeButton(this, "BtOpenProject", "Open project");
    BtSetCommunication = MakeButton(this, "BtSetCommunication", "Set Communication");
    BtReceiveCob = MakeButton(this, "BtReceiveCob", "Receive COB");
    BtDefineRxCob = MakeButton(this, "BtDefineRxCob", "Define COB");
    BtTransmitCob = MakeButton(this, "BtTransmitCob", "Transmit COB");
    BtDefineTxCob = MakeButton(this, "BtDefineTxCob", "Define COB");
    BtUpdateDevice = MakeButton(this, "BtUpdateDevice", "Update Device");
    SetBold(BtUpdateDevice);
    BtPreview = MakeButton(this, "BtPreview", "Preview");
    BtPreview->setMinimumWidth(0);
    BtRegisterMap = MakeButton(this, "BtRegisterMap", "Register map");
    BtRegisterMap->setMinimumWidth(0);
    BtBench = MakeButton(this, "BtBench", "Bench test");
    BtBench->setMinimumWidth(0);
    BtImportSignals = MakeButton(this, "BtImportSignals", "Import signals...");
    BtImportSignals->setMinimumWidth(0);

    BtSetTransmitPdo = MakeButton(this, "BtSetTransmitPdo", "Set Transmit PDO");
    BtSetSdoAccess = MakeButton(this, "BtSetSdoAccess", "Set SDO Access");
    BtDefineEmcyWord = MakeButton(this, "BtDefineEmcyWord", "Define EMCY Word");
    BtSetTranslateEmcy = MakeButton(this, "BtSetTranslateEmcy", "Set Translate EMCY");
    for (QPushButton* hidden : {BtSetTransmitPdo, BtSetSdoAccess, BtDefineEmcyWord, BtSetTranslateEmcy})
        hidden->hide();
}

QLayout* TFVestreleFirmWare::LayOutHeading() {
    auto* heading = new QVBoxLayout;
    heading->setSpacing(0);
    heading->addWidget(LbTitle);
    heading->addWidget(LbProject);
    auto* top = new QHBoxLayout;
    top->addWidget(LbLogo, 0, Qt::AlignTop);
    top->addSpacing(6);
    top->addLayout(heading, 1);
    top->addWidget(BtAbout, 0, Qt::AlignTop);
    top->addWidget(BtClose, 0, Qt::AlignTop);
    return top;
}

// One row a step: "Step N" and the step's buttons.
QLayout* TFVestreleFirmWare::LayOutSteps() {
    auto* steps = new QGridLayout;
    steps->setHorizontalSpacing(10);
    steps->setVerticalSpacing(6);
    const std::initializer_list<QPushButton*> rows[] = {
        {BtNewProject, BtOpenProject, BtImportSignals},
        {BtSetCommunication},
        {BtReceiveCob, BtDefineRxCob},
        {BtTransmitCob, BtDefineTxCob},
        {BtUpdateDevice, BtPreview, BtRegisterMap, BtBench},
    };
    int row = 0;
    for (const auto& buttons : rows) {
        auto* label = new QLabel(QString("Step %1").arg(row + 1), this);
        label->setObjectName(QString("LbStep%1").arg(row + 1));
        SetBold(label);
        steps->addWidget(label, row, 0);
        int column = 1;
        for (QPushButton* b : buttons) steps->addWidget(b, row, column++);
        ++row;
    }
    steps->setColumnMinimumWidth(0, 60);
    steps->setColumnStretch(4, 1);
    return steps;
}

void TFVestreleFirmWare::ConnectButtons() {
    connect(BtNewProject, &QPushButton::clicked, this, [this] { BtNewProjectClick(); });
    connect(BtOpenProject, &QPushButton::clicked, this, [this] { BtOpenProjectClick(); });
    connect(BtSetCommunication, &QPushButton::clicked, this, [this] { BtSetCommunicationClick(); });
    connect(BtReceiveCob, &QPushButton::clicked, this, [this] { BtReceiveCobClick(); });
    connect(BtDefineRxCob, &QPushButton::clicked, this, [this] { BtDefineRxCobClick(); });
    connect(BtTransmitCob, &QPushButton::clicked, this, [this] { BtTransmitCobClick(); });
    connect(BtDefineTxCob, &QPushButton::clicked, this, [this] { BtDefineTxCobClick(); });
    connect(BtUpdateDevice, &QPushButton::clicked, this, [this] { BtUpdateDeviceClick(); });
    connect(BtPreview, &QPushButton::clicked, this, [this] { BtPreviewClick(); });
    connect(BtRegisterMap, &QPushButton::clicked, this, [this] { BtRegisterMapClick(); });
    connect(BtBench, &QPushButton::clicked, this, [this] { BtBenchClick(); });
    connect(BtImportSignals, &QPushButton::clicked, this, [this] { BtImportSignalsClick(); });
    connect(BtAbout, &QPushButton::clicked, this, [this] { BtAboutClick(); });
    connect(BtClose, &QToolButton::clicked, this, [this] { BtCloseClick(); });
    connect(LbWeb, &ClickLabel::clicked, this, [this] { LbWebClick(); });
}

void TFVestreleFirmWare::ShowTitle() {
    setWindowTitle(ToQDisplayPath(workspace_.Title()));
    // The project folder as it lies in the workspace; the full path in the tooltip.
    const std::string& dir = workspace_.ProjectDir();
    if (dir.empty()) {
        LbProject->setText(kProjectNotValid);
    } else {
        // ProjectName can name a remembered project that has gone; the folder
        // in use is ProjectDir.
        const std::string& projects = workspace_.ProjectsDir();
        std::string shown = dir.compare(0, projects.size(), projects) == 0
                                ? "PROJECTS" + dir.substr(projects.size())
                                : dir;
        LbProject->setText(ToQDisplayPath("Project: " + shown));
    }
    LbProject->setToolTip(ToQDisplayPath(dir));
}

bool TFVestreleFirmWare::PassesProjectGuard() {
    if (!workspace_.ProjectGuard()) {
        dialogs_.ShowMessage(kProjectNotValid);
        return false;
    }
    return RunCommand(dialogs_, [this] { SettleFileSet(workspace_.ProjectDir()); });
}

void TFVestreleFirmWare::BtNewProjectClick() {
    saveproj_->SetDestination(workspace_.ProjectsDir());
    bool ok = saveproj_->exec() == QDialog::Accepted;
    workspace_.NewProjectDone(ok);
    ShowTitle();
}

void TFVestreleFirmWare::BtOpenProjectClick() {
    // The chooser leaves ProjectDir as chosen, unchanged on Cancel, or empty
    // when the folder it held has vanished; the name follows in any case.
    RunCommand(dialogs_, [this] {
        FolderChooser(dialogs_, "Select directory of project", workspace_.ProjectsDir(),
                      workspace_.ProjectDirVariable());
    });
    workspace_.OpenProjectDone();
    ShowTitle();
}

template <typename Window>
void TFVestreleFirmWare::ShowOnProject(Window* window) {
    if (!PassesProjectGuard()) return;
    window->SetPaths(workspace_.Paths());
    window->exec();
}

template <typename Editor>
void TFVestreleFirmWare::ShowEditor(Editor* editor, int mode) {
    if (!PassesProjectGuard()) return;
    editor->SetEditorMode(mode);
    editor->SetPaths(workspace_.Paths());
    editor->exec();
}

void TFVestreleFirmWare::BtSetCommunicationClick() { ShowOnProject(pargen_); }

void TFVestreleFirmWare::BtReceiveCobClick() { ShowEditor(pdoMB_2_, 1); }

void TFVestreleFirmWare::BtDefineRxCobClick() { ShowEditor(infopdoMB_, 1); }

void TFVestreleFirmWare::BtTransmitCobClick() { ShowEditor(pdoMB_, 2); }

void TFVestreleFirmWare::BtDefineTxCobClick() { ShowEditor(infopdoMB_, 2); }

void TFVestreleFirmWare::BtUpdateDeviceClick() { UpdateDevice(); }

void TFVestreleFirmWare::BtPreviewClick() { ShowOnProject(preview_); }

void TFVestreleFirmWare::BtRegisterMapClick() { ShowOnProject(registerMap_); }

void TFVestreleFirmWare::BtBenchClick() {
    if (!PassesProjectGuard()) return;
    bench_->SetProjectDir(workspace_.ProjectDir());
    bench_->exec();
}

void TFVestreleFirmWare::BtImportSignalsClick() {
    if (!PassesProjectGuard()) return;
    // The editors read the project's files each time they open, so they show
    // what the import wrote.
    importSignals_->SetProjectDir(workspace_.ProjectDir());
    importSignals_->exec();
    ShowTitle();
}

void TFVestreleFirmWare::UpdateDevice() {
    // Without a project folder the compiler's paths would start at the
    // file-system root.
    if (workspace_.ProjectDir().empty()) {
        dialogs_.ShowMessage(kProjectNotValid);
        return;
    }
    if (!RunCommand(dialogs_, [this] { SettleFileSet(workspace_.ProjectDir()); })) return;
    if constexpr (ProductVariant == 2 || ProductVariant == 3) {
        // Let the window redraw after the click before the compile holds the thread.
        QApplication::processEvents(QEventLoop::ExcludeUserInputEvents);
        if (!CheckBeforeUpdate()) return;
        WaitCursor wait;
        const std::filesystem::path projectDir = workspace_.ProjectDir();
        if (!RunCommand(dialogs_, [&] {
                const std::vector<std::filesystem::path> outputs = BankSetFiles(BankDir(projectDir));
                for (const auto& output : outputs) RequireNotAnInput(output, ProjectFilePaths(projectDir));
                FolderLocks locks(FoldersToLock({projectDir, BankDir(projectDir)}, outputs), FolderLocks::Wait::No);
                CompileProject(compiler_, projectDir);
            }))
            return;
    }
    modifyFileSx_->SetPaths(workspace_.Paths());
    modifyFileSx_->exec();
}

bool TFVestreleFirmWare::CheckBeforeUpdate() {
    std::vector<Problem> problems;
    {
        WaitCursor wait;
        problems = CheckProject(workspace_.ProjectDir());
    }
    if (problems.empty()) return true;
    std::string lines;
    for (const Problem& problem : problems) lines += FormatProblem(problem) + "\n";
    if (HasErrors(problems)) {
        dialogs_.ShowReport(kProjectHasErrors, lines, false);
        return false;
    }
    return dialogs_.ShowReport(kProjectHasWarnings, lines, true);
}

void TFVestreleFirmWare::BtAboutClick() { about_->exec(); }

void TFVestreleFirmWare::LbWebClick() { launcher_.OpenUrl(std::string(kProduct.webAddress) + kProduct.pagePath); }

void TFVestreleFirmWare::BtCloseClick() { close(); }

void TFVestreleFirmWare::closeEvent(QCloseEvent* event) {
    // The "X" button, a close button of the window manager and Alt+F4 all
    // end here: the open project goes to the INI file and, this being the
    // last window, the application ends. When the INI file cannot be written
    // the error is shown and the window closes all the same.
    if (!closed_) {
        closed_ = true;
        RunCommand(dialogs_, [this] { workspace_.CloseWorkspace(); });
    }
    event->accept();
}

}  // namespace vestrel
