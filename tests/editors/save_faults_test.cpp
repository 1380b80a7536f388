// Saves that the disk refuses: a read-only project folder, a full disk. Each
// editor must show the error, stay open with what the user entered, and
// leave the old file byte for byte and nothing else in the folder.
#include "editors/comm_settings_dialog.h"
#include "editors/frame_mapping_editor.h"
#include "editors/frame_table_editor.h"

#include "editor_test_support.h"
#include "support/file_size_limit.h"
#include "support/small_tmpfs.h"
#include "support/unprivileged.h"

#include <sys/stat.h>

#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>

#include <gtest/gtest.h>

namespace vestrel {
namespace {

namespace fs = std::filesystem;
using test::ProjectFixture;
using test::ReadFile;
using test::WriteFile;
using Shown = test::FakeDialogs::Shown;

// The file each editor's OK writes.
const std::vector<std::string> kEditedFiles{"pargen.xml", "RCobDef.xml", "TCobDef.xml", "RInfoCob.xml"};

std::vector<std::string> Listing(const fs::path& dir) {
    std::vector<std::string> names;
    for (const auto& entry : fs::directory_iterator(dir)) names.push_back(entry.path().filename());
    std::sort(names.begin(), names.end());
    return names;
}

class SaveFaults : public ::testing::Test {
protected:
    void WriteProject() {
        WriteFile(project / "pargen.xml",
                  "<GeneralParameter><BaudRateCAN>5</BaudRateCAN><CANType>0</CANType><Baud_Ser>4</Baud_Ser>"
                  "<Par_Ser>2</Par_Ser><IDDev_Ser>1</IDDev_Ser><TimeOut_Ser>1000</TimeOut_Ser>"
                  "<TimeOut_Data>10</TimeOut_Data><TO_ModReg>100</TO_ModReg><Serial>1</Serial>"
                  "<Cancel_Data>0</Cancel_Data><Can_Data_Inp_Reg>0</Can_Data_Inp_Reg></GeneralParameter>");
        WriteFile(project / "RCobDef.xml",
                  R"(<COBID><row CobID="0x181" Dimensin="8" Mnemonic="Drive status"/></COBID>)");
        WriteFile(project / "TCobDef.xml",
                  R"(<COBID><row CobID="0x201" Dimensin="8" RTR="N" Mnemonic="Speed"/></COBID>)");
        WriteFile(project / "RInfoCob.xml", R"(<RInfoCob><row Index="1" NrPdo="1" PosComp="18"/></RInfoCob>)");
    }

    // Shows the editor of `file` and changes what it holds; returns its OK
    // button and a check that the change is still there ("" when it is).
    std::pair<QPushButton*, std::function<std::string()>> OpenWithAChange(const std::string& file) {
        if (file == "pargen.xml") {
            pargen.show();
            pargen.E_TO_Data->setText("42");
            return {pargen.BitBtn1, [this] {
                        return pargen.E_TO_Data->text() == "42" ? "" : "the typed time-out is gone";
                    }};
        }
        if (file == "RCobDef.xml" || file == "TCobDef.xml") {
            TFrameTableEditor& table = file == "RCobDef.xml" ? static_cast<TFrameTableEditor&>(receive) : transmit;
            table.show();
            table.SetCell(2, table.CobIdColumn(), "0x282");
            table.SetCell(2, table.DimensionColumn(), "4");
            return {table.BitBtn1, [&table] {
                        return table.Cell(1, table.CobIdColumn()).startsWith("0x") &&
                                       table.Cell(2, table.CobIdColumn()) == "0x282"
                                   ? ""
                                   : "the table lost its rows";
                    }};
        }
        mapping.SetEditorMode(1);
        mapping.show();
        mapping.LB_Cob->setCurrentRow(0);
        mapping.E_Index->setText("77");
        mapping.BtnNew->click();
        return {mapping.BitBtn1, [this] {
                    const auto& registers = mapping.Frames().at(0).Registers;
                    return registers.size() == 2 && registers[1].Index == "77" ? "" : "the new register is gone";
                }};
    }

    // An editor of `file` open with a change, about to save.
    struct OpenEditor {
        std::string file;
        std::string before;                        // the file's bytes
        std::vector<std::string> listing;          // the folder's files
        QPushButton* ok;
        std::function<std::string()> changeKept;
    };
    OpenEditor Open(const std::string& file) {
        OpenEditor open{file, ReadFile(project / file), Listing(project.dir), nullptr, {}};
        std::tie(open.ok, open.changeKept) = OpenWithAChange(file);
        test::ProcessEvents();
        project.dialogs.shown.clear();
        return open;
    }

    // Presses OK and says what went wrong: the save must fail with an error
    // naming the file and `reason`, the editor must stay open with the
    // change, the folder must be as it was. Processes no events: it may run
    // in a forked child, where Qt's painting threads do not exist.
    std::string SaveFails(const OpenEditor& open, const std::string& reason) {
        open.ok->click();
        auto* dialog = qobject_cast<QDialog*>(open.ok->window());
        std::string failure;
        if (project.dialogs.shown.size() != 1 || project.dialogs.shown[0].kind != Shown::Error)
            failure = "no single error was shown";
        else if (const std::string& text = project.dialogs.shown[0].text;
                 text.find(open.file) == std::string::npos || text.find(reason) == std::string::npos)
            failure = "the error does not name the file and '" + reason + "': " + text;
        else if (!dialog->isVisible() || dialog->result() == QDialog::Accepted)
            failure = "the dialog closed";
        else if (std::string kept = open.changeKept(); !kept.empty())
            failure = kept;
        else if (ReadFile(project / open.file) != open.before)
            failure = "the old file changed";
        else if (Listing(project.dir) != open.listing)
            failure = "the folder changed";
        return failure.empty() ? "" : open.file + ": " + failure;
    }

    std::string OpenAndSaveFails(const std::string& file, const std::string& reason) {
        const OpenEditor open = Open(file);
        std::string failure = SaveFails(open, reason);
        open.ok->window()->hide();
        return failure;
    }

    // Each window is given the project's folders, as the main window does before a showing.
    SaveFaults() {
        pargen.SetPaths(project.paths);
        receive.SetPaths(project.paths);
        transmit.SetPaths(project.paths);
        mapping.SetPaths(project.paths);
    }

    ProjectFixture project;
    TFpargen pargen{project.dialogs};
    TFpdoMB_2 receive{project.dialogs};
    TFpdoMB transmit{project.dialogs};
    TFInfopdoMB mapping{project.dialogs};
};

TEST_F(SaveFaults, AReadOnlyProjectFolderKeepsEveryFile) {
    WriteProject();
    std::map<std::string, std::string> before;
    for (const std::string& file : kEditedFiles) before[file] = ReadFile(project / file);
    // The files themselves stay writable: only the folder refuses.
    test::OpenToEveryone(project.root.path());
    ::chmod(project.dir.c_str(), 0555);
    for (const std::string& file : kEditedFiles) {
        const OpenEditor open = Open(file);
        EXPECT_TRUE(test::RunUnprivileged([&] { return SaveFails(open, "Permission denied"); }));
        open.ok->window()->hide();
    }
    ::chmod(project.dir.c_str(), 0755);
    for (const std::string& file : kEditedFiles) EXPECT_EQ(ReadFile(project / file), before[file]) << file;
}

TEST_F(SaveFaults, AFullDiskKeepsEveryFile) {
    // The file-size limit: writes past it fail as on a full disk, for root too.
    WriteProject();
    for (const std::string& file : kEditedFiles) {
        test::FileSizeLimit limit(64);
        EXPECT_EQ(OpenAndSaveFails(file, "File too large"), "");
    }

    // A disk that is full: a tmpfs without a free byte over the project folder.
    test::SmallTmpfs disk(64 * 1024, project.dir);
    if (!disk.Mounted()) GTEST_SKIP() << disk.Reason();
    WriteProject();
    disk.FillLeaving(0);
    for (const std::string& file : kEditedFiles) EXPECT_EQ(OpenAndSaveFails(file, "No space left on device"), "");
}

}  // namespace
}  // namespace vestrel
