#include "workspace/workspace.h"

#include "platform/error.h"
#include "platform/ini_file.h"
#include "support/temp_dir.h"
#include "support/unprivileged.h"

#include <gtest/gtest.h>

#include <functional>

namespace vestrel {
namespace {

using test::TempDir;
namespace fs = std::filesystem;

const std::string kTitle = std::string(kProduct.vendorLabel) + kProduct.windowTitleText;
const Result<std::string> kNoUserFolder = Failure{"no per-user folder in this test"};

TEST(Workspace, FirstStartInAnEmptyFolder) {
    TempDir app;
    Workspace ws;
    ws.StartWorkspace(app.path().string() + "/", kNoUserFolder);
    EXPECT_EQ(ws.AppDir(), app.path().string());
    EXPECT_EQ(ws.MasterDir(), (app / "MASTER").string());
    EXPECT_EQ(ws.ProjectsDir(), (app / "PROJECTS").string());
    EXPECT_TRUE(fs::is_directory(app / "MASTER"));
    EXPECT_TRUE(fs::is_directory(app / "PROJECTS"));
    EXPECT_EQ(ws.ProjectName(), "");
    EXPECT_EQ(ws.ProjectDir(), ws.ProjectsDir());
    EXPECT_TRUE(ws.ProjectGuard());
    EXPECT_EQ(ws.Title(), kTitle);
    EXPECT_EQ(ws.SpreadsheetFolder(), ws.ProjectsDir());
    EXPECT_EQ(ws.Files().pargen, (app / "PROJECTS" / "pargen.xml").string());
    EXPECT_EQ(ws.Files().transmitFrames, (app / "PROJECTS" / "TCobDef.xml").string());
    EXPECT_EQ(ws.Files().sdoPdo, (app / "PROJECTS" / "sdopdo.xml").string());
}

TEST(Workspace, TheLastProjectIsReopenedAfterARestart) {
    TempDir app;
    {
        Workspace ws;
        ws.StartWorkspace(app.path().string(), kNoUserFolder);
        fs::create_directory(app / "PROJECTS" / "Plant1");
        ws.SetProject("/Plant1");
        ws.NewProjectDone(true);
        EXPECT_EQ(ws.Title(), kTitle + " :/Plant1");
        EXPECT_EQ(ws.SpreadsheetFolder(), (app / "PROJECTS" / "Plant1").string());
        ws.CloseWorkspace();
    }
    EXPECT_EQ(ReadIniString(app / kProduct.configFileName, "lastproj", "projectname"), "/Plant1");
    Workspace again;
    again.StartWorkspace(app.path().string(), kNoUserFolder);
    EXPECT_EQ(again.ProjectName(), "/Plant1");
    EXPECT_EQ(again.ProjectDir(), (app / "PROJECTS" / "Plant1").string());
    EXPECT_EQ(again.Title(), kTitle + " :/Plant1");
    EXPECT_EQ(again.Files().pargen, (app / "PROJECTS" / "Plant1" / "pargen.xml").string());
}

TEST(Workspace, ADeletedRememberedProjectFallsBackAndIsWrittenBackUnchanged) {
    TempDir app;
    WriteIniString(app / kProduct.configFileName, "lastproj", "projectname", "/Gone");
    Workspace ws;
    ws.StartWorkspace(app.path().string(), kNoUserFolder);
    EXPECT_EQ(ws.ProjectName(), "/Gone");
    EXPECT_EQ(ws.ProjectDir(), ws.ProjectsDir());
    EXPECT_EQ(ws.Title(), kTitle);
    ws.CloseWorkspace();
    EXPECT_EQ(ReadIniString(app / kProduct.configFileName, "lastproj", "projectname"), "/Gone");
}

// Every name New project accepts is remembered exactly, blanks included.
TEST(Workspace, ANameWithBlanksAtItsEndIsReopenedAfterARestart) {
    TempDir app;
    for (const std::string& name : {std::string("/Plant1 "), std::string("/Site /Line 2  "), std::string("/\"A\"")}) {
        {
            Workspace ws;
            ws.StartWorkspace(app.path().string(), kNoUserFolder);
            fs::create_directories(ws.ProjectsDir() + name);
            ws.SetProject(name);
            ws.CloseWorkspace();
        }
        Workspace again;
        again.StartWorkspace(app.path().string(), kNoUserFolder);
        EXPECT_EQ(again.ProjectName(), name);
        EXPECT_EQ(again.ProjectDir(), again.ProjectsDir() + name);
        EXPECT_EQ(again.Title(), kTitle + " :" + name);
    }
}

// A hand-edited name that leads out of PROJECTS is a missing project: the
// workspace stays in PROJECTS and the name is written back as it was.
TEST(Workspace, ARememberedNameOutsideProjectsCountsAsMissing) {
    TempDir app;
    fs::create_directories(app / "PROJECTSPlant1");
    for (const std::string& name : {std::string("/../MASTER"), std::string("/Site/../../MASTER"), std::string("Plant1"),
                                    std::string("/..\\MASTER")}) {
        WriteIniString(app / kProduct.configFileName, "lastproj", "projectname", name);
        Workspace ws;
        ws.StartWorkspace(app.path().string(), kNoUserFolder);
        EXPECT_EQ(ws.ProjectDir(), ws.ProjectsDir()) << name;
        EXPECT_EQ(ws.Title(), kTitle) << name;
        EXPECT_EQ(ws.ProjectName(), name);
        ws.CloseWorkspace();
        EXPECT_EQ(ReadIniString(app / kProduct.configFileName, "lastproj", "projectname"), name);
    }
}

TEST(Workspace, OpenProjectDerivesTheNameFromTheChosenFolder) {
    TempDir app;
    Workspace ws;
    ws.StartWorkspace(app.path().string(), kNoUserFolder);

    ws.ProjectDirVariable() = ws.ProjectsDir() + "/Site/Line2";
    ws.OpenProjectDone();
    EXPECT_EQ(ws.ProjectName(), "/Site/Line2");
    EXPECT_EQ(ws.Title(), kTitle + " :/Site/Line2");
    EXPECT_EQ(ws.Files().receiveFrames, ws.ProjectsDir() + "/Site/Line2/RCobDef.xml");
    EXPECT_EQ(ws.SpreadsheetFolder(), ws.ProjectsDir() + "/Site/Line2");

    ws.ProjectDirVariable() = ws.ProjectsDir();
    ws.OpenProjectDone();
    EXPECT_EQ(ws.ProjectName(), "");
    EXPECT_EQ(ws.Title(), kTitle + " :");

    // A chooser that found its folder gone empties the variable.
    ws.ProjectDirVariable().clear();
    ws.OpenProjectDone();
    EXPECT_EQ(ws.ProjectName(), "");
    EXPECT_EQ(ws.ProjectDir(), "");
    EXPECT_FALSE(ws.ProjectGuard());
    EXPECT_EQ(ws.Title(), kTitle + " :");
}

TEST(Workspace, CancelledNewProjectShowsTheTitleWithoutName) {
    TempDir app;
    Workspace ws;
    ws.StartWorkspace(app.path().string(), kNoUserFolder);
    ws.NewProjectDone(false);
    EXPECT_EQ(ws.Title(), kTitle + " :");
    EXPECT_EQ(ws.ProjectDir(), ws.ProjectsDir());
}

TEST(Workspace, AReadOnlyExecutableFolderMovesTheWorkspaceToTheUsersFolder) {
    TempDir app;
    TempDir user;
    test::OpenToEveryone(app.path());
    test::OpenToEveryone(user.path());
    fs::permissions(app.path(), fs::perms::owner_read | fs::perms::owner_exec | fs::perms::others_read |
                                    fs::perms::others_exec);
    EXPECT_TRUE(test::RunUnprivileged([&]() -> std::string {
        Workspace ws;
        ws.StartWorkspace(app.path().string(), (user / "Firmware Vestrel").string());
        if (ws.AppDir() != app.path().string()) return "AppDir moved: " + ws.AppDir();
        if (ws.MasterDir() != (user / "Firmware Vestrel" / "MASTER").string()) return "MasterDir " + ws.MasterDir();
        if (!fs::is_directory(user / "Firmware Vestrel" / "PROJECTS")) return "no PROJECTS in the user's folder";
        ws.CloseWorkspace();
        if (!fs::exists(user / "Firmware Vestrel" / kProduct.configFileName)) return "no INI file in the user's folder";
        return "";
    }));
    fs::permissions(app.path(), fs::perms::owner_all);
    EXPECT_FALSE(fs::exists(app / "MASTER"));
}

// An installed copy (PREFIX/bin beside PREFIX/share/vestrel/workspace) keeps
// its workspace in the user's folder and seeds it once: a workspace the user
// has anything in is never seeded over, whatever else is missing.
TEST(Workspace, AnInstalledCopySeedsOnlyAnEmptyUsersWorkspace) {
    struct Case {
        const char* name;
        std::function<void(const fs::path& root)> before;  // the user's workspace before the start
        bool seeded;
    };
    const Case cases[] = {
        {"first start", [](const fs::path&) {}, true},
        {"empty folders left", [](const fs::path& root) {
             fs::create_directories(root / "MASTER");
             fs::create_directories(root / "PROJECTS");
         }, true},
        {"own project, no base image", [](const fs::path& root) {
             fs::create_directories(root / "PROJECTS" / "Mine");
         }, false},
        {"own base image, no project", [](const fs::path& root) {
             fs::create_directories(root / "MASTER");
             test::WriteFile(root / "MASTER" / "SX58316.sx", "S0");
         }, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        TempDir prefix;
        fs::create_directories(prefix / "bin");
        fs::create_directories(prefix / "share" / "vestrel");
        fs::copy(VESTREL_EXAMPLES_DIR "/workspace", prefix / "share" / "vestrel" / "workspace", fs::copy_options::recursive);
        TempDir user;
        const fs::path root = user / "Firmware Vestrel";
        c.before(root);
        // A flasher the user put there is kept even when the rest is seeded.
        fs::create_directories(root);
        test::WriteFile(root / "FwLoader", "mine");

        Workspace ws;
        ws.StartWorkspace((prefix / "bin").string(), root.string());
        EXPECT_EQ(ws.RootDir(), root.string());
        EXPECT_EQ(ws.Paths().appDir, root.string());
        if (c.seeded) {
            EXPECT_EQ(test::ReadFile(root / "MASTER" / "SX58316.sx"),
                      test::ReadFile(VESTREL_EXAMPLES_DIR "/workspace/MASTER/SX58316.sx"));
        }
        EXPECT_EQ(fs::exists(root / "PROJECTS" / "Demo" / "pargen.xml"), c.seeded);
        EXPECT_EQ(ws.ProjectDir(), c.seeded ? (root / "PROJECTS" / "Demo").string() : ws.ProjectsDir());
        EXPECT_EQ(test::ReadFile(root / "FwLoader"), "mine");
        EXPECT_FALSE(fs::exists(prefix / "bin" / "MASTER"));
    }
}

// A build folder keeps the workspace beside the executable and is never seeded
// by the application, whatever the user's folder holds.
TEST(Workspace, ABuildFolderIsItsOwnWorkspace) {
    TempDir build;
    fs::create_directories(build / "bin");
    TempDir user;
    Workspace ws;
    ws.StartWorkspace((build / "bin").string(), (user / "Firmware Vestrel").string());
    EXPECT_EQ(ws.RootDir(), (build / "bin").string());
    EXPECT_EQ(*WorkspaceRootFor((build / "bin").string(), (user / "Firmware Vestrel").string()), ws.RootDir());
    EXPECT_TRUE(fs::is_empty(build / "bin" / "PROJECTS"));
    EXPECT_FALSE(fs::exists(user / "Firmware Vestrel"));
}

// The per-user folder follows the base-directory rules: a relative
// XDG_DATA_HOME counts as unset, and without an absolute base there is none.
TEST(Workspace, TheUsersFolderNeedsAnAbsoluteBase) {
    struct Case {
        const char* xdgDataHome;
        const char* home;
        std::string root;  // empty: refused with `why`
        std::string why;
    };
    const std::string refused = "there is no per-user folder for the workspace: ";
    const std::string advice = "; set HOME (or XDG_DATA_HOME) to an absolute path";
    const Case cases[] = {
        {"/data/", "/home/ann", "/data/Firmware Vestrel", ""},
        {"data", "/home/ann/", "/home/ann/.local/share/Firmware Vestrel", ""},
        {"", "/home/ann", "/home/ann/.local/share/Firmware Vestrel", ""},
        {nullptr, "/", "/.local/share/Firmware Vestrel", ""},
        {nullptr, nullptr, "", refused + "XDG_DATA_HOME is not set and HOME is not set" + advice},
        {"data", "", "", refused + "XDG_DATA_HOME is the relative path \"data\" and HOME is not set" + advice},
        {nullptr, "ann", "", refused + "XDG_DATA_HOME is not set and HOME is the relative path \"ann\"" + advice},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.xdgDataHome ? c.xdgDataHome : "(unset)") + ", " + (c.home ? c.home : "(unset)"));
        Result<std::string> root = UserWorkspaceRoot({c.xdgDataHome, c.home});
        EXPECT_EQ(root ? *root : std::string(), c.root);
        EXPECT_EQ(root.Why(), c.why);
    }
}

// Without a per-user folder an installed copy has no workspace: it is never
// put beside the executable, and the start says why.
TEST(Workspace, AnInstalledCopyWithoutAUsersFolderRefusesToStart) {
    TempDir prefix;
    fs::create_directories(prefix / "bin");
    fs::create_directories(prefix / "share" / "vestrel" / "workspace" / "MASTER");
    const Result<std::string> none = UserWorkspaceRoot({nullptr, nullptr});
    Result<std::string> root = WorkspaceRootFor((prefix / "bin").string(), none);
    ASSERT_FALSE(root);
    EXPECT_EQ(root.Why(), "an installed copy keeps its workspace in a per-user folder, and " + none.Why());
    Workspace ws;
    try {
        ws.StartWorkspace((prefix / "bin").string(), none);
        ADD_FAILURE() << "started in " << ws.RootDir();
    } catch (const Error& e) {
        EXPECT_EQ(std::string(e.what()), root.Why());
    }
    EXPECT_TRUE(fs::is_empty(prefix / "bin"));
}

}  // namespace
}  // namespace vestrel
