// SPDX-License-Identifier: GPL-3.0-or-later
// Coding of the archive header.
#include "archive/ArchiveFormat.h"

#include <cstring>

#include "platform/Coding.h"

namespace oru {

void encodeHeader(const ArchiveHeader& header, uint8_t (&out)[kHeaderSize]) {
    std::memcpy(out + kMagicAt, header.Magic, 4);
    coding::encodeFixed32(out + kCatalogOffsetAt, static_cast<uint32_t>(header.CatalogOffset));
    uint64_t created;
    std::memcpy(&created, &header.Created, 8);
    coding::encodeFixed64(out + kCreatedAt, created);
}

void decodeHeader(const uint8_t (&in)[kHeaderSize], ArchiveHeader& header) {
    std::memcpy(header.Magic, in + kMagicAt, 4);
    header.CatalogOffset = static_cast<int32_t>(coding::decodeFixed32(in + kCatalogOffsetAt));
    const uint64_t created = coding::decodeFixed64(in + kCreatedAt);
    std::memcpy(&header.Created, &created, 8);
}

bool magicMatches(const char (&magic)[4]) {
    for (size_t i = 0; i < 4; ++i) {
        char c = magic[i];
        if (c == '\0') return false;  // the text ends before four letters
        if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
        if (c != kMagic[i]) return false;
    }
    return true;
}

}  // namespace oru
