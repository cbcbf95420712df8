// SPDX-License-Identifier: GPL-3.0-or-later
#include "ui/SelectDirDlg.h"

#include <QDialogButtonBox>
#include <QDir>
#include <QFileInfo>
#include <QFile>
#include <QFileSystemModel>
#include <QHBoxLayout>
#include <QStandardPaths>
#include <QStorageInfo>
#include <QUrl>
#include <QVBoxLayout>
#include <QGridLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QTreeView>

#include "ui/Dialogs.h"
#include "ui/FilePanes.h"
#include "ui/Icons.h"

namespace oru::ui {

QString gtkBookmarksFile() {
    return QDir::home().filePath(QStringLiteral(".config/gtk-3.0/bookmarks"));
}

QList<Place> folderPlaces(const QString& bookmarksFile) {
    QList<Place> places;
    QStringList seen;
    const auto add = [&](const QString& label, const QString& path) {
        const QString clean = QDir::cleanPath(path);
        if (path.isEmpty() || seen.contains(clean) || !QFileInfo(clean).isDir()) return;
        seen << clean;
        places.push_back({label.isEmpty() ? QFileInfo(clean).fileName() : label, clean});
    };
    add(TSelectDirDlg::tr("Home"), QDir::homePath());
    for (const auto location : {QStandardPaths::DesktopLocation, QStandardPaths::DocumentsLocation,
                                QStandardPaths::DownloadLocation}) {
        const QString path = QStandardPaths::writableLocation(location);
        if (path != QDir::homePath()) add(QStandardPaths::displayName(location), path);
    }
    for (const QStorageInfo& volume : QStorageInfo::mountedVolumes()) {
        const QString root = volume.rootPath();
        const bool media = root == u"/" || root.startsWith(u"/media/") || root.startsWith(u"/run/media/") ||
                           root.startsWith(u"/mnt/");
        if (volume.isValid() && volume.isReady() && media)
            add(root == u"/" ? root : volume.displayName(), root);
    }
    QFile bookmarks(bookmarksFile);
    if (bookmarks.open(QIODevice::ReadOnly | QIODevice::Text)) {
        while (!bookmarks.atEnd()) {
            const QString line = QString::fromUtf8(bookmarks.readLine()).trimmed();
            const qsizetype space = line.indexOf(u' ');
            const QUrl url(space < 0 ? line : line.left(space));
            if (url.isLocalFile()) add(space < 0 ? QString() : line.mid(space + 1).trimmed(), url.toLocalFile());
        }
    }
    return places;
}

TSelectDirDlg::TSelectDirDlg(QWidget* parent, const QString& startDirectory) : QDialog(parent) {
    setWindowTitle(tr("Select Directory"));
    resize(620, 360);

    name_ = new QLineEdit(this);
    tree_ = new QTreeView(this);
    treeModel_ = new QFileSystemModel(this);
    treeModel_->setFilter(QDir::Dirs | QDir::NoDotAndDotDot);
    treeModel_->setRootPath(QStringLiteral("/"));
    tree_->setModel(treeModel_);
    for (int c = 1; c < treeModel_->columnCount(); ++c) tree_->hideColumn(c);
    tree_->header()->hide();
    files_ = new QListWidget(this);
    files_->setSelectionMode(QAbstractItemView::NoSelection);
    drives_ = new TDriveComboBox(this);
    places_ = new QListWidget(this);
    places_->setObjectName(QStringLiteral("Places1"));
    for (const Place& place : folderPlaces(gtkBookmarksFile())) {
        auto* item = new QListWidgetItem(icons::folder(), place.label, places_);
        item->setData(Qt::UserRole, place.path);
        item->setToolTip(place.path);
    }
    places_->setMaximumWidth(160);

    auto label = [this](const QString& text, QWidget* buddy) {
        auto* l = new QLabel(text, this);
        l->setBuddy(buddy);
        return l;
    };
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
    buttons->button(QDialogButtonBox::Ok)->setText(tr("OK"));
    buttons->button(QDialogButtonBox::Cancel)->setText(tr("Cancel"));

    // The design's chooser on the right; the places list, as desktop dialogs have it, on the left.
    auto* outer = new QHBoxLayout(this);
    auto* placesColumn = new QVBoxLayout;
    placesColumn->addWidget(label(tr("&Places:"), places_));
    placesColumn->addWidget(places_, 1);
    outer->addLayout(placesColumn);
    auto* grid = new QGridLayout;
    outer->addLayout(grid, 1);
    grid->addWidget(label(tr("Directory &Name:"), name_), 0, 0, 1, 2);
    grid->addWidget(name_, 1, 0, 1, 2);
    grid->addWidget(label(tr("&Directories:"), tree_), 2, 0);
    grid->addWidget(label(tr("&Files: (*.*)"), files_), 2, 1);
    grid->addWidget(tree_, 3, 0);
    grid->addWidget(files_, 3, 1);
    grid->addWidget(label(tr("D&rives:"), drives_), 4, 0);
    grid->addWidget(drives_, 5, 0);
    grid->addWidget(buttons, 5, 1);
    grid->setRowStretch(3, 1);
    connect(places_, &QListWidget::itemClicked, this,
            [this](QListWidgetItem* item) { showDirectory(item->data(Qt::UserRole).toString()); });
    connect(places_, &QListWidget::itemActivated, this,
            [this](QListWidgetItem* item) { showDirectory(item->data(Qt::UserRole).toString()); });

    connect(buttons, &QDialogButtonBox::accepted, this, &TSelectDirDlg::tryAccept);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    connect(tree_, &QTreeView::clicked, this,
            [this](const QModelIndex& index) { showDirectory(treeModel_->filePath(index)); });
    connect(drives_, &TDriveComboBox::driveChosen, this, &TSelectDirDlg::showDirectory);
    // The tree reads directories in the background: reveal the shown one as its levels arrive.
    connect(treeModel_, &QFileSystemModel::directoryLoaded, this, [this](const QString& loaded) {
        if (shown_ == loaded || shown_.startsWith(loaded.endsWith(u'/') ? loaded : loaded + u'/'))
            revealInTree();
    });

    showDirectory(startDirectory.isEmpty() ? QDir::currentPath() : startDirectory);
}

QString TSelectDirDlg::directory() const {
    const QString text = name_->text().trimmed();
    if (text.isEmpty()) return {};
    return QDir::cleanPath(QDir::current().absoluteFilePath(text));
}

void TSelectDirDlg::setDirectoryText(const QString& text) { name_->setText(text); }

void TSelectDirDlg::revealInTree() {
    const QModelIndex index = treeModel_->index(shown_);
    if (!index.isValid()) return;
    for (QModelIndex up = index.parent(); up.isValid(); up = up.parent()) tree_->expand(up);
    tree_->setCurrentIndex(index);
    tree_->scrollTo(index, QAbstractItemView::PositionAtCenter);
}

void TSelectDirDlg::showDirectory(const QString& path) {
    shown_ = path;
    name_->setText(path);
    drives_->followDirectory(path);
    revealInTree();
    files_->clear();
    const QStringList names = QDir(path).entryList(QDir::Files, QDir::Name | QDir::LocaleAware);
    for (const QString& n : names) files_->addItem(new QListWidgetItem(icons::file(), n));
}

void TSelectDirDlg::tryAccept() {
    const QString dir = directory();
    // The chooser and its question speak the design's English in both languages: the buttons too,
    // so that no Chinese "是" answers an English question.
    if (!QFileInfo(dir).isDir() && !dialogs::askYesNo(this, createQuestion(), tr("&Yes"), tr("&No"))) return;
    accept();
}

}  // namespace oru::ui
