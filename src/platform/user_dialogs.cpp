#include "platform/user_dialogs.h"

#include "platform/file_util.h"

namespace vestrel {

bool FolderChooser(UserDialogs& dialogs, const std::string& title, const std::string& root, std::string& folder) {
    if (!DirectoryExists(folder)) folder.clear();
    // A root that is gone has nothing to choose from; say so rather than
    // show an empty tree.
    if (!root.empty() && !DirectoryExists(root)) {
        dialogs.ShowError("The folder \"" + root + "\" does not exist, so no folder can be chosen in it.");
        return false;
    }
    std::optional<std::string> chosen = dialogs.PickFolder(title, root, folder);
    if (!chosen) return false;
    std::string path = *chosen;
    while (path.size() > 1 && path.back() == kPathSeparator) path.pop_back();
    folder = path;
    return true;
}

}  // namespace vestrel
