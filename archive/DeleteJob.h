// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Delete as both front ends run it: the rows go from the catalog, the change is merged into the
// table, and the file is compacted so that their stored bytes go too.

#include <optional>
#include <vector>

#include "archive/CatalogTree.h"
#include "catalog/CatalogTable.h"

namespace oru {

class TKiv;

class DeleteJob {
public:
    // rows: bookmarks of cursor's rows (a folder goes with every row below it), taken before the
    // first deletion shifts the view. cursor is archive.Catalog() or a cursor over it.
    DeleteJob(TKiv& archive, CatalogTable& cursor, std::vector<Bookmark> rows);
    // Holds the archive for writing throughout, so the deletions never meet a refusal half way;
    // then deletes the rows (TKiv::DeleteEntries), merges the change log and compacts
    // (TKiv::Compact), reporting to the archive's progress sink. Fails as those do; a failure of
    // compaction leaves the catalog without the rows and the file as Compact leaves it.
    void Run();
    // Only the deletion, from the catalog (TKiv::DeleteEntries): the change is neither merged nor
    // written.
    void DeleteRows();
    // The rows DeleteRows would delete (bookmarks of cursor's rows), without deleting them. Fails
    // as DeleteRows does before it deletes anything.
    std::vector<Bookmark> RowsToDelete() const;

private:
    // The rows to delete, children before their folder, each once; all: a clone of cursor.
    std::vector<Bookmark> collectRows(CatalogTable& all) const;
    // Takes back from doomed (and taken, by row) the rows that a folder row staying in the
    // archive lists, with everything below them; the rows named by the caller stay doomed.
    void spareRowsOfLiveFolders(CatalogTable& all, std::optional<CatalogTree>& tree, std::vector<bool>& taken,
                                std::vector<Bookmark>& doomed) const;

    TKiv& archive_;
    CatalogTable& cursor_;
    std::vector<Bookmark> rows_;
};

}  // namespace oru
