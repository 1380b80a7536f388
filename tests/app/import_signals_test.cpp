#include "app/import_signals_window.h"

#include "signaldb/database_file.h"
#include "signaldb/import_selection.h"
#include "signaldb/project_tables.h"
#include "signaldb/signal_import.h"
#include "support/fake_dialogs.h"
#include "support/temp_dir.h"

#include <QComboBox>
#include <QLabel>
#include <QPushButton>
#include <QSortFilterProxyModel>
#include <QSpinBox>
#include <QStandardItemModel>
#include <QTest>
#include <QTreeView>

#include <gtest/gtest.h>

namespace vestrel {
namespace {

namespace fs = std::filesystem;
using namespace signaldb;
using test::FakeDialogs;
using test::TempDir;

const fs::path kExamples = VESTREL_EXAMPLES_DIR;

fs::path DemoCopy(const fs::path& dir) {
    fs::create_directories(dir);
    fs::copy(kExamples / "workspace/PROJECTS/Demo", dir / "Demo");
    return dir / "Demo";
}

QStandardItem* MessageItem(const TFImportSignals& w, const std::string& name) {
    const auto found = w.Model()->findItems(QString::fromStdString(name));
    return found.isEmpty() ? nullptr : found.front();
}

QStandardItem* SignalItem(QStandardItem* message, const std::string& name, int column = TFImportSignals::ColName) {
    for (int s = 0; s < message->rowCount(); ++s)
        if (message->child(s)->text().toStdString() == name) return message->child(s, column);
    return nullptr;
}

std::string Slurp(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), {}};
}

struct Fixture : ::testing::Test {
    TempDir dir;
    FakeDialogs dialogs;
    TFImportSignals window{dialogs};
    fs::path project = DemoCopy(dir / "window");

    void Open(const fs::path& file) {
        window.SetProjectDir(project);
        window.LoadDatabase(file);
    }
};

using ImportSignalsWindow = Fixture;

TEST_F(ImportSignalsWindow, TickingAMessageTicksItsSignalsAndFillsTheirRegisters) {
    Open(kExamples / "demo-drive.dbc");
    QStandardItem* message = MessageItem(window, "DriveDiagnostics");
    ASSERT_NE(message, nullptr);
    EXPECT_FALSE(window.findChild<QPushButton*>("BtImport")->isEnabled());
    message->setCheckState(Qt::Checked);
    for (int s = 0; s < message->rowCount(); ++s) {
        SCOPED_TRACE(message->child(s)->text().toStdString());
        EXPECT_EQ(message->child(s)->checkState(), Qt::Checked);
        EXPECT_FALSE(message->child(s, TFImportSignals::ColRegister)->text().isEmpty());
    }
    EXPECT_TRUE(window.findChild<QPushButton*>("BtImport")->isEnabled());
    // Clearing one signal leaves the message partly ticked and its register cell empty.
    SignalItem(message, "Fault")->setCheckState(Qt::Unchecked);
    EXPECT_EQ(message->checkState(), Qt::PartiallyChecked);
    EXPECT_TRUE(SignalItem(message, "Fault", TFImportSignals::ColRegister)->text().isEmpty());
}

TEST_F(ImportSignalsWindow, RefusedSignalsAndMessagesCannotBeTicked) {
    Open(kExamples / "demo-drive.dbc");
    QStandardItem* parameters = MessageItem(window, "DriveParameters");
    ASSERT_NE(parameters, nullptr);
    parameters->setCheckState(Qt::Checked);
    QStandardItem* multiplexed = SignalItem(parameters, "RampUpTime");
    EXPECT_FALSE(multiplexed->isCheckable());
    EXPECT_EQ(multiplexed->checkState(), Qt::Unchecked);
    EXPECT_TRUE(SignalItem(parameters, "RampUpTime", TFImportSignals::ColFit)->text().startsWith("refused"));
    EXPECT_EQ(SignalItem(parameters, "ParameterIndex")->checkState(), Qt::Checked);
    EXPECT_FALSE(MessageItem(window, "ExtendedStatus")->isCheckable());  // a 29-bit id under CAN 2.0A
}

TEST_F(ImportSignalsWindow, SearchKeepsMatchingMessagesAndMessagesOfMatchingSignals) {
    Open(kExamples / "demo-drive.dbc");
    const struct {
        const char* search;
        std::vector<std::string> messages;
    } cases[] = {
        {"drivestatus", {"DriveStatus"}},
        {"Ramp", {"DriveParameters", "SpeedSetpoint"}},
        {"no such name", {}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.search);
        window.E_SearchChange(c.search);
        std::vector<std::string> shown;
        for (int r = 0; r < window.Proxy()->rowCount(); ++r)
            shown.push_back(window.Proxy()->index(r, 0).data().toString().toStdString());
        EXPECT_EQ(shown, c.messages);
    }
    window.E_SearchChange("");
    EXPECT_EQ(window.Proxy()->rowCount(), window.Model()->rowCount());
}

TEST_F(ImportSignalsWindow, AnEdsNeedsTheNodeIdADbcTakesNone) {
    Open(kExamples / "io-node.eds");
    auto* node = window.findChild<QSpinBox*>("SE_Node");
    EXPECT_TRUE(node->isEnabled());
    EXPECT_EQ(window.Model()->rowCount(), 0);
    EXPECT_TRUE(window.findChild<QLabel*>("LbStatus")->text().contains("Give the node id."));
    node->setValue(5);
    ASSERT_GT(window.Model()->rowCount(), 0);
    // Directions come from the PDOs and cannot be changed.
    EXPECT_FALSE(window.Model()->item(0, TFImportSignals::ColDirection)->isEditable());

    window.LoadDatabase(kExamples / "demo-drive.dbc");
    EXPECT_FALSE(node->isEnabled());
    EXPECT_TRUE(window.Model()->item(0, TFImportSignals::ColDirection)->isEditable());
}

TEST_F(ImportSignalsWindow, ADbcMessagesDirectionIsChosenInTheTree) {
    Open(kExamples / "demo-drive.dbc");
    window.resize(1100, 640);
    window.show();
    auto* view = window.findChild<QTreeView*>("TV_Signals");
    QStandardItem* alarm = MessageItem(window, "AlarmWord");
    const QModelIndex cell = window.Proxy()->mapFromSource(
        window.Model()->index(alarm->row(), TFImportSignals::ColDirection));
    window.TV_SignalsClick(cell);
    auto* editor = view->viewport()->findChild<QComboBox*>();
    ASSERT_NE(editor, nullptr);
    editor->setCurrentIndex(1);
    QMetaObject::invokeMethod(view->itemDelegateForColumn(TFImportSignals::ColDirection), "commitData",
                              Q_ARG(QWidget*, editor));
    EXPECT_EQ(cell.data().toString(), "transmit");
    alarm->setCheckState(Qt::Checked);
    ASSERT_EQ(window.CurrentRequest().picks.size(), 1u);
    EXPECT_EQ(window.CurrentRequest().picks[0].direction, FrameDirection::Transmit);
}

// Import writes the very files the command line's import writes for the
// same selection on a copy of the same project.
TEST_F(ImportSignalsWindow, ImportWritesWhatTheCoreWritesForTheSameSelection) {
    const fs::path dbc = dir / "demo-drive.dbc";
    fs::copy_file(kExamples / "demo-drive.dbc", dbc);
    const struct {
        const char* message;
        const char* signal;  // empty: the whole message
        const char* typedRegister;
        FrameDirection direction;
        WordOrder order;
        const char* list;
    } cases[] = {
        {"DriveDiagnostics", "", "", FrameDirection::Receive, WordOrder::HighFirst, "DriveDiagnostics"},
        {"DriveDiagnostics", "", "", FrameDirection::Receive, WordOrder::LowFirst, "DriveDiagnostics"},
        {"DriveDiagnostics", "OperatingHours", "40", FrameDirection::Receive, WordOrder::HighFirst,
         "DriveDiagnostics.OperatingHours=40"},
        {"AlarmWord", "", "", FrameDirection::Transmit, WordOrder::HighFirst, "AlarmWord"},
    };
    int n = 0;
    for (const auto& c : cases) {
        SCOPED_TRACE(c.list);
        ++n;
        const fs::path mine = DemoCopy(dir / ("w" + std::to_string(n)));
        const fs::path theirs = DemoCopy(dir / ("c" + std::to_string(n)));
        TFImportSignals w(dialogs);
        w.SetProjectDir(mine);
        w.LoadDatabase(dbc);
        auto* order = w.findChild<QComboBox*>("CB_WordOrder");
        order->setCurrentIndex(order->findData(static_cast<int>(c.order)));
        QStandardItem* message = MessageItem(w, c.message);
        ASSERT_NE(message, nullptr);
        QStandardItem* direction = w.Model()->item(message->row(), TFImportSignals::ColDirection);
        direction->setData(static_cast<int>(c.direction), TFImportSignals::DirectionRole);
        if (*c.signal)
            SignalItem(message, c.signal, TFImportSignals::ColRegister)->setText(c.typedRegister);
        else
            message->setCheckState(Qt::Checked);
        w.BtImportClick();
        ASSERT_TRUE(w.Imported()) << (dialogs.shown.empty() ? "" : dialogs.shown.back().text);

        const std::string bytes = ReadDatabaseBytes(dbc);
        const Database database = ParseDatabase(bytes, dbc);
        ImportRequest request;
        request.order = c.order;
        std::vector<std::string> refusals;
        request.picks.push_back(ResolveList(database, c.direction, c.list, refusals));
        ASSERT_TRUE(refusals.empty());
        WriteProjectTables(theirs, PlanImport(ReadProjectTables(theirs), database,
                                              DescribeDatabase(theirs, dbc, bytes), request)
                                       .tables);
        for (const char* file : {"RCobDef.xml", "RInfoCob.xml", "TCobDef.xml", "TInfoCob.xml", "signals.xml"}) {
            SCOPED_TRACE(file);
            EXPECT_EQ(Slurp(mine / file), Slurp(theirs / file));
        }
        EXPECT_TRUE(fs::exists(mine / "signals.xml"));
    }
}

// The window belongs to one project: another starts it empty, named in the
// title; Return imports nothing.
TEST_F(ImportSignalsWindow, AnotherProjectStartsEmptyAndReturnImportsNothing) {
    Open(kExamples / "demo-drive.dbc");
    EXPECT_EQ(window.windowTitle(), "Import signals into Demo");
    MessageItem(window, "DriveDiagnostics")->setCheckState(Qt::Checked);
    window.show();
    window.findChild<QTreeView*>("TV_Signals")->setFocus();
    QTest::keyClick(&window, Qt::Key_Return);
    EXPECT_FALSE(window.Imported());
    EXPECT_FALSE(fs::exists(project / "signals.xml"));
    for (auto* button : window.findChildren<QPushButton*>()) EXPECT_FALSE(button->isDefault() || button->autoDefault());

    const fs::path other = DemoCopy(dir / "other");
    fs::rename(other, dir / "other" / "Plant");
    window.SetProjectDir(dir / "other" / "Plant");
    EXPECT_EQ(window.windowTitle(), "Import signals into Plant");
    EXPECT_EQ(window.Model()->rowCount(), 0);
    EXPECT_TRUE(window.CurrentRequest().picks.empty());
    EXPECT_FALSE(window.findChild<QPushButton*>("BtImport")->isEnabled());
}

// After an import the window stays, says what it wrote, and takes the
// ticked signals out again as remove-signals would, asking first.
TEST_F(ImportSignalsWindow, ImportSaysWhatItWroteAndRemoveTakesItOut) {
    const std::size_t rows = ReadProjectTables(project).receive.MappingCount();
    Open(kExamples / "demo-drive.dbc");
    MessageItem(window, "DriveDiagnostics")->setCheckState(Qt::Checked);
    EXPECT_FALSE(window.findChild<QPushButton*>("BtRemove")->isEnabled());
    window.BtImportClick();
    ASSERT_TRUE(window.Imported());
    const QString status = window.findChild<QLabel*>("LbStatus")->text();
    EXPECT_TRUE(status.startsWith("Wrote RCobDef.xml, RInfoCob.xml and signals.xml: assigned 4 registers, high word "
                                  "first.\nreceive 21: 0x481 DriveDiagnostics"))
        << status.toStdString();
    ASSERT_TRUE(window.findChild<QPushButton*>("BtRemove")->isEnabled());

    dialogs.answers.push_back(Answer::No);
    window.BtRemoveClick();
    ASSERT_EQ(dialogs.shown.size(), 1u);
    EXPECT_EQ(dialogs.shown[0].kind, FakeDialogs::Shown::QuestionDefaultNo);
    EXPECT_NE(dialogs.shown[0].text.find("Remove DriveDiagnostics from the project? 4 registers lose their rows"),
              std::string::npos)
        << dialogs.shown[0].text;
    EXPECT_EQ(ReadProjectTables(project).receive.MappingCount(), rows + 4);

    dialogs.answers.push_back(Answer::Yes);
    window.BtRemoveClick();
    EXPECT_EQ(ReadProjectTables(project).receive.MappingCount(), rows);
    EXPECT_EQ(ReadProjectTables(project).receive.frames.rows.size(), 3u);
    EXPECT_TRUE(window.findChild<QLabel*>("LbStatus")->text().contains("removed 4 registers"));
    EXPECT_FALSE(window.findChild<QPushButton*>("BtRemove")->isEnabled());
}

TEST_F(ImportSignalsWindow, ARefusedImportWritesNothingAndSaysWhy) {
    Open(kExamples / "demo-drive.dbc");
    QStandardItem* status = MessageItem(window, "DriveStatus");
    QStandardItem* alarm = MessageItem(window, "AlarmWord");
    // Two signals given one register.
    SignalItem(status, "StatusWord", TFImportSignals::ColRegister)->setText("70");
    SignalItem(alarm, "Alarm", TFImportSignals::ColRegister)->setText("70");
    EXPECT_FALSE(window.findChild<QPushButton*>("BtImport")->isEnabled());
    EXPECT_FALSE(window.findChild<QLabel*>("LbStatus")->text().isEmpty());
    const std::string before = Slurp(project / "RInfoCob.xml");
    window.BtImportClick();
    EXPECT_FALSE(window.Imported());
    ASSERT_EQ(dialogs.shown.size(), 1u);
    EXPECT_EQ(dialogs.shown[0].kind, FakeDialogs::Shown::Error);
    EXPECT_EQ(Slurp(project / "RInfoCob.xml"), before);
    EXPECT_FALSE(fs::exists(project / "signals.xml"));
}

}  // namespace
}  // namespace vestrel
