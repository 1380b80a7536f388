#include "platform/workspace_paths.h"
#include "gateway/preview.h"
#include "gateway/register_report.h"
#include "gateway/ui/preview_window.h"
#include "gateway/ui/register_map_window.h"
#include "support/fake_dialogs.h"
#include "support/temp_dir.h"

#include <QClipboard>
#include <QGuiApplication>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QTextBlock>
#include <QTextBrowser>
#include <QTextDocument>

#include <gtest/gtest.h>

namespace vestrel {
namespace {

namespace fs = std::filesystem;
using test::FakeDialogs;
using test::ReadFile;
using test::TempDir;

// A workspace whose open project is a copy of the demo project.
class GatewayWindowsTest : public ::testing::Test {
protected:
    void SetUp() override {
        cwd_ = fs::current_path();
        fs::create_directories(app / "PROJECTS");
        fs::copy(VESTREL_EXAMPLES_DIR "/workspace/PROJECTS/Demo", Project(), fs::copy_options::recursive);
        paths.appDir = app.path().string();
        paths.projectDir = Project().string();
        paths.spreadsheetFolder = paths.projectDir;
    }
    void TearDown() override { fs::current_path(cwd_); }
    fs::path Project() const { return app / "PROJECTS" / "Demo"; }

    TempDir app;
    WorkspacePaths paths;
    FakeDialogs dialogs;

private:
    fs::path cwd_;
};

TEST_F(GatewayWindowsTest, PreviewFollowsWhatIsTypedWithTheCommandLinesText) {
    TFPreview preview;
    preview.SetPaths(paths);
    preview.show();
    const gateway::ProjectModel loaded = gateway::LoadProjectModel(Project());
    gateway::CanFrame frame;
    std::string why;
    ASSERT_TRUE(gateway::ParseCompactFrame("181#1122334455667788", frame, why));

    preview.FramesEdit()->setText("181#1122334455667788");
    EXPECT_EQ(preview.Result()->toPlainText().toStdString(),
              gateway::PreviewFrameText(loaded.model, "181#1122334455667788", frame));
    EXPECT_NE(preview.Result()->toPlainText().indexOf("register 4 = 0x7788 (high byte B7, low byte B8)"), -1);

    preview.FramesEdit()->setText("181#1122334455667788 18");
    EXPECT_TRUE(preview.Result()->toPlainText().endsWith(
        "18: not a frame: a frame is ID#DATA\n"));

    preview.FramesEdit()->clear();
    preview.RegistersEdit()->setText("110=7");
    EXPECT_EQ(preview.Result()->toPlainText().toStdString(),
              "transmit frame 2 \"Control word\" (COB-ID 0x301, Dimensin 2): 00 07\n"
              "  B1 = 0x00: register 110 high byte\n"
              "  B2 = 0x07: register 110 low byte\n"
              "  as a frame: 301#0007\n");
    preview.RegistersEdit()->setText("110=");
    EXPECT_EQ(preview.Result()->toPlainText().toStdString(),
              "register values are REG=VALUE pairs separated by commas, not '110='\n");

    // Lines pasted from candump are read whole: time stamp and interface
    // name belong to the frame.
    preview.RegistersEdit()->clear();
    preview.FramesEdit()->clear();
    QGuiApplication::clipboard()->setText(
        "(1733661931.000000) can0 181#0001000003E80010\n(1733661931.010000) can0 281##100190020\n");
    preview.FramesEdit()->paste();
    const std::string pasted = preview.Result()->toPlainText().toStdString();
    EXPECT_EQ(pasted.find("not a frame"), std::string::npos) << pasted;
    EXPECT_EQ(pasted.rfind("(1733661931.000000) can0 181#0001000003E80010: receive frame 1", 0), 0u) << pasted;
    EXPECT_NE(pasted.find("(1733661931.010000) can0 281##100190020: CAN FD, not fed"), std::string::npos) << pasted;

    // A project that no longer compiles says so when the window is shown again.
    test::WriteFile(Project() / "RCobDef.xml", "<COBID><row CobID=\"x\" Dimensin=\"8\" Mnemonic=\"\"/></COBID>");
    preview.hide();
    preview.show();
    EXPECT_EQ(preview.Result()->toPlainText().toStdString(),
              "The project cannot be compiled: RCobDef.xml: row 1: CobID: 'x' is not a valid integer value");
}

// The number of SVG pictures the document holds as objects.
int Pictures(QTextDocument& document) {
    int count = 0;
    for (QTextBlock block = document.begin(); block.isValid(); block = block.next())
        for (auto it = block.begin(); !it.atEnd(); ++it)
            if (it.fragment().charFormat().objectType() > QTextFormat::UserObject) ++count;
    return count;
}

TEST_F(GatewayWindowsTest, RegisterMapShowsTheReportAndSavesItAsHtmlAndPdf) {
    TFRegisterMap map(dialogs);
    map.SetPaths(paths);
    map.show();
    EXPECT_EQ(Pictures(*map.Report()->document()), 5);
    EXPECT_NE(map.Report()->toPlainText().indexOf("Register map: Demo"), -1);

    std::vector<std::string> asked;
    std::optional<std::string> answer = (app / "map.html").string();
    map.askSavePath = [&](const std::string& title, const std::string&, const std::string& suggested) {
        asked.push_back(title + " " + fs::path(suggested).filename().string());
        return answer;
    };
    map.BtSaveHtmlClick();
    gateway::ProjectModel loaded = gateway::LoadProjectModel(Project());
    gateway::ReportInput input;
    input.model = &loaded.model;
    input.sourceName = "Demo";
    EXPECT_EQ(ReadFile(app / "map.html"), gateway::RegisterMapHtml(input));

    answer = (app / "map.pdf").string();
    map.BtSavePdfClick();
    const std::string pdf = ReadFile(app / "map.pdf");
    EXPECT_EQ(pdf.rfind("%PDF-", 0), 0u);
    EXPECT_GT(pdf.size(), 10000u);

    answer = std::nullopt;
    map.BtSavePdfClick();
    EXPECT_EQ(asked, (std::vector<std::string>{"Save as HTML register-map.html", "Save as PDF register-map.pdf",
                                               "Save as PDF register-map.pdf"}));
    EXPECT_TRUE(dialogs.shown.empty());

    // A folder that does not exist: the error is shown and nothing is written.
    answer = (app / "none" / "map.pdf").string();
    map.BtSavePdfClick();
    answer = (app / "none" / "map.html").string();
    map.BtSaveHtmlClick();
    ASSERT_EQ(dialogs.shown.size(), 2u);
    EXPECT_EQ(dialogs.shown[0].kind, FakeDialogs::Shown::Error);
    EXPECT_NE(dialogs.shown[0].text.find("map.pdf"), std::string::npos) << dialogs.shown[0].text;
    EXPECT_NE(dialogs.shown[1].text.find("map.html"), std::string::npos) << dialogs.shown[1].text;
    EXPECT_FALSE(fs::exists(app / "none"));
}

}  // namespace
}  // namespace vestrel
