#include "platform/qt/folder_picker_dialog.h"

#include "platform/qt/qt_paths.h"

#include <QDialogButtonBox>
#include <QDir>
#include <QFileIconProvider>
#include <QFileInfo>
#include <QHeaderView>
#include <QLabel>
#include <QPushButton>
#include <QTreeWidget>
#include <QVBoxLayout>

#include <algorithm>
#include <filesystem>
#include <system_error>
#include <vector>

namespace vestrel {

namespace {

namespace fs = std::filesystem;

constexpr int kPathRole = Qt::UserRole;
constexpr int kListedRole = Qt::UserRole + 1;

// An absolute, lexically clean path without a trailing separator (but the
// root itself).
std::string Clean(const std::string& path) {
    std::error_code ec;
    fs::path clean = fs::absolute(fs::path(path), ec).lexically_normal();
    std::string text = clean.string();
    while (text.size() > 1 && text.back() == static_cast<char>(fs::path::preferred_separator) &&
           clean.root_path().string() != text)
        text.pop_back();
    return text;
}

bool SameName(const std::string& a, const std::string& b) {
#ifdef _WIN32
    return QString::fromStdString(a).compare(QString::fromStdString(b), Qt::CaseInsensitive) == 0;
#else
    return a == b;
#endif
}

// True when `path` is `ancestor` or lies below it (both cleaned).
bool IsAtOrBelow(const std::string& path, const std::string& ancestor) {
    const fs::path p(path), a(ancestor);
    auto pi = p.begin();
    for (auto ai = a.begin(); ai != a.end(); ++ai, ++pi) {
        if (ai->empty()) continue;  // the empty last element of a root like "/"
        if (pi == p.end() || !SameName(pi->string(), ai->string())) return false;
    }
    return true;
}

std::string ItemPath(const QTreeWidgetItem* item) { return item->data(0, kPathRole).toByteArray().toStdString(); }

}  // namespace

FolderPickerDialog::FolderPickerDialog(const QString& title, const std::string& root, const std::string& preselected,
                                       QWidget* parent)
    : QDialog(parent), root_(root.empty() ? std::string() : Clean(root)) {
    setWindowTitle(title);
    setObjectName("FolderPickerDialog");
    resize(420, 460);

    auto* layout = new QVBoxLayout(this);
    auto* caption = new QLabel(title, this);
    caption->setWordWrap(true);
    layout->addWidget(caption);

    tree_ = new QTreeWidget(this);
    tree_->setObjectName("TvFolders");
    tree_->setHeaderHidden(true);
    tree_->setColumnCount(1);
    tree_->setSelectionMode(QAbstractItemView::SingleSelection);
    tree_->header()->setStretchLastSection(true);
    layout->addWidget(tree_, 1);

    pathLabel_ = new QLabel(this);
    pathLabel_->setObjectName("LbPath");
    pathLabel_->setTextInteractionFlags(Qt::TextSelectableByMouse);
    pathLabel_->setWordWrap(true);
    layout->addWidget(pathLabel_);

    buttons_ = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
    layout->addWidget(buttons_);
    connect(buttons_, &QDialogButtonBox::accepted, this, &QDialog::accept);
    connect(buttons_, &QDialogButtonBox::rejected, this, &QDialog::reject);

    connect(tree_, &QTreeWidget::itemExpanded, this, [this](QTreeWidgetItem* item) { ListChildren(item); });
    connect(tree_, &QTreeWidget::itemSelectionChanged, this, [this] { SelectionChanged(); });

    if (root_.empty()) {
        for (const QFileInfo& drive : QDir::drives()) {
            const std::string path = Clean(FromQPath(drive.absoluteFilePath()));
            AddFolderItem(nullptr, path, ToQDisplayPath(path));
        }
    } else {
        QTreeWidgetItem* top = AddFolderItem(nullptr, root_, ToQDisplayPath(root_));
        top->setExpanded(true);
    }

    // Without a folder to preselect nothing is chosen: OK waits until the
    // user picks one.
    if (!preselected.empty()) SelectFolder(preselected);
    SelectionChanged();
}

QPushButton* FolderPickerDialog::OkButton() const { return buttons_->button(QDialogButtonBox::Ok); }

QTreeWidgetItem* FolderPickerDialog::AddFolderItem(QTreeWidgetItem* parent, const std::string& path,
                                                   const QString& label) {
    auto* item = parent ? new QTreeWidgetItem(parent) : new QTreeWidgetItem(tree_);
    item->setText(0, label);
    item->setToolTip(0, ToQDisplayPath(path));
    item->setIcon(0, QFileIconProvider().icon(QFileIconProvider::Folder));
    item->setData(0, kPathRole, QByteArray::fromStdString(path));
    item->setData(0, kListedRole, false);
    item->setChildIndicatorPolicy(QTreeWidgetItem::ShowIndicator);
    return item;
}

void FolderPickerDialog::ListChildren(QTreeWidgetItem* item) {
    if (item->data(0, kListedRole).toBool()) return;
    item->setData(0, kListedRole, true);
    // Listed from the file system's bytes: a name that is not valid UTF-8
    // still leads to its folder.
    struct Child {
        std::string path;
        QString label;
    };
    std::vector<Child> children;
    std::error_code ec;
    for (fs::directory_iterator it(ItemPath(item), fs::directory_options::skip_permission_denied, ec), end;
         !ec && it != end; it.increment(ec)) {
        const std::string name = it->path().filename().string();
        std::error_code dirError;
        if (name.empty() || name.front() == '.' || !it->is_directory(dirError)) continue;
        children.push_back({it->path().string(), ToQDisplayPath(name)});
    }
    std::sort(children.begin(), children.end(), [](const Child& a, const Child& b) {
        const int order = QString::localeAwareCompare(a.label.toCaseFolded(), b.label.toCaseFolded());
        return order != 0 ? order < 0 : a.path < b.path;
    });
    for (const Child& child : children) AddFolderItem(item, child.path, child.label);
    if (children.empty()) item->setChildIndicatorPolicy(QTreeWidgetItem::DontShowIndicator);
}

bool FolderPickerDialog::SelectFolder(const std::string& folder) {
    const std::string target = Clean(folder);
    std::error_code ec;
    if (!fs::is_directory(target, ec)) return false;
    QTreeWidgetItem* item = nullptr;
    for (int i = 0; i < tree_->topLevelItemCount(); ++i) {
        QTreeWidgetItem* top = tree_->topLevelItem(i);
        if (IsAtOrBelow(target, ItemPath(top))) {
            item = top;
            break;
        }
    }
    if (!item) return false;
    // Walk down one folder at a time, listing each branch on the way.
    while (!SameName(ItemPath(item), target)) {
        ListChildren(item);
        QTreeWidgetItem* next = nullptr;
        for (int i = 0; i < item->childCount(); ++i) {
            if (IsAtOrBelow(target, ItemPath(item->child(i)))) {
                next = item->child(i);
                break;
            }
        }
        if (!next) return false;
        item->setExpanded(true);
        item = next;
    }
    tree_->setCurrentItem(item);
    tree_->scrollToItem(item);
    return true;
}

std::string FolderPickerDialog::SelectedFolder() const {
    const QList<QTreeWidgetItem*> selected = tree_->selectedItems();
    if (selected.isEmpty()) return {};
    return ItemPath(selected.front());
}

void FolderPickerDialog::SelectionChanged() {
    const std::string folder = SelectedFolder();
    pathLabel_->setText(ToQDisplayPath(folder));
    OkButton()->setEnabled(!folder.empty());
}

}  // namespace vestrel
