// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The figures of an open archive, from its header, its file and every row of its catalog: what
// the window's Properties and `oru info` show.

#include <cstdint>
#include <string>

namespace oru {

class TKiv;

struct ArchiveFigures {
    std::string path;
    int64_t fileSize = 0;       // 0 when the file's size cannot be read
    int32_t catalogOffset = 0;
    double created = 0;         // the header's date-time
    int64_t folders = 0;
    int64_t files = 0;
    int64_t others = 0;         // rows of an unknown FileType: neither files nor folders
    int64_t originalBytes = 0;  // of the file rows
    int64_t storedBytes = 0;    // of the file rows
    int64_t otherBytes = 0;     // stored bytes of the unknown rows that lie in the data area
    int64_t deadBytes = 0;      // between the header and the catalog, held by no row
    int64_t catalogBytes = 0;   // from CatalogOffset to the end of the file
    int64_t slots = 0;          // the catalog's row slots
    int64_t logEntries = 0;     // the catalog's change-log entries

    int64_t entries() const { return folders + files + others; }

    // Counts every row of archive's catalog, whatever folder its cursor shows.
    static ArchiveFigures Of(TKiv& archive);
};

}  // namespace oru
