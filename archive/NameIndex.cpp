// SPDX-License-Identifier: GPL-3.0-or-later
#include "archive/NameIndex.h"

#include "archive/CatalogTree.h"
#include "archive/EntryMeta.h"
#include "archive/EntryNames.h"
#include "catalog/ArchiveSchema.h"
#include "catalog/CatalogTable.h"
#include "platform/CodePage.h"
#include "platform/Collation.h"

namespace oru {

NameIndex::NameIndex(CatalogTable& catalog) {
    CatalogTable rows;
    rows.CloneFrom(catalog);
    rows.SetOrdering("");
    const int n = rows.ViewSize();
    const bool extended = entrymeta::hasColumns(rows);
    for (int i = 0; i < n; ++i) {
        const int32_t type = rows.HasValueAt(i, schema::kFileType)
                                 ? static_cast<int32_t>(rows.IntegerAt(i, schema::kFileType))
                                 : -1;
        const std::string name = rows.TextAt(i, schema::kFileName);
        std::string shown;
        if (extended) {
            // Rows stored with their own values always hold a mode.
            const EntryMeta meta = entrymeta::readAt(rows, i);
            if (meta.trueName) shown = *meta.trueName;
            else if (meta.mode) shown = cp950::toUtf8(name);
        }
        insert(rows.TextAt(i, schema::kParentName), name, type, i, shown);
    }
    rows_ = n;
}

int NameIndex::append(const std::string& parent, const std::string& name, int32_t type, const std::string& shown) {
    insert(parent, name, type, rows_, shown);
    claimed_.insert(rows_);
    return rows_++;
}

const std::string& NameIndex::keyOf(const std::string& text) const {
    auto it = keys_.find(text);
    if (it == keys_.end()) it = keys_.emplace(text, collation::sortKey(text)).first;
    return it->second;
}

void NameIndex::insert(const std::string& parent, const std::string& name, int32_t type, int row,
                       const std::string& shown) {
    const std::string& key = keyOf(name);
    const std::string& parentKey = keyOf(parent);
    // In an archive that already holds a clash, the first row of a name stands for it.
    children_[parentKey].emplace(key, Child{row, type, shown});
    shown_[parentKey].insert(shown.empty() ? cp950::toUtf8(name) : shown);
    if (type == schema::kFolder) folders_.insert(key);
}

std::string NameIndex::freeTrueName(const std::string& parent, const std::string& name) const {
    const auto found = shown_.find(keyOf(parent));
    if (found == shown_.end() || !found->second.count(name)) return name;
    for (unsigned marker = 1;; ++marker) {
        std::string marked = withMarker(name, marker);
        if (!found->second.count(marked)) return marked;
    }
}

NameIndex::Place NameIndex::locate(const std::string& parent, const std::string& name, int32_t type,
                                   bool reuse, const std::string& trueName) const {
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
            const bool sameItem = trueName.empty() || sibling->second.shown.empty() || sibling->second.shown == trueName;
            if (reuse && sameItem && sibling->second.type == type && !claimed_.count(sibling->second.row)) {
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
