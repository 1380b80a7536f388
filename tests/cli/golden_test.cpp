// The bank files, bankg.c and merged images of a set of projects, compared
// with digests taken from an earlier version: a change that should not change
// what reaches a device must leave each byte as it was.
#include "cli/cli.h"
#include "compiler/bank_files.h"
#include "platform/sha256.h"

#include "support/temp_dir.h"

#include <cstdlib>
#include <fstream>
#include <sstream>

#include <gtest/gtest.h>

namespace vestrel {
namespace {

namespace fs = std::filesystem;

const fs::path kGolden = fs::path(VESTREL_TEST_DATA_DIR) / "golden";
const fs::path kDemo = fs::path(VESTREL_TEST_DATA_DIR) / "../../examples/workspace";

TEST(Golden, BuildAndMergeGiveTheSameBytesAsBefore) {
    std::ifstream list(kGolden / "golden.sha256");
    std::string digest, name;
    int compared = 0;
    test::TempDir work;
    ::setenv("SOURCE_DATE_EPOCH", "1733661931", 1);
    std::string built;
    while (list >> digest >> name) {
        const std::string project = name.substr(0, name.find('/'));
        if (project != built) {
            const bool demo = project == "Demo";
            fs::copy(demo ? kDemo / "PROJECTS/Demo" : kGolden / project, work / project, fs::copy_options::recursive);
            std::ostringstream out, err;
            ASSERT_EQ(RunCli({"build", (work / project).string()}, out, err, false), kExitOk) << err.str();
            const fs::path base = demo ? kDemo / "MASTER/SX58316.sx" : kGolden / "base.sx";
            ASSERT_EQ(RunCli({"merge", base.string(), (work / project / "bin").string(),
                              (work / project / "New.sx").string()},
                             out, err, false),
                      kExitOk)
                << err.str();
            built = project;
        }
        EXPECT_EQ(Sha256Hex(test::ReadFile(work / name)), digest) << name;
        ++compared;
    }
    ::unsetenv("SOURCE_DATE_EPOCH");
    EXPECT_EQ(compared, 28);
}

}  // namespace
}  // namespace vestrel
