// SPDX-License-Identifier: GPL-3.0-or-later
// Opening an archive after a crash: replaying the recovery file of an interrupted add, and
// finishing a compaction that was cut short.
#include "archive/Recovery.h"

#include <algorithm>
#include <cstring>
#include <memory>
#include <vector>

#include "archive/AddJournal.h"
#include "archive/Operation.h"

namespace oru {

// An add was interrupted (the process killed, the power lost) when the recovery file is there.
// The catalog is rebuilt from the one the add began with, and every recorded row whose stored
// bytes lie, intact, where the data area went on; then it is written, with the header, where
// those bytes end, and the file is cut behind it.
void Recovery::FinishAdd(const std::string& journalPath) {
    const auto unrecoverable = [&](const std::string& why) {
        return Error(ErrorKind::Unrecoverable, {.archive = kiv_.path_, .path = journalPath, .detail = why});
    };
    std::unique_ptr<FileStream> journal;
    AddJournal::Contents saved;
    try {
        journal = std::make_unique<FileStream>(journalPath, FileStream::Mode::OpenSide);
        if (!AddJournal::read(*journal, kiv_.file_->size(), saved)) {
            // The add stopped before its first change to the archive.
            journal.reset();
            fs::deleteFile(journalPath);
            kiv_.LoadCatalog();
            return;
        }
    } catch (const Error& e) {
        throw unrecoverable(e.what());
    }
    ArchiveHeader before;
    decodeHeader(saved.header, before);
    const int64_t size = kiv_.file_->size();
    if (std::memcmp(before.Magic, kiv_.header_.Magic, 4) != 0 ||
        std::memcmp(&before.Created, &kiv_.header_.Created, sizeof(double)) != 0 || before.CatalogOffset < kHeaderSize ||
        before.CatalogOffset > size) {
        // Written for another archive that once had this name: this one is left as it is.
        journal.reset();
        try {
            kiv_.LoadCatalog();
        } catch (const Error& e) {
            throw unrecoverable(e.what());
        }
        return;
    }
    try {
        kiv_.header_ = before;
        kiv_.catalog_->EmptyTable();
        if (!saved.packet.empty()) {
            MemoryStream packet(std::move(saved.packet));
            kiv_.catalog_->LoadPacket(packet);
        }
        int64_t end = before.CatalogOffset;
        std::vector<uint8_t> bytes;
        std::unique_ptr<CatalogTable> rowsInOrder;  // the catalog in its default order
        for (const auto& row : saved.rows) {
            if (row.type == schema::kFile) {
                if (row.offset != end || row.storedSize <= 0 || end + row.storedSize > size) break;
                bytes.resize(static_cast<size_t>(row.storedSize));
                kiv_.file_->seek(end);
                kiv_.file_->readExact(bytes.data(), bytes.size());
                if (storedCheck(bytes.data(), bytes.size()) != row.check) break;
                if (row.replaces >= 0) {
                    // A file added again: the row it replaces must be a file row of the catalog.
                    if (!rowsInOrder) {
                        rowsInOrder = std::make_unique<CatalogTable>();
                        rowsInOrder->CloneFrom(*kiv_.catalog_);
                        rowsInOrder->SetOrdering("");
                    }
                    if (row.replaces >= rowsInOrder->ViewSize() ||
                        rowsInOrder->IntegerAt(row.replaces, schema::kFileType) != schema::kFile) {
                        break;
                    }
                    kiv_.replaceFileRow(*rowsInOrder, row);
                } else {
                    kiv_.AppendEntry(row);
                }
                end += row.storedSize;
            } else if (row.type == schema::kFolder) {
                kiv_.AppendEntry(row);
            } else {
                break;
            }
        }
        kiv_.header_.CatalogOffset = static_cast<int32_t>(end);
        kiv_.saveHeaderAndCatalog();
        kiv_.file_->setSize(kiv_.file_->position());
        kiv_.syncFile();
    } catch (const Error& e) {
        // The packet reader's refusals carry only a status code: the recovery file is no sound one.
        throw unrecoverable(e.kind() != ErrorKind::CatalogStatus ? e.what()
                                                                  : errorText(ErrorKind::BadFormat, {.archive = journalPath}));
    }
    journal.reset();
    fs::deleteFile(journalPath);
}

// Compaction cuts the archive and copies the complete compacted copy back from the temporary
// file. When it was interrupted in between, the archive holds the beginning of that copy: the
// rest is copied from the temporary file, which is then deleted. A temporary file equal to the
// archive (interrupted just before its deletion) is deleted; any other is left alone.
void Recovery::FinishCompact() {
    const std::string tempPath = kiv_.TempPathFor(kiv_.path_);
    if (!kiv_.ownSideFile(tempPath)) return;
    std::unique_ptr<FileStream> temp;
    try {
        temp = std::make_unique<FileStream>(tempPath, FileStream::Mode::OpenSide);
    } catch (const Error&) {
        return;  // held open: another archive's compaction is running
    }
    const int64_t have = kiv_.file_->size();
    const int64_t full = temp->size();
    if (have > full) return;
    constexpr size_t kChunk = size_t{1} << 20;
    std::vector<uint8_t> a(kChunk), b(kChunk);
    kiv_.file_->seek(0);
    temp->seek(0);
    for (int64_t left = have; left > 0;) {
        const size_t n = static_cast<size_t>(std::min<int64_t>(left, kChunk));
        kiv_.file_->readExact(a.data(), n);
        temp->readExact(b.data(), n);
        if (std::memcmp(a.data(), b.data(), n) != 0) return;
        left -= static_cast<int64_t>(n);
    }
    if (have < full) {
        // Only a complete archive is copied: a header with the magic, and a catalog that loads.
        if (full < kHeaderSize) return;
        uint8_t raw[kHeaderSize];
        temp->seek(0);
        temp->readExact(raw, kHeaderSize);
        ArchiveHeader header;
        decodeHeader(raw, header);
        if (!magicMatches(header.Magic) || header.CatalogOffset < kHeaderSize || header.CatalogOffset > full) return;
        if (header.CatalogOffset < full) {
            try {
                CatalogTable probe;
                temp->seek(header.CatalogOffset);
                probe.LoadPacket(*temp);
            } catch (const Error&) {
                return;
            }
        }
        try {
            kiv_.file_->seek(have);
            temp->seek(have);
            kiv_.file_->copyFrom(*temp, full - have);
            kiv_.syncFile();
        } catch (const Error& e) {
            throw e.naming(kiv_.path_).keptIn(tempPath);
        }
    }
    temp.reset();
    fs::deleteFile(tempPath);
}

}  // namespace oru
