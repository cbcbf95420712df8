// SPDX-License-Identifier: GPL-3.0-or-later
#include "archive/UnreachableRows.h"

#include <algorithm>
#include <unordered_set>

#include "archive/EntryNames.h"
#include "catalog/ArchiveSchema.h"
#include "catalog/CatalogTable.h"
#include "platform/Collation.h"
#include "platform/Error.h"

namespace oru {

namespace {
// Marks every row a walk visits.
struct Mark : CatalogTree::Visitor {
    std::vector<bool>& seen;
    explicit Mark(std::vector<bool>& s) : seen(s) {}
    void visit(int row, bool) override { seen[static_cast<size_t>(row)] = true; }
};
}  // namespace

UnreachableRows::UnreachableRows(const CatalogTable& catalog, const CatalogTree& tree)
    : catalog_(catalog), tree_(tree) {
    const int n = tree.size();
    std::vector<bool> seen(static_cast<size_t>(n));
    Mark mark(seen);
    tree.walkBelow("", {}, mark);
    // First the rows whose folder no unreachable folder row names, then, for what is left (the
    // circles), the first row of each in view order.
    std::unordered_set<std::string> folderNames;
    for (int i = 0; i < n; ++i) {
        if (!seen[static_cast<size_t>(i)] && tree.isFolder(i)) {
            folderNames.insert(collation::sortKey(catalog.TextAt(i, schema::kFileName)));
        }
    }
    for (int pass = 0; pass < 2; ++pass) {
        for (int i = 0; i < n; ++i) {
            if (seen[static_cast<size_t>(i)]) continue;
            const bool hasFolder = catalog.HasValueAt(i, schema::kParentName) &&
                                   folderNames.count(collation::sortKey(catalog.TextAt(i, schema::kParentName))) != 0;
            if (pass == 0 && hasFolder) continue;
            tops_.push_back(i);
            tree.walkFrom(i, {}, mark);
        }
    }
    std::sort(tops_.begin(), tops_.end());
}

std::string UnreachableRows::folderOf(int top) const {
    std::string folder = kUnreachableFolder;
    if (!catalog_.HasValueAt(top, schema::kParentName)) return folder;
    try {
        const std::string parent = diskName(catalog_.TextAt(top, schema::kParentName));
        folder += "/" + parent;
    } catch (const Error&) {
        // A parent name that could not name a folder: the top stands in the pseudo-folder itself.
    }
    return folder;
}

void UnreachableRows::walk(const std::function<void(int row, const std::string& path)>& each) const {
    for (const int top : tops_) tree_.walkWithPaths(top, folderOf(top), each);
}

}  // namespace oru
