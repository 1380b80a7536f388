#include "gateway/model_loading.h"
#include "live/simulated_gateway.h"
#include "live_test_support.h"

#include <gtest/gtest.h>

namespace vestrel::live {
namespace {

using namespace test;
using can::CanFrame;

std::vector<std::string> Texts(const std::vector<can::CanFrame>& frames) {
    std::vector<std::string> texts;
    for (const can::CanFrame& f : frames) texts.push_back(can::CompactFrameText(f));
    return texts;
}

TEST(SimulatedGateway, ServesTheMappedRegistersOnlyAndFramesFeedThem) {
    const gateway::ProjectModel demo = DemoModel();
    SimulatedGateway sim(demo.model, Numbering::ProtocolAddress);
    for (std::uint16_t a : {1, 2, 3, 4, 10, 11, 20, 100, 101, 110}) EXPECT_TRUE(sim.Readable(a)) << a;
    for (std::uint16_t a : {0, 5, 9, 12, 102, 65535}) EXPECT_FALSE(sim.Readable(a)) << a;
    for (std::uint16_t a : {100, 101, 110}) EXPECT_TRUE(sim.Writable(a)) << a;
    EXPECT_FALSE(sim.Writable(1));

    std::vector<std::uint16_t> values;
    ASSERT_TRUE(sim.Read(1, 4, values));
    EXPECT_EQ(values, (std::vector<std::uint16_t>{0, 0, 0, 0}));  // nothing fed yet
    EXPECT_EQ(sim.Feed(Frame("181#1122334455667788"), 5).size(), 4u);
    ASSERT_TRUE(sim.Read(1, 4, values));
    EXPECT_EQ(values, (std::vector<std::uint16_t>{0x1122, 0x3344, 0x5566, 0x7788}));
    EXPECT_TRUE(sim.Feed(Frame("181#1122334455667788"), 6).empty());  // the same data change nothing
    EXPECT_TRUE(sim.Feed(Frame("7E5#11"), 7).empty());
    sim.Feed(Frame("281#A1B2"), 8);  // B3, B4 are not in the frame: register 11 keeps its value
    ASSERT_TRUE(sim.Read(10, 2, values));
    EXPECT_EQ(values, (std::vector<std::uint16_t>{0xA1B2, 0}));
    EXPECT_FALSE(sim.Read(4, 2, values));  // 5 is not mapped
    EXPECT_TRUE(values.empty());
    EXPECT_FALSE(sim.Read(65535, 2, values));
}

// The bench feeds registers by the rules preview and replay follow: the
// later of two frames sharing a CAN 2.0A COB-ID, the mode's identifier
// format, each half from its byte within Dimensin.
TEST(SimulatedGateway, FeedsByTheLookupTheFormatAndTheByteRules) {
    const struct {
        const char* canType;
        const char* frame;
        std::vector<std::uint16_t> registers;  // 1 to 4
    } cases[] = {
        {"0", "181#A1B2", {0, 0xA1B2, 0, 0}},
        {"0", "182#C3D4E5", {0, 0, 0xD4C3, 0}},  // register 4's B3 is past Dimensin
        {"0", "00000182#C3D4", {0, 0, 0, 0}},
        {"1", "00000182#C3D4", {0, 0, 0xD4C3, 0}},
        {"1", "00000181#A1B2", {0, 0, 0, 0}},  // ambiguous
    };
    for (const auto& c : cases) {
        const gateway::ProjectModel m = ModelOf(c.canType, {{"0x181", 2}, {"0x181", 2}, {"0x182", 2}},
                                                {{1, 1, 0x12}, {2, 2, 0x12}, {3, 3, 0x21}, {4, 3, 0x30}});
        SimulatedGateway sim(m.model, Numbering::ProtocolAddress);
        sim.Feed(Frame(c.frame), 1);
        std::vector<std::uint16_t> values;
        ASSERT_TRUE(sim.Read(1, 4, values)) << c.frame;
        EXPECT_EQ(values, c.registers) << c.canType << " " << c.frame;
    }
}

TEST(SimulatedGateway, AWriteSendsTheTransmitFramesItFeedsWithEveryRegistersValue) {
    const gateway::ProjectModel demo = DemoModel();
    SimulatedGateway sim(demo.model, Numbering::ProtocolAddress);
    std::vector<can::CanFrame> frames;
    const std::vector<std::uint16_t> two = {0x1234, 0x0005};
    ASSERT_TRUE(sim.Write(100, two, frames));
    EXPECT_EQ(Texts(frames), std::vector<std::string>{"201#1234000500000000"});
    frames.clear();
    const std::vector<std::uint16_t> one = {0xBEEF};
    ASSERT_TRUE(sim.Write(101, one, frames));  // register 100 keeps what was written before
    EXPECT_EQ(Texts(frames), std::vector<std::string>{"201#1234BEEF00000000"});
    frames.clear();
    const std::vector<std::uint16_t> seven = {7};
    ASSERT_TRUE(sim.Write(110, seven, frames));
    EXPECT_EQ(Texts(frames), std::vector<std::string>{"301#0007"});
    std::vector<std::uint16_t> values;
    ASSERT_TRUE(sim.Read(100, 2, values));  // written registers read back
    EXPECT_EQ(values, (std::vector<std::uint16_t>{0x1234, 0xBEEF}));

    frames.clear();
    EXPECT_FALSE(sim.Write(1, seven, frames));  // a receive register
    EXPECT_FALSE(sim.Write(101, two, frames));  // 102 is not mapped: nothing is stored
    EXPECT_TRUE(frames.empty());
    ASSERT_TRUE(sim.Read(101, 1, values));
    EXPECT_EQ(values[0], 0xBEEF);
}

TEST(SimulatedGateway, RegisterHalvesOfBothDirectionsAndDisagreeingBytes) {
    // Register 5 is received (low byte from B1) and transmitted; register 6's
    // low half and register 7's high half both feed B2 of the transmit frame.
    const gateway::ProjectModel m = ModelOf("0", {{"0x181", 1}}, {{5, 1, 0x01}},
                                            {{"0x201", 2}, {"0x202", 1, "remote", "Y"}},
                                            {{5, 1, 0x10}, {6, 1, 0x02}, {7, 1, 0x20}, {7, 2, 0x10}});
    SimulatedGateway sim(m.model, Numbering::ProtocolAddress);
    std::vector<can::CanFrame> frames;
    const std::vector<std::uint16_t> written = {0xAABB, 0x00CC, 0xDD00};
    ASSERT_TRUE(sim.Write(5, written, frames));
    // B1 from register 5's high half; B2 from register 7's high half, the later record. The remote frame is not sent.
    EXPECT_EQ(Texts(frames), std::vector<std::string>{"201#AADD"});
    sim.Feed(Frame("181#11"), 0);
    std::vector<std::uint16_t> values;
    ASSERT_TRUE(sim.Read(5, 1, values));
    EXPECT_EQ(values[0], 0xAA11);  // the frame sets the low half only
    // One value for both directions: the start-up text says so.
    EXPECT_EQ(sim.Description().back(),
              "Register 5 is both a receive and a transmit register: a Modbus master reads and writes the same address "
              "there; what the device does with such an address is not known, and the simulator keeps one value for "
              "both, so a received frame overwrites what the PLC wrote.");
}

TEST(SimulatedGateway, OneBasedIndexesAreServedOneAddressLowerAndItSaysWhatItIs) {
    const gateway::ProjectModel demo = DemoModel();
    SimulatedGateway sim(demo.model, Numbering::RegisterNumber);
    EXPECT_TRUE(sim.Readable(0));
    EXPECT_FALSE(sim.Readable(20));
    EXPECT_TRUE(sim.Writable(99));
    std::vector<can::CanFrame> frames;
    const std::vector<std::uint16_t> seven = {7};
    ASSERT_TRUE(sim.Write(109, seven, frames));
    EXPECT_EQ(Texts(frames), std::vector<std::string>{"301#0007"});
    EXPECT_EQ(sim.Description(),
              (std::vector<std::string>{
                  "This is a simulated gateway, not the device: it models the project's register mapping only, "
                  "which is all the project defines.",
                  "It serves functions 03, 04, 06 and 16 only; every other function is answered with exception 01 "
                  "(illegal function).",
                  "It serves the same registers to function 03 and 04; registers the mapping does not name answer "
                  "exception 02 (illegal data address).",
                  "Protocol addresses served: 0-3, 9-10, 19, 99-100 and 109; writable (transmit, 06 and 16): 99-100 "
                  "and 109 (the project's register number (Index) is a 1-based register number: protocol address = "
                  "Index - 1).",
                  "A received frame sets the registers it feeds; each write request sends the transmit frames it "
                  "feeds at once, so a value over several registers written one register at a time (06) goes out "
                  "with the others as they were: write it in one function 16 request. What the device does per "
                  "request is not known.",
              }));
}

}  // namespace
}  // namespace vestrel::live
