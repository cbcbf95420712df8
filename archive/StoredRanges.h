// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Which stored ranges of a catalog are damage: a file row's stored bytes must lie in the data
// area (between the header and the catalog) and belong to that row alone. A hostile catalog can
// point many rows at one small stream that inflates to a large file (the overlap bomb); such rows
// are refused instead of being read again and again.

#include <cstdint>
#include <optional>
#include <set>
#include <string>
#include <utility>

#include "platform/Error.h"

namespace oru {

class CatalogTable;

class StoredRanges {
public:
    // Every file row of catalog (its filter does not matter); dataEnd: the header's CatalogOffset.
    StoredRanges(CatalogTable& catalog, int64_t dataEnd);

    // Empty when the range is sound; otherwise what is wrong with it: StoredOutsideData or
    // StoredShared.
    std::optional<ErrorKind> problemOf(int32_t offset, int32_t storedSize) const;

private:
    int64_t dataEnd_;
    std::set<std::pair<int32_t, int32_t>> overlapping_;  // (offset, stored size) of shared ranges
};

}  // namespace oru
