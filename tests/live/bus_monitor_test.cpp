#include "can/can_log_reader.h"
#include "gateway/model_loading.h"
#include "live/bench_tables.h"
#include "live/bus_monitor.h"
#include "can/candump_writer.h"
#include "live_test_support.h"
#include "platform/error.h"

#include <cstdio>

#include <gtest/gtest.h>

namespace vestrel::live {
namespace {

using namespace test;

constexpr std::int64_t kSecond = 1'000'000;

TEST(BusMonitor, CountsEachIdentifierAndSaysWhatTheProjectMakesOfIt) {
    const gateway::ProjectModel demo = DemoModel();
    BusMonitor monitor(demo.model);
    monitor.Feed(Frame("281#A1B2"), 0);
    monitor.Feed(Frame("181#1122334455667788"), 1);
    monitor.Feed(Frame("7E5#11"), 2);
    monitor.Feed(Frame("201#1234000000000000"), 3);
    monitor.Feed(Frame("18FF0001#01"), 4);
    monitor.Feed(Frame("281#A1B2C3D4"), 5);
    const auto& e = monitor.Entries();
    ASSERT_EQ(e.size(), 5u);
    EXPECT_EQ(monitor.Frames(), 6u);

    EXPECT_EQ(e[0].id, 0x181u);
    EXPECT_EQ(e[0].role, IdRole::Receive);
    EXPECT_EQ(monitor.RoleText(e[0]), "receive frame 1 \"Drive status\"");
    EXPECT_EQ(monitor.RegistersText(e[0]), "1=0x1122 2=0x3344 3=0x5566 4=0x7788");
    EXPECT_FALSE(BusMonitor::StandsOut(e[0]));

    EXPECT_EQ(e[2].id, 0x281u);
    EXPECT_EQ(e[2].count, 2u);
    EXPECT_EQ(e[2].lengthMismatches, 1u);
    EXPECT_TRUE(BusMonitor::StandsOut(e[2]));
    EXPECT_EQ(monitor.RoleText(e[2]),
              "receive frame 2 \"Motor temperatures\"; 1 frame with a length other than Dimensin 4");
    EXPECT_EQ(monitor.RegistersText(e[2]), "10=0xA1B2 11=0xC3D4");
    EXPECT_EQ(can::CompactFrameText(e[2].last), "281#A1B2C3D4");
    {
        // With a signal imported into register 10: its physical value beside it.
        signaldb::SignalFile file;
        signaldb::ImportedMessage& m = file.messages.emplace_back();
        m.id = 0x281;
        m.length = 4;
        m.registers = {{10, 0x12}};
        signaldb::ImportedSignal& s = m.signalList.emplace_back();
        s.signal.name = "Temperature";
        s.signal.length = 16;
        s.signal.type = signaldb::ValueType::Signed;
        s.signal.factor = 0.01;
        s.signal.unit = "C";
        s.registers = {10};
        s.mask = 0xFFFF;
        const gateway::SignalValues meanings(std::move(file));
        EXPECT_EQ(monitor.RegistersText(e[2], &meanings), "10=0xA1B2 (Temperature = -241.42 C) 11=0xC3D4");
    }

    EXPECT_EQ(monitor.RoleText(e[1]), "transmit frame 1 \"Speed set-point\", sent by the gateway");
    EXPECT_EQ(monitor.RegistersText(e[1]), "");
    EXPECT_EQ(e[3].id, 0x7E5u);
    EXPECT_EQ(monitor.RoleText(e[3]), "not in any frame table");
    EXPECT_TRUE(BusMonitor::StandsOut(e[3]));
    EXPECT_TRUE(e[4].extended);
    EXPECT_EQ(monitor.RoleText(e[4]), "29-bit frame: matches no frame under CANType 0");
    EXPECT_TRUE(BusMonitor::StandsOut(e[4]));

    monitor.Clear();
    EXPECT_TRUE(monitor.Entries().empty());
    EXPECT_EQ(monitor.Table().Value(1), gateway::RegisterValue{});
}

// A bus flooded with identifiers no frame table holds: the project's own
// keep their entries, the others are listed up to the limit, then counted.
TEST(BusMonitor, AFloodOfUnknownIdentifiersStaysBounded) {
    const gateway::ProjectModel demo = DemoModel();
    BusMonitor monitor(demo.model);
    for (std::uint32_t id = 0x400; id < 0x400 + 3 * BusMonitor::kMaxOtherEntries; ++id) {
        can::CanFrame frame = Frame("400#01");
        frame.id = id;
        monitor.Feed(frame, id);
    }
    monitor.Feed(Frame("18FF0001#01"), 1);  // wrong format, past the limit too
    monitor.Feed(Frame("181#1122334455667788"), 2);
    monitor.Feed(Frame("201#1234000000000000"), 3);
    monitor.Feed(Frame("400#02"), 4);        // listed already
    EXPECT_EQ(monitor.Entries().size(), BusMonitor::kMaxOtherEntries + 2);
    EXPECT_EQ(monitor.Unlisted(), 2 * BusMonitor::kMaxOtherEntries + 1);
    EXPECT_EQ(monitor.Frames(), 3 * BusMonitor::kMaxOtherEntries + 4);
    EXPECT_EQ(monitor.Entries()[0].id, 0x181u);
    EXPECT_EQ(monitor.RegistersText(monitor.Entries()[0]), "1=0x1122 2=0x3344 3=0x5566 4=0x7788");
    // The window's table lists what the monitor lists and counts the rest in a marked last row.
    const TextTable shown = MonitorTable(&monitor, nullptr, 5);
    ASSERT_EQ(shown.rows.size(), monitor.Entries().size() + 1);
    EXPECT_EQ(shown.rows[0][3].text, "[8] 11 22 33 44 55 66 77 88");
    EXPECT_FALSE(shown.rows[0][0].standsOut);
    EXPECT_TRUE(shown.rows[2][0].standsOut);
    const TextRow& more = shown.rows.back();
    EXPECT_EQ(more[0].text + " " + more[1].text, "more 401");
    EXPECT_EQ(more[4].text, "identifiers in no frame table beyond the first 200: counted, not listed");
    EXPECT_TRUE(more[4].standsOut);
    monitor.Clear();
    EXPECT_EQ(monitor.Unlisted(), 0u);
    monitor.Feed(Frame("7E5#11"), 5);
    EXPECT_EQ(monitor.Entries().size(), 1u);
}

// The gateway is CAN 2.0: CAN FD frames get their own row, marked, and set
// no register even on a receive frame's COB-ID.
TEST(BusMonitor, CanFdFramesAreShownAsCanFdAndFeedNothing) {
    const gateway::ProjectModel demo = DemoModel();
    BusMonitor monitor(demo.model);
    monitor.Feed(Frame("181##01122334455667788AABBCCDD"), 0);
    monitor.Feed(Frame("181#0001000203040506"), 1);
    const auto& e = monitor.Entries();
    ASSERT_EQ(e.size(), 2u);
    EXPECT_FALSE(e[0].fd);
    EXPECT_TRUE(e[1].fd);
    EXPECT_EQ(e[1].role, IdRole::CanFd);
    EXPECT_EQ(monitor.RoleText(e[1]), "CAN FD, not fed (the gateway is a CAN 2.0 node)");
    EXPECT_TRUE(BusMonitor::StandsOut(e[1]));
    EXPECT_EQ(can::CompactFrameText(e[1].last), "181##01122334455667788AABBCCDD");
    EXPECT_EQ(monitor.RegistersText(e[0]), "1=0x0001 2=0x0002 3=0x0304 4=0x0506");
    monitor.Feed(Frame("181##0FFFFFFFFFFFFFFFF"), 2);
    EXPECT_EQ(monitor.RegistersText(e[0]), "1=0x0001 2=0x0002 3=0x0304 4=0x0506");
}

TEST(BusMonitor, TheRateCountsTheFramesOfTheLastSecond) {
    const gateway::ProjectModel demo = DemoModel();
    BusMonitor monitor(demo.model);
    for (int i = 0; i < 10; ++i) monitor.Feed(Frame("381#0001"), 100 * 1000 * i);  // every 100 ms
    const MonitorEntry& e = monitor.Entries()[0];
    EXPECT_DOUBLE_EQ(BusMonitor::Rate(e, 900 * 1000), 10.0);
    EXPECT_DOUBLE_EQ(BusMonitor::Rate(e, kSecond + 450 * 1000), 5.0);  // the frames of 500 to 900 ms
    EXPECT_DOUBLE_EQ(BusMonitor::Rate(e, 5 * kSecond), 0.0);
    monitor.Feed(Frame("381#0001"), 10 * kSecond);
    EXPECT_EQ(monitor.Entries()[0].recent.size(), 1u);  // older times are dropped
}

}  // namespace
}  // namespace vestrel::live
