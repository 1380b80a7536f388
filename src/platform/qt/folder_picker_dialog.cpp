#include "platform/qt/folder_picker_dialog.h"

#include <QDialogButtonBox>
#include <QDir>
#include <QFileIconProvider>
#include <QFileInfo>
#include <QHeaderView>
#include <QLabel>
#include <QPushButton>
#include <QTreeWidget>
#include <QVBoxLayout>

namespace vestrel {

namespace {

constexpr int kPathRole = Qt::UserRole;
constexpr int kListedRole = Qt::UserRole + 1;

#ifdef Q_OS_WIN
constexpr Qt::CaseSensitivity kPathCase = Qt::CaseInsensitive;
#else
constexpr Qt::CaseSensitivity kPathCase = Qt::CaseSensitive;
#endif

QString Clean(const QString& path) { return QDir::cleanPath(QDir::fromNativeSeparators(path)); }

// True when `path` is `ancestor` or lies below it (both cleaned).
bool IsAtOrBelow(const QString& path, const QString& ancestor) {
    if (path.compare(ancestor, kPathCase) == 0) return true;
    QString prefix = ancestor.endsWith('/') ? ancestor : ancestor + '/';
    return path.startsWith(prefix, kPathCase);
}

QString ItemPath(const QTreeWidgetItem* item) { return item->data(0, kPathRole).toString(); }

}  // namespace

FolderPickerDialog::FolderPickerDialog(const QString& title, const QString& root, const QString& preselected,
                                       QWidget* parent)
    : QDialog(parent), root_(root.isEmpty() ? QString() : Clean(root)) {
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

    if (root_.isEmpty()) {
        for (const QFileInfo& drive : QDir::drives()) {
            QString path = Clean(drive.absoluteFilePath());
            AddFolderItem(nullptr, path, QDir::toNativeSeparators(path));
        }
    } else {
        QTreeWidgetItem* top = AddFolderItem(nullptr, root_, QDir::toNativeSeparators(root_));
        top->setExpanded(true);
    }

    if (preselected.isEmpty() || !SelectFolder(preselected)) {
        // Without a folder to preselect the root is chosen, as the desktop's
        // own folder dialogs do.
        if (!root_.isEmpty()) tree_->setCurrentItem(tree_->topLevelItem(0));
    }
    SelectionChanged();
}

QTreeWidgetItem* FolderPickerDialog::AddFolderItem(QTreeWidgetItem* parent, const QString& path,
                                                   const QString& label) {
    auto* item = parent ? new QTreeWidgetItem(parent) : new QTreeWidgetItem(tree_);
    item->setText(0, label);
    item->setToolTip(0, QDir::toNativeSeparators(path));
    item->setIcon(0, QFileIconProvider().icon(QFileIconProvider::Folder));
    item->setData(0, kPathRole, path);
    item->setData(0, kListedRole, false);
    item->setChildIndicatorPolicy(QTreeWidgetItem::ShowIndicator);
    return item;
}

void FolderPickerDialog::ListChildren(QTreeWidgetItem* item) {
    if (item->data(0, kListedRole).toBool()) return;
    item->setData(0, kListedRole, true);
    QDir dir(ItemPath(item));
    const QStringList names =
        dir.entryList(QDir::Dirs | QDir::NoDotAndDotDot, QDir::Name | QDir::IgnoreCase | QDir::LocaleAware);
    for (const QString& name : names) AddFolderItem(item, Clean(dir.filePath(name)), name);
    if (names.isEmpty()) item->setChildIndicatorPolicy(QTreeWidgetItem::DontShowIndicator);
}

bool FolderPickerDialog::SelectFolder(const QString& folder) {
    QString target = Clean(QFileInfo(folder).absoluteFilePath());
    if (!QFileInfo(target).isDir()) return false;
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
    while (ItemPath(item).compare(target, kPathCase) != 0) {
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

QString FolderPickerDialog::SelectedFolder() const {
    const QList<QTreeWidgetItem*> selected = tree_->selectedItems();
    if (selected.isEmpty()) return {};
    return QDir::toNativeSeparators(ItemPath(selected.front()));
}

void FolderPickerDialog::SelectionChanged() {
    QString folder = SelectedFolder();
    pathLabel_->setText(folder);
    buttons_->button(QDialogButtonBox::Ok)->setEnabled(!folder.isEmpty());
}

}  // namespace vestrel
