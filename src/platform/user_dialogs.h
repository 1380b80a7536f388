#pragma once

#include <optional>
#include <string>
#include <vector>

namespace vestrel {

// The answers of a confirmation box.
enum class Answer { Yes, No, Cancel };

// Message boxes, file dialogs and the folder picker, as the windows reach
// them. The application implements this on Qt; tests answer each call
// without a modal loop.
class UserDialogs {
public:
    virtual ~UserDialogs() = default;

    // A plain notice with one "OK" button.
    virtual void ShowMessage(const std::string& text) = 0;
    // An error box: error symbol, one "OK" button.
    virtual void ShowError(const std::string& text) = 0;
    // A question with "Yes" and "No", and "Cancel" when `withCancel`.
    virtual Answer Confirm(const std::string& text, bool withCancel) = 0;
    // A question asked before something the user has would be lost or
    // replaced: "Yes" and "No", with "No" the default button, so that Return
    // or Escape keeps things as they are.
    virtual Answer ConfirmDefaultNo(const std::string& text) = 0;
    // A list too long for a message box, in a scrollable box under a
    // heading. With `offerContinue` the buttons are "Continue" and "Cancel"
    // and the result tells whether the user chose to continue; otherwise one
    // "OK" button and the result is false.
    virtual bool ShowReport(const std::string& heading, const std::string& text, bool offerContinue) = 0;
    // A file-open dialog. `filters` are Qt-style entries such as
    // "CSV File (*.csv)"; nullopt when the user cancels.
    virtual std::optional<std::string> OpenFile(const std::string& title, const std::vector<std::string>& filters,
                                                const std::string& initialDir) = 0;
    // A modal folder tree showing `root` and what is below it (the whole file
    // system when `root` is empty), with `preselected` chosen when not empty.
    // Returns the chosen folder's full path, nullopt on Cancel.
    virtual std::optional<std::string> PickFolder(const std::string& title, const std::string& root,
                                                  const std::string& preselected) = 0;
};

// Starting other programs and asking the desktop to open a web page.
class ProcessLauncher {
public:
    virtual ~ProcessLauncher() = default;
    // Starts `program` with `arguments` in `workingDir` without waiting for
    // it; false when it could not be started.
    virtual bool StartDetached(const std::string& program, const std::vector<std::string>& arguments,
                               const std::string& workingDir) = 0;
    // Asks the desktop to open a web address; the outcome is not used.
    virtual void OpenUrl(const std::string& url) = 0;
};

// The folder chooser's rules around the platform picker: a folder variable
// that names no existing folder is emptied before the picker opens; on
// confirmation it receives the chosen folder without a trailing separator and
// the result is true; on Cancel it keeps what it held after that first step.
// A root folder that does not exist is reported and no picker opens.
bool FolderChooser(UserDialogs& dialogs, const std::string& title, const std::string& root, std::string& folder);

}  // namespace vestrel
