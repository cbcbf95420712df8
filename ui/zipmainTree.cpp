// SPDX-License-Identifier: GPL-3.0-or-later
// The main window's folder tree and listing: the tree built from the catalog, the folder shown,
// and the find field.

#include "ui/zipmain.h"

#include <QCheckBox>
#include <QHash>
#include <QLineEdit>
#include <QSignalBlocker>
#include <QTreeWidget>
#include <algorithm>

#include "archive/CatalogTree.h"
#include "catalog/ArchiveSchema.h"
#include "platform/CodePage.h"
#include "ui/CatalogModel.h"
#include "ui/DBGrid.h"
#include "ui/Icons.h"
#include "ui/ListingProxy.h"
#include "ui/zipmainParts.h"

namespace oru::ui {

using namespace mainframe;

// ---- folder tree and listing

QTreeWidgetItem* TMainFrm::addNode(QTreeWidgetItem* parent, const std::string& name, const std::string& shown) {
    QTreeWidgetItem* node;
    if (parent) {
        node = new QTreeWidgetItem(parent);
        node->setText(0, QString::fromStdString(shown.empty() ? oru::cp950::toUtf8(name) : shown));
    } else {
        node = new QTreeWidgetItem(tv);
        node->setText(0, fromNative(ArchiveFileName_));
    }
    node->setData(0, kNameRole, QByteArray::fromStdString(name));
    node->setIcon(0, icons::folder());
    return node;
}

std::string TMainFrm::folderNameOf(const QTreeWidgetItem* node) const {
    if (!node || node == tv->topLevelItem(0)) return {};  // the root is the first node
    return node->data(0, kNameRole).toByteArray().toStdString();
}

void TMainFrm::BuildFolderTree(oru::CatalogTable& table, QTreeWidgetItem* node, const std::string& name) {
    if (!node) {
        tv->clear();
        QTreeWidgetItem* root = addNode(nullptr, {});
        // The listing is bound also when the walk fails on a hostile catalog (before it adds a
        // node): the tree then shows the root alone, and the listing the top level.
        struct Bind {
            TMainFrm& w;
            oru::CatalogTable& table;
            QTreeWidgetItem* root;
            ~Bind() {
                table.SetOrdering(oru::schema::kListingOrdering);
                w.DataSource1->bind(&table);
                w.DBGrid1->ClearSelection();
                w.tv->expandItem(root);
                w.tv->setCurrentItem(root);  // raises tvChange, which shows the top level
            }
        } bind{*this, table, root};
        BuildFolderTree(table, root, name);
        return;
    }

    // One node per folder path, depth first in the table's ordering. A folder whose name is
    // already on the path gets its node but is not entered again, so cycles of names end.
    oru::CatalogTable all;
    all.CloneFrom(table);
    const oru::CatalogTree folders(all, ArchiveFileName_);
    struct Nodes : oru::CatalogTree::Visitor {
        Nodes(TMainFrm& window, const oru::CatalogTable& rows, const oru::CatalogTree& tree, QTreeWidgetItem* top)
            : w(window), all(rows), names(tree), open{top} {}
        TMainFrm& w;
        const oru::CatalogTable& all;
        const oru::CatalogTree& names;
        std::vector<QTreeWidgetItem*> open;  // the node of each folder on the path
        void visit(int row, bool entered) override {
            QTreeWidgetItem* child = w.addNode(open.back(), all.TextAt(row, oru::schema::kFileName), names.nameOf(row));
            if (entered) open.push_back(child);
        }
        void leave(int) override { open.pop_back(); }
    } nodes(*this, all, folders, node);
    oru::CatalogTree::Options options;
    options.foldersOnly = true;
    folders.walkBelow(name, options, nodes);
}

void TMainFrm::rebuildTreeKeepingFolder() {
    if (!CurrentArchive_) return;
    std::vector<QByteArray> path;  // folder names from the root down to the node shown
    for (const QTreeWidgetItem* n = tv->currentItem(); n && n->parent(); n = n->parent())
        path.insert(path.begin(), n->data(0, kNameRole).toByteArray());
    BuildFolderTree(CurrentArchive_->Catalog(), nullptr, "");
    QTreeWidgetItem* shown = tv->topLevelItem(0);
    for (const QByteArray& name : path) {
        QTreeWidgetItem* next = nullptr;
        for (int i = 0; i < shown->childCount() && !next; ++i)
            if (shown->child(i)->data(0, kNameRole).toByteArray() == name) next = shown->child(i);
        if (!next) break;
        shown = next;
    }
    if (shown != tv->currentItem()) {
        tv->setCurrentItem(shown);
        tv->scrollToItem(shown);  // opens the nodes above it
    }
}

void TMainFrm::showParentFolder() {
    const QTreeWidgetItem* node = tv->currentItem();
    if (node && node->parent()) tv->setCurrentItem(node->parent());
}

void TMainFrm::ShowFolder(oru::CatalogTable& table, const std::string& name) {
    table.SetFiltered(false);
    table.SetFilterText(oru::CatalogTable::parentFilter(name));
    table.SetFiltered(true);
}

void TMainFrm::tvChange(QTreeWidgetItem* node) {
    if (!node || !CurrentArchive_) return;  // nodes of a closed archive show nothing
    if (WholeArchive->isChecked()) {
        // Choosing a folder ends the search of the whole archive.
        const QSignalBlocker quiet(WholeArchive);
        WholeArchive->setChecked(false);
        DataSource1->setFolderPaths({});
    }
    ShowFolder(CurrentArchive_->Catalog(), folderNameOf(node));
    DBGrid1->ClearSelection();  // commands never meet bookmarks of hidden rows
}

void TMainFrm::applyFind() {
    DBGrid1->proxy()->setNameFilter(FindEdit->text());
    const bool whole = WholeArchive->isChecked() && !FindEdit->text().isEmpty();
    if (!CurrentArchive_ || whole == DataSource1->showsFolderPaths()) return;
    oru::CatalogTable& catalog = CurrentArchive_->Catalog();
    if (whole) {
        // Every row of the archive, each named with the path of its folder (as the tree has it).
        QHash<QByteArray, QString> paths;
        std::vector<std::pair<QTreeWidgetItem*, QString>> stack{{tv->topLevelItem(0), QString()}};
        while (!stack.empty()) {
            auto [node, path] = stack.back();
            stack.pop_back();
            for (int i = 0; node && i < node->childCount(); ++i) {
                QTreeWidgetItem* child = node->child(i);
                const QByteArray name = child->data(0, kNameRole).toByteArray();
                const QString childPath = path.isEmpty() ? child->text(0) : path + u'/' + child->text(0);
                if (!paths.contains(name)) paths.insert(name, childPath);
                stack.push_back({child, childPath});
            }
        }
        DataSource1->setFolderPaths(paths);
        catalog.SetFiltered(false);
    } else {
        DataSource1->setFolderPaths({});
        ShowFolder(catalog, folderNameOf(tv->currentItem()));
    }
    DBGrid1->ClearSelection();
}

void TMainFrm::showInItsFolder(int row) {
    const QByteArray parent = QByteArray::fromStdString(DataSource1->parentName(row));
    const QString name = DataSource1->fileName(row);
    QTreeWidgetItem* folder = tv->topLevelItem(0);
    if (!parent.isEmpty()) {
        const QList<QTreeWidgetItem*> all = tv->findItems(QStringLiteral("*"), Qt::MatchWildcard | Qt::MatchRecursive);
        auto it = std::find_if(all.begin(), all.end(), [&](const QTreeWidgetItem* n) {
            return n->parent() && n->data(0, kNameRole).toByteArray() == parent;
        });
        if (it == all.end()) return;
        folder = *it;
    }
    FindEdit->clear();
    tv->setCurrentItem(folder);  // ends the search of the whole archive
    tv->scrollToItem(folder);
    for (int r = 0; r < DataSource1->rowCount(); ++r)
        if (DataSource1->fileName(r) == name) return DBGrid1->clickRow(DBGrid1->shownRow(r), false);
}

}  // namespace oru::ui
