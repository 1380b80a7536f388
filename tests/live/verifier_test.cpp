#include "gateway/model_loading.h"
#include "live/bench_tables.h"
#include "live/receive_verifier.h"
#include "live/transmit_verifier.h"
#include "live/verify_report.h"
#include "live_test_support.h"

#include <gtest/gtest.h>

namespace vestrel::live {
namespace {

using namespace test;
using gateway::RegisterTable;

class ReceiveVerifierTest : public ::testing::Test {
protected:
    void Feed(const std::string& frame) { table.Feed(Frame(frame), 0); }
    // Answers every request with the values `device` gives per address.
    void AnswerAll(ReceiveVerifier& v, const std::function<std::uint16_t(std::uint16_t)>& device) {
        while (auto block = v.NextRequest(table)) {
            requests.push_back(*block);
            std::vector<std::uint16_t> values;
            for (int i = 0; i < block->count; ++i) values.push_back(device(static_cast<std::uint16_t>(block->start + i)));
            v.OnValues(table, values);
        }
    }
    const RegisterCheck& Check(const ReceiveVerifier& v, std::uint16_t index) {
        for (const RegisterCheck& c : v.Checks())
            if (c.index == index) return c;
        throw std::runtime_error("no check for register " + std::to_string(index));
    }

    gateway::ProjectModel demo = DemoModel();
    RegisterTable table{demo.model};
    std::vector<RegisterBlock> requests;
};

TEST_F(ReceiveVerifierTest, ReadsTheFedRegistersAndRereadsOnlyThoseThatDiffer) {
    Feed("181#1122334455667788");
    Feed("281#A1B2");  // register 11's bytes are not in this frame
    ReceiveVerifier v(demo.model, Numbering::ProtocolAddress);
    v.Begin(table);
    AnswerAll(v, [](std::uint16_t a) -> std::uint16_t {
        switch (a) {
            case 1: return 0x1122;
            case 2: return 0x3345;  // the device holds another value
            case 3: return 0x5566;
            case 4: return 0x7788;
            case 10: return 0xA1B2;
        }
        return 0xFFFF;
    });
    EXPECT_EQ(requests, (std::vector<RegisterBlock>{{1, 4}, {10, 1}, {2, 1}}));
    EXPECT_EQ(Check(v, 1).verdict, Verdict::Ok);
    EXPECT_EQ(Check(v, 2).verdict, Verdict::Mismatch);
    EXPECT_TRUE(Check(v, 2).readTwice);
    EXPECT_EQ(Check(v, 2).read, 0x3345);
    EXPECT_EQ(Check(v, 10).verdict, Verdict::Ok);
    EXPECT_EQ(Check(v, 11).verdict, Verdict::NotFed);
    EXPECT_FALSE(Check(v, 11).read);
    EXPECT_EQ(Check(v, 20).verdict, Verdict::NotFed);

    const VerifyTally tally = Tally(v.Checks(), {});
    EXPECT_EQ(tally.ok, 4);
    EXPECT_EQ(tally.mismatch, 1);
    EXPECT_EQ(tally.notFed, 2);
    EXPECT_FALSE(Passed(tally, false));
    EXPECT_EQ(ReceiveLines(v.Checks(), Numbering::ProtocolAddress, ReadFunction::HoldingRegisters),
              (std::vector<std::string>{
                  "Receive registers, read with function 03; the project's register number (Index) is the protocol "
                  "address of the request, as the gateway's firmware reads it:",
                  "  register  address  expected  read    result",
                  "         1        1  0x1122    0x1122  OK",
                  "         2        2  0x3344    0x3345  MISMATCH (read twice)",
                  "         3        3  0x5566    0x5566  OK",
                  "         4        4  0x7788    0x7788  OK",
                  "        10       10  0xA1B2    0xA1B2  OK",
                  "        11       11  0x????    -       NOT FED: no frame has fed it, not checked",
                  "        20       20  0x????    -       NOT FED: no frame has fed it, not checked",
              }));
}

// Signals imported into the registers are shown as physical values beside
// the raw ones: once where expected and read agree, both where they do not,
// a signal over two registers on the line of its first.
TEST_F(ReceiveVerifierTest, PhysicalValuesBesideTheRawOnes) {
    Feed("181#1122334455667788");
    ReceiveVerifier v(demo.model, Numbering::ProtocolAddress);
    v.Begin(table);
    AnswerAll(v, [](std::uint16_t a) -> std::uint16_t {
        const std::uint16_t held[] = {0, 0x1122, 0x3345, 0x5566, 0x7788};
        return a < 5 ? held[a] : 0;
    });
    signaldb::SignalFile file;
    signaldb::ImportedMessage& m = file.messages.emplace_back();
    m.id = 0x181;
    m.length = 8;
    m.registers = {{2, 0x34}, {3, 0x56}, {4, 0x78}};
    signaldb::ImportedSignal speed;
    speed.signal.name = "Speed";
    speed.signal.length = 16;
    speed.signal.type = signaldb::ValueType::Signed;
    speed.signal.factor = 0.5;
    speed.signal.unit = "rpm";
    speed.registers = {2};
    speed.mask = 0xFFFF;
    signaldb::ImportedSignal count;
    count.signal.name = "Count";
    count.signal.length = 32;
    count.registers = {3, 4};
    count.mask = 0xFFFFFFFF;
    m.signalList = {speed, count};
    const gateway::SignalValues meanings(std::move(file));
    const auto lines = ReceiveLines(v.Checks(), Numbering::ProtocolAddress, ReadFunction::HoldingRegisters, &meanings);
    EXPECT_EQ(lines[3], "         2        2  0x3344    0x3345  MISMATCH (read twice)  expected: Speed = 6562.0 rpm; "
                        "read: Speed = 6562.5 rpm");
    EXPECT_EQ(lines[4], "         3        3  0x5566    0x5566  OK  Count = 1432778632");
    EXPECT_EQ(lines[5], "         4        4  0x7788    0x7788  OK");
}

TEST_F(ReceiveVerifierTest, ADeviceThatCaughtUpOnTheSecondReadPasses) {
    Feed("381#0102");
    ReceiveVerifier v(demo.model, Numbering::ProtocolAddress);
    v.Begin(table);
    int reads = 0;
    AnswerAll(v, [&](std::uint16_t) -> std::uint16_t { return ++reads == 1 ? 0 : 0x0102; });
    EXPECT_EQ(Check(v, 20).verdict, Verdict::Ok);
    EXPECT_TRUE(Check(v, 20).readTwice);
    EXPECT_TRUE(Passed(Tally(v.Checks(), {}), false));
}

TEST_F(ReceiveVerifierTest, AFrameBetweenRequestAndAnswerLeavesEitherValueRight) {
    Feed("381#0102");
    for (std::uint16_t answer : {0x0102, 0x0304}) {
        ReceiveVerifier v(demo.model, Numbering::ProtocolAddress);
        RegisterTable moving(demo.model);
        moving.Feed(Frame("381#0102"), 0);
        v.Begin(moving);
        ASSERT_TRUE(v.NextRequest(moving));
        moving.Feed(Frame("381#0304"), 1);  // the frame comes while the request is out
        v.OnValues(moving, {answer});
        EXPECT_EQ(Check(v, 20).verdict, Verdict::Ok) << answer;
        EXPECT_EQ(Check(v, 20).expected.bits, answer);
        EXPECT_FALSE(v.NextRequest(moving));
    }
}

TEST_F(ReceiveVerifierTest, FailuresAreErrorsOfEveryRegisterInTheRequestAndAreNotRetried) {
    Feed("181#1122334455667788");
    Feed("381#0102");
    ReceiveVerifier v(demo.model, Numbering::ProtocolAddress);
    v.Begin(table);
    ASSERT_EQ(v.NextRequest(table), (RegisterBlock{1, 4}));
    v.OnFailure("no answer from device 1 within 200 ms");
    ASSERT_EQ(v.NextRequest(table), (RegisterBlock{20, 1}));
    v.OnValues(table, {});  // an answer without the register asked for
    EXPECT_FALSE(v.NextRequest(table));
    EXPECT_EQ(Check(v, 3).verdict, Verdict::Error);
    EXPECT_EQ(Check(v, 3).error, "no answer from device 1 within 200 ms");
    EXPECT_EQ(Check(v, 20).error, "the answer holds 0 registers, 1 was asked for");
    const VerifyTally tally = Tally(v.Checks(), {});
    EXPECT_EQ(tally.error, 5);
    EXPECT_EQ(SummaryLines(tally, false),
              (std::vector<std::string>{"Summary: 0 OK, 0 MISMATCH, 5 ERROR, 2 NOT FED (not checked)", "FAIL"}));
}

TEST_F(ReceiveVerifierTest, OneBasedIndexesAreReadOneAddressLower) {
    Feed("181#1122334455667788");
    ReceiveVerifier v(demo.model, Numbering::RegisterNumber);
    v.Begin(table);
    AnswerAll(v, [](std::uint16_t a) -> std::uint16_t { return a == 0 ? 0x1122 : a == 1 ? 0x3344 : a == 2 ? 0x5566 : 0x7788; });
    EXPECT_EQ(requests, (std::vector<RegisterBlock>{{0, 4}}));
    EXPECT_EQ(Check(v, 1).address, 0);
    EXPECT_TRUE(Passed(Tally(v.Checks(), {}), false));
    EXPECT_EQ(ReceiveLines(v.Checks(), Numbering::RegisterNumber, ReadFunction::InputRegisters)[0],
              "Receive registers, read with function 04; the project's register number (Index) is a 1-based "
              "register number: protocol address = Index - 1:");
}

TEST(ReceiveVerifier, HalvesNoFrameFedAreNotCompared) {
    // Register 3 has only a high byte (B4), register 4 only a low byte (B3).
    const gateway::ProjectModel m = ModelOf("0", {{"0x281", 4}}, {{3, 1, 0x40}, {4, 1, 0x03}, {5, 1, 0x00}});
    RegisterTable table(m.model);
    table.Feed(Frame("281#11223344"), 0);
    EXPECT_TRUE(Agrees(table.Value(3), 0x4499));
    EXPECT_FALSE(Agrees(table.Value(3), 0x4544));
    EXPECT_TRUE(Agrees(table.Value(4), 0x9933));
    EXPECT_FALSE(Agrees(table.Value(5), 0));  // nothing known: nothing agrees
    ReceiveVerifier v(m.model, Numbering::ProtocolAddress);
    v.Begin(table);
    ASSERT_EQ(v.NextRequest(table), (RegisterBlock{3, 2}));
    v.OnValues(table, {0x44FF, 0xFF33});
    const auto lines = ReceiveLines(v.Checks(), Numbering::ProtocolAddress, ReadFunction::HoldingRegisters);
    EXPECT_EQ(lines[2], "         3        3  0x44??    0x44FF  OK, high byte only: no frame has fed the low byte");
    EXPECT_EQ(lines[3], "         4        4  0x??33    0xFF33  OK, low byte only: no frame has fed the high byte");
}

TEST(ReceiveVerifier, IndexZeroHasNoAddressWhenIndexesCountFromOne) {
    const gateway::ProjectModel m = ModelOf("0", {{"0x181", 2}}, {{0, 1, 0x12}});
    RegisterTable table(m.model);
    table.Feed(Frame("181#0102"), 0);
    ReceiveVerifier v(m.model, Numbering::RegisterNumber);
    v.Begin(table);
    EXPECT_FALSE(v.NextRequest(table));
    EXPECT_EQ(v.Checks()[0].verdict, Verdict::Error);
    EXPECT_EQ(v.Checks()[0].error,
              "register 0 has no protocol address when the Index is a 1-based register number");
}

TEST(VerifyVerdict, PassesOnlyWhenSomethingWasComparedAndAllAgreed) {
    VerifyTally t;
    EXPECT_FALSE(Passed(t, false));
    EXPECT_EQ(SummaryLines(t, false)[1], "FAIL: nothing was compared; no frame on the bus fed a mapped register");
    t.notFed = 3;
    EXPECT_FALSE(Passed(t, false));
    t.ok = 1;
    EXPECT_TRUE(Passed(t, false));
    EXPECT_FALSE(Passed(t, true));
    EXPECT_EQ(SummaryLines(t, true),
              (std::vector<std::string>{"Summary: 1 OK, 0 MISMATCH, 0 ERROR, 3 NOT FED (counted as failures: --strict)",
                                        "FAIL"}));
    t = {};
    t.framesOk = 1;
    EXPECT_TRUE(Passed(t, false));
    t.writeErrors = 1;
    EXPECT_FALSE(Passed(t, false));
}

// A comparison belongs to the expectation it was made against: new traffic
// or a cleared table leaves it out of date, outside the tally, and the
// verdict is then neither PASS nor a FAIL it no longer stands for.
TEST_F(ReceiveVerifierTest, ChecksTheTrafficHasOvertakenAreOutOfDate) {
    Feed("181#1122334455667788");
    ReceiveVerifier v(demo.model, Numbering::ProtocolAddress);
    v.Begin(table);
    AnswerAll(v, [](std::uint16_t a) -> std::uint16_t { return a == 2 ? 0x0000 : 0x1122 + 0x2222 * (a - 1); });
    struct Step {
        const char* frame;  // fed before the tally; empty: the table cleared
        int outOfDate;
        std::vector<std::string> summary;
    };
    const std::vector<Step> steps = {
        {nullptr, 0, {"Summary: 3 OK, 1 MISMATCH, 0 ERROR, 3 NOT FED (not checked)", "FAIL"}},
        {"181#1122334455667799", 1,
         {"Summary: 2 OK, 1 MISMATCH, 0 ERROR, 3 NOT FED (not checked); 1 out of date (not counted)", "FAIL"}},
        {"281#A1B2", 2,
         {"Summary: 2 OK, 1 MISMATCH, 0 ERROR, 2 NOT FED (not checked); 2 out of date (not counted)", "FAIL"}},
        {"", 4, {"Summary: 0 OK, 0 MISMATCH, 0 ERROR, 3 NOT FED (not checked); 4 out of date (not counted)",
                 "OUT OF DATE: read and compare again"}},
    };
    const RegisterTable cleared(demo.model);
    const RegisterTable* now = &table;
    for (const Step& step : steps) {
        if (step.frame && !*step.frame) now = &cleared;
        else if (step.frame) Feed(step.frame);
        const VerifyTally t = Tally(v.Checks(), {}, now);
        EXPECT_EQ(t.outOfDate, step.outOfDate) << (step.frame ? step.frame : "");
        EXPECT_EQ(SummaryLines(t, false), step.summary) << (step.frame ? step.frame : "");
        EXPECT_FALSE(Passed(t, false));
    }
    EXPECT_FALSE(StillCurrent(Check(v, 4), cleared));
    EXPECT_EQ(OutOfDateText(Check(v, 4), cleared),
              "OUT OF DATE: compared with 0x7788, the traffic now gives 0x????; read and compare again");
    // Without a table, as verify tallies, nothing is out of date.
    EXPECT_EQ(Tally(v.Checks(), {}).outOfDate, 0);
}

// The window's table of the same checks: only a current mismatch or error
// catches the eye, and only in what was read; checks that are not one per
// register (a run of another project) are not shown at all.
TEST_F(ReceiveVerifierTest, TheExpectedTableMarksOnlyCurrentFailuresInWhatWasRead) {
    Feed("181#1122334455667788");
    ReceiveVerifier v(demo.model, Numbering::RegisterNumber);
    v.Begin(table);
    AnswerAll(v, [](std::uint16_t a) -> std::uint16_t { return a == 1 ? 0x0000 : 0x1122 + 0x2222 * a; });
    auto row = [&](std::size_t index, const std::vector<RegisterCheck>* checks) {
        const TextTable t = ExpectedTable(&demo.model, &table, Numbering::RegisterNumber, checks, nullptr);
        EXPECT_EQ(t.rows.size(), demo.model.ReceiveRegisters().size());
        std::string cells;
        for (const TextCell& c : t.rows.at(index)) cells += (c.standsOut ? "!" : "") + c.text + "|";
        return cells;
    };
    EXPECT_EQ(row(0, &v.Checks()), "1|0|0x1122|0x1122|OK||");
    EXPECT_EQ(row(1, &v.Checks()), "2|1|0x3344|!0x0000|!MISMATCH (expected 0x3344)|!|");
    EXPECT_EQ(row(5, &v.Checks()), "11|10|0x????|-|NOT FED: no frame has fed it, not checked||");
    Feed("181#1122000055667788");
    EXPECT_EQ(row(1, &v.Checks()),
              "2|1|0x0000|0x0000|OUT OF DATE: compared with 0x3344, the traffic now gives 0x0000; read and compare "
              "again||");
    const std::vector<RegisterCheck> partial(v.Checks().begin(), v.Checks().begin() + 2);
    EXPECT_EQ(row(1, &partial), "2|1|0x0000||||");
    EXPECT_TRUE(ExpectedTable(nullptr, &table, Numbering::RegisterNumber, nullptr, nullptr).rows.empty());
}

TEST(TransmitVerifier, AFrameMatchesOnTheBytesTheWrittenValuesGive) {
    const gateway::ProjectModel demo = DemoModel();
    TransmitVerifier v(demo.model, {{100, 0x1234}, {40, 1}});
    ASSERT_EQ(v.Expectations().size(), 1u);
    EXPECT_EQ(v.FeedingNothing(), std::vector<std::uint16_t>{40});

    const TransmitExpectation& e = v.Expectations()[0];
    using Kind = FrameComparison::Kind;
    const struct {
        const char* frame;
        Kind kind;
        std::string difference;
    } cases[] = {
        {"201#1234FFFF00000000", Kind::Matches, ""},  // B3, B4 are not compared
        {"201#1235000000000000", Kind::Differs, "B2 is 0x35, expected 0x34"},
        {"201#1234", Kind::Differs, "2 data bytes, Dimensin is 8"},
        {"201#R", Kind::Differs, "a remote request instead of a data frame"},
        {"00000201#1234000000000000", Kind::AnotherFrame, ""},
        {"181#1234000000000000", Kind::AnotherFrame, ""},
        {"201##01234000000000000", Kind::Differs, "a CAN FD frame, which the gateway (CAN 2.0) does not send"},
    };
    for (const auto& c : cases) {
        const FrameComparison got = CompareFrame(demo.model, e, Frame(c.frame));
        EXPECT_EQ(got.kind, c.kind) << c.frame;
        EXPECT_EQ(got.difference, c.difference) << c.frame;
    }

    v.OnFrame(Frame("181#1234000000000000"));
    EXPECT_EQ(v.Lines(250)[0],
              "  transmit frame 1 \"Speed set-point\" (COB-ID 0x201): expected 12 34 ?? ?? -- -- -- --: NOT SEEN "
              "within 250 ms");
    v.OnFrame(Frame("201#1299000000000000"));
    EXPECT_FALSE(v.AllMatched());
    EXPECT_EQ(v.Lines(250)[0],
              "  transmit frame 1 \"Speed set-point\" (COB-ID 0x201): expected 12 34 ?? ?? -- -- -- --, seen "
              "201#1299000000000000: MISMATCH (B2 is 0x99, expected 0x34)");
    v.OnFrame(Frame("201#1234000000000000"));
    EXPECT_TRUE(v.AllMatched());
    EXPECT_EQ(v.Lines(250),
              (std::vector<std::string>{
                  "  transmit frame 1 \"Speed set-point\" (COB-ID 0x201): expected 12 34 ?? ?? -- -- -- --, seen "
                  "201#1234000000000000: OK",
                  "  register 40 feeds no transmit frame: nothing to see on the bus"}));
}

TEST(TransmitVerifier, RemoteTransmitFramesAreNotExpected) {
    const gateway::ProjectModel m =
        ModelOf("1", {}, {}, {{"0x18FF0001", 2, "data"}, {"0x18FF0002", 2, "remote", "Y"}}, {{7, 1, 0x12}, {7, 2, 0x12}});
    TransmitVerifier v(m.model, {{7, 0xABCD}});
    ASSERT_EQ(v.Expectations().size(), 1u);
    EXPECT_EQ(CompareFrame(m.model, v.Expectations()[0], Frame("18FF0001#ABCD")).kind, FrameComparison::Kind::Matches);
    EXPECT_EQ(CompareFrame(m.model, v.Expectations()[0], Frame("0FF#ABCD")).kind,  // 11-bit under CAN 2.0B
              FrameComparison::Kind::AnotherFrame);
}

}  // namespace
}  // namespace vestrel::live
