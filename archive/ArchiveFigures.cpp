// SPDX-License-Identifier: GPL-3.0-or-later
#include "archive/ArchiveFigures.h"

#include <algorithm>
#include <filesystem>
#include <system_error>

#include "archive/zipUtil.h"
#include "catalog/ArchiveSchema.h"

namespace oru {

ArchiveFigures ArchiveFigures::Of(TKiv& archive) {
    ArchiveFigures f;
    f.path = archive.ArchivePath();
    std::error_code ec;
    const auto size = std::filesystem::file_size(f.path, ec);
    f.fileSize = ec ? 0 : static_cast<int64_t>(size);
    f.catalogOffset = archive.Header().CatalogOffset;
    f.created = archive.Header().Created;
    CatalogTable all;
    all.CloneFrom(archive.Catalog());
    all.SetFiltered(false);
    for (int i = 0, n = all.ViewSize(); i < n; ++i) {
        const int64_t type = all.IntegerAt(i, schema::kFileType);
        if (type == schema::kFolder) {
            ++f.folders;
        } else if (type == schema::kFile) {
            ++f.files;
            f.originalBytes += all.IntegerAt(i, schema::kOriginalSize);
            f.storedBytes += all.IntegerAt(i, schema::kStoredSize);
        } else {
            // Compaction keeps the bytes of such a row when they lie in the data area.
            ++f.others;
            const int64_t offset = all.IntegerAt(i, schema::kOffset);
            const int64_t stored = all.IntegerAt(i, schema::kStoredSize);
            if (offset >= kHeaderSize && stored > 0 && offset + stored <= f.catalogOffset) f.otherBytes += stored;
        }
    }
    const auto& data = archive.Catalog().Data();
    f.slots = static_cast<int64_t>(data.slots.size());
    f.logEntries = static_cast<int64_t>(data.log.size());
    f.catalogBytes = f.fileSize > f.catalogOffset ? f.fileSize - f.catalogOffset : 0;
    f.deadBytes = std::max<int64_t>(0, f.catalogOffset - kHeaderSize - f.storedBytes - f.otherBytes);
    return f;
}

}  // namespace oru
