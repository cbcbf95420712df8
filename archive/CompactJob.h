// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Compaction: the archive rewritten without dead bytes through its temporary file, what
// TKiv::Compact runs. Inside the engine only.

#include "archive/Operation.h"
#include "archive/zipUtil.h"

namespace oru {

class CompactJob {
public:
    // The archive's progress sink is used.
    explicit CompactJob(TKiv& archive);
    // See TKiv::Compact.
    void Run();

private:
    void compactInto(Stream& temp);

    TKiv& kiv_;
    JobProgress progress_;
};

}  // namespace oru
