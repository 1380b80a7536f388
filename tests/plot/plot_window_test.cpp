// The "Plot" window offscreen on the demo project and its bus log: the
// charts of the ticked registers, the cursor's readings, zooming into
// detail and out again, saving what is in view; and that QPainter paints
// the picture the SVG holds.
#include "plot/plot_svg.h"
#include "plot/ui/chart_view.h"
#include "plot/ui/figure_painter.h"
#include "plot/ui/plot_window.h"
#include "support/temp_dir.h"

#include <QImage>
#include <QLabel>
#include <QListWidget>
#include <QPainter>
#include <QSvgRenderer>

#include <gtest/gtest.h>

namespace vestrel::plot {
namespace {

using test::ReadFile;
using test::TempDir;
namespace fs = std::filesystem;

const std::string kLog = VESTREL_EXAMPLES_DIR "/demo-bus.log";

class PlotWindowTest : public ::testing::Test {
protected:
    void SetUp() override {
        fs::copy(VESTREL_EXAMPLES_DIR "/workspace/PROJECTS/Demo", dir / "Demo", fs::copy_options::recursive);
        paths.projectDir = (dir / "Demo").string();
        window.SetPaths(paths);
        window.show();
        window.SetLogPath(kLog);
        window.BtDrawClick();
    }
    const Chart& Shown(const std::string& name) {
        for (const Chart& chart : window.View()->Shown().charts)
            if (chart.name == name) return chart;
        ADD_FAILURE() << "no chart " << name;
        static const Chart none;
        return none;
    }

    TempDir dir;
    WorkspacePaths paths;
    TFPlot window;
};

TEST_F(PlotWindowTest, DrawsTheTickedChartsAndReadsThemAtTheCursor) {
    ASSERT_EQ(window.Charts()->count(), 10);  // seven receive and three transmit registers
    EXPECT_EQ(window.Charts()->item(0)->text(), "receive register 1");
    EXPECT_EQ(window.Charts()->item(9)->text(), "transmit register 110");
    EXPECT_EQ(window.Status()->text().toStdString(),
              "Log: candump log file, 13 lines, 12 frames, 1 broken line, 0 error frames");
    EXPECT_EQ(window.View()->Shown().charts.size(), 10u);
    window.View()->SetCursor(250000);
    const std::vector<std::string> readings = window.View()->CursorReadings();
    ASSERT_EQ(readings.size(), 11u);
    EXPECT_EQ(readings[0], "t = 0.250 s");
    EXPECT_EQ(readings[2], "receive register 2 = 1100 (0x044C)");
    EXPECT_EQ(readings[7], "receive register 20 = 0 (0x0000)");
    EXPECT_EQ(readings[8], "transmit register 100 = 1500 (0x05DC)");
    EXPECT_EQ(readings[10], "transmit register 110 = not known");
    EXPECT_EQ(Shown("transmit register 110").note, "no frame that feeds it came");

    // Unticked, a chart is no longer drawn.
    window.Charts()->item(9)->setCheckState(Qt::Unchecked);
    window.BtDrawClick();
    EXPECT_EQ(window.View()->Shown().charts.size(), 9u);
}

TEST_F(PlotWindowTest, ZoomedInFurtherThanItsColumnsTheStretchIsReadAgain) {
    ChartView* view = window.View();
    const std::int64_t whole = view->Shown().time.resolution;
    view->SetView(100000, 100400);  // 400 µs across some 800 pixels
    window.Refine();
    EXPECT_EQ(view->From(), 100000);
    EXPECT_EQ(view->To(), 100400);
    EXPECT_LT(view->Shown().time.resolution, whole);
    EXPECT_EQ(view->Shown().time.from, 99800);
    EXPECT_EQ(ValueAt(Shown("receive register 1"), 100200), 1);
    // Panned out of the stretch read, the view shows the whole log again
    // until that stretch is read.
    view->PanBy(-view->Picture().areas[0].w * 2);
    EXPECT_EQ(view->Shown().time.resolution, whole);
    view->ShowAll();
    window.Refine();
    EXPECT_EQ(view->From(), 0);
    EXPECT_EQ(view->To(), 600000);
    EXPECT_EQ(view->Shown().time.resolution, whole);
}

TEST_F(PlotWindowTest, SavesWhatIsInViewAndNeverOverAnInput) {
    const fs::path svg = dir / "plot.svg", png = dir / "plot.png";
    std::string asked;
    window.askSavePath = [&](const std::string& title, const std::string&, const std::string& suggested) {
        asked = title + ": " + suggested;
        return std::optional<std::string>((title == "Save as SVG" ? svg : png).string());
    };
    window.View()->SetView(100000, 300000);
    window.BtSaveSvgClick();
    EXPECT_EQ(asked, "Save as SVG: demo-bus.svg");
    EXPECT_EQ(ReadFile(svg), FigureSvg(window.View()->Picture().figure));
    window.BtSavePngClick();
    const QImage image(QString::fromStdString(png.string()));
    EXPECT_EQ(image.width(), static_cast<int>(std::ceil(window.View()->Picture().figure.width)));

    const std::string before = ReadFile(dir / "Demo" / "RCobDef.xml");
    window.askSavePath = [&](const std::string&, const std::string&, const std::string&) {
        return std::optional<std::string>((dir / "Demo" / "rcobdef.XML").string());
    };
    window.BtSaveSvgClick();
    EXPECT_NE(window.Status()->text().indexOf("which the run reads; nothing was written"), -1)
        << window.Status()->text().toStdString();
    EXPECT_EQ(ReadFile(dir / "Demo" / "RCobDef.xml"), before);
}

// QPainter and Qt's SVG renderer draw the one figure alike: the window
// shows what the files hold (text may fall a pixel apart).
TEST_F(PlotWindowTest, ThePaintedFigureIsTheSvgsPicture) {
    const Figure& figure = window.View()->Picture().figure;
    const QImage painted = FigureImage(figure);
    QImage rendered(painted.size(), QImage::Format_RGB32);
    rendered.fill(Qt::white);
    QPainter painter(&rendered);
    QSvgRenderer(QByteArray::fromStdString(FigureSvg(figure))).render(&painter);
    painter.end();
    long differing = 0;
    for (int y = 0; y < painted.height(); ++y)
        for (int x = 0; x < painted.width(); ++x) {
            const QColor a = painted.pixelColor(x, y), b = rendered.pixelColor(x, y);
            if (std::abs(a.red() - b.red()) + std::abs(a.green() - b.green()) + std::abs(a.blue() - b.blue()) > 96)
                ++differing;
        }
    EXPECT_LT(static_cast<double>(differing) / (painted.width() * painted.height()), 0.02) << differing;
}

}  // namespace
}  // namespace vestrel::plot
