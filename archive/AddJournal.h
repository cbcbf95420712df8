// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The recovery file of adding. Adding writes a file's stored bytes over the start of the catalog
// in the archive, and writes the catalog again only now and then (and at the end), so between
// two catalog writes the archive itself lists nothing. The recovery file, beside the archive,
// keeps what is needed to rebuild the catalog: the header and the catalog as they were when the
// add began, then one record per row appended since. Opening the archive replays it when an add
// was interrupted (archive/FORMAT.md, "Recovery after a crash").

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "archive/ArchiveFormat.h"
#include "archive/EntryMeta.h"
#include "platform/Stream.h"

namespace oru {

// One appended row, as the recovery file keeps it. check is storedCheck of the stored bytes
// (file rows), so that a row whose bytes never reached the disk is not replayed.
struct JournalRow : ArchiveEntry {
    uint32_t check = 0;
    // A file added again: the place, in the catalog's default order, of the row whose stored
    // bytes it replaces; -1 for an appended row.
    int32_t replaces = -1;
    // The values of the extension columns; all empty for rows added in plain mode.
    EntryMeta meta;
};

// The check of a file's stored bytes kept in the recovery file: the Adler-32 of 32 bytes at
// every 4 KiB and of the last 32. Every page of the bytes holds a sampled run, so bytes that
// never reached the disk (a page left as it was, or zeros) show, at a fraction of the cost of
// checking every byte.
uint32_t storedCheck(const uint8_t* data, size_t n);

class AddJournal {
public:
    // The archive's path with ".recover" appended.
    static std::string PathFor(const std::string& archivePath);

    // Creates the file (a new file only, mode 0600, no link followed) holding header and packet, and flushes it and its folder to
    // the disk. On failure the partial file is deleted and the error passes on.
    AddJournal(const std::string& path, const uint8_t (&header)[16], const std::vector<uint8_t>& packet);
    ~AddJournal();
    AddJournal(const AddJournal&) = delete;
    AddJournal& operator=(const AddJournal&) = delete;

    void append(const JournalRow& row);
    void sync();
    // Closes and deletes the file.
    void remove();

    struct Contents {
        uint8_t header[16] = {};
        std::vector<uint8_t> packet;
        std::vector<JournalRow> rows;  // the complete records, up to the first torn one
    };
    // Reads the open file record by record. False when its first part (header and packet) is
    // incomplete or damaged, or describes a catalog larger than the archive (archiveSize bytes):
    // the add never got to change the archive then.
    static bool read(Stream& file, int64_t archiveSize, Contents& out);

private:
    std::string path_;
    std::unique_ptr<FileStream> file_;
};

}  // namespace oru
