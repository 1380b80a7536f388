#include "app/workspace.h"

#include "platform/ini_file.h"
#include "support/temp_dir.h"
#include "support/unprivileged.h"

#include <gtest/gtest.h>

namespace vestrel {
namespace {

using test::TempDir;
namespace fs = std::filesystem;

const std::string kTitle = std::string(kProduct.vendorLabel) + kProduct.windowTitleText;

TEST(Workspace, FirstStartInAnEmptyFolder) {
    TempDir app;
    Workspace ws;
    ws.StartWorkspace(app.path().string() + "/", "");
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
        ws.StartWorkspace(app.path().string(), "");
        fs::create_directory(app / "PROJECTS" / "Plant1");
        ws.SetProject("/Plant1");
        ws.NewProjectDone(true);
        EXPECT_EQ(ws.Title(), kTitle + " :/Plant1");
        EXPECT_EQ(ws.SpreadsheetFolder(), (app / "PROJECTS" / "Plant1").string());
        ws.CloseWorkspace();
    }
    EXPECT_EQ(ReadIniString(app / kProduct.configFileName, "lastproj", "projectname"), "/Plant1");
    Workspace again;
    again.StartWorkspace(app.path().string(), "");
    EXPECT_EQ(again.ProjectName(), "/Plant1");
    EXPECT_EQ(again.ProjectDir(), (app / "PROJECTS" / "Plant1").string());
    EXPECT_EQ(again.Title(), kTitle + " :/Plant1");
    EXPECT_EQ(again.Files().pargen, (app / "PROJECTS" / "Plant1" / "pargen.xml").string());
}

TEST(Workspace, ADeletedRememberedProjectFallsBackAndIsWrittenBackUnchanged) {
    TempDir app;
    WriteIniString(app / kProduct.configFileName, "lastproj", "projectname", "/Gone");
    Workspace ws;
    ws.StartWorkspace(app.path().string(), "");
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
            ws.StartWorkspace(app.path().string(), "");
            fs::create_directories(ws.ProjectsDir() + name);
            ws.SetProject(name);
            ws.CloseWorkspace();
        }
        Workspace again;
        again.StartWorkspace(app.path().string(), "");
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
        ws.StartWorkspace(app.path().string(), "");
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
    ws.StartWorkspace(app.path().string(), "");

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
    ws.StartWorkspace(app.path().string(), "");
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

}  // namespace
}  // namespace vestrel
