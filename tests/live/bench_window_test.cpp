// The bench window, offscreen, against the simulated gateway on virtualcan
// and a socat pair of pseudo-terminals.
#include "bench_rig.h"
#include "can/can_log_reader.h"
#include "gateway/model_loading.h"
#include "live/qt/modbus_client.h"
#include "live/ui/bench_plot_page.h"
#include "live/ui/bench_widgets.h"
#include "live/ui/bench_window.h"
#include "live/ui/can_monitor_page.h"
#include "live/ui/expected_read_page.h"
#include "live/ui/modbus_poll_page.h"
#include "live_test_support.h"
#include "plot/ui/chart_view.h"

#include <QApplication>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QScreen>
#include <QSpinBox>
#include <QTabWidget>
#include <QTableView>

#include <algorithm>
#include <fstream>

#include <gtest/gtest.h>

namespace vestrel::live {
namespace {

using namespace test;
namespace fs = std::filesystem;

const std::string kDemo = VESTREL_EXAMPLES_DIR "/workspace/PROJECTS/Demo";

std::string Cell(QTableView* table, int row, int column) {
    return table->model()->index(row, column).data().toString().toStdString();
}

bool Marked(QTableView* table, int row, int column) {
    const QVariant background = table->model()->index(row, column).data(Qt::BackgroundRole);
    return background.isValid() && background.value<QBrush>().color() == kStandOut;
}

int Rows(QTableView* table) { return table->model()->rowCount(); }

class BenchWindowTest : public ::testing::Test {
protected:
    void Show(const std::string& project = kDemo) {
        bench.SetProjectDir(project);
        bench.show();
    }
    // Opens the window's CAN interface on `channel` of the test relay and
    // waits until the relay has seen it join.
    void OpenCan(const std::string& channel = "can0") {
        bench.Plugin()->setCurrentText("virtualcan");
        bench.Interface()->setEditText(QString::fromStdString(VirtualCanEndpoint(channel).interface));
        const int joined = RelayLog::Joined();
        bench.CanOpenButton()->click();
        ASSERT_TRUE(WaitFor([&] { return bench.Bus().IsOpen(); })) << bench.CanStatus()->text().toStdString();
        ASSERT_TRUE(WaitForJoined(joined + 1));
        EXPECT_EQ(bench.CanStatus()->text().toStdString(), "Open: " + VirtualCan(channel));
    }
    void OpenModbus() {
        bench.Port()->setEditText(QString::fromStdString(pty.B()));
        bench.ModbusOpenButton()->click();
        ASSERT_TRUE(bench.Client().IsOpen()) << bench.ModbusStatus()->text().toStdString();
    }
    // Sends frames on can0 and waits until the window's monitor has them all.
    void Traffic(const std::vector<std::string>& frames) {
        const std::uint64_t before = bench.Model()->Frames();
        for (const std::string& f : frames) sender->Send(f);
        ASSERT_TRUE(WaitFor([&] { return bench.Model()->Frames() >= before + frames.size(); }));
    }
    void ReadPoll() {
        const int answered = bench.Poll()->Answered();
        bench.Poll()->BtReadClick();
        ASSERT_TRUE(WaitFor([&] { return bench.Poll()->Answered() > answered; }));
    }
    bool RunCheck(const std::function<void()>& start) {
        bool finished = false;
        QObject::connect(bench.Expected(), &TFExpectedReadPage::checkFinished, &bench, [&] { finished = true; });
        start();
        return WaitFor([&] { return finished; });
    }

    gateway::ProjectModel demo = DemoModel();
    PtyPair pty;
    TFBench bench;
    std::unique_ptr<TestBus> sender;
};

TEST_F(BenchWindowTest, PreselectsTheProjectsSettingsAndSaysWhatItLeavesOut) {
    Show();
    EXPECT_EQ(bench.Baud()->currentText(), "19200");
    EXPECT_EQ(bench.Parity()->currentText(), "Even");
    EXPECT_EQ(bench.StopBits()->currentText(), "1");
    EXPECT_EQ(bench.Address()->value(), 1);
    EXPECT_EQ(bench.findChild<QLabel*>("LbBitRate")->text(), "Bit rate 250 kbit/s (the project's), asked of the plugin");
    const QString project = bench.findChild<QLabel*>("LbProject")->text();
    EXPECT_TRUE(project.startsWith(QString::fromStdString("Project: " + kDemo + "\nNote: the project sets a data time-out")))
        << project.toStdString();
    EXPECT_EQ(bench.Pages()->tabText(0), "CAN monitor");
    EXPECT_EQ(bench.Pages()->tabText(1), "Modbus poll");
    EXPECT_EQ(bench.Pages()->tabText(2), "Expected / read");
    EXPECT_EQ(Rows(bench.Expected()->Registers()), 7);
}

TEST_F(BenchWindowTest, TheMonitorShowsEachCobIdWithTheRegistersItFeedsAndRecords) {
    Show();
    OpenCan();
    TempDir dir;
    const fs::path log = dir / "bench.log";
    bench.Monitor()->askSavePath = [&](const std::string& suggested) -> std::optional<std::string> {
        EXPECT_EQ(suggested, "candump-can0.log");
        return log.string();
    };
    bench.Monitor()->BtRecordClick();
    EXPECT_EQ(bench.Monitor()->RecordButton()->text(), "Stop recording");
    sender = std::make_unique<TestBus>();
    Traffic({"181#1122334455667788", "7E5#11", "281#A1B2", "181#1122334455667788"});
    bench.Monitor()->BtRecordClick();
    bench.Monitor()->Refresh(NowMicros());

    QTableView* table = bench.Monitor()->Table();
    ASSERT_EQ(Rows(table), 3);
    EXPECT_EQ(Cell(table, 0, 0), "0x181");
    EXPECT_EQ(Cell(table, 0, 1), "2");
    EXPECT_EQ(Cell(table, 0, 3), "[8] 11 22 33 44 55 66 77 88");
    EXPECT_EQ(Cell(table, 0, 4), "receive frame 1 \"Drive status\"");
    EXPECT_EQ(Cell(table, 0, 5), "1=0x1122 2=0x3344 3=0x5566 4=0x7788");
    EXPECT_FALSE(Marked(table, 0, 0));
    EXPECT_EQ(Cell(table, 1, 4), "receive frame 2 \"Motor temperatures\"; 1 frame with a length other than Dimensin 4");
    EXPECT_EQ(Cell(table, 1, 5), "10=0xA1B2 11=0x????");
    EXPECT_TRUE(Marked(table, 1, 4));
    EXPECT_EQ(Cell(table, 2, 0), "0x7E5");
    EXPECT_EQ(Cell(table, 2, 4), "not in any frame table");
    EXPECT_TRUE(Marked(table, 2, 0));

    // The recording is a candump log of the four frames.
    can::CanLogReader reader(log);
    can::LogFrame frame;
    can::BrokenLine broken;
    std::vector<std::string> recorded;
    while (reader.Next(frame, broken) == can::CanLogReader::Step::Frame)
        recorded.push_back(can::CompactFrameText(frame.frame));
    EXPECT_EQ(recorded, (std::vector<std::string>{"181#1122334455667788", "7E5#11", "281#A1B2",
                                                  "181#1122334455667788"}));

    // A frame typed in the monitor goes out on the bus.
    bench.Monitor()->SendEdit()->setText("381#0102");
    bench.Monitor()->BtSendClick();
    EXPECT_EQ(bench.Monitor()->SendResult()->text(), "Sent 381#0102");
    EXPECT_TRUE(WaitFor([&] { return sender->Heard("381#0102"); }));
    // The interface does not hand it back to its sender, yet the gateway
    // receives it: the monitor counts it and the model takes it in.
    bench.Monitor()->Refresh(NowMicros());
    ASSERT_EQ(Rows(table), 4);
    EXPECT_EQ(Cell(table, 2, 0), "0x381");
    EXPECT_EQ(Cell(table, 2, 5), "20=0x0102");
    bench.Monitor()->SendEdit()->setText("381#01020");
    bench.Monitor()->BtSendClick();
    EXPECT_TRUE(bench.Monitor()->SendResult()->text().startsWith("'381#01020' is not a frame: "));
}

// The plot listens to the session beside the monitor: the frames heard on
// the bus and the ones the window sends are both drawn.
TEST_F(BenchWindowTest, ThePlotDrawsWhatTheSessionHearsAndSends) {
    Show();
    OpenCan();
    TFBenchPlotPage* page = bench.PlotPage();
    EXPECT_EQ(bench.Pages()->tabText(3).toStdString(), "Plot");
    ASSERT_EQ(page->Charts()->count(), 10);  // no signals imported: the demo's registers
    page->Charts()->item(7)->setCheckState(Qt::Checked);  // transmit register 100 besides the first six
    sender = std::make_unique<TestBus>();
    Traffic({"181#0001000200030004", "181#0001000200030005"});
    bench.Monitor()->SendEdit()->setText("201#05DC000000000000");
    bench.Monitor()->BtSendClick();
    page->Refresh(NowMicros());
    const plot::Plot& shown = page->View()->Shown();
    ASSERT_EQ(shown.charts.size(), 7u);
    EXPECT_EQ(shown.charts[3].name, "receive register 4");
    EXPECT_EQ(plot::ValueAt(shown.charts[3], -1), 5);
    EXPECT_EQ(shown.charts[6].name, "transmit register 100");
    EXPECT_EQ(plot::ValueAt(shown.charts[6], -1), 0x05DC);
    EXPECT_FALSE(plot::ValueAt(shown.charts[4], -1));  // 0x281 never came
    EXPECT_EQ(shown.time.from, -10000000);

    // A shorter window starts afresh.
    page->Seconds()->setValue(5);
    page->Refresh(NowMicros());
    EXPECT_FALSE(plot::ValueAt(page->View()->Shown().charts[3], -1));
    EXPECT_EQ(page->View()->Shown().time.from, -5000000);
}

TEST_F(BenchWindowTest, TheMonitorPlaysALogAndSendsAFrameEveryPeriod) {
    Show();
    OpenCan();
    sender = std::make_unique<TestBus>();
    TempDir dir;
    const fs::path log = dir / "play.log";
    std::ofstream(log) << "(1.000000) can0 181#1122334455667788\n(1.000000) can0 281#A1B2C3D4\n(1.000000) can0 381#0004\n";
    std::ofstream(dir / "notes.txt") << "no frames here\n";
    TFCanMonitorPage* page = bench.Monitor();
    std::string chosen = (dir / "notes.txt").string();
    page->askLogPath = [&] { return std::optional<std::string>(chosen); };
    page->BtPlayClick();
    EXPECT_TRUE(page->SendResult()->text().contains("is no CAN log")) << page->SendResult()->text().toStdString();
    EXPECT_FALSE(page->Sending());

    chosen = log.string();
    page->BtPlayClick();
    ASSERT_TRUE(WaitFor([&] { return !page->Sending(); }));
    EXPECT_EQ(page->SendResult()->text(), "play.log: sent 3 frames");
    ASSERT_TRUE(WaitFor([&] { return sender->heard.size() >= 3; }));
    EXPECT_EQ(sender->heard, (std::vector<std::string>{"181#1122334455667788", "281#A1B2C3D4", "381#0004"}));
    // What the page sent is traffic the gateway takes in.
    page->Refresh(NowMicros());
    EXPECT_EQ(Cell(page->Table(), 2, 5), "20=0x0004");

    // Every 50 ms until Stop; Play waits meanwhile.
    page->EveryEdit()->setValue(50);
    page->SendEdit()->setText("381#0007");
    page->BtSendClick();
    EXPECT_EQ(page->SendButton()->text(), "Stop");
    EXPECT_FALSE(page->PlayButton()->isEnabled());
    ASSERT_TRUE(WaitFor([&] { return std::count(sender->heard.begin(), sender->heard.end(), "381#0007") >= 2; }));
    page->BtSendClick();
    EXPECT_FALSE(page->Sending());
    EXPECT_EQ(page->SendButton()->text(), "Send");
    EXPECT_TRUE(page->PlayButton()->isEnabled());
    EXPECT_TRUE(page->SendResult()->text().startsWith("381#0007 every 50 ms: sent ")) << page->SendResult()->text().toStdString();
}

TEST_F(BenchWindowTest, ThePollShowsValuesWithBothNumberingsAndErrorsPerRequest) {
    SimulatedDevice device(demo.model, pty.A());
    Show();
    OpenCan();
    OpenModbus();
    sender = std::make_unique<TestBus>();
    Traffic({"181#1122334455667788"});
    ASSERT_TRUE(WaitFor([&] { return device.Told("181#"); }));

    TFModbusPollPage* poll = bench.Poll();
    poll->Start()->setValue(1);
    poll->Count()->setValue(4);
    EXPECT_EQ(poll->AddressLabel()->text(),
              "protocol address 1 (register number 2) ... protocol address 4 (register number 5)");
    ReadPoll();
    QTableView* values = poll->Values();
    ASSERT_EQ(Rows(values), 4);
    EXPECT_EQ(Cell(values, 0, 0), "1");
    EXPECT_EQ(Cell(values, 0, 2), "0x1122");
    EXPECT_EQ(Cell(values, 3, 2), "0x7788");
    EXPECT_EQ(Cell(values, 3, 3), "30600");

    // 1-based: the same protocol address, named one higher.
    poll->NumberingBox()->setCurrentIndex(1);
    EXPECT_EQ(poll->Start()->value(), 2);
    EXPECT_EQ(poll->AddressLabel()->text(),
              "register 2 = protocol address 1 ... register 5 = protocol address 4");
    poll->ReadFunctionBox()->setCurrentIndex(1);
    ReadPoll();
    EXPECT_EQ(Cell(values, 0, 0), "2");
    EXPECT_EQ(Cell(values, 0, 1), "1");
    EXPECT_EQ(Cell(values, 0, 2), "0x1122");

    // An unmapped register: the exception is in the log, not in the values.
    poll->Start()->setValue(5);
    ReadPoll();
    EXPECT_EQ(Rows(values), 0);
    EXPECT_TRUE(poll->Log()->toPlainText().endsWith(
        "#3 read input registers (04) from device 1 at protocol addresses 4-7: device 1 answered exception 02 (illegal "
        "data address)"))
        << poll->Log()->toPlainText().toStdString();

    // A write of the transmit registers reaches the bus as their frame.
    poll->WriteFunctionBox()->setCurrentIndex(1);
    poll->WriteStart()->setValue(101);  // register number 101 = protocol address 100
    poll->WriteValues()->setText("0x1234, 5");
    EXPECT_EQ(poll->WriteAddressLabel()->text(),
              "register 101 = protocol address 100 ... register 102 = protocol address 101");
    const int answered = poll->Answered();
    poll->BtWriteClick();
    ASSERT_TRUE(WaitFor([&] { return poll->Answered() > answered; }));
    EXPECT_TRUE(poll->Log()->toPlainText().endsWith(
        "#4 write multiple registers (16) to device 1 at protocol addresses 100-101: done"));
    EXPECT_TRUE(WaitFor([&] { return sender->Heard("201#1234000500000000"); }));

    // A device that does not answer: the time-out is the request's outcome.
    bench.ModbusOpenButton()->click();  // closes
    bench.Address()->setValue(9);
    bench.TimeOut()->setValue(100);
    bench.ModbusOpenButton()->click();
    poll->Start()->setValue(2);
    ReadPoll();
    EXPECT_EQ(Rows(values), 0);
    EXPECT_TRUE(poll->Log()->toPlainText().endsWith(": no answer from device 9 within 100 ms"));
}

TEST_F(BenchWindowTest, ExpectedAgainstReadMarksWhatDiffersAndWatchesTheWrittenFrames) {
    SimulatedDevice device(demo.model, pty.A());
    Show();
    OpenCan();
    OpenModbus();
    sender = std::make_unique<TestBus>();
    Traffic({"181#1122334455667788", "281#A1B2C3D4"});
    ASSERT_TRUE(WaitFor([&] { return device.Told("281#"); }));
    Traffic({"181#1122334455667799"});  // the device has to catch up with this one too
    ASSERT_TRUE(WaitFor([&] { return device.Told("181#1122334455667799"); }));

    TFExpectedReadPage* page = bench.Expected();
    page->ShowExpected();
    QTableView* table = page->Registers();
    EXPECT_EQ(Cell(table, 3, 2), "0x7799");
    ASSERT_TRUE(RunCheck([&] { page->BtReadAllClick(); }));
    EXPECT_EQ(Cell(table, 0, 3), "0x1122");
    EXPECT_EQ(Cell(table, 0, 4), "OK");
    EXPECT_EQ(Cell(table, 6, 4), "NOT FED: no frame has fed it, not checked");
    EXPECT_EQ(page->Summary()->text(), "Summary: 6 OK, 0 MISMATCH, 0 ERROR, 1 NOT FED (not checked) - PASS");

    page->WriteValues()->setText("110=7");
    ASSERT_TRUE(RunCheck([&] { page->BtWriteClick(); }));
    EXPECT_EQ(page->TransmitResult()->toPlainText().toStdString(),
              "Write 110=0x0007 (write single register (06) at protocol address 110): done\n"
              "  transmit frame 2 \"Control word\" (COB-ID 0x301): expected 00 07, seen 301#0007: OK\n");
}

// Physical values of an imported signal over two registers go out in one
// function 16 request; a write of one of its registers alone is warned of.
TEST_F(BenchWindowTest, ExpectedAgainstReadWritesPhysicalValuesOfSignals) {
    TempDir dir;
    std::filesystem::copy(kDemo, dir / "Demo");
    WriteFile(dir / "Demo" / "signals.xml",
              "<Signals Version=\"2\"><Message Direction=\"transmit\" Name=\"SetPoint\" CobID=\"0x201\" Extended=\"N\" "
              "DLC=\"8\" WordOrder=\"high-first\" NewFrame=\"N\" Database=\"drive.dbc\" SHA256=\"" +
                  std::string(64, '0') +
                  "\"><Register Index=\"100\" PosComp=\"18\"/><Register Index=\"101\" PosComp=\"52\"/><Signal "
                  "Name=\"Target velocity\" Registers=\"100,101\" Shift=\"0\" Mask=\"0xFFFFFFFF\" StartBit=\"7\" "
                  "Length=\"32\" ByteOrder=\"Motorola\" Type=\"signed\" Factor=\"1\" Offset=\"0\" Minimum=\"0\" "
                  "Maximum=\"0\" Unit=\"rpm\"/></Message></Signals>");
    SimulatedDevice device(demo.model, pty.A());
    Show((dir / "Demo").string());
    OpenCan();
    OpenModbus();
    TFExpectedReadPage* page = bench.Expected();
    page->WriteSignals()->setText("Target velocity=-1000");
    ASSERT_TRUE(RunCheck([&] { page->BtWriteClick(); }));
    EXPECT_EQ(page->TransmitResult()->toPlainText().toStdString(),
              "Write 100=0xFFFF 101=0xFC18 (write multiple registers (16) at protocol addresses 100-101): done\n"
              "  transmit frame 1 \"Speed set-point\" (COB-ID 0x201): expected FF FF FC 18 -- -- -- --, seen "
              "201#FFFFFC1800000000: OK\n");
    page->WriteSignals()->clear();
    page->WriteValues()->setText("101=5");
    ASSERT_TRUE(RunCheck([&] { page->BtWriteClick(); }));
    EXPECT_TRUE(page->TransmitResult()->toPlainText().startsWith(
        "warning: register 101 is of the 2 registers of Target velocity (100 and 101): a write of some of them sends "
        "its frame with the others as they were; write all in one function 16 request\n"))
        << page->TransmitResult()->toPlainText().toStdString();
}

TEST_F(BenchWindowTest, ADeviceOnAnotherBusIsMarkedWhereItDiffers) {
    SimulatedDevice device(demo.model, pty.A(), "can1");  // hears nothing of can0
    Show();
    OpenCan();
    OpenModbus();
    sender = std::make_unique<TestBus>();
    Traffic({"381#0102"});
    TFExpectedReadPage* page = bench.Expected();
    ASSERT_TRUE(RunCheck([&] { page->BtReadAllClick(); }));
    QTableView* table = page->Registers();
    EXPECT_EQ(Cell(table, 6, 0), "20");
    EXPECT_EQ(Cell(table, 6, 2), "0x0102");
    EXPECT_EQ(Cell(table, 6, 3), "0x0000");
    EXPECT_EQ(Cell(table, 6, 4), "MISMATCH (expected 0x0102)");
    EXPECT_TRUE(Marked(table, 6, 4));
    EXPECT_EQ(page->Summary()->text(), "Summary: 0 OK, 1 MISMATCH, 0 ERROR, 6 NOT FED (not checked) - FAIL");

    page->WriteValues()->setText("110=7");
    page->FrameWait()->setValue(100);
    ASSERT_TRUE(RunCheck([&] { page->BtWriteClick(); }));
    EXPECT_NE(page->TransmitResult()->toPlainText().indexOf(
                  "transmit frame 2 \"Control word\" (COB-ID 0x301): expected 00 07: NOT SEEN within 100 ms"),
              -1)
        << page->TransmitResult()->toPlainText().toStdString();
}

TEST_F(BenchWindowTest, BadInputIsSaidInTheWindow) {
    Show();
    bench.Plugin()->setCurrentText("socketcan");
    bench.Interface()->setEditText("vestrelnone0");
    bench.CanOpenButton()->click();
    ASSERT_TRUE(WaitFor([&] { return bench.CanStatus()->text().startsWith("Cannot open"); }));
    EXPECT_TRUE(bench.CanStatus()->text().startsWith("Cannot open CAN interface socketcan:vestrelnone0: "));
    EXPECT_EQ(bench.CanOpenButton()->text(), "Open");

    bench.Port()->setEditText(QString::fromStdString(pty.A() + "-none"));
    bench.ModbusOpenButton()->click();
    EXPECT_EQ(bench.ModbusStatus()->text().toStdString(),
              "Cannot open serial port " + pty.A() + "-none: No such file or directory");
    bench.Poll()->BtReadClick();
    EXPECT_EQ(bench.Poll()->findChild<QLabel*>("LbReadResult")->text(), "Open a serial port first");
    bench.Expected()->BtReadAllClick();
    EXPECT_EQ(bench.Expected()->Summary()->text(), "Open a serial port first");

    // A project whose COB-IDs do not fit CANType: said, and nothing to compare.
    TempDir project;
    WriteProject(project.path(), "0", {{"0x18FF0001", 8}}, {{1, 1, 0x12}});
    bench.hide();
    Show(project.path().string());
    EXPECT_NE(bench.findChild<QLabel*>("LbProject")->text().indexOf(
                  "The project cannot be compiled: RCobDef.xml: row 1: The CobID 0x18FF0001 is outside 0 to 2047, "
                  "the range of CAN 2.0A"),
              -1);
    EXPECT_EQ(Rows(bench.Expected()->Registers()), 0);
    EXPECT_EQ(Rows(bench.Monitor()->Table()), 0);
}

// A comparison belongs to the expectation it was made against: a new frame,
// a cleared monitor or a later write check never lets an old result count.
TEST_F(BenchWindowTest, ComparisonsTheTrafficHasOvertakenAreOutOfDate) {
    SimulatedDevice device(demo.model, pty.A());
    Show();
    OpenCan();
    OpenModbus();
    sender = std::make_unique<TestBus>();
    Traffic({"181#1122334455667788", "281#A1B2C3D4"});
    ASSERT_TRUE(WaitFor([&] { return device.Told("281#"); }));
    TFExpectedReadPage* page = bench.Expected();
    ASSERT_TRUE(RunCheck([&] { page->BtReadAllClick(); }));
    EXPECT_EQ(page->Summary()->text(), "Summary: 6 OK, 0 MISMATCH, 0 ERROR, 1 NOT FED (not checked) - PASS");

    QTableView* table = page->Registers();
    const std::vector<std::pair<std::function<void()>, std::vector<std::string>>> steps = {
        {[&] { Traffic({"181#1122334455667799"}); },
         {"OK", "OK", "OK", "OUT OF DATE: compared with 0x7788, the traffic now gives 0x7799; read and compare again",
          "OK", "OK"}},
        {[&] { bench.Monitor()->BtClearClick(); },
         {"OUT OF DATE: compared with 0x1122, the traffic now gives 0x????; read and compare again"}},
    };
    for (const auto& [step, results] : steps) {
        step();
        page->ShowExpected();
        for (std::size_t row = 0; row < results.size(); ++row)
            EXPECT_EQ(Cell(table, static_cast<int>(row), 4), results[row]) << row;
        EXPECT_FALSE(Marked(table, 3, 4));
        EXPECT_TRUE(page->Summary()->text().endsWith("(not counted) - OUT OF DATE: read and compare again"))
            << page->Summary()->text().toStdString();
    }
    page->WriteValues()->setText("110=7");
    ASSERT_TRUE(RunCheck([&] { page->BtWriteClick(); }));
    EXPECT_EQ(page->Summary()->text(),
              "Summary: 0 OK, 0 MISMATCH, 0 ERROR, 1 NOT FED (not checked); transmit frames: 1 OK, 0 not as expected; 6 "
              "out of date (not counted) - OUT OF DATE: read and compare again");
}

// The device address and the time-out apply to the next request while the
// port stays open, and every line says which device it went to.
TEST_F(BenchWindowTest, ADeviceAddressChangedWhileOpenGoesToTheNextRequest) {
    SimulatedDevice device(demo.model, pty.A(), "can0", 2);
    Show();
    bench.TimeOut()->setValue(100);
    OpenModbus();
    TFModbusPollPage* poll = bench.Poll();
    ReadPoll();
    EXPECT_TRUE(poll->Log()->toPlainText().endsWith("from device 1 at protocol addresses 1-4: no answer from device 1 "
                                                    "within 100 ms"));
    bench.Address()->setValue(2);
    EXPECT_EQ(bench.ModbusStatus()->text().toStdString(),
              "Open: " + pty.B() + ", 19200 bit/s, 8E1, device address 2, time-out 100 ms");
    ReadPoll();
    EXPECT_TRUE(poll->Log()->toPlainText().endsWith(
        "#2 read holding registers (03) from device 2 at protocol addresses 1-4: 0x0000 0x0000 0x0000 0x0000"))
        << poll->Log()->toPlainText().toStdString();
    EXPECT_EQ(poll->findChild<QLabel*>("LbReadResult")->text(), "Read 4 registers from device 2");
    bench.TimeOut()->setValue(150);
    bench.Address()->setValue(9);
    ReadPoll();
    EXPECT_TRUE(poll->Log()->toPlainText().endsWith("from device 9 at protocol addresses 1-4: no answer from device 9 "
                                                    "within 150 ms"));
}

// Without the bus no frame can be seen: nothing is written, nothing judged.
TEST_F(BenchWindowTest, WriteAndWatchNeedsTheCanInterface) {
    SimulatedDevice device(demo.model, pty.A());
    Show();
    OpenModbus();
    TFExpectedReadPage* page = bench.Expected();
    page->WriteValues()->setText("110=7");
    page->FrameWait()->setValue(100);
    page->BtWriteClick();
    EXPECT_EQ(page->TransmitResult()->toPlainText(),
              "The CAN interface is not open, so the frames a write feeds cannot be watched: nothing was written and "
              "nothing is judged. Open the CAN interface first.");
    EXPECT_FALSE(page->Busy());
    EXPECT_EQ(page->Summary()->text(), "Open both interfaces, let the bus run, then read and compare.");
    QTest::qWait(0);
    EXPECT_FALSE(device.Told("write"));
}

// Changing the numbering while "Read and compare" waits on a device that
// never answers drops the read; its callback never reaches the page.
TEST_F(BenchWindowTest, TheNumberingChangedWhileADeviceIsSilentDropsTheRead) {
    ScriptedSlave silent(pty.A(), [](const QByteArray&) { return QByteArray(); });
    Show();
    OpenCan();
    bench.TimeOut()->setValue(100);
    OpenModbus();
    sender = std::make_unique<TestBus>();
    Traffic({"181#1122334455667788"});
    TFExpectedReadPage* page = bench.Expected();
    page->BtReadAllClick();
    ASSERT_TRUE(WaitFor([&] { return !silent.requests.empty(); }));
    ASSERT_TRUE(page->Busy());
    page->IndexNumbering()->setCurrentIndex(1);
    EXPECT_FALSE(page->Busy());
    EXPECT_EQ(page->Summary()->text(), "Read and compare stopped: the numbering changed. Read again.");
    EXPECT_EQ(Cell(page->Registers(), 0, 4), "");
    // The next read waits behind the dropped one, which ends on its time-out.
    ASSERT_TRUE(RunCheck([&] { page->BtReadAllClick(); }));
    EXPECT_EQ(Cell(page->Registers(), 0, 1), "0");
    EXPECT_EQ(Cell(page->Registers(), 0, 4), "ERROR: no answer from device 1 within 100 ms");
    EXPECT_EQ(silent.requests.size(), 2u);
}

// Nothing on screen is left over from before: status lines after closing,
// another plugin's error, values in another numbering or from a port that
// failed, cut register values, "1 frames", the demo's defaults.
TEST_F(BenchWindowTest, NothingStaleStaysOnScreen) {
    TempDir project;
    WriteProject(project.path(), "1", {{"0x18FF0001", 2}}, {{41, 1, 0x12}, {40, 1, 0x10}},
                 {{"0x18FF0002", 2}}, {{7, 1, 0x12}});
    Show(project.path().string());
    EXPECT_EQ(bench.Poll()->Start()->value(), 40);
    EXPECT_EQ(bench.Poll()->Count()->value(), 2);
    EXPECT_EQ(bench.Poll()->WriteStart()->value(), 7);
    EXPECT_EQ(bench.Monitor()->SendEdit()->placeholderText(), "18FF0001#1122");
    EXPECT_EQ(bench.Expected()->WriteValues()->placeholderText(), "7=0x1234");
    bench.hide();

    SimulatedDevice device(demo.model, pty.A());
    Show();
    OpenCan();
    OpenModbus();
    sender = std::make_unique<TestBus>();
    Traffic({"181#1122334455667788"});
    bench.Monitor()->Refresh(NowMicros());
    EXPECT_EQ(bench.Monitor()->Status()->text(), "1 frame");
    QTableView* monitor = bench.Monitor()->Table();
    EXPECT_EQ(Cell(monitor, 0, 5), "1=0x1122 2=0x3344 3=0x5566 4=0x7788");
    EXPECT_GE(monitor->columnWidth(5), monitor->fontMetrics().horizontalAdvance(QString::fromStdString(Cell(monitor, 0, 5))));

    TFModbusPollPage* poll = bench.Poll();
    ReadPoll();
    EXPECT_EQ(Rows(poll->Values()), 4);
    poll->NumberingBox()->setCurrentIndex(1);
    EXPECT_EQ(Rows(poll->Values()), 0);
    ReadPoll();
    EXPECT_EQ(Rows(poll->Values()), 4);
    emit bench.Client().linkFailed("Serial port " + QString::fromStdString(pty.B()) + " failed: gone");
    EXPECT_EQ(Rows(poll->Values()), 0);
    EXPECT_EQ(poll->findChild<QLabel*>("LbReadResult")->text().toStdString(),
              "Serial port " + pty.B() + " failed: gone");

    bench.done(QDialog::Accepted);
    Show();
    EXPECT_EQ(bench.CanStatus()->text(), "");
    EXPECT_EQ(bench.ModbusStatus()->text(), "");
    bench.Plugin()->setCurrentText("socketcan");
    bench.Interface()->setEditText("vestrelnone0");
    bench.CanOpenButton()->click();
    ASSERT_TRUE(WaitFor([&] { return bench.CanStatus()->text().startsWith("Cannot open"); }));
    bench.Plugin()->setCurrentText("virtualcan");
    EXPECT_EQ(bench.CanStatus()->text(), "");
}

// Minimized and shown again, the window keeps its interfaces open.
TEST_F(BenchWindowTest, RestoringAMinimizedWindowKeepsItsInterfacesOpen) {
    Show();
    OpenCan();
    OpenModbus();
    bench.showMinimized();
    QApplication::processEvents();
    bench.showNormal();
    QApplication::processEvents();
    EXPECT_TRUE(bench.Bus().IsOpen());
    EXPECT_TRUE(bench.Client().IsOpen());
    EXPECT_EQ(bench.CanStatus()->text().toStdString(), "Open: " + VirtualCan());
}

// On a screen smaller than the window would like, at any text size, it
// fits the screen's available area and Close stays on it.
TEST_F(BenchWindowTest, TheWindowFitsTheScreen) {
    const QFont usual = QApplication::font();
    for (double scale : {1.0, 1.5}) {
        QFont font = usual;
        font.setPointSizeF(usual.pointSizeF() * scale);
        QApplication::setFont(font);
        Show();
        QApplication::processEvents();
        const QRect screen = bench.screen()->availableGeometry();
        EXPECT_TRUE(screen.contains(bench.frameGeometry())) << scale;
        auto* close = bench.findChild<QPushButton*>("BtClose");
        EXPECT_TRUE(screen.contains(QRect(close->mapToGlobal(QPoint(0, 0)), close->size()))) << scale;
        bench.hide();
    }
    QApplication::setFont(usual);
}

// The gateway is CAN 2.0: a CAN FD frame gets a row of its own, marked as
// CAN FD with all its data, feeds no register, and is recorded in candump's
// "##" form.
TEST_F(BenchWindowTest, ACanFdFrameIsShownAndRecordedAsCanFd) {
    Show();
    OpenCan();
    TempDir dir;
    const fs::path log = dir / "bench.log";
    bench.Monitor()->askSavePath = [&](const std::string&) -> std::optional<std::string> { return log.string(); };
    bench.Monitor()->BtRecordClick();
    sender = std::make_unique<TestBus>();
    Traffic({"181##1112233445566778899AABBCC", "181#0001000203040506"});
    bench.Monitor()->BtRecordClick();
    bench.Monitor()->Refresh(NowMicros());

    QTableView* table = bench.Monitor()->Table();
    ASSERT_EQ(Rows(table), 2);
    EXPECT_EQ(Cell(table, 0, 5), "1=0x0001 2=0x0002 3=0x0304 4=0x0506");
    EXPECT_EQ(Cell(table, 1, 0), "0x181");
    EXPECT_EQ(Cell(table, 1, 3), "CAN FD [12] 11 22 33 44 55 66 77 88 99 AA BB CC");
    EXPECT_EQ(Cell(table, 1, 4), "CAN FD, not fed (the gateway is a CAN 2.0 node)");
    EXPECT_TRUE(Marked(table, 1, 4));
    const std::string recorded = vestrel::test::ReadFile(log);
    EXPECT_NE(recorded.find(" can0 181##1112233445566778899AABBCC\n"), std::string::npos) << recorded;
}

}  // namespace
}  // namespace vestrel::live
