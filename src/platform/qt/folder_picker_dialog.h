#pragma once

#include <QDialog>
#include <QString>

class QDialogButtonBox;
class QLabel;
class QTreeWidget;
class QTreeWidgetItem;

namespace vestrel {

// A modal folder tree that starts at a root folder: only the root and the
// folders below it can be picked (every drive when the root is empty).
// Folders are listed when their branch is first opened, so a large tree
// costs nothing until the user walks into it.
class FolderPickerDialog : public QDialog {
    Q_OBJECT

public:
    FolderPickerDialog(const QString& title, const QString& root, const QString& preselected,
                       QWidget* parent = nullptr);

    // Opens the branches down to `folder` and selects it; false (and nothing
    // changes) when it is not an existing folder at or below the root.
    bool SelectFolder(const QString& folder);
    // The chosen folder with the platform's separators and no trailing
    // separator; empty when nothing is selected.
    QString SelectedFolder() const;

    QTreeWidget* Tree() const { return tree_; }

private:
    QTreeWidgetItem* AddFolderItem(QTreeWidgetItem* parent, const QString& path, const QString& label);
    void ListChildren(QTreeWidgetItem* item);
    void SelectionChanged();

    QString root_;
    QTreeWidget* tree_;
    QLabel* pathLabel_;
    QDialogButtonBox* buttons_;
};

}  // namespace vestrel
