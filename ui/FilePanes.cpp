// SPDX-License-Identifier: GPL-3.0-or-later
#include "ui/FilePanes.h"

#include <QDir>
#include <QFileInfo>
#include <QPainter>
#include <QScrollBar>
#include <QSet>
#include <QStorageInfo>
#include <QStyledItemDelegate>
#include <algorithm>

#include "ui/Icons.h"

namespace oru::ui {

namespace {

bool isUserMount(const QString& root) {
    return root.startsWith(u"/media/") || root.startsWith(u"/mnt/") ||
           root.startsWith(u"/run/media/");
}

bool localeLess(const QString& a, const QString& b) { return QString::localeAwareCompare(a, b) < 0; }

constexpr int kPathRole = Qt::UserRole;       // a directory item's full path
constexpr int kLevelRole = Qt::UserRole + 1;  // its depth below "/"
constexpr int kIndent = 12;

// Indents each directory item by its depth, icon and text together.
class IndentDelegate : public QStyledItemDelegate {
public:
    using QStyledItemDelegate::QStyledItemDelegate;
    void paint(QPainter* painter, const QStyleOptionViewItem& option, const QModelIndex& index) const override {
        QStyleOptionViewItem shifted = option;
        shifted.rect.setLeft(option.rect.left() + index.data(kLevelRole).toInt() * kIndent);
        QStyledItemDelegate::paint(painter, shifted, index);
    }
    QSize sizeHint(const QStyleOptionViewItem& option, const QModelIndex& index) const override {
        return QStyledItemDelegate::sizeHint(option, index) + QSize(index.data(kLevelRole).toInt() * kIndent, 0);
    }
};

}  // namespace

// ---- TDriveComboBox

TDriveComboBox::TDriveComboBox(QWidget* parent) : QComboBox(parent) {
    QStringList roots{QStringLiteral("/")};
    const QString home = QDir::homePath();
    if (home != u"/") roots << home;
    QStringList media;
    for (const QStorageInfo& volume : QStorageInfo::mountedVolumes())
        if (volume.isValid() && volume.isReady() && isUserMount(volume.rootPath()))
            media << volume.rootPath();
    std::sort(media.begin(), media.end(), localeLess);
    for (const QString& m : media)
        if (!roots.contains(m)) roots << m;
    for (const QString& r : roots) addItem(icons::folder(), r, r);
    connect(this, &QComboBox::activated, this,
            [this](int index) { Q_EMIT driveChosen(itemData(index).toString()); });
}

void TDriveComboBox::followDirectory(const QString& path) {
    int best = 0;
    qsizetype bestLength = 0;
    for (int i = 0; i < count(); ++i) {
        const QString root = itemData(i).toString();
        const bool holds = path == root || root == u"/" || path.startsWith(root + u'/');
        if (holds && root.size() > bestLength) {
            best = i;
            bestLength = root.size();
        }
    }
    const QSignalBlocker block(this);
    setCurrentIndex(best);
}

// ---- TDirectoryListBox

TDirectoryListBox::TDirectoryListBox(QWidget* parent) : QListWidget(parent) {
    setSelectionMode(QAbstractItemView::SingleSelection);
    setEditTriggers(QAbstractItemView::NoEditTriggers);
    setItemDelegate(new IndentDelegate(this));
    connect(this, &QListWidget::itemActivated, this,
            [this](QListWidgetItem* item) { setDirectory(item->data(kPathRole).toString()); });
}

void TDirectoryListBox::setDirectory(const QString& path) {
    const QString clean = QDir::cleanPath(QDir::current().absoluteFilePath(path));
    if (!QFileInfo(clean).isDir()) return;
    directory_ = clean;
    QDir::setCurrent(directory_);
    fill();
    Q_EMIT directoryChanged(directory_);
}

void TDirectoryListBox::Reread() {
    // A directory removed meanwhile: the nearest one above it that still exists.
    QString existing = directory_;
    while (!existing.isEmpty() && !QFileInfo(existing).isDir()) {
        const QString up = QFileInfo(existing).absolutePath();
        if (up == existing) break;
        existing = up;
    }
    if (existing != directory_) return setDirectory(existing);
    const int scroll = verticalScrollBar()->value();
    fill();
    verticalScrollBar()->setValue(scroll);
    Q_EMIT directoryChanged(directory_);
}

void TDirectoryListBox::fill() {
    clear();
    // The path from the root down, each level indented one step further.
    QStringList parts = directory_.split(u'/', Qt::SkipEmptyParts);
    QString path = QStringLiteral("/");
    auto addLevel = [this](const QString& text, const QString& full, int level, const QIcon& icon) {
        auto* item = new QListWidgetItem(icon, text, this);
        item->setData(kPathRole, full);
        item->setData(kLevelRole, level);
        return item;
    };
    QListWidgetItem* current = addLevel(QStringLiteral("/"), path, 0, icons::folderOpen());
    int level = 1;
    for (const QString& part : parts) {
        path = path == u"/" ? path + part : path + u'/' + part;
        current = addLevel(part, path, level++, icons::folderOpen());
    }
    QStringList subdirs = QDir(directory_).entryList(QDir::Dirs | QDir::NoDotAndDotDot);
    std::sort(subdirs.begin(), subdirs.end(), localeLess);
    for (const QString& name : subdirs)
        addLevel(name, QDir(directory_).filePath(name), level, icons::folder());
    setCurrentItem(current);
}

// ---- TFileListBox

TFileListBox::TFileListBox(QWidget* parent) : QListWidget(parent) {
    setSelectionMode(QAbstractItemView::ExtendedSelection);
    setEditTriggers(QAbstractItemView::NoEditTriggers);
    setUniformItemSizes(true);
}

void TFileListBox::setDirectory(const QString& path) {
    if (path == directory_) return;
    directory_ = path;
    Reread();
}

void TFileListBox::Reread() {
    // The items selected and the current one stay so where their names remain.
    QSet<QString> selected;
    for (const QListWidgetItem* item : selectedItems()) selected.insert(itemName(item));
    const QString current = currentItem() ? itemName(currentItem()) : QString();
    const int scroll = verticalScrollBar()->value();
    clear();
    struct Entry {
        QString text, name;
        bool isDirectory;
    };
    std::vector<Entry> entries;
    const QFileInfoList infos =
        QDir(directory_).entryInfoList(QDir::Dirs | QDir::Files | QDir::NoDotAndDotDot);
    for (const QFileInfo& info : infos) {
        const QString name = info.fileName();
        entries.push_back({info.isDir() ? u'[' + name + u']' : name, name, info.isDir()});
    }
    std::sort(entries.begin(), entries.end(),
              [](const Entry& a, const Entry& b) { return localeLess(a.text, b.text); });
    for (const Entry& e : entries) {
        const QString suffix = QFileInfo(e.name).suffix().toLower();
        const bool program = suffix == u"exe" || suffix == u"com" || suffix == u"bat" || suffix == u"pif";
        const QIcon icon = e.isDirectory ? icons::folder() : program ? icons::program() : icons::file();
        auto* item = new QListWidgetItem(icon, e.text, this);
        item->setData(NameRole, e.name);
        item->setData(IsDirectoryRole, e.isDirectory);
        if (e.name == current) setCurrentItem(item, QItemSelectionModel::NoUpdate);
        if (selected.contains(e.name)) item->setSelected(true);
    }
    verticalScrollBar()->setValue(scroll);
}

QString TFileListBox::itemName(const QListWidgetItem* item) {
    return item->data(NameRole).toString();
}

}  // namespace oru::ui
