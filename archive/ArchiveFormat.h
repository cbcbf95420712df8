// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The archive file's fixed layout (archive/FORMAT.md): the 16-byte header at position 0, the
// limit every position keeps, and one entry as a catalog row describes it. Shared by the writer
// and the reader; the catalog's field names are in catalog/ArchiveSchema.h.

#include <cstddef>
#include <cstdint>
#include <string>

#include "catalog/ArchiveSchema.h"

namespace oru {

inline constexpr char kMagic[4] = {'K', 'V', 'A', 'R'};
inline constexpr int64_t kHeaderSize = 16;

// The 16-byte header at file position 0, written and read byte for byte.
struct ArchiveHeader {
    char Magic[4];
    int32_t CatalogOffset;
    double Created;
};
static_assert(sizeof(ArchiveHeader) == kHeaderSize);

// Header fields: offsets within the 16 bytes, each little-endian.
inline constexpr size_t kMagicAt = 0;
inline constexpr size_t kCatalogOffsetAt = 4;  // int32: where the catalog packet starts
inline constexpr size_t kCreatedAt = 8;        // double: days since 1899-12-30

// Positions and sizes pass through signed 32-bit integers: the archive stays below 2^31 bytes.
inline constexpr int64_t kArchiveLimit = int64_t{1} << 31;

void encodeHeader(const ArchiveHeader& header, uint8_t (&out)[kHeaderSize]);
void decodeHeader(const uint8_t (&in)[kHeaderSize], ArchiveHeader& header);
// The magic is taken as text up to its first zero byte and compared with "KVAR", ignoring the
// case of the letters a to z only.
bool magicMatches(const char (&magic)[4]);

// One entry as its catalog row holds it. A folder (type schema::kFolder) has no offset or sizes.
struct ArchiveEntry {
    int32_t type = schema::kFolder;
    int32_t offset = 0;
    int32_t originalSize = 0;
    int32_t storedSize = 0;
    double checkin = 0;  // days since 1899-12-30
    std::string name;    // CP950
    std::string parent;  // CP950; empty at the top level
};

}  // namespace oru
