#include "gateway/model_examples.h"
#include "gateway/model_loading.h"
#include "live/bench_settings.h"
#include "live/modbus_request.h"
#include "live/register_numbering.h"
#include "live_test_support.h"

#include <gtest/gtest.h>

namespace vestrel::live {
namespace {

using namespace test;

TEST(CanEndpoint, ThePluginIsWhatStandsBeforeTheFirstColon) {
    auto endpoint = ParseCanInterface("socketcan:can0");
    ASSERT_TRUE(endpoint);
    EXPECT_EQ(endpoint->plugin, "socketcan");
    EXPECT_EQ(endpoint->interface, "can0");
    endpoint = ParseCanInterface("virtualcan:tcp://127.0.0.1:40123/can0");
    ASSERT_TRUE(endpoint);
    EXPECT_EQ(endpoint->plugin, "virtualcan");
    EXPECT_EQ(endpoint->interface, "tcp://127.0.0.1:40123/can0");
    EXPECT_EQ(endpoint->Text(), "virtualcan:tcp://127.0.0.1:40123/can0");

    for (const char* bad : {"can0", ":can0", "socketcan:", ""}) EXPECT_FALSE(ParseCanInterface(bad)) << bad;
    EXPECT_EQ(ParseCanInterface("can0").Why(), "a CAN interface is PLUGIN:INTERFACE, such as socketcan:can0 or virtualcan:can0, not 'can0'");
}

// What virtualcan would read its own way (a port out of range as its
// default port, a host name as no address, the rest of a URL as nothing) is
// refused; other plugins' names are theirs to judge.
TEST(CanEndpoint, AVirtualcanAddressIsOneThePluginUsesAsWritten) {
    for (const char* good : {"virtualcan:can0", "virtualcan:can1", "virtualcan:tcp://127.0.0.1:1/can0",
                             "virtualcan:tcp://127.0.0.1:65535/can1", "virtualcan:tcp://192.168.10.2/can0",
                             "virtualcan:tcp://[::1]:40123/can0", "socketcan:tcp://x:99999/can0",
                             "passthrucan:C:\\drivers\\j2534.dll"})
        EXPECT_TRUE(ParseCanInterface(good)) << good << ": " << ParseCanInterface(good).Why();
    const std::vector<std::pair<std::string, std::string>> bad = {
        {"tcp://127.0.0.1:99999/can0", "the relay's port is a number from 1 to 65535, not '99999'"},
        {"tcp://127.0.0.1:0/can0", "the relay's port is a number from 1 to 65535, not '0'"},
        {"tcp://127.0.0.1:/can0", "the relay's port is a number from 1 to 65535, not ''"},
        {"tcp://127.0.0.1:4x/can0", "the relay's port is a number from 1 to 65535, not '4x'"},
        {"tcp://localhost:40123/can0",
         "the relay's address is an IP address such as 127.0.0.1 (the plugin looks up no names), not 'localhost'"},
        {"tcp://127.0.0.256:40123/can0",
         "the relay's address is an IP address such as 127.0.0.1 (the plugin looks up no names), not '127.0.0.256'"},
        {"tcp://user@127.0.0.1:40123/can0",
         "the relay's address is an IP address such as 127.0.0.1 (the plugin looks up no names), not "
         "'user@127.0.0.1'"},
        {"http://127.0.0.1:40123/can0", "the virtualcan relay is reached over tcp://"},
        {"tcp://127.0.0.1:40123", "the relay's address is followed by a channel and nothing else: tcp://ADDRESS:PORT/can0"},
        {"tcp://127.0.0.1:40123/can0?x", "the relay's address is followed by a channel and nothing else: tcp://ADDRESS:PORT/can0"},
        {"tcp://127.0.0.1:40123/a/can0", "the relay's address is followed by a channel and nothing else: tcp://ADDRESS:PORT/can0"},
        {"127.0.0.1:40123/can0", "virtualcan takes a channel such as can0, or tcp://ADDRESS:PORT/can0"},
    };
    for (const auto& [name, why] : bad) {
        const auto endpoint = ParseCanInterface("virtualcan:" + name);
        ASSERT_FALSE(endpoint) << name;
        EXPECT_EQ(endpoint.Why(), "CAN interface virtualcan:" + name + ": " + why);
    }
}

TEST(SerialSettingsText, ReadsRateDataBitsParityAndStopBits) {
    auto s = ParseSerialSettings("19200,8E1");
    ASSERT_TRUE(s);
    EXPECT_EQ(*s, (SerialSettings{19200, 8, Parity::Even, 1}));
    EXPECT_EQ(SerialSettingsText(*s), "19200 bit/s, 8E1");
    s = ParseSerialSettings("9600,7o2");
    ASSERT_TRUE(s);
    EXPECT_EQ(*s, (SerialSettings{9600, 7, Parity::Odd, 2}));
    EXPECT_EQ(SerialSettingsText(*s), "9600 bit/s, 7O2");

    for (const char* bad : {"19200", "19200,9E1", "x,8E1", "19200,8X1", "19200,8E3", "0,8N1", "19200,8E1x", ",8N1"})
        EXPECT_FALSE(ParseSerialSettings(bad)) << bad;
    EXPECT_EQ(ParseSerialSettings(",8N1").Why(), "serial settings are RATE,8N1 (data bits 7 or 8, parity N, E or O, stop bits 1 or 2), not ',8N1'");
}

TEST(BenchSettings, ComeFromTheBanksWithNotesOnWhatTheModelLeavesOut) {
    const gateway::ProjectModel demo = DemoModel();
    BenchSettings s = BenchSettingsOf(demo.model.Banks());
    EXPECT_EQ(s.canBitRate, 250000);
    EXPECT_EQ(s.serial, (SerialSettings{19200, 8, Parity::Even, 1}));
    EXPECT_EQ(s.deviceAddress, 1);
    EXPECT_EQ(CanBitRateText(s.canBitRate), "250 kbit/s");
    EXPECT_EQ(BenchNotes(s, demo.model.Banks()),
              std::vector<std::string>{"the project sets a data time-out of 10 s (register 100); the model and the "
                                       "simulator do not apply it, so read within that time of the frames"});

    TempDir dir;
    WriteProject(dir.path(), "0", {{"0x181", 8}}, {{1, 1, 0x12}});
    WritePargen(dir.path(), With(With(With(With(DefaultSettings(), "BaudRateCAN", "8"), "Par_Ser", "1"), "IDDev_Ser",
                                      "0"),
                                 "Cancel_Data", "1"));
    const gateway::ProjectModel other = gateway::LoadProjectModel(dir.path());
    s = BenchSettingsOf(other.model.Banks());
    EXPECT_EQ(s.canBitRate, 1000000);
    EXPECT_EQ(s.serial, (SerialSettings{9600, 8, Parity::Odd, 1}));
    EXPECT_EQ(BenchNotes(s, other.model.Banks()),
              (std::vector<std::string>{
                  "the project's device address 0 is not a Modbus slave address (1 to 247)",
                  "the project sets \"Cancel data after read\": the device may clear a register once it has been "
                  "read; the model and the simulator keep the value"}));
}

TEST(Numbering, ProtocolAddressesAndOneBasedRegisterNumbersConvertBothWays) {
    EXPECT_EQ(AddressOf(40, Numbering::RegisterNumber), 39);
    EXPECT_EQ(AddressOf(40, Numbering::ProtocolAddress), 40);
    EXPECT_EQ(AddressOf(65536, Numbering::RegisterNumber), 65535);
    EXPECT_FALSE(AddressOf(0, Numbering::RegisterNumber));
    EXPECT_FALSE(AddressOf(65536, Numbering::ProtocolAddress));
    EXPECT_FALSE(AddressOf(-1, Numbering::ProtocolAddress));
    for (std::uint16_t address : {0, 1, 39, 65535})
        for (Numbering n : {Numbering::ProtocolAddress, Numbering::RegisterNumber})
            EXPECT_EQ(AddressOf(NumberOf(address, n), n), address);

    EXPECT_EQ(AddressText(39, Numbering::RegisterNumber), "register 40 = protocol address 39");
    EXPECT_EQ(AddressText(39, Numbering::ProtocolAddress), "protocol address 39 (register number 40)");
    EXPECT_EQ(NumberingName(Numbering::RegisterNumber), "1-based register number");
}

TEST(RequestPlan, ReadsRunsOfConsecutiveAddressesOnlyWithinTheRequestLimit) {
    EXPECT_EQ(PlanReads({20, 1, 2, 11, 3, 4, 10, 2}),
              (std::vector<RegisterBlock>{{1, 4}, {10, 2}, {20, 1}}));
    std::vector<std::uint16_t> many;
    for (int i = 0; i < 300; ++i) many.push_back(static_cast<std::uint16_t>(65235 + i));
    EXPECT_EQ(PlanReads(many), (std::vector<RegisterBlock>{{65235, 125}, {65360, 125}, {65485, 50}}));
    EXPECT_EQ(PlanReads({}), std::vector<RegisterBlock>{});
    EXPECT_EQ(PlanWrites({{100, 1}, {101, 2}, {110, 3}}), (std::vector<RegisterBlock>{{100, 2}, {110, 1}}));
}

// The placeholders and defaults of the windows come from the open project.
TEST(ModelExamples, FitTheProjectNotTheDemo) {
    struct Case {
        const char* name;
        gateway::ProjectModel project;
        std::string frames, values;
        RegisterBlock read;
        std::uint16_t write;
    };
    const std::vector<Case> cases = {
        {"demo", DemoModel(), "181#1122334455667788 281#11223344", "100=0x1234,110=7", {1, 4}, 100},
        {"CAN 2.0B",
         ModelOf("1", {{"0x18FF0001", 2}, {"0x18FF0002", 0}}, {{41, 1, 0x12}, {40, 1, 0x10}, {42, 2, 0}},
                 {{"0x18FF0003", 2}, {"0x18FF0004", 2}, {"0x18FF0005", 2}}, {{9, 1, 0x12}, {9, 2, 0x12}, {7, 3, 0x12}}),
         "18FF0001#1122 18FF0002#", "9=0x1234,7=7", {40, 3}, 7},
        {"nothing mapped", ModelOf("0", {}, {}), "", "", {0, 1}, 0},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(gateway::ExampleFramesText(c.project.model), c.frames) << c.name;
        EXPECT_EQ(gateway::ExampleRegisterValuesText(c.project.model), c.values) << c.name;
        const PollDefaults defaults = PollDefaultsOf(c.project.model);
        EXPECT_EQ(defaults.read, c.read) << c.name;
        EXPECT_EQ(defaults.write, c.write) << c.name;
    }
}

TEST(RequestFailureText, SaysWhatCameBackOrThatNothingDid) {
    RequestFailure f;
    EXPECT_EQ(RequestFailureText(f, 5, 200), "no answer from device 5 within 200 ms");
    f.crcErrors = 1;
    EXPECT_EQ(RequestFailureText(f, 1, 200), "1 answer with a wrong CRC, no valid answer from device 1 within 200 ms");
    f.crcErrors = 0;
    f.mismatches = 2;
    EXPECT_EQ(RequestFailureText(f, 1, 200),
              "2 answers from another device address or to another request, no valid answer from device 1 within "
              "200 ms");
    f = RequestFailure{};
    f.kind = RequestFailure::Kind::Exception;
    f.exceptionCode = 2;
    EXPECT_EQ(RequestFailureText(f, 1, 200), "device 1 answered exception 02 (illegal data address)");
    EXPECT_EQ(ExceptionText(0x0B), "exception 0B (gateway target device failed to respond)");
    EXPECT_EQ(ExceptionText(0x42), "exception 42");
    EXPECT_EQ(ReadRequestText(ReadFunction::InputRegisters, {1, 4}), "read input registers (04) at protocol addresses 1-4");
    EXPECT_EQ(WriteRequestText(WriteFunction::SingleRegister, {110, 1}),
              "write single register (06) at protocol address 110");
}

}  // namespace
}  // namespace vestrel::live
