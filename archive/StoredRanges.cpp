// SPDX-License-Identifier: GPL-3.0-or-later
// The overlap and data-area checks of stored ranges, made once per catalog for every reader.
#include "archive/StoredRanges.h"

#include <algorithm>
#include <vector>

#include "archive/ArchiveFormat.h"
#include "catalog/ArchiveSchema.h"
#include "catalog/CatalogTable.h"

namespace oru {

StoredRanges::StoredRanges(CatalogTable& catalog, int64_t dataEnd) : dataEnd_(dataEnd) {
    CatalogTable all;
    all.CloneFrom(catalog);
    all.SetFiltered(false);
    struct Range {
        int64_t begin, end;
        int32_t offset, size;
    };
    std::vector<Range> ranges;
    for (int i = 0; i < all.ViewSize(); ++i) {
        if (all.IntegerAt(i, schema::kFileType) != schema::kFile) continue;
        const auto offset = static_cast<int32_t>(all.IntegerAt(i, schema::kOffset));
        const auto size = static_cast<int32_t>(all.IntegerAt(i, schema::kStoredSize));
        if (size <= 0) continue;
        ranges.push_back({offset, int64_t{offset} + size, offset, size});
    }
    std::sort(ranges.begin(), ranges.end(), [](const Range& a, const Range& b) { return a.begin < b.begin; });
    // Ranges sorted by start fall into clusters joined by overlap: each range of a cluster of two
    // or more overlaps another of it, and ranges of different clusters never overlap.
    for (size_t first = 0; first < ranges.size();) {
        size_t last = first + 1;
        int64_t end = ranges[first].end;
        while (last < ranges.size() && ranges[last].begin < end) {
            end = std::max(end, ranges[last].end);
            ++last;
        }
        if (last - first > 1) {
            for (size_t k = first; k < last; ++k) overlapping_.emplace(ranges[k].offset, ranges[k].size);
        }
        first = last;
    }
}

std::optional<ErrorKind> StoredRanges::problemOf(int32_t offset, int32_t storedSize) const {
    // The data area runs from behind the header to the catalog.
    if (offset < kHeaderSize || storedSize <= 0 || int64_t{offset} + storedSize > dataEnd_) {
        return ErrorKind::StoredOutsideData;
    }
    // Stored bytes belong to one row; rows sharing them are damage (or a hostile catalog).
    if (overlapping_.count({offset, storedSize}) != 0) return ErrorKind::StoredShared;
    return std::nullopt;
}

}  // namespace oru
