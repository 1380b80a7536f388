#include "project/frame_mapping.h"

#include "platform/error.h"
#include "platform/file_util.h"
#include "support/kill_at_step.h"
#include "support/temp_dir.h"

#include <cerrno>
#include <csignal>

#include <gtest/gtest.h>

namespace vestrel {
namespace {

using test::ReadFile;
using test::TempDir;

// `count` registers spread over ten frames.
FrameList Mappings(int count, int seed) {
    FrameList frames;
    for (int f = 1; f <= 10; ++f) frames.emplace_back(std::to_string(f), f);
    for (int i = 0; i < count; ++i)
        frames[static_cast<std::size_t>(i % 10)].Registers.push_back(
            TClIndMB{std::to_string(i * 3 + seed), std::to_string((i + seed) % 137)});
    return frames;
}

std::vector<std::string> Names(const std::filesystem::path& dir) {
    std::vector<std::string> names;
    for (const auto& entry : std::filesystem::directory_iterator(dir)) names.push_back(entry.path().filename());
    std::sort(names.begin(), names.end());
    return names;
}

const SaveStep kSteps[] = {SaveStep::Create, SaveStep::Write, SaveStep::Sync,
                           SaveStep::Link,   SaveStep::Replace, SaveStep::SyncFolder};

class InterruptedSave : public ::testing::Test {
protected:
    void SetUp() override {
        SaveMappings(dir.path(), FrameDirection::Receive, fresh);
        freshText = ReadFile(file);
        SaveMappings(dir.path(), FrameDirection::Receive, old);
        oldText = ReadFile(file);
    }
    void TearDown() override { SetSaveStepHookForTesting({}); }

    TempDir dir;
    const std::filesystem::path file = dir / "RInfoCob.xml";
    const FrameList old = Mappings(6000, 1);
    const FrameList fresh = Mappings(9000, 2);
    std::string oldText, freshText;
};

TEST_F(InterruptedSave, AFailureAtAnyStepLeavesTheOldFileAndNothingElse) {
    for (SaveStep step : kSteps) {
        SetSaveStepHookForTesting([&](SaveStep s) { return s == step ? EIO : 0; });
        // The folder's sync comes after the file is in place: it cannot undo it.
        if (step == SaveStep::SyncFolder) {
            SaveMappings(dir.path(), FrameDirection::Receive, fresh);
            EXPECT_EQ(ReadFile(file), freshText);
            SetSaveStepHookForTesting({});
            SaveMappings(dir.path(), FrameDirection::Receive, old);
            continue;
        }
        EXPECT_THROW(SaveMappings(dir.path(), FrameDirection::Receive, fresh), Error) << static_cast<int>(step);
        EXPECT_EQ(ReadFile(file), oldText) << static_cast<int>(step);
        EXPECT_EQ(Names(dir.path()), std::vector<std::string>{"RInfoCob.xml"}) << static_cast<int>(step);
    }
}

TEST_F(InterruptedSave, AKillAtAnyStepLeavesTheOldFileOrTheNewOneNeverAPart) {
    // A real signal at each step of a save, in a child process; the file is
    // then the old one or the new one, whole, and no temporary file is left
    // but the one SIGKILL between link and rename can leave, which the next
    // save removes. SIGTERM removes it before the process ends.
    for (SaveStep step : kSteps) {
        for (int signal : {SIGKILL, SIGTERM}) {
            SCOPED_TRACE(::testing::Message() << "step " << static_cast<int>(step) << ", signal " << signal);
            const int ended = test::RunInChildEndedBy(signal, [&](const std::function<void()>& die) {
                SetSaveStepHookForTesting([&](SaveStep s) {
                    if (s == step) die();
                    return 0;
                });
                SaveMappings(dir.path(), FrameDirection::Receive, fresh);
            });
            EXPECT_EQ(ended, signal);
            const std::string now = ReadFile(file);
            EXPECT_TRUE(now == oldText || now == freshText) << now.size() << " bytes, neither file";
            std::vector<std::string> left = Names(dir.path());
            EXPECT_EQ(left.size(), step == SaveStep::Replace && signal == SIGKILL ? 2u : 1u)
                << "only SIGKILL leaves the finished file under its hidden name";
            SaveMappings(dir.path(), FrameDirection::Receive, old);
            EXPECT_EQ(Names(dir.path()), std::vector<std::string>{"RInfoCob.xml"});
        }
    }
}

}  // namespace
}  // namespace vestrel
