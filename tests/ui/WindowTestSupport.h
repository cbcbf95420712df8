#pragma once
// Helpers of the tests that drive the real main window: archives built with the engine, the
// tree as text, the listing's names, and the file pane's selection.

#include <QListWidget>
#include <QTreeWidget>
#include <string>
#include <vector>

#include "archive/ArchiveTestSupport.h"
#include "archive/zipUtil.h"
#include "ui/CatalogModel.h"
#include "ui/FilePanes.h"
#include "ui/zipmain.h"
#include "UiTestSupport.h"

namespace oru::ui::testing {

// An archive at path holding each source (file or folder tree) at the top level. clashes: stored
// names (from, to) renamed after adding, to make the folders of one name that older archives
// hold (adding gives a second folder x the name x~1).
inline void makeArchive(const std::string& path, const std::vector<std::string>& sources,
                        const std::vector<std::pair<std::string, std::string>>& clashes = {}) {
    auto archive = oru::TKiv::CreateNew(path);
    for (const std::string& source : sources) archive->AddPath("", source);
    for (const auto& [from, to] : clashes) oru::test::renameRows(*archive, from, to);
}

// The tree as "R(a(x),b)": the root written R, children in brackets, in tree order.
inline std::string treeText(const QTreeWidgetItem* node, bool root = true) {
    std::string text = root ? "R" : node->text(0).toStdString();
    if (node->childCount() > 0) {
        text += "(";
        for (int i = 0; i < node->childCount(); ++i) {
            if (i > 0) text += ",";
            text += treeText(node->child(i), false);
        }
        text += ")";
    }
    return text;
}

inline std::string treeText(const TMainFrm& w) {
    return w.tv->topLevelItemCount() == 0 ? std::string() : treeText(w.tv->topLevelItem(0));
}

inline std::vector<std::string> listing(const TMainFrm& w) {
    const CatalogModel& m = *w.listingModel();
    std::vector<std::string> names;
    for (int r = 0; r < m.rowCount(); ++r)
        names.push_back(m.data(m.index(r, CatalogModel::ColFileName)).toString().toStdString());
    return names;
}

// The tree node reached by following child texts from the root.
inline QTreeWidgetItem* node(const TMainFrm& w, const std::vector<std::string>& path) {
    QTreeWidgetItem* n = w.tv->topLevelItem(0);
    for (const std::string& name : path) {
        QTreeWidgetItem* next = nullptr;
        for (int i = 0; n && i < n->childCount() && !next; ++i)
            if (n->child(i)->text(0).toStdString() == name) next = n->child(i);
        n = next;
    }
    return n;
}

// Shows dir in the file pane and selects the items with these texts.
inline void selectInFilePane(TMainFrm& w, const std::string& dir, const std::vector<std::string>& texts) {
    w.DirectoryListBox1->setDirectory(QString::fromStdString(dir));
    w.FileListBox1->clearSelection();
    for (const std::string& t : texts) {
        const auto found = w.FileListBox1->findItems(QString::fromStdString(t), Qt::MatchExactly);
        ASSERT_EQ(found.size(), 1) << t;
        found.front()->setSelected(true);
    }
}

}  // namespace oru::ui::testing
