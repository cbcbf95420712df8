#pragma once
// The archive's folder tree as the command-line tool walks it: rows linked to their parents by
// name, as the window's tree links them. Built once over a cursor's unfiltered view; the indexes
// it hands out are 0-based positions in that view and stay valid until the catalog changes.

#include <functional>
#include <string>
#include <unordered_map>
#include <vector>

namespace oru {

class CatalogTable;

class CatalogTree {
public:
    // catalog: a cursor with its filter off, in the ordering the walk should follow.
    explicit CatalogTree(const CatalogTable& catalog);

    // Calls visit for every row reachable from the top level, depth first: in each folder the
    // folder rows first, then the others, each group in view order. path is the UTF-8 names from
    // the top level joined by "/". A folder whose name is already on the current path is visited
    // but not entered again, so that cycles of names end.
    void walk(const std::function<void(int index, const std::string& path)>& visit) const;

    // The rows an entry path names, in view order: names (CP950) from the top level; every name
    // but the last must be a folder reachable by that chain. Names compare as the catalog's
    // filter compares them, after the cut that storing a name applies. Empty when nothing matches.
    std::vector<int> resolve(const std::vector<std::string>& names) const;

    bool isFolder(int index) const { return folder_[index]; }
    int size() const { return static_cast<int>(folder_.size()); }

    // A CP950 name as the catalog stores it: cut at a zero byte, to 40 bytes, trailing blanks off.
    static std::string storedForm(const std::string& name);

private:
    const std::vector<int>& childrenOf(const std::string& parentKey) const;

    const CatalogTable& catalog_;
    std::vector<bool> folder_;                                   // FileType 0, by index
    std::vector<std::string> nameKey_;                           // collation key of FileName
    std::unordered_map<std::string, std::vector<int>> children_; // by ParentName key; folders first
};

}  // namespace oru
