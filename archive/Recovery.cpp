// Opening an archive after a crash: replaying the recovery file of an interrupted add, and
// finishing a compaction that was cut short.
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
void TKiv::recoverInterruptedAdd(const std::string& journalPath) {
    const auto unrecoverable = [&](const std::string& why) {
        return Error(ErrorKind::Unrecoverable, {.archive = path_, .path = journalPath, .detail = why});
    };
    std::unique_ptr<FileStream> journal;
    AddJournal::Contents saved;
    try {
        journal = std::make_unique<FileStream>(journalPath, FileStream::Mode::OpenSide);
        if (!AddJournal::read(*journal, file_->size(), saved)) {
            // The add stopped before its first change to the archive.
            journal.reset();
            fs::deleteFile(journalPath);
            LoadCatalog();
            return;
        }
    } catch (const Error& e) {
        throw unrecoverable(e.what());
    }
    ArchiveHeader before;
    decodeHeader(saved.header, before);
    const int64_t size = file_->size();
    if (std::memcmp(before.Magic, header_.Magic, 4) != 0 ||
        std::memcmp(&before.Created, &header_.Created, sizeof(double)) != 0 || before.CatalogOffset < kHeaderSize ||
        before.CatalogOffset > size) {
        // Written for another archive that once had this name: this one is left as it is.
        journal.reset();
        try {
            LoadCatalog();
        } catch (const Error& e) {
            throw unrecoverable(e.what());
        }
        return;
    }
    try {
        header_ = before;
        catalog_->EmptyTable();
        if (!saved.packet.empty()) {
            MemoryStream packet(std::move(saved.packet));
            catalog_->LoadPacket(packet);
        }
        int64_t end = before.CatalogOffset;
        std::vector<uint8_t> bytes;
        std::unique_ptr<CatalogTable> rowsInOrder;  // the catalog in its default order
        for (const auto& row : saved.rows) {
            if (row.type == schema::kFile) {
                if (row.offset != end || row.storedSize <= 0 || end + row.storedSize > size) break;
                bytes.resize(static_cast<size_t>(row.storedSize));
                file_->seek(end);
                file_->readExact(bytes.data(), bytes.size());
                if (storedCheck(bytes.data(), bytes.size()) != row.check) break;
                if (row.replaces >= 0) {
                    // A file added again: the row it replaces must be a file row of the catalog.
                    if (!rowsInOrder) {
                        rowsInOrder = std::make_unique<CatalogTable>();
                        rowsInOrder->CloneFrom(*catalog_);
                        rowsInOrder->SetOrdering("");
                    }
                    if (row.replaces >= rowsInOrder->ViewSize() ||
                        rowsInOrder->IntegerAt(row.replaces, schema::kFileType) != schema::kFile) {
                        break;
                    }
                    replaceFileRow(*rowsInOrder, row);
                } else {
                    AppendEntry(row);
                }
                end += row.storedSize;
            } else if (row.type == schema::kFolder) {
                AppendEntry(row);
            } else {
                break;
            }
        }
        header_.CatalogOffset = static_cast<int32_t>(end);
        saveHeaderAndCatalog();
        file_->setSize(file_->position());
        syncFile();
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
void TKiv::restoreInterruptedCompact() {
    const std::string tempPath = TempPathFor(path_);
    if (!ownSideFile(tempPath)) return;
    std::unique_ptr<FileStream> temp;
    try {
        temp = std::make_unique<FileStream>(tempPath, FileStream::Mode::OpenSide);
    } catch (const Error&) {
        return;  // held open: another archive's compaction is running
    }
    const int64_t have = file_->size();
    const int64_t full = temp->size();
    if (have > full) return;
    constexpr size_t kChunk = size_t{1} << 20;
    std::vector<uint8_t> a(kChunk), b(kChunk);
    file_->seek(0);
    temp->seek(0);
    for (int64_t left = have; left > 0;) {
        const size_t n = static_cast<size_t>(std::min<int64_t>(left, kChunk));
        file_->readExact(a.data(), n);
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
            file_->seek(have);
            temp->seek(have);
            file_->copyFrom(*temp, full - have);
            syncFile();
        } catch (const Error& e) {
            throw e.naming(path_).keptIn(tempPath);
        }
    }
    temp.reset();
    fs::deleteFile(tempPath);
}

}  // namespace oru
