// SPDX-License-Identifier: GPL-3.0-or-later
#include "ui/SelectDirDlg.h"

#include <QDialogButtonBox>
#include <QDir>
#include <QFileInfo>
#include <QFileSystemModel>
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

TSelectDirDlg::TSelectDirDlg(QWidget* parent, const QString& startDirectory) : QDialog(parent) {
    setWindowTitle(tr("Select Directory"));
    resize(460, 340);

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

    auto label = [this](const QString& text, QWidget* buddy) {
        auto* l = new QLabel(text, this);
        l->setBuddy(buddy);
        return l;
    };
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
    buttons->button(QDialogButtonBox::Ok)->setText(tr("OK"));
    buttons->button(QDialogButtonBox::Cancel)->setText(tr("Cancel"));

    auto* grid = new QGridLayout(this);
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
