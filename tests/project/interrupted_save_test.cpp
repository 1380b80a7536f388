#include "project/frame_mapping.h"

#include "support/interrupted_save.h"
#include "support/temp_dir.h"

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

TEST(InterruptedSave, AKilledSaveLeavesTheOldFileOrTheNewOneNeverAPart) {
    // A child process saves the mapping file over and over, alternating two
    // contents, and is killed with SIGKILL at a different moment each time.
    TempDir dir;
    const std::filesystem::path file = dir / "RInfoCob.xml";
    const FrameList old = Mappings(6000, 1);
    const FrameList fresh = Mappings(9000, 2);
    SaveMappings(dir.path(), FrameDirection::Receive, fresh);
    const std::string freshText = ReadFile(file);
    auto save = [&](int round) { SaveMappings(dir.path(), FrameDirection::Receive, round % 2 ? old : fresh); };
    const auto once = test::TimeOfOneSave(save);
    SaveMappings(dir.path(), FrameDirection::Receive, old);
    const std::string oldText = ReadFile(file);
    ASSERT_NE(oldText.size(), freshText.size());

    int kills = 0, insideSave = 0;
    for (; kills < 300 && (kills < 40 || insideSave < 3); ++kills) {
        // From before the first save is under way to the middle of the fourth.
        test::KillDuringRepeatedSaves(save, once * (kills % 29) / 8);
        const std::string now = ReadFile(file);
        ASSERT_TRUE(now == oldText || now == freshText)
            << "kill " << kills << " left " << now.size() << " bytes, neither file";
        const auto unfinished = test::UnfinishedSaves(dir.path(), "RInfoCob.xml");
        if (!unfinished.empty()) ++insideSave;
        for (const auto& temp : unfinished) std::filesystem::remove(temp);
    }
    // Evidence that the kills did land inside saves: their temporary files.
    // The write is a small part of a save, and a sanitizer build makes the
    // rest slower still, so only a few kills are asked to land in it.
    EXPECT_GE(insideSave, 1) << "of " << kills << " kills";
}

}  // namespace
}  // namespace vestrel
