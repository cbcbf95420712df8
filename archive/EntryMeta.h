// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// What an entry keeps beyond the eight catalog columns: its true name, its name's bytes on disk,
// its mode, a symbolic link's target and its exact modification time. They live in the extension
// columns (catalog/ArchiveSchema.h); archives of other writers and plain archives lack them, and
// any row may leave any of them unassigned, so every value is optional.

#include <cstdint>
#include <optional>
#include <string>

namespace oru {

class CatalogTable;

struct EntryMeta {
    std::optional<std::string> trueName;    // UTF-8, where the catalog name does not give it
    std::optional<std::string> nameBytes;   // the name's bytes on disk, where not trueName's
    std::optional<uint32_t> mode;           // file type and permission bits (st_mode)
    std::optional<std::string> linkTarget;  // symbolic links: the target as read from disk
    std::optional<int64_t> modifiedNs;      // nanoseconds since 1970-01-01 00:00 UTC

    bool operator==(const EntryMeta&) const = default;
};

namespace entrymeta {

// Whether catalog has the extension columns.
bool hasColumns(const CatalogTable& catalog);
// Appends the extension columns to a catalog that lacks them; its rows leave them unassigned.
void addColumns(CatalogTable& catalog);

// The values of the current row, or of the row at a 0-based view index; all empty without the
// columns. Values are returned exactly as stored: checking them is the caller's business.
EntryMeta read(const CatalogTable& catalog);
EntryMeta readAt(const CatalogTable& catalog, int index);

// Writes meta into the row being edited or appended, whose table has the extension columns; an
// empty value leaves its field unassigned. A modification time also sets FileDate, as a local
// date-time, so that a reader of the eight columns finds it there.
void write(CatalogTable& catalog, const EntryMeta& meta);

// The name a user sees for the row at index: trueName when set, else FileName in UTF-8.
std::string trueNameAt(const CatalogTable& catalog, int index);
// The same for the current row.
std::string trueName(const CatalogTable& catalog);

}  // namespace entrymeta
}  // namespace oru
