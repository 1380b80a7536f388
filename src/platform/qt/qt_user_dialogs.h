#pragma once

#include "platform/user_dialogs.h"

class QWidget;

namespace vestrel {

// Message boxes, file dialogs and the folder picker on Qt Widgets. Each box
// is modal over the window that is active when it opens.
class QtUserDialogs : public UserDialogs {
public:
    void ShowMessage(const std::string& text) override;
    void ShowError(const std::string& text) override;
    Answer Confirm(const std::string& text, bool withCancel) override;
    Answer ConfirmDefaultNo(const std::string& text) override;
    bool ShowReport(const std::string& heading, const std::string& text, bool offerContinue) override;
    std::optional<std::string> OpenFile(const std::string& title, const std::vector<std::string>& filters,
                                        const std::string& initialDir) override;
    std::optional<std::string> PickFolder(const std::string& title, const std::string& root,
                                          const std::string& preselected) override;
};

// Starts programs through QProcess and web pages through the desktop.
class QtProcessLauncher : public ProcessLauncher {
public:
    bool StartDetached(const std::string& program, const std::vector<std::string>& arguments,
                       const std::string& workingDir) override;
    void OpenUrl(const std::string& url) override;
};

// The window a box should stand over: the open modal dialog, else the active
// window.
QWidget* DialogOwner();

}  // namespace vestrel
