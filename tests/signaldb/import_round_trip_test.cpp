// The demo drive's DBC imported into a copy of the demo project, compiled
// by the compiler and read back from the banks by the gateway model: every
// imported signal's bits are where the codec says, in both directions and
// both word orders. And the project's files change together or not at all.
#include "gateway/gateway_model.h"
#include "gateway/model_loading.h"
#include "gateway/signal_values.h"
#include "platform/error.h"
#include "platform/file_set.h"
#include "platform/file_util.h"
#include "signaldb/database_file.h"
#include "signaldb/signal_codec.h"
#include "signaldb/signal_import.h"
#include "support/kill_at_step.h"
#include "support/temp_dir.h"

#include <cerrno>
#include <csignal>
#include <random>
#include <set>

#include <gtest/gtest.h>

namespace vestrel::signaldb {
namespace {

using namespace test;
namespace fs = std::filesystem;

const fs::path kDemo = VESTREL_EXAMPLES_DIR "/workspace/PROJECTS/Demo";
const fs::path kDbc = VESTREL_EXAMPLES_DIR "/demo-drive.dbc";

fs::path DemoCopy(const TempDir& dir) {
    const fs::path project = dir / "Demo";
    fs::copy(kDemo, project);
    fs::copy_file(kDbc, dir / "demo-drive.dbc");
    return project;
}

ImportOutcome PlanDemoImport(const fs::path& project, WordOrder order) {
    const fs::path dbc = project.parent_path() / "demo-drive.dbc";
    const std::string bytes = ReadDatabaseBytes(dbc);
    const Database db = ParseDatabase(bytes, dbc);
    std::vector<std::string> refusals;
    ImportRequest request{{ResolveList(db, FrameDirection::Receive, "DriveDiagnostics,DriveParameters", refusals),
                           ResolveList(db, FrameDirection::Transmit, "DriveDiagnostics", refusals)},
                          std::nullopt, std::nullopt, order, false};
    EXPECT_TRUE(refusals.empty());
    return PlanImport(ReadProjectTables(project), db, DescribeDatabase(project, dbc, bytes), request);
}

TEST(ImportRoundTrip, TheCompiledBanksCarryEachSignalWhereTheCodecSays) {
    for (WordOrder order : {WordOrder::HighFirst, WordOrder::LowFirst}) {
        TempDir dir;
        const fs::path project = DemoCopy(dir);
        WriteProjectTables(project, PlanDemoImport(project, order).tables);
        const gateway::ProjectModel loaded = gateway::LoadProjectModel(project);
        EXPECT_FALSE(HasErrors(loaded.problems));
        const gateway::GatewayModel& model = loaded.model;
        const SignalFileRead file = ReadSignalFile(project);
        ASSERT_TRUE(file.Loaded()) << file.error;
        ASSERT_EQ(file.file.messages.size(), 3u);
        std::mt19937_64 rng(7);
        int checked = 0;
        for (const ImportedMessage& m : file.file.messages) {
            const bool receive = m.direction == FrameDirection::Receive;
            const auto frames = receive ? model.ReceiveFramesWithCobId(m.id) : model.TransmitFramesWithCobId(m.id);
            ASSERT_EQ(frames.size(), 1u) << m.name;
            for (int round = 0; round < 50; ++round) {
                can::CanFrame frame{.id = m.id, .length = static_cast<std::uint8_t>(m.length)};
                if (receive) {
                    // Random frame data through the banks into registers,
                    // read back as signals.
                    for (int b = 0; b < m.length; ++b) frame.data[static_cast<std::size_t>(b)] = static_cast<std::uint8_t>(rng());
                    std::vector<gateway::RegisterEffect> effects;
                    model.ReceiveEffects(frames[0], frame, effects);
                    std::map<std::int32_t, gateway::RegisterValue> regs;
                    for (const auto& e : effects)
                        regs[e.reg] = {static_cast<std::uint16_t>(e.high.value << 8 | e.low.value), true, true};
                    auto lookup = [&](std::int32_t reg) { return regs.count(reg) ? regs[reg] : gateway::RegisterValue{}; };
                    for (const ImportedSignal& s : m.signalList) {
                        ASSERT_EQ(gateway::ReadSignalBits(m, s, lookup), ExtractBits(s.signal, std::span(frame.data.data(), 8)))
                            << m.name << "." << s.signal.name << " " << WordOrderText(order);
                        ++checked;
                    }
                } else {
                    // Random raw values placed into registers, through the
                    // banks into a frame, where the codec finds them.
                    std::vector<std::uint64_t> raws;
                    gateway::RegisterValues regs;
                    for (const ImportedSignal& s : m.signalList) {
                        raws.push_back(rng() & s.mask);
                        gateway::PlaceSignalBits(m, s, raws.back(), regs);
                    }
                    const gateway::TransmitFrameData data = model.ComposeTransmit(frames[0], regs);
                    for (std::size_t b = 0; b < data.bytes.size(); ++b) frame.data[b] = data.bytes[b].value;
                    for (std::size_t i = 0; i < m.signalList.size(); ++i) {
                        const ImportedSignal& s = m.signalList[i];
                        ASSERT_EQ(raws[i], ExtractBits(s.signal, std::span(frame.data.data(), 8)))
                            << m.name << "." << s.signal.name << " " << WordOrderText(order);
                        ++checked;
                    }
                }
            }
        }
        EXPECT_EQ(checked, 50 * (6 + 1 + 6));
    }
}

std::map<std::string, std::string> Files(const fs::path& dir) {
    std::map<std::string, std::string> files;
    for (const auto& entry : fs::directory_iterator(dir)) files[entry.path().filename()] = ReadFile(entry.path());
    return files;
}

void Restore(const fs::path& dir, const std::map<std::string, std::string>& files) {
    for (const auto& [name, _] : Files(dir))
        if (!files.count(name)) fs::remove(dir / name);
    for (const auto& [name, text] : files) WriteFile(dir / name, text);
}

// A write that fails at any step of any file leaves every file as it was
// (the folder's sync comes after a file is in place: it fails nothing).
// A copy of the demo project with the import planned, and its files before
// and after the import.
struct ImportStates {
    TempDir dir;
    fs::path project = DemoCopy(dir);
    ImportOutcome outcome = PlanDemoImport(project, WordOrder::HighFirst);
    std::map<std::string, std::string> before = Files(project);
    std::map<std::string, std::string> after = [this] {
        WriteProjectTables(project, outcome.tables);
        return Files(project);
    }();
};

TEST(ImportRoundTrip, TheProjectFilesChangeTogetherOrNotAtAll) {
    const ImportStates states;
    const auto& [dir, project, outcome, before, after] = states;
    EXPECT_NE(after.at("RCobDef.xml"), before.at("RCobDef.xml"));
    EXPECT_NE(after.at("TInfoCob.xml"), before.at("TInfoCob.xml"));
    EXPECT_EQ(after.at("pargen.xml"), before.at("pargen.xml"));
    EXPECT_TRUE(ReadSignalFile(project).Loaded());
    int failures = 0;
    for (int failAt = 1;; ++failAt) {
        Restore(project, before);
        int step = 0;
        SetSaveStepHookForTesting([&](SaveStep s) { return ++step == failAt && s != SaveStep::SyncFolder ? EIO : 0; });
        try {
            WriteProjectTables(project, outcome.tables);
            EXPECT_EQ(Files(project), after) << "step " << failAt;
        } catch (const Error&) {
            ++failures;
            EXPECT_EQ(Files(project), before) << "failed at step " << failAt;
        }
        SetSaveStepHookForTesting({});
        if (failAt > step) break;
    }
    // Five files and the set's record: create, write and sync each, and link the record.
    EXPECT_EQ(failures, 19);
}

// Killed at any step of the set, the project is as before or, once the set's
// record is in place, as after: the next run that reads it (any command
// starts with RequireProjectFolder) finishes the set and says so; no hidden
// file is left, and the project reads back whole.
TEST(ImportRoundTrip, AKilledImportLeavesTheProjectAsBeforeOrAsAfter) {
    const ImportStates import;
    const auto& [dir, project, outcome, before, after] = import;
    std::set<int> states;
    for (int killAt = 1;; ++killAt) {
        Restore(project, before);
        int steps = 0;
        const int signal = RunInChildEndedBy(SIGKILL, [&](const std::function<void()>& die) {
            SetFileSetStepHookForTesting([&](SetStep, std::size_t) {
                if (++steps == killAt) die();
                return 0;
            });
            WriteProjectTables(project, outcome.tables);
        });
        if (signal == 0) break;  // past the last step
        std::vector<std::string> notes;
        const ScopedSetNotices heard([&](const std::string& note) { notes.push_back(note); });
        RequireProjectFolder(project);
        const auto now = Files(project);
        EXPECT_TRUE(now == before || now == after) << "killed at step " << killAt;
        states.insert(now == after ? 1 : 0);
        EXPECT_LE(notes.size(), 1u);
        EXPECT_NO_THROW(ReadProjectTables(project)) << "killed at step " << killAt;
    }
    EXPECT_EQ(states, (std::set<int>{0, 1})) << "both states are reached";
}

}  // namespace
}  // namespace vestrel::signaldb
