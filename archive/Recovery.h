// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Opening an archive after a crash: the work an interrupted add or compaction left, finished
// before the archive is read. Inside the engine only; TKiv runs it while it opens the archive.

#include <string>

#include "archive/zipUtil.h"

namespace oru {

class Recovery {
public:
    explicit Recovery(TKiv& archive) : kiv_(archive) {}
    // Rebuilds the catalog from the recovery file at journalPath, keeping every file whose stored
    // bytes lie intact behind the data, and deletes the file. Fails with Unrecoverable (the
    // recovery file is kept) when it cannot be read or written back.
    void FinishAdd(const std::string& journalPath);
    // Copies the rest of a compacted archive back from the temporary file when a compaction was
    // cut short after cutting the archive; a temporary file of no use is deleted or left alone.
    void FinishCompact();

private:
    TKiv& kiv_;
};

}  // namespace oru
