#pragma once

#include <QDialog>
#include <QString>

#include <string>

class QDialogButtonBox;
class QLabel;
class QPushButton;
class QTreeWidget;
class QTreeWidgetItem;

namespace vestrel {

// A modal folder tree that starts at a root folder: only the root and the
// folders below it can be picked (every drive when the root is empty).
// Folders are listed when their branch is first opened, so a large tree
// costs nothing until the user walks into it. Paths are the file system's
// own bytes, so that a folder whose name is not valid UTF-8 is listed (its
// label shows what can be shown) and comes back exactly.
class FolderPickerDialog : public QDialog {
    Q_OBJECT

public:
    // Nothing is selected, and OK waits for a choice, unless `preselected`
    // is an existing folder at or below the root.
    FolderPickerDialog(const QString& title, const std::string& root, const std::string& preselected,
                       QWidget* parent = nullptr);

    // Opens the branches down to `folder` and selects it; false (and nothing
    // changes) when it is not an existing folder at or below the root.
    bool SelectFolder(const std::string& folder);
    // The chosen folder with the platform's separators and no trailing
    // separator; empty when nothing is selected.
    std::string SelectedFolder() const;

    QTreeWidget* Tree() const { return tree_; }
    // The OK button, enabled while a folder is selected.
    QPushButton* OkButton() const;

private:
    QTreeWidgetItem* AddFolderItem(QTreeWidgetItem* parent, const std::string& path, const QString& label);
    void ListChildren(QTreeWidgetItem* item);
    void SelectionChanged();

    std::string root_;
    QTreeWidget* tree_;
    QLabel* pathLabel_;
    QDialogButtonBox* buttons_;
};

}  // namespace vestrel
