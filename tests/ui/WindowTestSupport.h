// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Helpers of the tests that drive the real main window: its controls, archives built with the
// engine, the tree as text, the listing's names, and the file pane's selection.

#include <QCheckBox>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMenu>
#include <QTabWidget>
#include <QToolBar>
#include <QToolButton>
#include <QTest>
#include <QTreeWidget>
#include <fstream>
#include <functional>
#include <map>
#include <string>
#include <vector>

#include "archive/ArchiveTestSupport.h"
#include "archive/zipUtil.h"
#include "catalog/ArchiveSchema.h"
#include "ui/CatalogModel.h"
#include "ui/DBGrid.h"
#include "ui/Dialogs.h"
#include "ui/FilePanes.h"
#include "ui/zipmain.h"
#include "UiTestSupport.h"

namespace oru::ui::testing {

// A control of the window, found by the name the design gives it (its object name).
template <class Control>
Control* control(const TMainFrm& w, const char* name) {
    Control* found = w.findChild<Control*>(QString::fromLatin1(name));
    if (!found) ADD_FAILURE() << "the window has no control " << name;
    return found;
}
inline QToolBar* ToolBar1(const TMainFrm& w) { return control<QToolBar>(w, "ToolBar1"); }
inline QToolButton* BtnDelete(const TMainFrm& w) { return control<QToolButton>(w, "BtnDelete"); }
inline QToolButton* BtnBrowse(const TMainFrm& w) { return control<QToolButton>(w, "BtnBrowse"); }
inline QToolButton* BtnBuildExe(const TMainFrm& w) { return control<QToolButton>(w, "BtnBuildExe"); }
inline TDirectoryListBox* DirectoryListBox1(const TMainFrm& w) { return control<TDirectoryListBox>(w, "DirectoryListBox1"); }
inline TFileListBox* FileListBox1(const TMainFrm& w) { return control<TFileListBox>(w, "FileListBox1"); }
inline QTabWidget* PageControl1(const TMainFrm& w) { return control<QTabWidget>(w, "PageControl1"); }
inline QGroupBox* GroupBox1(const TMainFrm& w) { return control<QGroupBox>(w, "GroupBox1"); }
inline QTreeWidget* tv(const TMainFrm& w) { return control<QTreeWidget>(w, "tv"); }
inline TDBGrid* DBGrid1(const TMainFrm& w) { return control<TDBGrid>(w, "DBGrid1"); }
inline QMenu* RecentMenu(const TMainFrm& w) { return control<QMenu>(w, "RecentMenu"); }
inline QLineEdit* FindEdit(const TMainFrm& w) { return control<QLineEdit>(w, "FindEdit"); }
inline QCheckBox* WholeArchive(const TMainFrm& w) { return control<QCheckBox>(w, "WholeArchive"); }
inline QLabel* FolderStatus(const TMainFrm& w) { return control<QLabel>(w, "FolderStatus"); }
inline QLabel* SelectionStatus(const TMainFrm& w) { return control<QLabel>(w, "SelectionStatus"); }
inline QLabel* OutcomeStatus(const TMainFrm& w) { return control<QLabel>(w, "OutcomeStatus"); }

// An archive at path holding each source (file or folder tree) at the top level. clashes: stored
// names (from, to) renamed after adding, to make the folders of one name that older archives
// hold (adding gives a second folder x the name x~1).
inline void makeArchive(const std::string& path, const std::vector<std::string>& sources,
                        const std::vector<std::pair<std::string, std::string>>& clashes = {}) {
    auto archive = oru::TKiv::CreateNew(path);
    for (const std::string& source : sources) archive->AddPath("", source);
    for (const auto& [from, to] : clashes) oru::test::renameRows(*archive, from, to);
}

// Another program's write, as it may land between the window's shared and exclusive locks: the
// bytes of the archive at from replace those of the archive at to (the same file, its inode kept).
inline void writtenMeanwhile(const std::string& from, const std::string& to) {
    const std::string bytes = readFile(from);
    std::ofstream(to, std::ios::binary | std::ios::trunc) << bytes;
}

// Every file entry of the archive at path, opened afresh beside the window: "name" for the top
// level, "folder/name" below, with its content.
inline std::map<std::string, std::string> archiveContents(const std::string& path) {
    auto archive = oru::TKiv::OpenExisting(path, oru::TKiv::Access::Shared);
    oru::CatalogTable& catalog = archive->Catalog();
    std::map<std::string, std::string> files;
    for (catalog.First(); !catalog.AtEnd(); catalog.Next()) {
        if (catalog.GetInteger(oru::schema::kFileType) == oru::schema::kFolder) continue;
        oru::MemoryStream content;
        archive->ReadEntry(catalog, content);
        const std::string parent = catalog.GetText(oru::schema::kParentName);
        files[(parent.empty() ? "" : parent + "/") + catalog.GetText(oru::schema::kFileName)] =
            std::string(content.bytes().begin(), content.bytes().end());
    }
    return files;
}

// Lets the window's events run until done() holds or timeoutMs passed; returns done().
inline bool waitFor(const std::function<bool()>& done, int timeoutMs = 5000) {
    for (int waited = 0; !done() && waited < timeoutMs; waited += 10) QTest::qWait(10);
    return done();
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
    return tv(w)->topLevelItemCount() == 0 ? std::string() : treeText(tv(w)->topLevelItem(0));
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
    QTreeWidgetItem* n = tv(w)->topLevelItem(0);
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
    DirectoryListBox1(w)->setDirectory(QString::fromStdString(dir));
    FileListBox1(w)->clearSelection();
    for (const std::string& t : texts) {
        const auto found = FileListBox1(w)->findItems(QString::fromStdString(t), Qt::MatchExactly);
        ASSERT_EQ(found.size(), 1) << t;
        found.front()->setSelected(true);
    }
}

}  // namespace oru::ui::testing
