#include "firmware/firmware_update_dialog.h"

#include "platform/workspace_paths.h"
#include "compiler/bank_builder.h"
#include "compiler/bank_files.h"
#include "platform/sha256.h"
#include "compiler/bank_map.h"
#include "firmware/bank_merge.h"
#include "support/fake_dialogs.h"
#include "support/temp_dir.h"

#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>

#include <cstdio>

#include <gtest/gtest.h>

namespace vestrel {
namespace {

namespace fs = std::filesystem;
using test::FakeDialogs;
using test::FakeLauncher;
using test::TempDir;
using Shown = FakeDialogs::Shown;

std::string S2(std::uint32_t address, unsigned char fill) {
    char text[16];
    std::snprintf(text, sizeof text, "S224%06X", address);
    std::string record = text;
    std::snprintf(text, sizeof text, "%02X", fill);
    for (int i = 0; i < 32; ++i) record += text;
    return record + ChecksumSx(record + "00");
}

// A base image with code records around the banks, two records in each
// selected bank range, and an S9 end record.
std::string BaseImage(bool withBank1, bool withBank2) {
    std::string image = "S00F000068656C6C6F202020202000003C\r\n";
    image += S2(0x380000, 0x4E) + "\r\n";
    if (withBank1) image += S2(0x388000, 0xFF) + "\r\n" + S2(0x388020, 0xFF) + "\r\n";
    image += S2(0x390000, 0x4E) + "\r\n";
    if (withBank2) image += S2(0x398000, 0xFF) + "\r\n" + S2(0x398020, 0xFF) + "\r\n";
    return image + "S9030000FC\r\n";
}

// Writes a bank file and lists the folder's bank files in banks.sha256, as a
// compile would: the banks here are patterns, not a compile's.
void WriteBankFile(const fs::path& bin, int bank, const std::string& bytes) {
    test::WriteFile(bin / ("bank" + std::to_string(bank) + ".bin"), bytes);
    std::string list;
    for (int b = 1; b <= 5; ++b) {
        const fs::path file = bin / ("bank" + std::to_string(b) + ".bin");
        if (fs::exists(file)) list += Sha256Hex(test::ReadFile(file)) + "  " + file.filename().string() + "\n";
    }
    test::WriteFile(bin / kBankSetFile, list);
}

class FirmwareDialogTest : public ::testing::Test {
protected:
    void SetUp() override {
        cwd_ = fs::current_path();
        paths.appDir = app.path().string();
        paths.masterDir = (app / "MASTER").string();
        fs::create_directories(Master());
        fs::create_directories(Project() / "bin");
        OpenProject("P");
        for (int bank = 1; bank <= 5; ++bank)
            WriteBankFile(Project() / "bin", bank, std::string(16384, static_cast<char>(bank * 0x11)));
        test::WriteFile(Master() / "SX58316.sx", BaseImage(true, true));
        test::WriteFile(app / kFlasherFileName, "#!/bin/sh\n");
        dialog = std::make_unique<TFModifyFileSx>(dialogs, launcher);
        dialog->SetPaths(paths);
    }
    void TearDown() override {
        dialog.reset();
        fs::current_path(cwd_);
    }

    fs::path Project() const { return app / "PROJECTS" / "P"; }
    fs::path Master() const { return app / "MASTER"; }
    fs::path NewImage() const { return Project() / "New_SX58316.sx"; }
    void Reshow() {
        dialog->hide();
        dialog->show();
    }

    TempDir app;
    // What the main window hands the dialog before it shows it.
    void OpenProject(const std::string& name) {
        paths.projectDir = (app / "PROJECTS" / name).string();
        paths.spreadsheetFolder = paths.projectDir;
        if (dialog) dialog->SetPaths(paths);
    }
    WorkspacePaths paths;
    FakeDialogs dialogs;
    FakeLauncher launcher;
    std::unique_ptr<TFModifyFileSx> dialog;

private:
    fs::path cwd_;
};

TEST_F(FirmwareDialogTest, ExecuteMergesAndStartsTheFlasherWithThePortIndex) {
    dialog->show();
    EXPECT_EQ(dialog->windowTitle(), "Generate Firmware");
    ASSERT_EQ(dialog->Port()->count(), 8);
    EXPECT_EQ(dialog->Port()->itemText(7), "COM8");
    ASSERT_TRUE(dialog->ExecuteButton()->isEnabled());
    EXPECT_EQ(dialog->DirBin(), (Project() / "bin").string() + "/");
    EXPECT_EQ(dialog->DirOut(), Project().string() + "/");
    EXPECT_EQ(dialog->NewFileName(), "New_SX58316.sx");
    EXPECT_EQ(dialog->BankSelection(), (std::array<bool, 5>{true, true, false, false, false}));
    EXPECT_EQ(fs::current_path(), Master()) << "the flasher starts in MASTER";

    dialog->Port()->setCurrentIndex(7);
    dialog->ExecuteButton()->click();
    EXPECT_TRUE(dialogs.shown.empty()) << dialogs.Texts().front();
    const std::string image = test::ReadFile(NewImage());
    EXPECT_NE(image.find(S2(0x388000, 0x11) + "\r\n"), std::string::npos);
    EXPECT_NE(image.find(S2(0x39BFE0, 0x22) + "\r\n"), std::string::npos);
    EXPECT_EQ(dialog->Progress()->value(), dialog->Progress()->maximum());
    ASSERT_EQ(launcher.starts.size(), 1u);
    EXPECT_EQ(launcher.starts[0].program, (app / kFlasherFileName).string());
    EXPECT_EQ(launcher.starts[0].arguments, (std::vector<std::string>{NewImage().string(), "7"}));
    EXPECT_EQ(launcher.starts[0].workingDir, Master().string());
    EXPECT_TRUE(dialog->isVisible()) << "the dialog stays open";

    // The next showing starts again from COM1.
    dialog->Port()->setCurrentIndex(4);
    Reshow();
    EXPECT_EQ(dialog->Port()->currentText(), "COM1");
    EXPECT_EQ(dialog->Progress()->value(), 0);
}

TEST_F(FirmwareDialogTest, AMissingBaseImageDisablesExecute) {
    fs::remove(Master() / "SX58316.sx");
    dialog->show();
    EXPECT_EQ(dialogs.shown, (std::vector<Shown>{{Shown::Error, "Error file SX58316.sx not found"}}));
    EXPECT_FALSE(dialog->ExecuteButton()->isEnabled());
}

// The messages name the file that was looked for: FwLoader.exe where
// programs end in ".exe", the flasher's full path elsewhere.
#ifdef _WIN32
const std::string kFlasherShown = "FwLoader.exe";
#else
const std::string kFlasherShown = "/FwLoader";
#endif

TEST_F(FirmwareDialogTest, AMissingFlasherIsReportedAfterTheMerge) {
    fs::remove(app / kFlasherFileName);
    // A file named as on Windows is not the flasher here.
    test::WriteFile(app / "FwLoader.exe", "");
    dialog->show();
    dialog->ExecuteButton()->click();
    EXPECT_TRUE(fs::exists(NewImage()));
    const std::string looked = kFlasherShown == "FwLoader.exe" ? kFlasherShown : app.path().string() + kFlasherShown;
    EXPECT_EQ(dialogs.Texts(), std::vector<std::string>{looked + " Not Found, Procedure Aborted"});
    EXPECT_TRUE(launcher.starts.empty());
}

TEST_F(FirmwareDialogTest, AFlasherThatDoesNotStartIsReported) {
    launcher.succeed = false;
    dialog->show();
    dialog->ExecuteButton()->click();
    const std::string looked = kFlasherShown == "FwLoader.exe" ? kFlasherShown : app.path().string() + kFlasherShown;
    EXPECT_EQ(dialogs.Texts(), std::vector<std::string>{looked + " Not Started, Procedure Aborted"});
}

// The base image is found whatever the letter case of its name, as project
// files are; the new image keeps its usual name.
TEST_F(FirmwareDialogTest, TheBaseImageIsFoundWhateverItsLetterCase) {
    fs::rename(Master() / "SX58316.sx", Master() / "sx58316.SX");
    dialog->show();
    EXPECT_TRUE(dialogs.shown.empty()) << dialogs.Texts().front();
    ASSERT_TRUE(dialog->ExecuteButton()->isEnabled());
    EXPECT_EQ(dialog->NewFileName(), "New_SX58316.sx");
    dialog->ExecuteButton()->click();
    EXPECT_TRUE(dialogs.shown.empty()) << dialogs.Texts().front();
    EXPECT_NE(test::ReadFile(NewImage()).find(S2(0x388000, 0x11) + "\r\n"), std::string::npos);
    EXPECT_EQ(launcher.starts.size(), 1u);
}

TEST_F(FirmwareDialogTest, AStaleImageIsNotFlashedAfterAFailedMerge) {
    test::WriteFile(NewImage(), "S9030000FC\r\n");
    fs::remove(Project() / "bin" / "bank2.bin");
    dialog->show();
    dialog->ExecuteButton()->click();
    // The merge said why; nothing else is shown and nothing is started.
    EXPECT_EQ(dialogs.Texts(), std::vector<std::string>{"File bank2.bin Not Found,Abort Procedure"});
    EXPECT_TRUE(launcher.starts.empty());
    EXPECT_EQ(test::ReadFile(NewImage()), "S9030000FC\r\n");

    // An image without its end record fails the same way.
    dialogs.shown.clear();
    WriteBankFile(Project() / "bin", 2, std::string(16384, '\0'));
    std::string noEnd = BaseImage(true, true);
    test::WriteFile(Master() / "SX58316.sx", noEnd.substr(0, noEnd.find("S9")));
    dialog->ExecuteButton()->click();
    EXPECT_EQ(dialogs.shown.size(), 1u);
    EXPECT_TRUE(launcher.starts.empty());
}

TEST_F(FirmwareDialogTest, AnImageWithoutABankRangeIsNotFlashedNorWritten) {
    test::WriteFile(Master() / "SX58316.sx", BaseImage(true, false));
    dialog->show();
    dialog->ExecuteButton()->click();
    EXPECT_EQ(dialogs.Texts(), std::vector<std::string>{
                                   "Bank 2 address range 0x398000-0x39BFFF not found in SX58316.sx,Abort Procedure\n"
                                   "No new image was written."});
    EXPECT_TRUE(launcher.starts.empty());
    EXPECT_FALSE(std::filesystem::exists(Project() / "New_SX58316.sx"));
    EXPECT_FALSE(dialog->BankNotFound(1));
    EXPECT_TRUE(dialog->BankNotFound(2));

    // The mark is cleared at the next showing.
    Reshow();
    EXPECT_FALSE(dialog->BankNotFound(2));
}

TEST_F(FirmwareDialogTest, AProjectWithoutBinNeverTakesTheBanksOfTheProjectBefore) {
    dialog->show();
    dialog->hide();
    fs::create_directories(app / "PROJECTS" / "Q");
    OpenProject("Q");
    dialog->show();
    EXPECT_EQ(dialog->DirBin(), "");
    dialog->ExecuteButton()->click();
    EXPECT_EQ(dialogs.Texts(), std::vector<std::string>{"Directory Bin Not Found,Abort Procedure"});
    EXPECT_FALSE(fs::exists(app / "PROJECTS" / "Q" / "New_SX58316.sx"));
    EXPECT_TRUE(launcher.starts.empty());
}

TEST_F(FirmwareDialogTest, HiddenOptionsToggleTheBankPanel) {
    dialog->show();
    auto* options = dialog->findChild<QPushButton*>("Options");
    ASSERT_NE(options, nullptr);
    EXPECT_TRUE(options->isHidden());
    EXPECT_EQ(options->text(), "Options >>");
    for (int bank = 3; bank <= 5; ++bank) EXPECT_TRUE(dialog->BankBox(bank)->isHidden());
    dialog->OptionsClick();
    EXPECT_EQ(options->text(), "<< Options");
    EXPECT_FALSE(dialog->findChild<QWidget*>("GbBank")->isHidden());
    EXPECT_FALSE(dialog->findChild<QWidget*>("DirFileBin")->isHidden());
    Reshow();
    EXPECT_EQ(options->text(), "Options >>");
    EXPECT_TRUE(dialog->findChild<QWidget*>("GbBank")->isHidden());

    // The bank folder chosen there is rooted at the project.
    fs::create_directories(Project() / "alt");
    dialogs.folders.push_back((Project() / "alt").string());
    dialog->DirFileBinClick();
    EXPECT_EQ(dialogs.folderRequests[0].title, "Select Directory Bin");
    EXPECT_EQ(dialogs.folderRequests[0].root, Project().string());
    EXPECT_EQ(dialogs.folderRequests[0].preselected, "");
    EXPECT_EQ(dialog->DirBin(), (Project() / "alt").string() + "/");
}


// Before "Execute update firmware" the dialog says in one line what the image
// it is about to write changes against the one in the project folder, and
// shows the list at a click; a first update has nothing to compare with.
TEST_F(FirmwareDialogTest, TheChangesAgainstTheEarlierImageComeBeforeExecute) {
    for (const auto& file : fs::directory_iterator(VESTREL_EXAMPLES_DIR "/workspace/PROJECTS/Demo"))
        fs::copy_file(file.path(), Project() / file.path().filename());
    auto compiler = std::make_unique<BankCompiler>();
    CompileProject(*compiler, Project());
    dialog->show();
    EXPECT_EQ(dialog->ChangesLabel()->text().toStdString(),
              "First update: nothing to compare with\nThere is no New_SX58316.sx in the project folder yet.");
    EXPECT_FALSE(dialog->ChangesButton()->isEnabled());
    dialog->ExecuteButton()->click();
    ASSERT_TRUE(fs::exists(NewImage()));

    std::string pargen = test::ReadFile(Project() / "pargen.xml");
    pargen.replace(pargen.find("<IDDev_Ser>1"), 12, "<IDDev_Ser>2");
    test::WriteFile(Project() / "pargen.xml", pargen);
    CompileProject(*compiler, Project());
    Reshow();
    const std::string label = dialog->ChangesLabel()->text().toStdString();
    EXPECT_EQ(label.rfind("1 change against the image in the project folder\nNew_SX58316.sx, written ", 0), 0u) << label;
    EXPECT_NE(label.find("; the device may hold another image."), std::string::npos);
    ASSERT_TRUE(dialog->ChangesButton()->isEnabled());
    dialogs.shown.clear();
    dialog->ChangesButton()->click();
    ASSERT_EQ(dialogs.shown.size(), 1u);
    EXPECT_EQ(dialogs.shown[0].kind, Shown::Report);
    EXPECT_EQ(dialogs.shown[0].text.rfind("1 change against the image in the project folder\nold: image ", 0), 0u)
        << dialogs.shown[0].text;
    EXPECT_NE(dialogs.shown[0].text.find("\nModbus device address: 1 -> 2\n"), std::string::npos);
}

}  // namespace
}  // namespace vestrel
