#include "editors/frame_table_editor.h"

#include "editor_test_support.h"

#include <QApplication>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTableWidget>

#include <gtest/gtest.h>

namespace vestrel {
namespace {

using test::ProcessEvents;
using test::ProjectFixture;
using test::ReadFile;
using test::WriteFile;
using Shown = test::FakeDialogs::Shown;

const std::filesystem::path kData = VESTREL_TEST_DATA_DIR;

std::vector<FrameRow> Saved(const std::filesystem::path& dir, FrameDirection direction) {
    FrameTableRead read = ReadFrameTable(dir, direction);
    EXPECT_FALSE(read.error) << *read.error;
    return read.table.rows;
}

QStringList Headings(const QTableWidget* table) {
    QStringList out;
    for (int c = 0; c < table->columnCount(); ++c) out << table->horizontalHeaderItem(c)->text();
    return out;
}

QList<int> Widths(const QTableWidget* table) {
    QList<int> out;
    for (int c = 0; c < table->columnCount(); ++c) out << table->columnWidth(c);
    return out;
}

class FrameTableEditor : public ::testing::Test {
protected:
    // Each window is given the project's folders, as the main window does before a showing.
    FrameTableEditor() { receive.SetPaths(project.paths); transmit.SetPaths(project.paths); }

    ProjectFixture project;
    TFpdoMB_2 receive{project.dialogs};
    TFpdoMB transmit{project.dialogs};
};

TEST_F(FrameTableEditor, TheTwoWindowsShowTheirDirectionsColumns) {
    EXPECT_EQ(receive.windowTitle(), "RPDO");
    EXPECT_EQ(receive.EditorMode, 1);
    EXPECT_EQ(transmit.EditorMode, 2);
    receive.FormShow();
    transmit.FormShow();
    EXPECT_EQ(receive.windowTitle(), "Receive CAN Frame");
    EXPECT_EQ(transmit.windowTitle(), "Transmit CAN Frame");
    EXPECT_EQ(Headings(receive.sgA), (QStringList{"N", "CobID", "Dimension", "Mnemonic"}));
    EXPECT_EQ(Headings(transmit.sgA), (QStringList{"N", "CobID", "Dimension", "RTR Bit", "Mnemonic"}));
    EXPECT_EQ(Widths(receive.sgA), (QList<int>{64, 115, 91, 236}));
    // The designed widths, wider only where the heading needs it ("RTR Bit").
    EXPECT_EQ(Widths(transmit.sgA),
              (QList<int>{64, 115, 91, std::max(52, transmit.sgA->horizontalHeader()->sectionSizeHint(3)), 166}));
    EXPECT_EQ(receive.sgA->rowCount(), 250);
    EXPECT_EQ(receive.Cell(1, 0), "1");
    EXPECT_EQ(receive.Cell(250, 0), "250");
    EXPECT_FALSE(receive.sgA->item(0, 0)->flags() & Qt::ItemIsEditable);

    // The mode decides: the receive window set to transmit edits TCobDef.xml.
    receive.SetEditorMode(2);
    receive.FormShow();
    EXPECT_EQ(receive.windowTitle(), "Transmit CAN Frame");
    EXPECT_EQ(Headings(receive.sgA), Headings(transmit.sgA));
}

TEST_F(FrameTableEditor, OkWritesTheRowsDownToTheFirstEmptyCobId) {
    receive.FormShow();
    const char* cobIds[] = {"0x181", "+385", " 1", "", "5"};
    for (int r = 1; r <= 5; ++r) {
        receive.SetCell(r, 1, cobIds[r - 1]);
        receive.SetCell(r, 2, "8");
    }
    receive.SetCell(1, 3, "Speed & <\"x\">");
    project.dialogs.answers = {Answer::Yes};  // row 5 goes
    receive.BitBtn1->click();
    EXPECT_EQ(project.dialogs.shown.size(), 1u);
    EXPECT_EQ(receive.result(), QDialog::Accepted);
    EXPECT_EQ(Saved(project.dir, FrameDirection::Receive),
              (std::vector<FrameRow>{{"0x181", "8", "", "Speed & <\"x\">"}, {"+385", "8", "", ""}, {" 1", "8", "", ""}}));

    // The next showing reloads the file; row 5 is gone.
    receive.FormShow();
    EXPECT_EQ(receive.Cell(1, 3), "Speed & <\"x\">");
    EXPECT_EQ(receive.Cell(5, 1), "");

    // An empty first CobID writes an empty table.
    receive.SetCell(1, 1, "");
    project.dialogs.answers = {Answer::Yes};
    receive.BitBtn1->click();
    EXPECT_EQ(ReadFile(project / "RCobDef.xml").substr(0, 8), "<COBID/>");
}

// The frames end at the first empty CobID; what the user typed below it is
// listed before OK drops it, and No goes back to the table.
TEST_F(FrameTableEditor, RowsBelowAnEmptyCobIdAreListedBeforeOkDropsThem) {
    WriteFile(project / "TCobDef.xml", R"(<COBID><row CobID="1" Dimensin="1" RTR="N" Mnemonic="a"/></COBID>)");
    const std::string before = ReadFile(project / "TCobDef.xml");
    transmit.FormShow();
    for (int r = 1; r <= 3; ++r) {
        transmit.SetCell(r, 1, QString::number(r));
        transmit.SetCell(r, 2, "8");
    }
    transmit.SetCell(4, 2, "8");  // a row without its CobID
    for (int r : {5, 6, 7, 9}) transmit.SetCell(r, 4, "later");
    transmit.SetCell(12, 1, "0x181");
    transmit.SetCell(12, 2, "8");

    project.dialogs.answers = {Answer::No};
    transmit.BitBtn1->click();
    EXPECT_EQ(project.dialogs.shown,
              (std::vector<Shown>{{Shown::QuestionDefaultNo,
                                   "The frames end at row 3, because row 4 has no CobID. These rows would not be "
                                   "saved: 4-7, 9, 12.\n\nSave rows 1 to 3 only?"}}));
    EXPECT_EQ(transmit.result(), 0);
    EXPECT_EQ(ReadFile(project / "TCobDef.xml"), before);
    // Back at the cell that ends the table.
    EXPECT_EQ(transmit.sgA->currentRow(), 3);
    EXPECT_EQ(transmit.sgA->currentColumn(), 1);

    // Filling the gap saves them all without a question.
    transmit.SetCell(4, 1, "4");
    for (int r : {5, 6, 7, 8, 9, 10, 11}) {
        transmit.SetCell(r, 1, QString::number(r));
        transmit.SetCell(r, 2, "1");
    }
    project.dialogs.shown.clear();
    transmit.BitBtn1->click();
    EXPECT_TRUE(project.dialogs.shown.empty()) << project.dialogs.Texts().at(0);
    EXPECT_EQ(Saved(project.dir, FrameDirection::Transmit).size(), 12u);

    // With the first CobID empty nothing would be saved at all.
    transmit.FormShow();
    transmit.SetCell(1, 1, "");
    project.dialogs.answers = {Answer::No};
    transmit.BitBtn1->click();
    EXPECT_EQ(project.dialogs.shown.back().text,
              "The table holds no frames, because row 1 has no CobID. These rows would not be saved: 1-12.\n\n"
              "Save an empty table?");
    EXPECT_EQ(Saved(project.dir, FrameDirection::Transmit).size(), 12u);
}

TEST_F(FrameTableEditor, AWrongRowIsReportedAndNothingIsWritten) {
    WriteFile(project / "RCobDef.xml", R"(<COBID><row CobID="1" Dimensin="1" Mnemonic="old"/></COBID>)");
    const std::string before = ReadFile(project / "RCobDef.xml");
    receive.FormShow();
    const struct {
        const char* cobId;
        const char* dimension;
        const char* message;
    } cases[] = {
        {"2048", "8", "Error in row 2!! The CobID in CAN 2.0A must between 0 and 2047"},
        {"-1", "8", "Error in row 2!! The CobID in CAN 2.0A must between 0 and 2047"},
        {"5 ", "8", "Error in row 2!! The CobID in CAN 2.0A must between 0 and 2047"},
        {"abc", "0", "Error in row 2!! The CobID in CAN 2.0A must between 0 and 2047"},
        {"0x7FF", "9", "Error in row 2!! The Dimension of CAN frame must between 1 and 8"},
        {"0x7FF", "", "Error in row 2!! The Dimension of CAN frame must between 1 and 8"},
    };
    for (const auto& c : cases) {
        project.dialogs.shown.clear();
        receive.SetCell(2, 1, c.cobId);
        receive.SetCell(2, 2, c.dimension);
        receive.BitBtn1->click();
        EXPECT_EQ(project.dialogs.shown, (std::vector<Shown>{{Shown::Error, c.message}})) << c.cobId;
        EXPECT_EQ(receive.result(), 0);
        EXPECT_EQ(ReadFile(project / "RCobDef.xml"), before);
        EXPECT_EQ(receive.sgA->currentRow(), 1);  // the row to correct
    }
    receive.SetCell(2, 2, "8");
    receive.BitBtn1->click();
    EXPECT_EQ(receive.result(), QDialog::Accepted);
    EXPECT_EQ(Saved(project.dir, FrameDirection::Receive).at(1).CobID, "0x7FF");
}

TEST_F(FrameTableEditor, TheCanModeComesFromPargen) {
    WriteFile(project / "pargen.xml", "<GeneralParameter><CANType>1</CANType></GeneralParameter>");
    transmit.FormShow();
    transmit.SetCell(1, 1, "0x1FFFFFFF");
    transmit.SetCell(1, 2, "8");
    transmit.SetCell(2, 1, "0x20000000");
    transmit.SetCell(2, 2, "8");
    transmit.BitBtn1->click();
    EXPECT_EQ(project.dialogs.Texts(), (std::vector<std::string>{"Error in row 2!! The CobID in CAN 2.0B 29bit"}));
    transmit.SetCell(2, 1, "");
    project.dialogs.answers = {Answer::Yes};  // row 2 keeps its dimension and goes
    transmit.BitBtn1->click();
    EXPECT_EQ(transmit.result(), QDialog::Accepted);
}

TEST_F(FrameTableEditor, TheRtrBoxStoresYOrNOnlyOnceTouched) {
    WriteFile(project / "TCobDef.xml",
              R"(<COBID><row CobID="1" Dimensin="1" Mnemonic="a"/><row CobID="2" Dimensin="2" RTR="" Mnemonic="b"/>)"
              R"(<row CobID="3" Dimensin="3" RTR="Y" Mnemonic="c"/></COBID>)");
    transmit.show();  // showing runs FormShow
    ProcessEvents();
    EXPECT_EQ(transmit.Cell(1, 3), "N");  // absent reads as "N"
    EXPECT_EQ(transmit.Cell(2, 3), "");
    EXPECT_EQ(transmit.Cell(3, 3), "Y");
    auto click = [&](int row) {
        QTest::mouseClick(transmit.sgA->viewport(), Qt::LeftButton, {},
                          transmit.sgA->visualItemRect(transmit.sgA->item(row - 1, 3)).center());
        ProcessEvents();
    };
    click(2);
    EXPECT_EQ(transmit.Cell(2, 3), "Y");
    click(2);
    EXPECT_EQ(transmit.Cell(2, 3), "N");
    click(3);
    EXPECT_EQ(transmit.Cell(3, 3), "N");
    transmit.sgA->setCurrentCell(0, 3);
    QTest::keyClick(transmit.sgA, Qt::Key_Space);
    EXPECT_EQ(transmit.Cell(1, 3), "Y");
    // The box is not a text cell.
    EXPECT_FALSE(transmit.sgA->item(0, 3)->flags() & Qt::ItemIsEditable);

    transmit.SetCell(4, 1, "4");
    transmit.SetCell(4, 2, "4");
    transmit.BitBtn1->click();
    EXPECT_EQ(Saved(project.dir, FrameDirection::Transmit),
              (std::vector<FrameRow>{{"1", "1", "Y", "a"}, {"2", "2", "N", "b"}, {"3", "3", "N", "c"}, {"4", "4", "", ""}}));
}

TEST_F(FrameTableEditor, ACellBeingTypedIsTakenByOk) {
    receive.show();
    ProcessEvents();
    receive.sgA->setCurrentCell(0, 1);
    receive.sgA->editItem(receive.sgA->item(0, 1));
    auto* editor = receive.sgA->viewport()->findChild<QLineEdit*>();
    ASSERT_TRUE(editor);
    QTest::keyClicks(editor, "0x7FF");
    receive.SetCell(1, 2, "2");
    receive.BitBtn1->click();
    EXPECT_TRUE(project.dialogs.shown.empty()) << project.dialogs.Texts().at(0);
    EXPECT_EQ(Saved(project.dir, FrameDirection::Receive), (std::vector<FrameRow>{{"0x7FF", "2", "", ""}}));
}

// Keys typed right after a click go into the clicked cell, however fast the
// user types: a click on a selected cell must not start a type-ahead search.
TEST_F(FrameTableEditor, TypingRightAfterAClickEditsTheClickedCell) {
    WriteFile(project / "RCobDef.xml", R"(<COBID><row CobID="0x181" Dimensin="8" Mnemonic=""/>)"
                                       R"(<row CobID="0x281" Dimensin="8" Mnemonic="x"/></COBID>)");
    receive.show();
    receive.activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&receive));
    auto click = [&](int row, int column) {
        QTest::mouseClick(receive.sgA->viewport(), Qt::LeftButton, {},
                          receive.sgA->visualItemRect(receive.sgA->item(row - 1, column)).center());
    };
    // Each key goes where the keyboard focus is, as a user's would.
    auto type = [&](const char* text) {
        for (const char* c = text; *c; ++c) {
            QWidget* target = QApplication::focusWidget();
            ASSERT_TRUE(target);
            QTest::keyClick(target, *c);
        }
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Return);
        ProcessEvents();
    };

    // On a fresh showing row 1's CobID is selected: the first click hits a
    // selected cell.
    click(1, 1);
    type("0x182");
    EXPECT_EQ(receive.Cell(1, 1), "0x182");
    EXPECT_EQ(receive.Cell(2, 1), "0x281");

    // A second click on a cell just clicked, then typing at once.
    click(2, 3);
    click(2, 3);
    type("xy");
    EXPECT_EQ(receive.Cell(2, 3), "xy");
    EXPECT_EQ(receive.Cell(2, 1), "0x281");
    EXPECT_EQ(receive.Cell(1, 3), "");

    // No key moves the selection by matching text.
    receive.sgA->setCurrentCell(0, 1);
    receive.sgA->keyboardSearch("0x2");
    EXPECT_EQ(receive.sgA->currentRow(), 0);
}

TEST_F(FrameTableEditor, EscapeDoesNotDiscardTheTable) {
    receive.show();
    ProcessEvents();
    receive.SetCell(1, 1, "0x181");
    project.dialogs.answers = {Answer::No};
    QTest::keyClick(&receive, Qt::Key_Escape);
    EXPECT_EQ(project.dialogs.shown.size(), 1u);
    EXPECT_TRUE(receive.isVisible());
    EXPECT_EQ(receive.Cell(1, 1), "0x181");
    // The Cancel button discards without asking.
    receive.BitBtn2->click();
    EXPECT_FALSE(receive.isVisible());
    EXPECT_EQ(receive.result(), QDialog::Rejected);
    EXPECT_EQ(project.dialogs.shown.size(), 1u);
}

TEST_F(FrameTableEditor, AFileReadInPartIsReplacedOnlyWhenTheUserAgrees) {
    const std::string file =
        R"(<COBID><row CobID="1" Dimensin="1" Mnemonic="a"/><row CobID="2" Dimensin="2"/><row CobID="3" Dimensin="3" Mnemonic="c"/></COBID>)";
    WriteFile(project / "RCobDef.xml", file);
    receive.FormShow();
    EXPECT_EQ(project.dialogs.shown,
              (std::vector<Shown>{{Shown::Error, "Could not convert variant of type (Null) into type (String)"}}));
    EXPECT_EQ(receive.Cell(1, 3), "a");
    EXPECT_EQ(receive.Cell(2, 1), "2");
    EXPECT_EQ(receive.Cell(2, 2), "2");
    EXPECT_EQ(receive.Cell(3, 1), "");

    const std::string question =
        "RCobDef.xml could not be read completely, so the table does not show all of it:\n"
        "Could not convert variant of type (Null) into type (String)\n\n"
        "Replace RCobDef.xml with the rows shown?";
    project.dialogs.shown.clear();
    project.dialogs.answers = {Answer::No};
    receive.BitBtn1->click();
    EXPECT_EQ(project.dialogs.shown, (std::vector<Shown>{{Shown::QuestionDefaultNo, question}}));
    EXPECT_EQ(receive.result(), 0);
    EXPECT_EQ(ReadFile(project / "RCobDef.xml"), file);

    project.dialogs.answers = {Answer::Yes};
    receive.BitBtn1->click();
    EXPECT_EQ(receive.result(), QDialog::Accepted);
    EXPECT_EQ(Saved(project.dir, FrameDirection::Receive).size(), 2u);

    // A complete file asks nothing.
    project.dialogs.shown.clear();
    receive.FormShow();
    receive.BitBtn1->click();
    EXPECT_TRUE(project.dialogs.shown.empty());
}

TEST_F(FrameTableEditor, AFileOfMoreThan250RowsIsNotCutShortUnasked) {
    std::string file = "<COBID>";
    for (int i = 1; i <= 251; ++i) file += "<row CobID=\"" + std::to_string(i) + "\" Dimensin=\"8\" Mnemonic=\"\"/>";
    WriteFile(project / "RCobDef.xml", file + "</COBID>");
    receive.FormShow();
    ASSERT_EQ(project.dialogs.shown.size(), 1u);
    EXPECT_EQ(receive.Cell(250, 1), "250");
    project.dialogs.answers = {Answer::No};
    receive.BitBtn1->click();
    EXPECT_EQ(project.dialogs.shown.back().kind, Shown::QuestionDefaultNo);
    EXPECT_EQ(ReadFile(project / "RCobDef.xml"), file + "</COBID>");
}

// The question names the file that failed: here pargen.xml, while the
// frame file itself is fine but was never read.
TEST_F(FrameTableEditor, ABrokenPargenIsNamedBeforeTheFrameFileIsReplaced) {
    WriteFile(project / "RCobDef.xml", R"(<COBID><row CobID="1" Dimensin="1" Mnemonic="a"/></COBID>)");
    WriteFile(project / "pargen.xml", "<GeneralParameter>");
    receive.FormShow();
    ASSERT_EQ(project.dialogs.shown.size(), 1u);
    EXPECT_EQ(project.dialogs.shown[0].kind, Shown::Error);
    const std::string parseError = project.dialogs.shown[0].text;
    EXPECT_NE(parseError.find("Line: 1"), std::string::npos) << parseError;
    EXPECT_EQ(receive.Cell(1, 1), "");
    project.dialogs.answers = {Answer::No};
    receive.BitBtn1->click();
    EXPECT_EQ(project.dialogs.shown.back(),
              (Shown{Shown::QuestionDefaultNo,
                     "pargen.xml could not be read, so RCobDef.xml was not loaded and the table does not show it:\n" +
                         parseError + "\n\nReplace RCobDef.xml with the rows shown?"}));
    EXPECT_EQ(receive.result(), 0);
    EXPECT_EQ(Saved(project.dir, FrameDirection::Receive).size(), 1u);

    // Without a frame file there is nothing to lose.
    std::filesystem::remove(project / "RCobDef.xml");
    project.dialogs.shown.clear();
    receive.FormShow();
    receive.BitBtn1->click();
    EXPECT_EQ(project.dialogs.shown.size(), 1u);
    EXPECT_EQ(receive.result(), QDialog::Accepted);
}

TEST_F(FrameTableEditor, ExportWritesTheFramesOfTheTable) {
    transmit.FormShow();
    transmit.SetCell(1, 1, "0x181");
    transmit.SetCell(1, 2, "8");
    transmit.SetCell(1, 3, "Y");
    transmit.SetCell(1, 4, "Speed");
    transmit.SetCell(2, 1, "1025");
    transmit.SetCell(2, 2, "2");
    transmit.SetCell(4, 1, "7");
    transmit.BtnExport->click();
    EXPECT_TRUE(project.dialogs.shown.empty());
    EXPECT_EQ(transmit.LbExported->text(), "Exported 2 frames to rpdodef.csv in the project folder");
    EXPECT_EQ(transmit.LbExported->toolTip().toStdString(), (project / "rpdodef.csv").string());
    EXPECT_EQ(ReadFile(project / "rpdodef.csv"),
              "cobid,id_dev_orig,en_bypass,posind,n_tpdo \r\n0x181,8,0,0,0\r\n1025,2,0,0,0\r\n");
    EXPECT_FALSE(std::filesystem::exists(project / "TCobDef.xml"));

    // A full table exports every row.
    for (int r = 1; r <= 250; ++r) transmit.SetCell(r, 1, QString::number(r));
    transmit.BtnExport->click();
    const std::string text = ReadFile(project / "rpdodef.csv");
    EXPECT_EQ(std::count(text.begin(), text.end(), '\n'), 251);
    EXPECT_NE(text.find("\r\n250,,0,0,0\r\n"), std::string::npos);
}

TEST_F(FrameTableEditor, ImportReplacesTheTableWithTheWorkbooksFrames) {
    transmit.FormShow();
    for (int r = 1; r <= 9; ++r) {
        transmit.SetCell(r, 1, "1");
        transmit.SetCell(r, 3, "Y");
        transmit.SetCell(r, 4, "typed");
    }
    // The workbook has no names and no RTR bits: the table's would go.
    const std::string question = "The import replaces the whole table, and frames.xls gives only CobID and Dimension: "
                                 "the Mnemonic of 9 frames and the RTR Bit of 9 frames would be cleared.\n\n"
                                 "Import anyway?";
    project.dialogs.files = {(kData / "frames.xls").string()};
    project.dialogs.answers = {Answer::No};
    transmit.BtnImport->click();
    EXPECT_EQ(project.dialogs.shown, (std::vector<Shown>{{Shown::QuestionDefaultNo, question}}));
    EXPECT_EQ(transmit.Cell(9, 4), "typed");
    project.dialogs.shown.clear();
    project.dialogs.files = {(kData / "frames.xls").string()};
    project.dialogs.answers = {Answer::Yes};
    transmit.BtnImport->click();
    EXPECT_EQ(project.dialogs.shown, (std::vector<Shown>{{Shown::QuestionDefaultNo, question}}));
    project.dialogs.shown.clear();
    const auto& request = project.dialogs.fileRequests.at(0);
    EXPECT_EQ(request.filters,
              (std::vector<std::string>{"Workbook or CSV (*.xls *.xlsx *.ods *.csv)", "File EXCEL (*.xls)",
                                        "Excel workbook (*.xlsx)", "OpenDocument spreadsheet (*.ods)",
                                        "CSV File (*.csv)"}));
    EXPECT_EQ(request.initialDir, project.paths.spreadsheetFolder);
    EXPECT_EQ(transmit.Cell(1, 1), "385");
    EXPECT_EQ(transmit.Cell(1, 2), "8");
    EXPECT_EQ(transmit.Cell(2, 1), "0x181");
    EXPECT_EQ(transmit.Cell(3, 2), "0.1");
    EXPECT_EQ(transmit.Cell(6, 1), "Ñandú 7");
    for (int r = 1; r <= 9; ++r) {
        EXPECT_EQ(transmit.Cell(r, 3), "");
        EXPECT_EQ(transmit.Cell(r, 4), "");
    }
    EXPECT_EQ(transmit.Cell(8, 1), "");

    // A workbook without the sheet empties the table and says nothing.
    project.dialogs.files = {(kData / "no_rpdodef.xls").string()};
    transmit.BtnImport->click();
    EXPECT_TRUE(project.dialogs.shown.empty());
    EXPECT_EQ(transmit.Cell(1, 1), "");

    // Cancel in the file dialog changes nothing.
    transmit.SetCell(1, 1, "9");
    project.dialogs.files = {std::nullopt};
    transmit.BtnImport->click();
    EXPECT_EQ(transmit.Cell(1, 1), "9");
}

TEST_F(FrameTableEditor, ImportStopsAtTheLastRowAndSaysHowManyWereLeftOut) {
    receive.FormShow();
    project.dialogs.files = {(kData / "many_frames.xls").string()};
    receive.BtnImport->click();
    EXPECT_EQ(project.dialogs.shown, (std::vector<Shown>{{Shown::Message,
                                                         "The table holds 250 frames: 12 records after the first 250 "
                                                         "were left out."}}));
    EXPECT_EQ(receive.Cell(250, 1), "505");
    EXPECT_EQ(receive.Cell(250, 2), "8");
}

TEST_F(FrameTableEditor, AFileThatCannotBeImportedLeavesTheTable) {
    receive.FormShow();
    receive.SetCell(1, 1, "0x181");
    WriteFile(project / "bad.xls", "not a workbook");
    project.dialogs.files = {(project / "bad.xls").string()};
    receive.BtnImport->click();
    ASSERT_EQ(project.dialogs.shown.size(), 1u);
    EXPECT_EQ(project.dialogs.shown[0].kind, Shown::Error);
    EXPECT_EQ(receive.Cell(1, 1), "0x181");
}

TEST_F(FrameTableEditor, XlsxAndOdsWorkbooksFillTheTableAsTheXlsDoes) {
    receive.FormShow();
    project.dialogs.files = {(kData / "frames.xls").string()};
    receive.BtnImport->click();
    std::vector<QStringList> fromXls;
    for (int r = 1; r <= 9; ++r) fromXls.push_back(QStringList{receive.Cell(r, 1), receive.Cell(r, 2), receive.Cell(r, 3)});
    ASSERT_EQ(fromXls[0][0], "385");

    for (const char* name : {"frames.xlsx", "frames.ods"}) {
        receive.FormShow();
        receive.SetCell(9, 1, "typed");
        project.dialogs.files = {(kData / name).string()};
        receive.BtnImport->click();
        for (int r = 1; r <= 9; ++r)
            EXPECT_EQ((QStringList{receive.Cell(r, 1), receive.Cell(r, 2), receive.Cell(r, 3)}), fromXls[r - 1])
                << name << " row " << r;
    }
    EXPECT_TRUE(project.dialogs.shown.empty());

    // Too many records: the same message as for .xls.
    project.dialogs.files = {(kData / "many_frames.ods").string()};
    receive.BtnImport->click();
    EXPECT_EQ(project.dialogs.shown, (std::vector<Shown>{{Shown::Message,
                                                         "The table holds 250 frames: 12 records after the first 250 "
                                                         "were left out."}}));
    EXPECT_EQ(receive.Cell(250, 1), "505");
}

TEST_F(FrameTableEditor, AnEncryptedOrDamagedWorkbookLeavesTheTable) {
    transmit.FormShow();
    transmit.SetCell(1, 1, "0x181");
    transmit.SetCell(1, 2, "8");
    const std::string good = ReadFile(kData / "frames.xlsx");
    WriteFile(project / "cut.xlsx", good.substr(0, good.size() - 100));
    int errors = 0;
    for (const std::filesystem::path& file : {kData / "encrypted.xlsx", kData / "encrypted.ods", project / "cut.xlsx"}) {
        project.dialogs.files = {file.string()};
        transmit.BtnImport->click();
        ASSERT_EQ(project.dialogs.shown.size(), static_cast<std::size_t>(++errors)) << file;
        EXPECT_EQ(project.dialogs.shown.back().kind, Shown::Error) << file;
        EXPECT_EQ(transmit.Cell(1, 1), "0x181") << file;
        EXPECT_EQ(transmit.Cell(1, 2), "8") << file;
    }
    EXPECT_NE(project.dialogs.shown[0].text.find("The workbook is password-protected."), std::string::npos);
    EXPECT_NE(project.dialogs.shown[1].text.find("The workbook is password-protected."), std::string::npos);
}

TEST_F(FrameTableEditor, AnExportedTableComesBackThroughImport) {
    receive.FormShow();
    receive.SetCell(1, 1, "0x181");
    receive.SetCell(1, 2, "8");
    receive.SetCell(2, 1, "1025");
    receive.SetCell(2, 2, "2");
    receive.SetCell(2, 3, "label");
    receive.BtnExport->click();
    transmit.FormShow();
    project.dialogs.files = {(project / "rpdodef.csv").string()};
    transmit.BtnImport->click();
    EXPECT_TRUE(project.dialogs.shown.empty());
    EXPECT_EQ(transmit.Cell(1, 1), "0x181");
    EXPECT_EQ(transmit.Cell(2, 1), "1025");
    EXPECT_EQ(transmit.Cell(2, 2), "2");
    EXPECT_EQ(transmit.Cell(3, 1), "");
    transmit.BitBtn1->click();
    EXPECT_EQ(Saved(project.dir, FrameDirection::Transmit),
              (std::vector<FrameRow>{{"0x181", "8", "", ""}, {"1025", "2", "", ""}}));
}

// With a style sheet's large font every heading stays whole.
TEST_F(FrameTableEditor, LargeStyleSheetFontsKeepEveryHeadingWhole) {
    const QString before = qApp->styleSheet();
    qApp->setStyleSheet("* { font-size: 14pt; }");
    for (TFrameTableEditor* editor : std::initializer_list<TFrameTableEditor*>{&receive, &transmit}) {
        editor->show();
        ProcessEvents();
        QHeaderView* header = editor->sgA->horizontalHeader();
        for (int c = 0; c < editor->sgA->columnCount(); ++c)
            EXPECT_GE(editor->sgA->columnWidth(c), header->sectionSizeHint(c))
                << header->model()->headerData(c, Qt::Horizontal).toString().toStdString();
        editor->hide();
    }
    qApp->setStyleSheet(before);
}

TEST_F(FrameTableEditor, MaximizingGivesEveryColumnTheSameWidth) {
    receive.show();
    ProcessEvents();
    const QList<int> initial = Widths(receive.sgA);
    receive.showMaximized();
    ProcessEvents();
    const int expected = static_cast<int>(std::lround(receive.sgA->width() / 4.0)) - 10;
    EXPECT_EQ(Widths(receive.sgA), (QList<int>{expected, expected, expected, expected}));
    EXPECT_NE(Widths(receive.sgA), initial);
}

}  // namespace
}  // namespace vestrel
