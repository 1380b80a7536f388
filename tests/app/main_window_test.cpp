#include "app/main_window.h"

#include "app/about_box.h"
#include "app/new_project_dialog.h"
#include "editors/comm_settings_dialog.h"
#include "editors/frame_mapping_editor.h"
#include "editors/frame_table_editor.h"
#include "firmware/bank_merge.h"
#include "firmware/firmware_update_dialog.h"
#include "gateway/ui/preview_window.h"
#include "gateway/ui/register_map_window.h"
#include "live/ui/bench_window.h"
#include "live/ui/expected_read_page.h"
#include "support/modal_answer.h"
#include "platform/file_set.h"
#include "platform/folder_lock.h"
#include "platform/ini_file.h"
#include "platform/qt/folder_picker_dialog.h"
#include "platform/qt/qt_user_dialogs.h"
#include "project/comm_parameters.h"
#include "support/fake_dialogs.h"
#include "support/kill_at_step.h"
#include "support/temp_dir.h"

#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QToolButton>
#include <QTreeWidget>
#include <QTableWidget>
#include <QTextBrowser>

#include <csignal>
#include <cstdio>

#include <gtest/gtest.h>

namespace vestrel {
namespace {

namespace fs = std::filesystem;
using test::FakeDialogs;
using test::FakeLauncher;
using test::ModalAnswer;
using test::NoModalExpected;
using test::TempDir;

const std::string kTitle = std::string(kProduct.vendorLabel) + kProduct.windowTitleText;
const fs::path kExamples = VESTREL_EXAMPLES_DIR;

class MainWindowTest : public ::testing::Test {
protected:
    void SetUp() override {
        QApplication::setQuitOnLastWindowClosed(false);
        cwd_ = fs::current_path();
    }
    void TearDown() override {
        window.reset();
        fs::current_path(cwd_);
    }

    void Start() {
        window = std::make_unique<TFVestreleFirmWare>(dialogs, launcher, app.path().string(), Failure{"no per-user folder"});
        window->show();
    }
    void Click(const char* button) {
        auto* b = window->findChild<QAbstractButton*>(button);
        ASSERT_NE(b, nullptr) << button;
        b->click();
    }
    // "New project" answered with `name`, or Cancel when it is empty.
    void NewProject(const std::string& name) {
        ModalAnswer<TFsaveproj> answer([&](TFsaveproj* dialog) {
            EXPECT_EQ(dialog->Destination(), window->GetWorkspace().ProjectsDir());
            if (name.empty()) {
                dialog->CancelButton()->click();
            } else {
                dialog->ProjectNameEdit()->setText(QString::fromStdString(name));
                dialog->OkButton()->click();
            }
        });
        Click("BtNewProject");
        EXPECT_TRUE(answer.Answered());
    }
    std::string Title() const { return window->windowTitle().toStdString(); }
    fs::path Projects() const { return app / "PROJECTS"; }

    TempDir app;
    FakeDialogs dialogs;
    FakeLauncher launcher;
    std::unique_ptr<TFVestreleFirmWare> window;

private:
    fs::path cwd_;
};

const char* const kStepButtons[] = {"BtSetCommunication", "BtReceiveCob", "BtDefineRxCob", "BtTransmitCob",
                                    "BtDefineTxCob"};

TEST_F(MainWindowTest, StepCommandsAndUpdateDeviceNeedAProjectFolder) {
    fs::create_directories(Projects() / "Old");
    WriteIniString(app / kProduct.configFileName, "lastproj", "projectname", "/Old");
    Start();
    EXPECT_EQ(Title(), kTitle + " :/Old");

    // The project folder vanishes; "Open project" then Cancel leaves none.
    fs::remove_all(Projects() / "Old");
    dialogs.folders.push_back(std::nullopt);
    Click("BtOpenProject");
    ASSERT_EQ(dialogs.folderRequests.size(), 1u);
    EXPECT_EQ(dialogs.folderRequests[0].title, "Select directory of project");
    EXPECT_EQ(dialogs.folderRequests[0].root, Projects().string());
    EXPECT_EQ(dialogs.folderRequests[0].preselected, "");
    EXPECT_EQ(window->GetWorkspace().ProjectDir(), "");
    EXPECT_EQ(window->GetWorkspace().ProjectName(), "");
    EXPECT_EQ(Title(), kTitle + " :");

    {
        NoModalExpected none;
        for (const char* button : kStepButtons) Click(button);
        // Without a folder the compiler would write below the file-system root.
        Click("BtUpdateDevice");
    }
    EXPECT_EQ(dialogs.Texts(), std::vector<std::string>(6, "Project not valid"));
    EXPECT_FALSE(window->FirmwareDialog()->isVisible());

    // With a project again the guard lets every step command through.
    fs::create_directories(Projects() / "Old");
    dialogs.shown.clear();
    dialogs.folders.push_back((Projects() / "Old").string());
    Click("BtOpenProject");
    EXPECT_EQ(dialogs.folderRequests.back().preselected, "");
    EXPECT_EQ(window->GetWorkspace().ProjectName(), "/Old");

    // Each step opens its editor; the two "Define COB" share one dialog in
    // the mode of their step.
    struct Step {
        const char* button;
        QDialog* dialog;
        const char* caption;
    };
    const Step steps[] = {
        {"BtSetCommunication", window->CommunicationDialog(), "SET COMMUNICATION"},
        {"BtReceiveCob", window->ReceiveFramesEditor(), "Receive CAN Frame"},
        {"BtDefineRxCob", window->MappingEditor(), "Receive CAN Frame Info"},
        {"BtTransmitCob", window->TransmitFramesEditor(), "Transmit CAN Frame"},
        {"BtDefineTxCob", window->MappingEditor(), "Transmit CAN Frame Info"},
    };
    for (const Step& step : steps) {
        ModalAnswer<QDialog> answer([&](QDialog* dialog) {
            EXPECT_EQ(dialog, step.dialog) << step.button;
            EXPECT_EQ(dialog->windowTitle().toStdString(), step.caption);
            dialog->reject();
        });
        Click(step.button);
        EXPECT_TRUE(answer.Answered()) << step.button;
    }
    EXPECT_EQ(window->MappingEditor()->EditorMode, 2);
    EXPECT_TRUE(dialogs.shown.empty()) << dialogs.Texts().front();
}

TEST_F(MainWindowTest, TitleFollowsNewProject) {
    Start();
    EXPECT_EQ(Title(), kTitle);
    NewProject("");
    EXPECT_EQ(Title(), kTitle + " :");
    EXPECT_EQ(window->GetWorkspace().ProjectDir(), Projects().string()) << "Cancel keeps the folder";
    NewProject("Plant1");
    EXPECT_EQ(Title(), kTitle + " :/Plant1");
    EXPECT_TRUE(fs::is_directory(Projects() / "Plant1" / "bin"));
    EXPECT_EQ(window->GetWorkspace().SpreadsheetFolder(), (Projects() / "Plant1").string());
}

// Whatever closes the window (its "X", the window manager's close button,
// Alt+F4) writes the INI file and leaves no window open, so the application
// quits; the next start reopens the project, whatever its name.
TEST_F(MainWindowTest, EveryWayOfClosingWritesTheIniAndTheLastProjectIsReopened) {
    // The "X" button.
    Start();
    NewProject("Plant1");
    Click("BtClose");
    EXPECT_FALSE(window->isVisible());
    EXPECT_TRUE(window->IsClosed());
    EXPECT_EQ(ReadIniString(app / kProduct.configFileName, "lastproj", "projectname"), "/Plant1");

    // A close request from outside: a window manager's button or Alt+F4.
    window.reset();
    Start();
    EXPECT_EQ(window->GetWorkspace().ProjectName(), "/Plant1");
    NewProject("Plant2 ");
    EXPECT_TRUE(window->close());
    EXPECT_FALSE(window->isVisible());
    EXPECT_TRUE(window->IsClosed());
    EXPECT_TRUE(window->testAttribute(Qt::WA_QuitOnClose));
    for (QWidget* top : QApplication::topLevelWidgets())
        EXPECT_FALSE(top->isVisible()) << top->objectName().toStdString() << " keeps the application running";
    EXPECT_EQ(ReadIniString(app / kProduct.configFileName, "lastproj", "projectname"), "/Plant2 ");

    window.reset();
    Start();
    EXPECT_EQ(window->GetWorkspace().ProjectName(), "/Plant2 ");
    EXPECT_EQ(window->GetWorkspace().ProjectDir(), (Projects() / "Plant2 ").string());
    EXPECT_EQ(Title(), kTitle + " :/Plant2 ");
}

// Through the real folder picker: a project folder whose name is not valid
// UTF-8 is opened, its files are saved there and it is remembered.
TEST(MainWindowOddNames, AProjectFolderWhoseNameIsNotUtf8OpensSavesAndIsRemembered) {
    QApplication::setQuitOnLastWindowClosed(false);
    const fs::path cwd = fs::current_path();
    TempDir app;
    const std::string name = "/Caf\xe9";
    fs::create_directories(app.path().string() + "/PROJECTS" + name);
    QtUserDialogs dialogs;
    FakeLauncher launcher;
    {
        TFVestreleFirmWare window(dialogs, launcher, app.path().string(), Failure{"no per-user folder"});
        window.show();
        {
            ModalAnswer<FolderPickerDialog> answer([](FolderPickerDialog* picker) {
                picker->Tree()->setCurrentItem(picker->Tree()->topLevelItem(0)->child(0));
                picker->OkButton()->click();
            });
            window.BtOpenProjectClick();
            EXPECT_TRUE(answer.Answered());
        }
        EXPECT_EQ(window.GetWorkspace().ProjectName(), name);
        {
            ModalAnswer<TFpdoMB_2> answer([](TFpdoMB_2* editor) {
                editor->SetCell(1, 1, "0x181");
                editor->SetCell(1, 2, "8");
                editor->BitBtn1->click();
            });
            window.BtReceiveCobClick();
            EXPECT_TRUE(answer.Answered());
        }
        EXPECT_TRUE(fs::exists(app.path().string() + "/PROJECTS" + name + "/RCobDef.xml"));
        window.close();
    }
    TFVestreleFirmWare again(dialogs, launcher, app.path().string(), Failure{"no per-user folder"});
    EXPECT_EQ(again.GetWorkspace().ProjectName(), name);
    EXPECT_EQ(again.GetWorkspace().ProjectDir(), app.path().string() + "/PROJECTS" + name);
    fs::current_path(cwd);
}

TEST_F(MainWindowTest, OpenProjectTakesAFolderTwoLevelsDown) {
    fs::create_directories(Projects() / "Site" / "Line2");
    Start();
    dialogs.folders.push_back((Projects() / "Site" / "Line2").string());
    Click("BtOpenProject");
    EXPECT_EQ(dialogs.folderRequests[0].preselected, Projects().string());
    EXPECT_EQ(window->GetWorkspace().ProjectName(), "/Site/Line2");
    EXPECT_EQ(window->GetWorkspace().ProjectDir(), (Projects() / "Site" / "Line2").string());
    EXPECT_EQ(window->GetWorkspace().Files().pargen, (Projects() / "Site" / "Line2" / "pargen.xml").string());
    EXPECT_EQ(Title(), kTitle + " :/Site/Line2");
}

// The line of the new image that starts bank `bank`'s range: its first 32 bytes.
std::string FirstBankRecord(const fs::path& bankFile, std::uint32_t address) {
    std::string bytes = test::ReadFile(bankFile).substr(0, 32);
    char text[16];
    std::snprintf(text, sizeof text, "S224%06X", address);
    std::string record = text;
    for (unsigned char c : bytes) {
        std::snprintf(text, sizeof text, "%02X", c);
        record += text;
    }
    return record + ChecksumSx(record + "00");
}

TEST_F(MainWindowTest, UpdateDeviceCompilesMergesAndStartsTheFlasher) {
    fs::create_directories(Projects());
    fs::copy(kExamples / "workspace" / "PROJECTS" / "Demo", Projects() / "Demo", fs::copy_options::recursive);
    fs::create_directories(app / "MASTER");
    fs::copy_file(kExamples / "workspace" / "MASTER" / "SX58316.sx", app / "MASTER" / "SX58316.sx");
    test::WriteFile(app / kFlasherFileName, "#!/bin/sh\n");
    WriteIniString(app / kProduct.configFileName, "lastproj", "projectname", "/Demo");
    Start();

    ModalAnswer<TFModifyFileSx> answer([](TFModifyFileSx* dialog) {
        EXPECT_TRUE(dialog->ExecuteButton()->isEnabled());
        dialog->Port()->setCurrentIndex(7);
        dialog->ExecuteButton()->click();
        dialog->CloseButton()->click();
    });
    Click("BtUpdateDevice");
    EXPECT_TRUE(answer.Answered());
    EXPECT_TRUE(dialogs.shown.empty()) << dialogs.Texts().front();

    const fs::path project = Projects() / "Demo";
    for (const char* name : {"bank1.bin", "bank2.bin", "bank3.bin", "bank4.bin", "bank5.bin", "bankg.c"})
        EXPECT_TRUE(fs::exists(project / "bin" / name)) << name;
    const fs::path image = project / "New_SX58316.sx";
    ASSERT_TRUE(fs::exists(image));
    const std::string text = test::ReadFile(image);
    EXPECT_NE(text.find(FirstBankRecord(project / "bin" / "bank1.bin", 0x388000) + "\r\n"), std::string::npos);
    EXPECT_NE(text.find(FirstBankRecord(project / "bin" / "bank2.bin", 0x398000) + "\r\n"), std::string::npos);

    ASSERT_EQ(launcher.starts.size(), 1u);
    EXPECT_EQ(launcher.starts[0].program, (app / kFlasherFileName).string());
    EXPECT_EQ(launcher.starts[0].arguments, (std::vector<std::string>{image.string(), "7"}));
    EXPECT_EQ(launcher.starts[0].workingDir, (app / "MASTER").string());
}

TEST_F(MainWindowTest, AProjectThatCannotCompileIsListedAndNothingIsWritten) {
    fs::create_directories(Projects() / "Broken" / "bin");
    test::WriteFile(Projects() / "Broken" / "pargen.xml", "<GeneralParameter><CANType>0</CANType>");
    test::WriteFile(Projects() / "Broken" / "RCobDef.xml", R"(<COBID><row CobID="0x800" Dimensin="8" Mnemonic=""/></COBID>)");
    WriteIniString(app / kProduct.configFileName, "lastproj", "projectname", "/Broken");
    Start();
    {
        NoModalExpected none;
        Click("BtUpdateDevice");
    }
    ASSERT_EQ(dialogs.shown.size(), 1u);
    EXPECT_EQ(dialogs.shown[0].kind, FakeDialogs::Shown::Report);
    EXPECT_EQ(dialogs.shown[0].text.rfind(std::string(kProjectHasErrors) + "\nerror: pargen.xml: ", 0), 0u)
        << dialogs.shown[0].text;
    EXPECT_FALSE(fs::exists(Projects() / "Broken" / "bin" / "bank1.bin"));
    EXPECT_TRUE(launcher.starts.empty());
}

TEST_F(MainWindowTest, WarningsAskWhetherToGoOn) {
    fs::create_directories(Projects() / "Odd" / "bin");
    WriteCommParameters(Projects() / "Odd", [] {
        CommParameters p = CommParameters::Defaults();
        p.TO_ModReg = "300";
        return p;
    }());
    WriteIniString(app / kProduct.configFileName, "lastproj", "projectname", "/Odd");
    Start();

    dialogs.reportAnswers.push_back(false);
    {
        NoModalExpected none;
        Click("BtUpdateDevice");
    }
    ASSERT_EQ(dialogs.shown.size(), 1u);
    EXPECT_EQ(dialogs.shown[0].kind, FakeDialogs::Shown::Report);
    EXPECT_NE(dialogs.shown[0].text.find("pargen.xml: TO_ModReg 300 is above 255"), std::string::npos)
        << dialogs.shown[0].text;
    EXPECT_FALSE(fs::exists(Projects() / "Odd" / "bin" / "bank1.bin")) << "Cancel compiles nothing";

    dialogs.reportAnswers.push_back(true);
    ModalAnswer<TFModifyFileSx> answer([](TFModifyFileSx* dialog) { dialog->CloseButton()->click(); });
    Click("BtUpdateDevice");
    EXPECT_TRUE(answer.Answered());
    EXPECT_TRUE(fs::exists(Projects() / "Odd" / "bin" / "bank1.bin"));
}

TEST_F(MainWindowTest, ACompileErrorEndsUpdateDeviceWithItsMessage) {
    // A bank file that cannot be written is not a project problem: the
    // check passes and the compile reports it.
    fs::create_directories(Projects() / "Stuck" / "bin" / "bank3.bin");
    WriteCommParameters(Projects() / "Stuck", CommParameters::Defaults());
    WriteIniString(app / kProduct.configFileName, "lastproj", "projectname", "/Stuck");
    Start();
    {
        NoModalExpected none;
        Click("BtUpdateDevice");
    }
    ASSERT_EQ(dialogs.shown.size(), 1u) << dialogs.Texts().front();
    EXPECT_EQ(dialogs.shown[0].kind, FakeDialogs::Shown::Error);
    EXPECT_EQ(dialogs.shown[0].text.rfind("Cannot create file", 0), 0u) << dialogs.shown[0].text;
    EXPECT_FALSE(fs::exists(Projects() / "Stuck" / "bin" / "bankg.c"));
    EXPECT_TRUE(launcher.starts.empty());
}

TEST_F(MainWindowTest, AboutBoxAndLinksOpenTheVendorPage) {
    Start();
    const std::string page = "https://www.zemtrax.example/HOME/default.asp?frompg=SW58316";
    ModalAnswer<TFAbout> answer([this](TFAbout* about) {
        EXPECT_EQ(about->windowTitle(), "About...");
        EXPECT_EQ(about->findChild<QLabel*>("LbValue4")->text().toStdString(), window->GetWorkspace().RootDir());
        about->ImageClick();
        about->accept();
    });
    Click("BtAbout");
    EXPECT_TRUE(answer.Answered());
    window->LbWebClick();
    EXPECT_EQ(launcher.urls, (std::vector<std::string>{page, page}));
    EXPECT_TRUE(dialogs.shown.empty());
}

// Beside step 5, "Preview" and "Register map" open their windows on the open
// project, behind the same project guard as the steps.
TEST_F(MainWindowTest, PreviewAndRegisterMapOpenOnTheOpenProject) {
    // A cancelled "Open project" whose folder had vanished leaves no project folder.
    fs::create_directories(Projects() / "Old");
    WriteIniString(app / kProduct.configFileName, "lastproj", "projectname", "/Old");
    Start();
    fs::remove(Projects() / "Old");
    dialogs.folders.push_back(std::nullopt);
    Click("BtOpenProject");
    ASSERT_EQ(window->GetWorkspace().ProjectDir(), "");
    {
        NoModalExpected none;
        Click("BtPreview");
        Click("BtRegisterMap");
    }
    EXPECT_EQ(dialogs.Texts(), std::vector<std::string>(2, "Project not valid"));

    fs::copy(kExamples / "workspace" / "PROJECTS" / "Demo", Projects() / "Demo", fs::copy_options::recursive);
    dialogs.shown.clear();
    dialogs.folders.push_back((Projects() / "Demo").string());
    Click("BtOpenProject");
    ModalAnswer<TFPreview> preview([](TFPreview* dialog) {
        dialog->FramesEdit()->setText("381#0102");
        EXPECT_EQ(dialog->Result()->toPlainText().toStdString(),
                  "381#0102: receive frame 3 \"Alarm word\" (COB-ID 0x381, Dimensin 2)\n"
                  "  register 20 = 0x0102 (high byte B1, low byte B2)\n");
        dialog->reject();
    });
    Click("BtPreview");
    EXPECT_TRUE(preview.Answered());
    ModalAnswer<TFRegisterMap> map([](TFRegisterMap* dialog) {
        EXPECT_NE(dialog->Report()->toPlainText().indexOf("Register map: Demo"), -1);
        dialog->reject();
    });
    Click("BtRegisterMap");
    EXPECT_TRUE(map.Answered());
    EXPECT_TRUE(dialogs.shown.empty()) << dialogs.Texts().front();
}

// A window opens on a project only when it is whole: a set of files that a
// killed run left half in place is refused while its writer holds the folder,
// and finished, with a message, once no one does.
TEST_F(MainWindowTest, NoWindowOpensOnAProjectThatAKilledRunLeftHalfWritten) {
    fs::create_directories(Projects());
    fs::copy(kExamples / "workspace" / "PROJECTS" / "Demo", Projects() / "Demo", fs::copy_options::recursive);
    const fs::path demo = Projects() / "Demo";
    const std::string frames = "<COBID><row CobID=\"0x182\" Dimensin=\"8\" Mnemonic=\"Moved\"/></COBID>";
    const std::string mappings = "<RInfoCob><row Index=\"1\" NrPdo=\"1\" PosComp=\"18\"/></RInfoCob>";
    ASSERT_EQ(test::RunInChildEndedBy(SIGKILL,
                                      [&](const std::function<void()>& die) {
                                          SetFileSetStepHookForTesting([&](SetStep step, std::size_t file) {
                                              if (step == SetStep::Place && file == 1) die();
                                              return 0;
                                          });
                                          CommitFileSet(demo, "import of signals",
                                                        {{demo / "RCobDef.xml", frames}, {demo / "RInfoCob.xml", mappings}});
                                      }),
              SIGKILL);
    Start();
    dialogs.folders.push_back(demo.string());
    Click("BtOpenProject");
    {
        const FolderLocks writer({demo}, FolderLocks::Wait::No);
        NoModalExpected none;
        Click("BtReceiveCob");
        Click("BtPreview");
    }
    ASSERT_EQ(dialogs.shown.size(), 2u);
    for (const auto& shown : dialogs.shown)
        EXPECT_NE(shown.text.find("is being written by another run (import of signals: RCobDef.xml and "
                                  "RInfoCob.xml); nothing was read from it"),
                  std::string::npos)
            << shown.text;
    dialogs.shown.clear();
    ModalAnswer<TFPreview> preview([](TFPreview* dialog) { dialog->reject(); });
    Click("BtPreview");
    EXPECT_TRUE(preview.Answered());
    ASSERT_EQ(dialogs.shown.size(), 1u);
    EXPECT_EQ(dialogs.shown[0].text, "The folder \"" + demo.string() +
                                         "\" held an interrupted import of signals; it is now complete: RCobDef.xml "
                                         "and RInfoCob.xml are as that run wrote them");
    EXPECT_EQ(test::ReadFile(demo / "RInfoCob.xml"), mappings);
}

// "Bench test" opens the bench window on the open project, with the project's
// serial settings preselected; without a project the guard says so.
TEST_F(MainWindowTest, BenchTestOpensOnTheOpenProject) {
    Start();
    window->GetWorkspace().ProjectDirVariable().clear();
    {
        NoModalExpected none;
        Click("BtBench");
    }
    EXPECT_EQ(dialogs.Texts(), std::vector<std::string>{"Project not valid"});

    fs::copy(kExamples / "workspace" / "PROJECTS" / "Demo", Projects() / "Demo", fs::copy_options::recursive);
    dialogs.shown.clear();
    dialogs.folders.push_back((Projects() / "Demo").string());
    Click("BtOpenProject");
    ModalAnswer<live::TFBench> bench([](live::TFBench* dialog) {
        EXPECT_EQ(dialog->Baud()->currentText(), "19200");
        EXPECT_EQ(dialog->Parity()->currentText(), "Even");
        EXPECT_EQ(dialog->Expected()->Registers()->model()->rowCount(), 7);
        dialog->reject();
    });
    Click("BtBench");
    EXPECT_TRUE(bench.Answered());
    EXPECT_TRUE(dialogs.shown.empty()) << dialogs.Texts().front();
}

}  // namespace
}  // namespace vestrel
