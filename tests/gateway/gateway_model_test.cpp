#include "gateway/gateway_model.h"

#include "compiler/bank_files.h"
#include "gateway/model_loading.h"
#include "gateway/model_wording.h"
#include "gateway/preview.h"
#include "gateway/register_table.h"
#include "gateway_test_support.h"
#include "platform/error.h"

#include <gtest/gtest.h>

namespace vestrel::gateway {
namespace {

using namespace test;

// Three receive frames whose data bytes all differ, so that a wrong nibble,
// swapped halves or the neighbouring frame give another value.
const std::vector<FrameLine> kReceiveFrames = {{"0x181", 8, "Drive"}, {"0x281", 4, "Temps"}, {"0x381", 2, "Alarm"}};
const std::vector<MappingLine> kReceiveMappings = {
    {1, 1, 0x12},  // B1 high, B2 low
    {2, 1, 0x87},  // B8 high, B7 low
    {3, 2, 0x40},  // B4 high, low not fed
    {4, 2, 0x03},  // high not fed, B3 low
    {5, 3, 0x21},  // B2 high, B1 low
    {6, 3, 0x15},  // B1 high, B5 beyond Dimensin 2
    {7, 3, 0x91},  // code 9 high, B1 low
};

ProjectModel DemoLikeModel(const std::string& canType = "0") {
    TempDir dir;
    WriteProject(dir.path(), canType, kReceiveFrames, kReceiveMappings,
                 {{"0x201", 8, "Set-point"}, {"0x301", 2, "Control"}},
                 {{100, 1, 0x12}, {101, 1, 0x43}, {110, 2, 0x21}});
    return LoadProjectModel(dir.path());
}

std::string HalfText(const HalfEffect& half) {
    switch (half.source) {
        case HalfSource::Fed: return "B" + std::to_string(half.nibble);
        case HalfSource::NotMapped: return "none";
        case HalfSource::NoSuchByte: return "code" + std::to_string(half.nibble);
        case HalfSource::BeyondDimension: return "beyond" + std::to_string(half.nibble);
        case HalfSource::NotInData: return "absent" + std::to_string(half.nibble);
    }
    return "?";
}

// "register=value high-source low-source" for each mapping record the frame reaches.
std::vector<std::string> Effects(const GatewayModel& model, const std::string& text) {
    const can::CanFrame frame = Frame(text);
    const ReceiveMatch match = model.MatchReceive(frame);
    if (match.kind != MatchKind::Frame) return {"no single frame"};
    std::vector<RegisterEffect> effects;
    model.ReceiveEffects(match.frames[0], frame, effects);
    std::vector<std::string> lines;
    for (const RegisterEffect& e : effects)
        lines.push_back(std::to_string(e.reg) + "=" + EffectValueText(e) + " " + HalfText(e.high) + " " +
                        HalfText(e.low));
    return lines;
}

TEST(GatewayModel, ReceivedBytesReachTheRegisterHalvesThatPosCompNames) {
    const ProjectModel loaded = DemoLikeModel();
    const struct {
        const char* frame;
        std::vector<std::string> expected;
    } cases[] = {
        {"181#1122334455667788", {"1=0x1122 B1 B2", "2=0x8877 B8 B7"}},
        {"281#A1B2C3D4", {"3=0xD4-- B4 none", "4=0x--C3 none B3"}},
        {"381#E1F2", {"5=0xF2E1 B2 B1", "6=0xE1-- B1 beyond5", "7=0x--E1 code9 B1"}},
        // Shorter than its Dimensin: the missing bytes are reported, never read as zero.
        {"281#A1B2C3", {"3=0x---- absent4 none", "4=0x--C3 none B3"}},
        {"181#11", {"1=0x11-- B1 absent2", "2=0x---- absent8 absent7"}},
        // A remote request carries no data.
        {"181#R", {"1=0x---- absent1 absent2", "2=0x---- absent8 absent7"}},
        // Longer than its Dimensin: bytes past it feed nothing.
        {"381#E1F2A3A4A5", {"5=0xF2E1 B2 B1", "6=0xE1-- B1 beyond5", "7=0x--E1 code9 B1"}},
    };
    for (const auto& c : cases) EXPECT_EQ(Effects(loaded.model, c.frame), c.expected) << c.frame;
}

TEST(GatewayModel, FramesMatchByCobIdFormatAndTheBanksLookup) {
    TempDir a, b;
    // Frame 3 repeats frame 1's COB-ID.
    WriteProject(a.path(), "0", {{"0x181", 8}, {"0x281", 2}, {"0x181", 2}}, {{1, 1, 0x12}, {2, 3, 0x12}});
    WriteProject(b.path(), "1", {{"0x181", 8}, {"0x12345", 2}, {"0x181", 2}}, {{1, 1, 0x12}, {2, 3, 0x12}});
    const GatewayModel a20 = LoadProjectModel(a.path()).model;
    const GatewayModel b20 = LoadProjectModel(b.path()).model;
    const struct {
        const GatewayModel* model;
        const char* frame;
        MatchKind kind;
        std::vector<int> frames;
    } cases[] = {
        {&a20, "181#1122", MatchKind::Frame, {2}},  // the later of the two, as the lookup table holds it
        {&a20, "281#1122", MatchKind::Frame, {1}},
        {&a20, "282#1122", MatchKind::NoFrame, {}},
        {&a20, "00000281#1122", MatchKind::WrongFormat, {}},
        {&a20, "20000080#0000000000000000", MatchKind::ErrorFrame, {}},
        {&a20, "181##01122", MatchKind::CanFd, {}},  // the gateway is CAN 2.0: an FD frame feeds nothing
        {&b20, "00012345##0112233445566778899AABB", MatchKind::CanFd, {}},
        {&b20, "00012345#1122", MatchKind::Frame, {1}},
        {&b20, "00000181#1122", MatchKind::Ambiguous, {0, 2}},
        {&b20, "181#1122", MatchKind::WrongFormat, {}},
        {&b20, "00012346#11", MatchKind::NoFrame, {}},
    };
    for (const auto& c : cases) {
        const ReceiveMatch match = c.model->MatchReceive(Frame(c.frame));
        EXPECT_EQ(match.kind, c.kind) << c.frame;
        EXPECT_EQ(std::vector<int>(match.frames.begin(), match.frames.end()), c.frames) << c.frame;
    }
    EXPECT_EQ(Effects(a20, "181#1122"), std::vector<std::string>{"2=0x1122 B1 B2"});
}

TEST(GatewayModel, FindingsNameWhatTheBanksDoWithTheConfiguration) {
    TempDir a;
    WriteProject(a.path(), "0", {{"0x181", 8}, {"0x281", 2}, {"0x181", 2}, {"0x7FF", 1}},
                 {{40, 1, 0x12}, {40, 2, 0x10}, {41, 3, 0x15}, {42, 9, 0x11}, {43, 2, 0xA1}},
                 {{"0x201", 2}, {"0x301", 8, "", "Y"}, {"0x401", 4}},
                 {{100, 1, 0x12}, {101, 1, 0x21}, {102, 2, 0x12}});
    const ProjectModel loaded = LoadProjectModel(a.path());
    std::vector<std::string> texts;
    std::vector<bool> inCheck;
    for (const Finding& f : loaded.model.Findings()) {
        texts.push_back((f.direction == FrameDirection::Receive ? "R: " : "T: ") + f.text);
        inCheck.push_back(f.inProjectCheck);
    }
    // What the project check says of the rows as well; not the frames
    // without records and the bytes fed twice.
    EXPECT_EQ(inCheck, (std::vector<bool>{true, true, true, true, true, false, false, false, true, false}));
    EXPECT_EQ(texts, (std::vector<std::string>{
                         "R: Receive frames 1 and 3 have COB-ID 0x181: the banks' lookup table selects frame 3, the "
                         "later one; frame 1 never receives",
                         "R: Record 3 (register 41): the low byte comes from B5, but frame 3 (COB-ID 0x181) has "
                         "Dimensin 2; that half is never fed",
                         "R: Record 4 (register 42) names frame 9, but there are 4 receive frames: it feeds nothing",
                         "R: Record 5 (register 43): the high byte's code 10 names no data byte; that half is never "
                         "fed",
                         "R: Register 40 is in records 1 and 2, fed from frames 1 and 2",
                         "R: Frame 4 (COB-ID 0x7FF) has no mapping record",
                         "T: Frame 1 (COB-ID 0x201) B1 is fed by more than one register half (records 1 and 2)",
                         "T: Frame 1 (COB-ID 0x201) B2 is fed by more than one register half (records 1 and 2)",
                         "T: Frame 2 (COB-ID 0x301) is a remote frame: it carries no data, so its mapping records "
                         "feed nothing",
                         "T: Frame 3 (COB-ID 0x401) has no mapping record",
                     }))
        << "";
}

TEST(GatewayModel, CanTwoBDuplicatesAreAmbiguousNotGuessed) {
    TempDir dir;
    WriteProject(dir.path(), "1", {{"0x181", 8}, {"0x181", 8}, {"0x181", 8}}, {{1, 1, 0x12}, {2, 3, 0x34}});
    const GatewayModel model = LoadProjectModel(dir.path()).model;
    ASSERT_EQ(model.Findings().size(), 2u);
    EXPECT_EQ(model.Findings()[0].text,
              "Receive frames 1, 2 and 3 have COB-ID 0x181: the banks hold them all and the project does not say "
              "which one the device matches (ambiguous); preview and replay show what each would set");
    RegisterTable table(model);
    const auto fed = table.Feed(Frame("00000181#1122334455667788"), 0);
    EXPECT_EQ(fed.match.kind, MatchKind::Ambiguous);
    EXPECT_TRUE(fed.changes.empty());
    EXPECT_EQ(RegisterValueText(table.Value(1)), "0x????");
}

TEST(GatewayModel, TheModelHoldsWhatTheBanksKeep) {
    TempDir dir;
    // Index 65576 reaches the device as register 40; PosComp 0x112 as 0x12.
    WriteProject(dir.path(), "0", {{"385", 8}}, {{65576, 1, 0x112}});
    const ProjectModel loaded = LoadProjectModel(dir.path());
    ASSERT_EQ(loaded.model.Receive().mappings.size(), 1u);
    EXPECT_EQ(loaded.model.Receive().mappings[0].reg, 40);
    EXPECT_EQ(loaded.model.Receive().mappings[0].posComp, 0x12);
    EXPECT_EQ(loaded.model.Receive().frames[0].cobId, 0x181u);
    std::vector<std::string> problems;
    for (const Problem& p : loaded.problems) problems.push_back(FormatProblem(p));
    EXPECT_EQ(problems, (std::vector<std::string>{
                            "warning: RInfoCob.xml: row 1: Index 65576 is above 65535: only its low 16 bits (40) reach "
                            "the device",
                            "warning: RInfoCob.xml: row 1: PosComp 274 is above 255: only its low byte (18) reaches the "
                            "device"}));

    // The same model read back from the bank files, without the mnemonics.
    WriteProject(dir.path(), "0", kReceiveFrames, kReceiveMappings);
    CompileProject(*std::make_unique<BankCompiler>(), dir.path());
    const GatewayModel fromBanks = LoadBankModel(dir / "bin");
    const GatewayModel fromProject = LoadProjectModel(dir.path()).model;
    EXPECT_EQ(Effects(fromBanks, "381#E1F2"), Effects(fromProject, "381#E1F2"));
    EXPECT_EQ(fromProject.Receive().frames[1].mnemonic, "Temps");
    EXPECT_EQ(fromBanks.Receive().frames[1].mnemonic, "");
}

TEST(GatewayModel, AProjectThatDoesNotCompileIsRefusedWithTheCompilersMessage) {
    TempDir dir;
    WriteRows(dir / "RCobDef.xml", "COBID", {"CobID=\"abc\" Dimensin=\"8\" Mnemonic=\"\""});
    WritePargen(dir.path(), DefaultSettings());
    try {
        LoadProjectModel(dir.path());
        FAIL() << "loaded";
    } catch (const Error& e) {
        EXPECT_STREQ(e.what(), "RCobDef.xml: row 1: CobID: 'abc' is not a valid integer value");
    }
    EXPECT_THROW(LoadProjectModel(dir / "missing"), Error);
}

TEST(GatewayModel, TransmitFramesCarryTheRegisterBytesPosCompNames) {
    const ProjectModel loaded = DemoLikeModel();
    const GatewayModel& model = loaded.model;
    using Values = std::map<std::uint16_t, std::uint16_t>;
    const struct {
        Values values;
        std::vector<std::string> frames;  // "index: bytes" of each frame fed
    } cases[] = {
        {{{100, 0x1234}, {101, 0xABCD}, {110, 0x0007}}, {"0: 12 34 CD AB -- -- -- --", "1: 07 00"}},
        {{{100, 0x1234}}, {"0: 12 34 ?? ?? -- -- -- --"}},
        {{{101, 0xABCD}}, {"0: ?? ?? CD AB -- -- -- --"}},
        {{{110, 0xBEEF}}, {"1: EF BE"}},
        {{{7, 1}}, {}},
    };
    for (const auto& c : cases) {
        std::vector<std::string> frames;
        for (int index : model.TransmitFramesFedBy(c.values)) {
            const TransmitFrameData data = model.ComposeTransmit(index, c.values);
            frames.push_back(std::to_string(index) + ": " +
                             TransmitBytesText(data, model.Transmit().frames[static_cast<std::size_t>(index)].length));
        }
        EXPECT_EQ(frames, c.frames);
    }
}

TEST(GatewayModel, ATransmitByteFedTwiceWithDifferentValuesIsAConflict) {
    TempDir dir;
    WriteProject(dir.path(), "0", {}, {}, {{"0x201", 2}}, {{100, 1, 0x12}, {101, 1, 0x02}});
    const GatewayModel model = LoadProjectModel(dir.path()).model;
    auto bytes = [&](std::map<std::uint16_t, std::uint16_t> values) {
        return TransmitBytesText(model.ComposeTransmit(0, values), 2);
    };
    EXPECT_EQ(bytes({{100, 0x1234}, {101, 0x0034}}), "12 34");
    EXPECT_EQ(bytes({{100, 0x1234}, {101, 0x0035}}), "12 !!");
    EXPECT_EQ(bytes({{100, 0x1234}}), "12 ??");
}

TEST(RegisterTable, HalvesStayUnknownUntilAFrameFeedsThem) {
    const ProjectModel loaded = DemoLikeModel();
    RegisterTable table(loaded.model);
    auto changes = [&](const char* frame, std::int64_t time) {
        std::vector<std::string> lines;
        const auto fed = table.Feed(Frame(frame), time);
        for (const auto& c : fed.changes)
            lines.push_back(std::to_string(c.reg) + " " + RegisterValueText(c.before) + " -> " +
                            RegisterValueText(c.after));
        if (fed.lengthDiffers) lines.push_back("length differs");
        return lines;
    };
    EXPECT_EQ(changes("281#A1B2C3D4", 10), (std::vector<std::string>{"3 0x???? -> 0xD4??", "4 0x???? -> 0x??C3"}));
    EXPECT_EQ(changes("281#A1B2C3D4", 20), std::vector<std::string>{});
    EXPECT_EQ(changes("281#A1B2C3", 30), (std::vector<std::string>{"length differs"}));
    EXPECT_EQ(changes("281#A1B2C5D6", 40), (std::vector<std::string>{"3 0xD4?? -> 0xD6??", "4 0x??C3 -> 0x??C5"}));
    EXPECT_EQ(changes("181#1122334455667788", 50), (std::vector<std::string>{"1 0x???? -> 0x1122", "2 0x???? -> 0x8877"}));
    EXPECT_EQ(changes("181#99", 60), (std::vector<std::string>{"1 0x1122 -> 0x9922", "length differs"}));
    EXPECT_EQ(changes("182#99", 70), std::vector<std::string>{});
    EXPECT_EQ(RegisterValueText(table.Value(1)), "0x9922");
    EXPECT_EQ(RegisterValueText(table.Value(3)), "0xD6??");
    EXPECT_EQ(RegisterValueText(table.Value(999)), "0x????");
    EXPECT_EQ(table.LastFed(3), 40);
    EXPECT_EQ(table.LastFed(2), 50);
    EXPECT_EQ(table.LastFed(1), 60);
    EXPECT_EQ(table.LastFed(6), std::nullopt);
}

// Frames that share a COB-ID feed as the lookup selects (the later frame
// under CAN 2.0A, none when ambiguous under CAN 2.0B); only the mode's
// format is taken in; each half comes from its byte within Dimensin.
TEST(RegisterTable, FeedsByTheLookupTheFormatAndTheByteRules) {
    const struct {
        const char* canType;
        const char* frame;
        std::vector<std::string> changes;
    } cases[] = {
        {"0", "181#A1B2", {"2 0x???? -> 0xA1B2"}},
        {"0", "182#C3D4E5", {"3 0x???? -> 0xD4C3", "length differs"}},  // register 4's B3 is past Dimensin
        {"0", "00000182#C3D4", {}},
        {"1", "00000182#C3D4", {"3 0x???? -> 0xD4C3"}},
        {"1", "00000181#A1B2", {}},  // ambiguous
        {"1", "182#C3D4", {}},
    };
    for (const auto& c : cases) {
        TempDir dir;
        WriteProject(dir.path(), c.canType, {{"0x181", 2}, {"0x181", 2}, {"0x182", 2}},
                     {{1, 1, 0x12}, {2, 2, 0x12}, {3, 3, 0x21}, {4, 3, 0x30}});
        const ProjectModel loaded = LoadProjectModel(dir.path());
        RegisterTable table(loaded.model);
        const auto fed = table.Feed(Frame(c.frame), 1);
        std::vector<std::string> lines;
        for (const auto& change : fed.changes)
            lines.push_back(std::to_string(change.reg) + " " + RegisterValueText(change.before) + " -> " +
                            RegisterValueText(change.after));
        if (fed.lengthDiffers) lines.push_back("length differs");
        EXPECT_EQ(lines, c.changes) << c.canType << " " << c.frame;
    }
}

// The byte just past Dimensin is outside the frame for what the preview
// tells, received and sent alike, whatever the frame on the bus carries.
TEST(Preview, TheByteJustPastDimensinIsOutsideTheFrame) {
    TempDir dir;
    WriteProject(dir.path(), "0", {{"0x181", 2, "Short"}}, {{1, 1, 0x32}},  // B3 high: past Dimensin 2; B2 low
                 {{"0x201", 3, "ShortTx"}}, {{100, 1, 0x43}});              // B4 high: past Dimensin 3; B3 low
    const ProjectModel loaded = LoadProjectModel(dir.path());
    const std::string received = PreviewFrameText(loaded.model, "181#1122334455667788", Frame("181#1122334455667788"));
    EXPECT_NE(received.find("0x--22"), std::string::npos) << received;
    EXPECT_NE(received.find("B3: beyond Dimensin"), std::string::npos) << received;
    const TransmitFrameData sent = loaded.model.ComposeTransmit(0, {{100, 0xABCD}});
    EXPECT_EQ(TransmitBytesText(sent, can::kMaxDataBytes), "-- -- CD -- -- -- -- --");
}

}  // namespace
}  // namespace vestrel::gateway
