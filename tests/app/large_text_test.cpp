// Every window shows every caption whole at large text sizes: each visible
// label and button is at least as large as it asks to be.
#include "app/about_box.h"
#include "app/main_window.h"
#include "app/new_project_dialog.h"
#include "editors/comm_settings_dialog.h"
#include "editors/frame_mapping_editor.h"
#include "editors/frame_table_editor.h"
#include "firmware/firmware_update_dialog.h"
#include "live/ui/bench_window.h"
#include "platform/qt/folder_picker_dialog.h"
#include "support/fake_dialogs.h"
#include "support/temp_dir.h"

#include <QAbstractButton>
#include <QApplication>
#include <QLabel>

#include <gtest/gtest.h>

namespace vestrel {
namespace {

namespace fs = std::filesystem;
using test::FakeDialogs;
using test::FakeLauncher;
using test::TempDir;

// The labels and buttons of `window` that are smaller than their size hint,
// each named with its text and both sizes.
std::vector<std::string> CutCaptions(QWidget* window) {
    std::vector<std::string> cut;
    for (QWidget* widget : window->findChildren<QWidget*>()) {
        if (!widget->isVisible()) continue;
        QString text;
        QSize need;
        if (auto* label = qobject_cast<QLabel*>(widget)) {
            text = label->text();
            need = label->sizeHint();
            // A wrapping label needs its height at the width it has.
            if (label->wordWrap()) need = QSize(label->minimumSizeHint().width(), label->heightForWidth(label->width()));
        } else if (auto* button = qobject_cast<QAbstractButton*>(widget)) {
            text = button->text();
            need = button->sizeHint();
        } else {
            continue;
        }
        if (text.isEmpty()) continue;  // a picture
        const QSize has = widget->size();
        if (has.width() < need.width() || has.height() < need.height()) {
            cut.push_back(window->objectName().toStdString() + " \"" + text.toStdString() + "\" " +
                          std::to_string(has.width()) + "x" + std::to_string(has.height()) + " < " +
                          std::to_string(need.width()) + "x" + std::to_string(need.height()));
        }
    }
    return cut;
}

class LargeText : public ::testing::TestWithParam<double> {
protected:
    void SetUp() override {
        QApplication::setQuitOnLastWindowClosed(false);
        cwd_ = fs::current_path();
        font_ = QApplication::font();
        QFont large = font_;
        large.setPointSizeF(font_.pointSizeF() * GetParam());
        QApplication::setFont(large);
        fs::create_directories(app / "PROJECTS" / "Plant1");
    }
    void TearDown() override {
        QApplication::setFont(font_);
        fs::current_path(cwd_);
    }

    TempDir app;
    FakeDialogs dialogs;
    FakeLauncher launcher;

private:
    QFont font_;
    fs::path cwd_;
};

TEST_P(LargeText, EveryWindowShowsEveryCaptionWhole) {
    TFVestreleFirmWare window(dialogs, launcher, app.path().string(), Failure{"no per-user folder"});
    window.GetWorkspace().SetProject("/Plant1");
    window.show();
    QApplication::processEvents();
    std::vector<std::string> cut = CutCaptions(&window);

    QWidget* windows[] = {window.NewProjectDialog(),     window.AboutBox(),
                          window.CommunicationDialog(),  window.ReceiveFramesEditor(),
                          window.TransmitFramesEditor(), window.MappingEditor(),
                          window.FirmwareDialog(),       window.BenchWindow()};
    for (QWidget* dialog : windows) {
        dialog->show();
        QApplication::processEvents();
        for (const std::string& c : CutCaptions(dialog)) cut.push_back(c);
        dialog->hide();
    }
    FolderPickerDialog picker("Select directory of project", (app / "PROJECTS").string(), "");
    picker.show();
    QApplication::processEvents();
    for (const std::string& c : CutCaptions(&picker)) cut.push_back(c);

    EXPECT_TRUE(cut.empty()) << [&] {
        std::string all;
        for (const std::string& c : cut) all += c + "\n";
        return all;
    }();
}

// The usual text size, 150 % and 200 % of it.
INSTANTIATE_TEST_SUITE_P(TextSizes, LargeText, ::testing::Values(1.0, 1.5, 2.0),
                         [](const auto& test) { return std::to_string(static_cast<int>(test.param * 100)) + "Percent"; });

}  // namespace
}  // namespace vestrel
