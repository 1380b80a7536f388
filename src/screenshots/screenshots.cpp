// Draws the README pictures of the main window, the "Generate Firmware"
// dialog, the editors, the plot of a bus log and the bench window on the
// offscreen platform:
//   vestrel-screenshots WORKSPACE_DIR OUT_DIR [BUS_LOG]
// With BUS_LOG (a candump log) the "Plot" window draws its registers, and the
// bench window is drawn against a simulated gateway that hears those frames;
// that needs socat.
// WORKSPACE_DIR is a scratch copy of a workspace (MASTER, PROJECTS, the INI
// file); its open project is compiled and merged for the dialog's picture.
// No box is shown and no program is started.
#include "screenshots/bench_pictures.h"
#include "app/main_window.h"
#include "compiler/bank_files.h"
#include "editors/comm_settings_dialog.h"
#include "editors/frame_mapping_editor.h"
#include "editors/frame_table_editor.h"
#include "firmware/firmware_update_dialog.h"
#include "platform/user_dialogs.h"
#include "plot/ui/chart_view.h"
#include "plot/ui/plot_window.h"

#include <QApplication>
#include <QComboBox>
#include <QDir>
#include <QFile>
#include <QImage>
#include <QListWidget>
#include <QPainter>
#include <QPushButton>

#include <cstdio>
#include <cstdlib>
#include <exception>

namespace {

using namespace vestrel;

// Prints what a box would have shown, so that a broken picture has a reason.
class ConsoleDialogs : public UserDialogs {
public:
    void ShowMessage(const std::string& text) override { std::fprintf(stderr, "message: %s\n", text.c_str()); }
    void ShowError(const std::string& text) override { std::fprintf(stderr, "error: %s\n", text.c_str()); }
    Answer Confirm(const std::string&, bool) override { return Answer::No; }
    Answer ConfirmDefaultNo(const std::string&) override { return Answer::No; }
    bool ShowReport(const std::string& heading, const std::string& text, bool offerContinue) override {
        std::fprintf(stderr, "report: %s\n%s\n", heading.c_str(), text.c_str());
        return offerContinue;
    }
    std::optional<std::string> OpenFile(const std::string&, const std::vector<std::string>&,
                                        const std::string&) override {
        return std::nullopt;
    }
    std::optional<std::string> PickFolder(const std::string&, const std::string&, const std::string&) override {
        return std::nullopt;
    }
};

class NoLauncher : public ProcessLauncher {
public:
    bool StartDetached(const std::string&, const std::vector<std::string>&, const std::string&) override {
        return true;
    }
    void OpenUrl(const std::string&) override {}
};

// The window's picture under a plain caption bar with its title, since the
// offscreen platform draws no window frame.
QImage Framed(QWidget* window) {
    QImage content = window->grab().toImage();
    const int caption = 26;
    const int border = 1;
    QImage image(content.width() + 2 * border, content.height() + caption + border, QImage::Format_RGB32);
    image.fill(QColor(0x2b, 0x3a, 0x4a));
    QPainter p(&image);
    p.setRenderHint(QPainter::TextAntialiasing);
    QFont font = window->font();
    font.setBold(true);
    p.setFont(font);
    p.setPen(Qt::white);
    p.drawText(QRect(10, 0, image.width() - 20, caption), Qt::AlignVCenter | Qt::AlignLeft, window->windowTitle());
    p.drawImage(border, caption, content);
    return image;
}

bool Save(QWidget* window, const QString& path) {
    QApplication::processEvents();
    if (!Framed(window).save(path)) {
        std::fprintf(stderr, "vestrel-screenshots: cannot write %s\n", qPrintable(path));
        return false;
    }
    std::printf("%s\n", qPrintable(path));
    return true;
}

// The demo log's first registers in the "Plot" window, the cursor where
// the drive's status has changed; the log from within the scratch workspace,
// as a user would keep it.
bool DrawPlotPicture(const std::string& workspaceDir, const std::string& projectDir, const QString& busLog,
                     const QString& outDir) {
    const QString log = QString::fromStdString(workspaceDir) + "/demo-bus.log";
    QFile::copy(busLog, log);
    plot::TFPlot plot;
    WorkspacePaths paths;
    paths.projectDir = projectDir;
    plot.SetPaths(paths);
    plot.SetLogPath(log.toStdString());
    plot.show();
    plot.resize(1180, 900);  // the offscreen screen is smaller than the window's own size
    QApplication::processEvents();
    for (int row = 6; row < plot.Charts()->count(); ++row) plot.Charts()->item(row)->setCheckState(Qt::Unchecked);
    plot.BtDrawClick();
    plot.View()->SetCursor(250000);
    return Save(&plot, outDir + "/plot.png");
}

}  // namespace

int main(int argc, char** argv) {
    if (!std::getenv("QT_QPA_PLATFORM")) setenv("QT_QPA_PLATFORM", "offscreen", 1);
    QApplication app(argc, argv);
    QApplication::setApplicationName(kProduct.applicationName);
    if (argc != 3 && argc != 4) {
        std::fprintf(stderr, "usage: vestrel-screenshots WORKSPACE_DIR OUT_DIR [BUS_LOG]\n");
        return 2;
    }
    // Absolute paths: the firmware dialog moves the current folder to MASTER.
    const std::string workspaceDir = QDir(QString::fromLocal8Bit(argv[1])).absolutePath().toStdString();
    const QString outDir = QDir(QString::fromLocal8Bit(argv[2])).absolutePath();
    const QString busLog = argc == 4 ? QDir(QString::fromLocal8Bit(argv[3])).absolutePath() : QString();
    QDir().mkpath(outDir);

    ConsoleDialogs dialogs;
    NoLauncher launcher;
    TFVestreleFirmWare window(dialogs, launcher, workspaceDir, Failure{"the pictures use their scratch workspace alone"});
    window.show();
    if (!Save(&window, outDir + "/main-window.png")) return 1;

    try {
        BankCompiler compiler;
        CompileProject(compiler, window.GetWorkspace().ProjectDir());
    } catch (const std::exception& e) {
        std::fprintf(stderr, "vestrel-screenshots: %s\n", e.what());
        return 1;
    }
    // Each window is handed the open project's folders, as the main window
    // does right before it shows one.
    const WorkspacePaths paths = window.GetWorkspace().Paths();
    TFModifyFileSx* firmware = window.FirmwareDialog();
    firmware->SetPaths(paths);
    firmware->show();
    firmware->Port()->setCurrentIndex(2);
    firmware->ExecuteButton()->click();
    if (!Save(firmware, outDir + "/generate-firmware.png")) return 1;
    firmware->hide();

    // The editors of steps 2 to 4 on the demo project, as each showing loads it.
    struct Editor {
        QDialog* dialog;
        int mode;
        const char* file;
    };
    const Editor editors[] = {
        {window.CommunicationDialog(), 0, "/set-communication.png"},
        {window.ReceiveFramesEditor(), 1, "/receive-frames.png"},
        {window.MappingEditor(), 1, "/receive-mapping.png"},
    };
    for (const Editor& editor : editors) {
        if (auto* settings = qobject_cast<TFpargen*>(editor.dialog)) settings->SetPaths(paths);
        if (auto* table = qobject_cast<TFrameTableEditor*>(editor.dialog)) {
            table->SetEditorMode(editor.mode);
            table->SetPaths(paths);
        }
        if (auto* mapping = qobject_cast<TFInfopdoMB*>(editor.dialog)) {
            mapping->SetEditorMode(editor.mode);
            mapping->SetPaths(paths);
        }
        editor.dialog->show();
        if (auto* mapping = qobject_cast<TFInfopdoMB*>(editor.dialog); mapping && mapping->LB_Cob->count() > 0) {
            // A frame and its first register chosen, as an engineer would look at them.
            mapping->LB_Cob->setCurrentRow(0);
            mapping->LB_CobClick();
            if (mapping->LB_IndMB->count() > 0) {
                mapping->LB_IndMB->setCurrentRow(0);
                mapping->LB_IndMBClick();
            }
        }
        if (!Save(editor.dialog, outDir + editor.file)) return 1;
        editor.dialog->hide();
    }
    if (argc == 4 && (!DrawPlotPicture(workspaceDir, window.GetWorkspace().ProjectDir(), busLog, outDir) ||
                      !DrawBenchPictures(window, busLog, outDir,
                                         [](QWidget* w, const QString& path) { return Save(w, path); })))
        return 1;
    return 0;
}
