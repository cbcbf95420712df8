// SPDX-License-Identifier: GPL-3.0-or-later
#include "archive/NameIndex.h"

#include "archive/CatalogTree.h"
#include "archive/EntryNames.h"
#include "catalog/ArchiveSchema.h"
#include "catalog/CatalogTable.h"
#include "platform/Collation.h"

namespace oru {

NameIndex::NameIndex(CatalogTable& catalog) {
    CatalogTable rows;
    rows.CloneFrom(catalog);
    rows.SetOrdering("");
    const int n = rows.ViewSize();
    for (int i = 0; i < n; ++i) {
        const int32_t type = rows.HasValueAt(i, schema::kFileType)
                                 ? static_cast<int32_t>(rows.IntegerAt(i, schema::kFileType))
                                 : -1;
        insert(rows.TextAt(i, schema::kParentName), rows.TextAt(i, schema::kFileName), type, i);
    }
    rows_ = n;
}

int NameIndex::append(const std::string& parent, const std::string& name, int32_t type) {
    insert(parent, name, type, rows_);
    claimed_.insert(rows_);
    return rows_++;
}

const std::string& NameIndex::keyOf(const std::string& text) const {
    auto it = keys_.find(text);
    if (it == keys_.end()) it = keys_.emplace(text, collation::sortKey(text)).first;
    return it->second;
}

void NameIndex::insert(const std::string& parent, const std::string& name, int32_t type, int row) {
    const std::string& key = keyOf(name);
    // In an archive that already holds a clash, the first row of a name stands for it.
    children_[keyOf(parent)].emplace(key, Child{row, type});
    if (type == schema::kFolder) folders_.insert(key);
}

NameIndex::Place NameIndex::locate(const std::string& parent, const std::string& name, int32_t type,
                                   bool reuse) const {
    static const Children none;
    const auto found = children_.find(keyOf(parent));
    const Children& siblings = found == children_.end() ? none : found->second;
    const bool isFile = type != schema::kFolder;
    // Names are handed out in this same order, so the entry an earlier add made for this item
    // stands before the first free name. They are compared and handed out in the form the
    // catalog holds, without trailing blanks: "docs " must not land on "docs". Such a name, like
    // one that had to be cut, may stand for another item's, so it reuses no entry.
    const bool fits = name.size() <= kNameWidth;
    reuse = reuse && fits && CatalogTree::storedForm(name) == name;
    for (unsigned marker = fits ? 0 : 1;; ++marker) {
        Place place{-1, CatalogTree::storedForm(markedName(name, marker, isFile))};
        const std::string& key = keyOf(place.name);
        const auto sibling = siblings.find(key);
        if (sibling != siblings.end()) {
            if (reuse && sibling->second.type == type && !claimed_.count(sibling->second.row)) {
                place.row = sibling->second.row;
                return place;
            }
            continue;
        }
        if (type == schema::kFolder && folders_.count(key)) continue;
        return place;
    }
}

}  // namespace oru
