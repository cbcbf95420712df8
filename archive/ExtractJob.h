// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Extracting rows of an archive (folders with everything below them) onto the disk: what
// TKiv::ExtractEntries and TKiv::FindConflicts run. Inside the engine only.

#include <optional>
#include <string>
#include <vector>

#include "archive/Operation.h"
#include "archive/zipUtil.h"

namespace oru {

class ExtractTarget;
struct ItemMeta;

class ExtractJob {
public:
    // rows: bookmarks of cursor's rows; see TKiv::ExtractEntries. The archive's progress sink and
    // conflict handler are used.
    ExtractJob(TKiv& archive, CatalogTable& cursor, std::vector<Bookmark> rows, std::string destination);
    // Writes the rows below the destination (TKiv::ExtractEntries).
    void Run();
    // The files in the way, found without writing anything (TKiv::FindConflicts).
    std::vector<std::string> FindConflicts();

private:
    void extractRows(ExtractTarget& target);
    // One row of an extraction walk, the cursor on it; entered: the walk goes below it next.
    // False when the row's name is refused (nothing below it is to be extracted).
    bool extractAt(CatalogTable& cursor, ExtractTarget& target, bool entered);
    // A file row under name on disk, with meta; linkTarget: made as a symbolic link to it.
    void extractFile(CatalogTable& cursor, ExtractTarget& target, const std::string& name, const ItemMeta& meta,
                     const std::optional<std::string>& linkTarget);

    TKiv& kiv_;
    CatalogTable& cursor_;
    const std::vector<Bookmark> rows_;
    const std::string destination_;
    JobProgress progress_;
};

}  // namespace oru
