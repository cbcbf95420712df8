// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The folder hierarchy of a catalog, and the one walk over it that every part of the system uses
// (list, test, extract, delete, the window's tree). Rows are linked to their folder by name: a
// row's ParentName is the FileName of a folder row, so the children of a folder are all rows
// whose ParentName collates equal to its name, wherever that folder stands. The children are
// found through an index by parent name built once per walk.
//
// Every walk has the same bounds, so that a hostile catalog ends quickly with a clear message:
// a folder whose name is already on the current path is not entered again (cycles of names end);
// of several folder rows with the same name in one folder only the first is entered (their
// paths are identical); folders nest at most kMaxDepth deep; and one walk looks at no more than
// kWorkPerRow times the table's row count of rows.

#include <cstdint>
#include <functional>
#include <string>
#include <unordered_map>
#include <vector>

namespace oru {

class CatalogTable;

class CatalogTree {
public:
    // Deeper folders fail the walk: no path of a file system is that deep.
    static constexpr size_t kMaxDepth = 2048;
    // A walk that looks at more rows than this many times the row count fails: names linked
    // across folders would otherwise make its work grow exponentially with the rows.
    static constexpr uint64_t kWorkPerRow = 1024;

    // The index over catalog's view, which must be unfiltered; the indexes the tree uses are
    // 0-based positions in that view, valid until the catalog changes. catalog must outlive the
    // tree. archive names the archive in the walk's messages.
    CatalogTree(const CatalogTable& catalog, std::string archive);

    struct Options {
        bool foldersFirst = false;   // in each folder the folder rows first, then the others
        bool foldersOnly = false;    // only folder rows, each path once (the window's tree)
        bool enterNameOnce = false;  // each folder name entered once per walk (deleting: all of
                                     // its children go the first time)
    };
    class Visitor {
    public:
        virtual ~Visitor() = default;
        // Each row the walk reaches, parents before children, each folder's rows in view order.
        // entered: the walk goes below row next, and leave(row) follows its last child.
        virtual void visit(int row, bool entered) = 0;
        virtual void leave(int /*row*/) {}
    };

    // Walks the rows of the folder named parentName (CP950; "" the top level) and below. That
    // name counts as on the path. Fails "%s: ..." naming the archive past the depth or the work
    // bound, before the first visit.
    void walkBelow(const std::string& parentName, const Options& options, Visitor& visitor) const;
    // Walks row itself (visited first), then what lies below it when it is a folder.
    void walkFrom(int row, const Options& options, Visitor& visitor) const;

    // The listing's walk: folder rows first in each folder.
    static Options listing() {
        Options options;
        options.foldersFirst = true;
        return options;
    }
    // The listing's walk from the top level, calling each(row, path) with the row's path: the
    // UTF-8 names from the top level joined by "/". Fails as walkBelow.
    void walk(const std::function<void(int row, const std::string& path)>& each) const;
    // The listing's walk from row (visited first) and below, each path being prefix (unless empty)
    // and "/" before the names. Fails as walkFrom.
    void walkWithPaths(int row, const std::string& prefix,
                       const std::function<void(int row, const std::string& path)>& each) const;

    // The rows an entry path names, in view order: names (UTF-8) from the top level; every name
    // but the last must be a folder reachable by that chain. A row with a true name of its own
    // (nameOf) matches that name exactly; any other row matches as the catalog's filter compares
    // its name, after the cut that storing a name applies. Empty when nothing matches.
    std::vector<int> resolve(const std::vector<std::string>& names) const;

    // The name a user sees for row (UTF-8): its true name where the row keeps one, else its
    // FileName. Paths of walk() are made of these.
    std::string nameOf(int row) const;

    bool isFolder(int row) const { return folder_[row] != 0; }
    int size() const { return static_cast<int>(folder_.size()); }

    // A CP950 name as the catalog stores it: cut at a zero byte, to 40 bytes, trailing blanks off.
    static std::string storedForm(const std::string& name);

private:
    struct Walk;  // the state of one walk

    int idOf(const std::string& key) const;  // -1 when no row has that name or parent name
    void run(Walk& walk, int startRow, int parentId) const;

    const CatalogTable& catalog_;
    std::string archive_;
    std::vector<uint8_t> folder_;      // by row: FileType 0
    std::vector<uint8_t> repeated_;    // by row: a folder row after one of the same name in its folder
    std::vector<int32_t> nameId_;      // by row: id of FileName's collation key
    std::vector<int32_t> childStart_;  // by name id: where its children begin in children_
    std::vector<int32_t> children_;    // rows grouped by ParentName id, view order within a group
    std::unordered_map<std::string, int32_t> idOfKey_;  // collation key -> name id
    bool trueNames_ = false;           // the catalog has a TrueName column this system reads
};

}  // namespace oru
