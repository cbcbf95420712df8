// SPDX-License-Identifier: GPL-3.0-or-later
// DeleteJob: rows deleted from the catalog (a folder with every row below it), merged, and the
// archive compacted.
#include "archive/DeleteJob.h"

#include <optional>
#include <unordered_map>
#include <unordered_set>

#include "archive/CatalogTree.h"
#include "archive/zipUtil.h"
#include "catalog/ArchiveSchema.h"
#include "platform/Collation.h"
#include "platform/Error.h"

namespace oru {

void TKiv::DeleteEntry(CatalogTable& cursor) {
    if (cursor.IsEmpty()) return;
    DeleteEntries(cursor, {*cursor.GetBookmark()});
}

DeleteJob::DeleteJob(TKiv& archive, CatalogTable& cursor, std::vector<Bookmark> rows)
    : archive_(archive), cursor_(cursor), rows_(std::move(rows)) {}

void DeleteJob::Run() {
    const TKiv::Writing writing(archive_);
    try {
        DeleteRows();
        cursor_.MergeChanges();
    } catch (const Cancelled&) {
        throw;
    } catch (const Error& e) {
        throw e.naming(archive_.ArchivePath());  // the catalog's own failures name no archive
    }
    archive_.Compact();
}

void TKiv::DeleteEntries(CatalogTable& cursor, const std::vector<Bookmark>& rows) {
    DeleteJob(*this, cursor, rows).DeleteRows();
}

// Rows are linked to their folder by name: in archives that hold several folder rows of one name
// (written before names were kept unique), the rows below a folder taken here are listed under
// every folder row of that name as well. Those that a folder row staying in the archive still
// lists stay too, with everything below them; only the rows the caller named themselves go
// whatever lists them. Repeated until no staying folder row lists a taken row.
void DeleteJob::spareRowsOfLiveFolders(CatalogTable& all, std::optional<CatalogTree>& tree, std::vector<bool>& taken,
                                       std::vector<Bookmark>& doomed) const {
    if (!tree) return;  // no folder was walked: only the rows named go
    std::vector<bool> named(taken.size());
    for (const Bookmark& b : rows_) {
        all.GotoBookmark(b);
        named[static_cast<size_t>(all.RecordNumber() - 1)] = true;
    }
    struct Spare : CatalogTree::Visitor {
        std::vector<bool>& taken;
        const std::vector<bool>& named;
        bool changed = false;
        Spare(std::vector<bool>& t, const std::vector<bool>& n) : taken(t), named(n) {}
        void visit(int row, bool) override {
            if (taken[static_cast<size_t>(row)] && !named[static_cast<size_t>(row)]) {
                taken[static_cast<size_t>(row)] = false;
                changed = true;
            }
        }
    } spare(taken, named);
    const int n = all.ViewSize();
    std::unordered_set<std::string> spared;  // folder names (by sort key) walked already
    do {
        spare.changed = false;
        // The folders that list a row taken by the walk, not by name.
        std::unordered_set<std::string> listing;
        for (int i = 0; i < n; ++i) {
            if (taken[static_cast<size_t>(i)] && !named[static_cast<size_t>(i)]) {
                listing.insert(collation::sortKey(all.TextAt(i, schema::kParentName)));
            }
        }
        for (int i = 0; i < n; ++i) {
            if (taken[static_cast<size_t>(i)] || !all.HasValueAt(i, schema::kFileType) ||
                all.IntegerAt(i, schema::kFileType) != schema::kFolder) {
                continue;
            }
            const std::string name = all.TextAt(i, schema::kFileName);
            const std::string key = collation::sortKey(name);
            if (listing.count(key) != 0 && spared.insert(key).second) tree->walkBelow(name, {}, spare);
        }
    } while (spare.changed);
    std::vector<Bookmark> kept;
    for (const Bookmark& b : doomed) {
        all.GotoBookmark(b);
        if (taken[static_cast<size_t>(all.RecordNumber() - 1)]) kept.push_back(b);
    }
    doomed = std::move(kept);
}

void DeleteJob::DeleteRows() {
    const TKiv::Writing writing(archive_);
    if (rows_.empty()) return;
    CatalogTable all;
    all.CloneFrom(cursor_);
    // Every cursor on a deleted row, the caller's included, moves on as DeleteCurrent moves it.
    for (const Bookmark& b : collectRows(all)) {
        all.GotoBookmark(b);
        all.DeleteCurrent();
    }
}

std::vector<Bookmark> DeleteJob::RowsToDelete() const {
    if (rows_.empty()) return {};
    CatalogTable all;
    all.CloneFrom(cursor_);
    return collectRows(all);
}

std::vector<Bookmark> DeleteJob::collectRows(CatalogTable& all) const {
    std::optional<CatalogTree> tree;  // made for the first folder of rows: files need no index
    // The rows to delete, children before their folder, each once. A folder name's children are
    // all deleted the first time it is entered, so no name is entered twice.
    struct Collect : CatalogTree::Visitor {
        CatalogTable& all;
        std::vector<Bookmark> doomed;
        std::vector<bool> taken;
        explicit Collect(CatalogTable& table) : all(table), taken(static_cast<size_t>(table.ViewSize())) {}
        void visit(int row, bool entered) override {
            if (!entered) take(row);
        }
        void leave(int row) override { take(row); }
        void take(int row) {
            if (taken[static_cast<size_t>(row)]) return;
            taken[static_cast<size_t>(row)] = true;
            all.SetRecordNumber(row + 1);
            doomed.push_back(*all.GetBookmark());
        }
    } collect(all);
    CatalogTree::Options options;
    options.enterNameOnce = true;
    // How many folder rows bear each folder name (by sort key), counted at the first folder.
    std::unordered_map<std::string, int> bearers;
    for (const Bookmark& b : rows_) {
        all.GotoBookmark(b);
        const int row = all.RecordNumber() - 1;
        if (all.IntegerAt(row, schema::kFileType) != schema::kFolder) {
            collect.take(row);
            continue;
        }
        if (bearers.empty()) {
            for (int i = 0, n = all.ViewSize(); i < n; ++i) {
                if (all.HasValueAt(i, schema::kFileType) && all.IntegerAt(i, schema::kFileType) == schema::kFolder) {
                    ++bearers[collation::sortKey(all.TextAt(i, schema::kFileName))];
                }
            }
        }
        // The rows below a folder whose name another folder row bears are that folder's too (an
        // archive holding such a clash): only this row goes.
        int& count = bearers[collation::sortKey(all.TextAt(row, schema::kFileName))];
        if (count > 1) {
            --count;
            collect.take(row);
            continue;
        }
        if (!tree) tree.emplace(all, archive_.ArchivePath());
        tree->walkFrom(row, options, collect);
    }
    spareRowsOfLiveFolders(all, tree, collect.taken, collect.doomed);
    return std::move(collect.doomed);
}

}  // namespace oru
