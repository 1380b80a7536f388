#include "gateway/model_loading.h"
#include "platform/workspace_paths.h"
#include "gateway/preview.h"
#include "gateway/register_report.h"
#include "gateway/ui/preview_window.h"
#include "gateway/ui/register_map_window.h"
#include "plot/ui/chart_view.h"
#include "plot/ui/plot_window.h"
#include "signaldb/signal_file.h"
#include "support/fake_dialogs.h"
#include "support/temp_dir.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QClipboard>
#include <QGuiApplication>
#include <QLineEdit>
#include <QListWidget>
#include <QProcess>
#include <QPushButton>
#include <QScreen>
#include <QPlainTextEdit>
#include <QTextBlock>
#include <QTextLayout>
#include <QTextBrowser>
#include <QTextDocument>

#include <regex>

#include <gtest/gtest.h>

namespace vestrel {
namespace {

namespace fs = std::filesystem;
using test::FakeDialogs;

// What Preview and Register map show of a project whose frame file has two
// rows the compiler cannot read: both, each with its file and row.
const std::string kBrokenProject =
    "The project cannot be compiled:\n"
    "error: RCobDef.xml: row 1: CobID: 'x' is not a valid integer value\n"
    "error: RCobDef.xml: row 2: Dimensin: 'y' is not a valid integer value\n"
    "warning: RInfoCob.xml: row 7: NrPdo 3 names no frame: RCobDef.xml has 2 frames";
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
    const Result<can::CanFrame> parsed = can::ParseCompactFrame("181#1122334455667788");
    ASSERT_TRUE(parsed);
    const can::CanFrame frame = *parsed;

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
    // The register list of the command line, blanks included.
    for (const char* typed : {"110 = 7", "100=1 110=7", "100=1, 110=0x7"}) {
        preview.RegistersEdit()->setText(typed);
        EXPECT_TRUE(preview.Result()->toPlainText().contains("as a frame: 301#0007")) << typed;
    }
    preview.RegistersEdit()->setText("110=");
    EXPECT_EQ(preview.Result()->toPlainText().toStdString(),
              "'110=' is not REG=VALUE: registers and values are decimal or 0x hexadecimal numbers\n");
    preview.RegistersEdit()->clear();

    // A pasted log of some 3,000 frames, far beyond a line edit's default
    // limit of 32,767 characters: every frame is read.
    QString many;
    for (int i = 0; i < 3000; ++i) many += QString("281#%1 ").arg(i % 0x10000, 4, 16, QChar('0'));
    preview.FramesEdit()->setText(many);
    EXPECT_EQ(preview.FramesEdit()->text().size(), many.size());
    EXPECT_EQ(preview.Result()->toPlainText().count("receive frame 2"), 3000);
    preview.FramesEdit()->clear();

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

    // A project that no longer compiles says so when the window is shown
    // again, with every problem the project check finds.
    test::WriteFile(Project() / "RCobDef.xml", "<COBID><row CobID=\"x\" Dimensin=\"8\" Mnemonic=\"\"/>"
                                               "<row CobID=\"0x281\" Dimensin=\"y\" Mnemonic=\"\"/></COBID>");
    preview.hide();
    preview.show();
    EXPECT_EQ(preview.Result()->toPlainText().toStdString(), kBrokenProject);
}

// Where signals were imported, both windows say what the registers mean.
TEST_F(GatewayWindowsTest, PreviewAndRegisterMapShowPhysicalValues) {
    test::WriteFile(Project() / "signals.xml",
                    "<Signals><Message Direction=\"receive\" Name=\"Drive\" CobID=\"0x181\" Extended=\"N\" DLC=\"8\" "
                    "WordOrder=\"high-first\" NewFrame=\"N\" Database=\"drive.dbc\" SHA256=\"" +
                        std::string(64, '0') +
                        "\"><Register Index=\"4\" PosComp=\"120\"/><Signal Name=\"Torque\" Registers=\"4\" "
                        "Shift=\"0\" Mask=\"0xFFFF\" StartBit=\"55\" Length=\"16\" ByteOrder=\"Motorola\" "
                        "Type=\"signed\" Factor=\"0.1\" Offset=\"0\" Minimum=\"-300\" Maximum=\"300\" "
                        "Unit=\"Nm\"/></Message></Signals>");
    TFPreview preview;
    preview.SetPaths(paths);
    preview.show();
    preview.FramesEdit()->setText("181#11223344556677F8");
    EXPECT_TRUE(preview.Result()->toPlainText().contains("register 4 = 0x77F8 (high byte B7, low byte B8): Torque = 3071.2 Nm"))
        << preview.Result()->toPlainText().toStdString();

    TFRegisterMap map(dialogs);
    map.SetPaths(paths);
    map.show();
    const std::string html = map.Html();
    EXPECT_NE(html.find("<h3>Receive signals</h3>"), std::string::npos);
    EXPECT_NE(html.find("<td>raw \xC3\x97 0.1 Nm</td>"), std::string::npos);
    EXPECT_NE(html.find("<h2>Reading this gateway from a PLC</h2>"), std::string::npos);

    // "Plot..." in either window charts the signals over a log.
    for (QDialog* window : {static_cast<QDialog*>(&preview), static_cast<QDialog*>(&map)}) {
        window->findChild<QPushButton*>("BtPlot")->click();
        plot::TFPlot* plot = window->findChild<plot::TFPlot*>();
        ASSERT_NE(plot, nullptr);
        EXPECT_TRUE(plot->isVisible());
        ASSERT_EQ(plot->Charts()->count(), 1);
        EXPECT_EQ(plot->Charts()->item(0)->text(), "Torque (Nm)");
        plot->SetLogPath(VESTREL_EXAMPLES_DIR "/demo-bus.log");
        plot->BtDrawClick();
        ASSERT_EQ(plot->View()->Shown().charts.size(), 1u);
        const std::optional<double> torque = plot::ValueAt(plot->View()->Shown().charts[0], 250000);
        ASSERT_TRUE(torque);
        EXPECT_NEAR(*torque, 1.8, 1e-9);  // 0x0012 × 0.1 Nm
        plot->close();
    }
}

// Physical values of transmit signals typed in Preview: the registers they
// give, then the frames, as vestrel-cli preview --signals shows them.
TEST_F(GatewayWindowsTest, PreviewTakesPhysicalValuesOfTransmitSignals) {
    test::WriteFile(Project() / "signals.xml",
                    "<Signals Version=\"2\"><Message Direction=\"transmit\" Name=\"SetPoint\" CobID=\"0x201\" "
                    "Extended=\"N\" DLC=\"8\" WordOrder=\"high-first\" NewFrame=\"N\" Database=\"drive.dbc\" "
                    "SHA256=\"" + std::string(64, '0') +
                        "\"><Register Index=\"100\" PosComp=\"18\"/><Register Index=\"101\" PosComp=\"52\"/>"
                        "<Signal Name=\"Target velocity\" Registers=\"100,101\" Shift=\"0\" Mask=\"0xFFFFFFFF\" "
                        "StartBit=\"7\" Length=\"32\" ByteOrder=\"Motorola\" Type=\"signed\" Factor=\"1\" "
                        "Offset=\"0\" Minimum=\"0\" Maximum=\"0\" Unit=\"rpm\"/></Message></Signals>");
    TFPreview preview;
    preview.SetPaths(paths);
    preview.show();
    preview.SignalsEdit()->setText("Target velocity = -1000");
    const std::string text = preview.Result()->toPlainText().toStdString();
    EXPECT_NE(text.find("signals give register 100 = 0xFFFF, register 101 = 0xFC18\n"
                        "transmit frame 1 \"Speed set-point\" (COB-ID 0x201, Dimensin 8): FF FF FC 18 -- -- -- --"),
              std::string::npos)
        << text;
    EXPECT_NE(text.find("signals: Target velocity = -1000 rpm"), std::string::npos) << text;
    preview.SignalsEdit()->setText("Speed=1");
    EXPECT_EQ(preview.Result()->toPlainText().toStdString(), "no imported transmit signal is named Speed\n");
}

// The placeholders come from the open project, not from the demo.
TEST_F(GatewayWindowsTest, PreviewSuggestsFramesAndRegistersOfTheOpenProject) {
    test::WriteFile(Project() / "RCobDef.xml", "<COBID><row CobID=\"0x185\" Dimensin=\"2\" Mnemonic=\"\"/></COBID>");
    test::WriteFile(Project() / "TInfoCob.xml", "<SDOPDO><row Index=\"300\" NrPdo=\"1\" PosComp=\"18\"/></SDOPDO>");
    TFPreview preview;
    preview.SetPaths(paths);
    preview.show();
    EXPECT_EQ(preview.FramesEdit()->placeholderText(), "185#1122 (ID#DATA, ID#R for a remote frame)");
    EXPECT_EQ(preview.RegistersEdit()->placeholderText(), "300=0x1234");
}

// Runs the event loop until `done` holds; false after a generous guard.
bool Until(const std::function<bool()>& done) {
    QElapsedTimer guard;
    guard.start();
    while (!done() && guard.elapsed() < 60000) QCoreApplication::processEvents(QEventLoop::AllEvents, 50);
    return done();
}

// The text of each page of a PDF, as poppler's pdftotext reads it.
std::vector<std::string> PdfPages(const fs::path& pdf) {
    QProcess text;
    text.start("pdftotext", {QString::fromStdString(pdf.string()), "-"});
    text.waitForFinished(60000);
    std::vector<std::string> pages;
    for (const QByteArray& page : text.readAllStandardOutput().split('\f')) pages.push_back(page.toStdString());
    if (!pages.empty() && pages.back().empty()) pages.pop_back();
    return pages;
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
    ASSERT_TRUE(Until([&] { return !map.SavingPdf(); }));
    const std::string pdf = ReadFile(app / "map.pdf");
    EXPECT_EQ(pdf.rfind("%PDF-", 0), 0u);
    EXPECT_GT(pdf.size(), 10000u);

    answer = std::nullopt;
    map.BtSavePdfClick();
    EXPECT_FALSE(map.SavingPdf());
    EXPECT_EQ(asked, (std::vector<std::string>{"Save as HTML register-map.html", "Save as PDF register-map.pdf",
                                               "Save as PDF register-map.pdf"}));
    EXPECT_TRUE(dialogs.shown.empty());

    // A folder that does not exist: the error is shown and nothing is written.
    answer = (app / "none" / "map.pdf").string();
    map.BtSavePdfClick();
    ASSERT_TRUE(Until([&] { return !map.SavingPdf(); }));
    answer = (app / "none" / "map.html").string();
    map.BtSaveHtmlClick();
    ASSERT_EQ(dialogs.shown.size(), 2u);
    EXPECT_EQ(dialogs.shown[0].kind, FakeDialogs::Shown::Error);
    EXPECT_NE(dialogs.shown[0].text.find("map.pdf"), std::string::npos) << dialogs.shown[0].text;
    EXPECT_NE(dialogs.shown[1].text.find("map.html"), std::string::npos) << dialogs.shown[1].text;
    EXPECT_FALSE(fs::exists(app / "none"));
}

// A project of many frames: the PDF is drawn in its own thread, page after
// page, with every caption on the page of its picture, the pictures as
// vectors, a table's heading row again on each page it goes on, and Cancel
// leaves no file.
TEST_F(GatewayWindowsTest, RegisterMapPdfKeepsCaptionsWithPicturesAndCanBeCancelled) {
    std::string frames = "<COBID>", mappings = "<SDOPDO>";
    for (int f = 1; f <= 40; ++f) {
        frames += "<row CobID=\"" + std::to_string(0x100 + f) + "\" Dimensin=\"8\" Mnemonic=\"Frame number " +
                  std::to_string(f) + "\"/>";
        for (int r = 0; r < 4; ++r)
            mappings += "<row Index=\"" + std::to_string(1000 + 10 * f + r) + "\" NrPdo=\"" + std::to_string(f) +
                        "\" PosComp=\"" + std::to_string(16 * (2 * r + 1) + 2 * r + 2) + "\"/>";
    }
    test::WriteFile(Project() / "RCobDef.xml", frames + "</COBID>");
    test::WriteFile(Project() / "RInfoCob.xml", mappings + "</SDOPDO>");
    TFRegisterMap map(dialogs);
    map.SetPaths(paths);
    map.show();
    const fs::path file = app / "many.pdf";
    map.askSavePath = [&](const std::string&, const std::string&, const std::string&) {
        return std::optional<std::string>(file.string());
    };
    std::vector<int> steps;
    map.atPdfStep = [&](int percent) { steps.push_back(percent); };
    map.BtSavePdfClick();
    EXPECT_TRUE(map.SavingPdf());
    ASSERT_TRUE(Until([&] { return !map.SavingPdf(); }));
    ASSERT_TRUE(dialogs.shown.empty()) << dialogs.shown[0].text;
    EXPECT_TRUE(std::is_sorted(steps.begin(), steps.end()));
    EXPECT_EQ(steps.back(), 100);

    const std::string pdf = ReadFile(file);
    EXPECT_EQ(pdf.find("/Subtype /Image"), std::string::npos) << "a picture was rasterised";
    const std::vector<std::string> pages = PdfPages(file);
    ASSERT_GT(pages.size(), 5u);
    int captions = 0, headed = 0;
    for (const std::string& page : pages) {
        headed += page.find("High byte from") != std::string::npos;
        const std::regex caption("(^|\n)Frame ([0-9]+) [^\n]*: COB-ID 0x1");
        for (auto it = std::sregex_iterator(page.begin(), page.end(), caption); it != std::sregex_iterator(); ++it) {
            ++captions;
            const int number = std::stoi((*it)[2]);
            // The picture's own texts follow the caption on its page.
            EXPECT_NE(page.find("register " + std::to_string(1000 + 10 * number + 3), it->position()),
                      std::string::npos)
                << it->str();
        }
    }
    EXPECT_EQ(captions, 40);
    EXPECT_GE(headed, 2) << "the receive table goes on over a page with its heading row";

    // Cancel half-way: nothing is written, nothing is said.
    std::filesystem::remove(file);
    map.atPdfStep = [&](int percent) {
        if (percent >= 50) map.CancelPdf();
    };
    map.BtSavePdfClick();
    ASSERT_TRUE(Until([&] { return !map.SavingPdf(); }));
    EXPECT_FALSE(fs::exists(file));
    EXPECT_TRUE(dialogs.shown.empty());
}

// The signal table of a real database: long names, ranges and 60-character
// comments. No column is narrower than its longest word: the page and the
// window wrap a comment, never a name or a number.
TEST_F(GatewayWindowsTest, TheSignalTableKeepsNamesAndNumbersWhole) {
    signaldb::ImportedMessage m;
    m.name = "ENGINE_AND_GAS_PEDAL_STATUS_MESSAGE";
    m.id = 0x181;
    m.length = 8;
    m.database = "vehicle.dbc";
    m.sha256 = std::string(64, '0');
    std::vector<std::string> names;
    for (int i = 0; i < 12; ++i) {
        m.registers.push_back({100 + i, 33});
        signaldb::ImportedSignal s;
        s.signal.name = "GAS_PEDAL_POSITION_FILTERED_" + std::to_string(1000 + i);
        s.signal.length = 16;
        s.signal.type = signaldb::ValueType::Signed;
        s.signal.minimum = -32768;
        s.signal.maximum = 32767;
        s.signal.comment = "Filtered position of the accelerator pedal, sampled each 10 ms; "
                           "zero when the pedal is released, rising as it is pressed down.";
        s.registers = {100 + i};
        s.mask = 0xFFFF;
        m.signalList.push_back(s);
        names.push_back(s.signal.name);
    }
    signaldb::SignalFile file;
    file.messages.push_back(m);
    test::WriteFile(Project() / "signals.xml", signaldb::SignalFileText(file));
    TFRegisterMap map(dialogs);
    map.SetPaths(paths);
    map.resize(900, 600);
    map.show();
    int ranges = 0;
    for (QTextBlock block = map.Report()->document()->begin(); block.isValid(); block = block.next())
        if (block.text().contains("-32768..32767")) {
            ++ranges;
            EXPECT_EQ(block.layout()->lineCount(), 1) << block.text().toStdString();
        }
    EXPECT_EQ(ranges, 12);

    const fs::path pdf = app / "signals.pdf";
    map.askSavePath = [&](const std::string&, const std::string&, const std::string&) {
        return std::optional<std::string>(pdf.string());
    };
    map.BtSavePdfClick();
    ASSERT_TRUE(Until([&] { return !map.SavingPdf(); }));
    std::string text;
    for (const std::string& page : PdfPages(pdf)) text += page;
    for (const std::string& name : names) EXPECT_NE(text.find(name), std::string::npos) << name;
    std::size_t whole = 0;
    for (std::size_t at = text.find("-32768..32767"); at != std::string::npos; at = text.find("-32768..32767", at + 1))
        ++whole;
    EXPECT_EQ(whole, 12u) << text;
}

// A project that does not compile: the whole project check, not only the
// first error; nothing to save.
TEST_F(GatewayWindowsTest, RegisterMapOfABrokenProjectListsEveryProblem) {
    test::WriteFile(Project() / "RCobDef.xml", "<COBID><row CobID=\"x\" Dimensin=\"8\" Mnemonic=\"\"/>"
                                               "<row CobID=\"0x281\" Dimensin=\"y\" Mnemonic=\"\"/></COBID>");
    TFRegisterMap map(dialogs);
    map.SetPaths(paths);
    map.show();
    EXPECT_EQ(map.Report()->toPlainText().toStdString(), kBrokenProject);
    EXPECT_FALSE(map.findChild<QPushButton*>("BtSavePdf")->isEnabled());
}

// Both windows fit the screen's available area, on the small screen of
// the offscreen platform too.
TEST_F(GatewayWindowsTest, TheWindowsFitTheScreen) {
    TFRegisterMap map(dialogs);
    map.SetPaths(paths);
    TFPreview preview;
    preview.SetPaths(paths);
    for (QDialog* window : std::initializer_list<QDialog*>{&map, &preview}) {
        window->show();
        QCoreApplication::processEvents();
        EXPECT_TRUE(window->screen()->availableGeometry().contains(window->frameGeometry()))
            << window->objectName().toStdString();
        window->hide();
    }
}

}  // namespace
}  // namespace vestrel
