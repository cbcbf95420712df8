// SPDX-License-Identifier: GPL-3.0-or-later
// Compaction: rewriting the archive without the stored bytes of deleted rows, through the
// temporary file.
#include "archive/CompactJob.h"

#include <fcntl.h>

#include <algorithm>
#include <map>
#include <memory>
#include <tuple>
#include <utility>
#include <vector>

namespace oru {
namespace {

// Whether a row's stored bytes go along with it: every file row's, and those of rows of another
// type that lie in the data area (dataEnd: the catalog offset); the others lose their offset.
bool carriesBytes(int32_t type, int32_t offset, int32_t storedSize, int64_t dataEnd) {
    if (type == schema::kFile) return true;
    return offset >= kHeaderSize && storedSize > 0 && int64_t{offset} + storedSize <= dataEnd;
}

// Refuses a catalog whose rows' stored ranges overlap without being the same range: such bytes
// cannot be kept once for every row, and a copy per row could multiply them. Rows giving the very
// same range are not refused (compaction keeps that range once for all of them).
void refuseOverlaps(CatalogTable& c, int64_t dataEnd, const std::string& archive) {
    struct Range {
        int64_t begin, end;
        int row;
    };
    std::vector<Range> ranges;
    for (int i = 0; i < c.ViewSize(); ++i) {
        if (c.IntegerAt(i, schema::kFileType) == schema::kFolder) continue;
        const auto type = static_cast<int32_t>(c.IntegerAt(i, schema::kFileType));
        const auto offset = static_cast<int32_t>(c.IntegerAt(i, schema::kOffset));
        const auto size = static_cast<int32_t>(c.IntegerAt(i, schema::kStoredSize));
        if (size <= 0 || !carriesBytes(type, offset, size, dataEnd)) continue;
        ranges.push_back({offset, int64_t{offset} + size, i});
    }
    std::sort(ranges.begin(), ranges.end(),
              [](const Range& a, const Range& b) { return std::tie(a.begin, a.end) < std::tie(b.begin, b.end); });
    std::vector<int> rows;  // rows of clusters holding more than one distinct range
    for (size_t first = 0; first < ranges.size();) {
        size_t last = first + 1;
        int64_t end = ranges[first].end;
        bool same = true;
        while (last < ranges.size() && ranges[last].begin < end) {
            same = same && ranges[last].begin == ranges[first].begin && ranges[last].end == ranges[first].end;
            end = std::max(end, ranges[last].end);
            ++last;
        }
        if (!same) {
            for (size_t k = first; k < last; ++k) rows.push_back(ranges[k].row);
        }
        first = last;
    }
    if (rows.empty()) return;
    std::vector<std::string> named;
    for (size_t k = 0; k < rows.size() && k < 3; ++k) {
        c.SetRecordNumber(rows[k] + 1);
        named.push_back(entryLabel(c));
    }
    throw Error(ErrorKind::StoredOverlap,
                {.archive = archive, .count = static_cast<int64_t>(rows.size()), .items = std::move(named)});
}

// Copies stored streams from the archive to the end of the temporary file, in the order asked.
// Streams that lie back to back in the archive are copied as one piece (after an earlier
// compaction nearly all of them do: one system call per entry of a few kilobytes costs more
// than the copying). Small pieces are gathered in memory and written in large ones; big ones
// are copied by the kernel. The disk is told to start writing each piece out at once, so that
// the flush before the archive is cut has little left to do.
class StoredCopier {
public:
    StoredCopier(Stream& archive, Stream& temp) : archive_(archive), temp_(temp), buffer_(new uint8_t[kBuffer]) {}

    // Copies size bytes from offset in the archive (both checked by the caller).
    void copy(int64_t offset, int32_t size) {
        if (size <= 0) return;
        // A piece is bounded, so that the copying keeps pace with the progress reported.
        if (runSize_ > 0 && offset == runStart_ + runSize_ && runSize_ + size <= kRunLimit) {
            runSize_ += size;
            return;
        }
        copyRun();
        runStart_ = offset;
        runSize_ = size;
    }
    // Copies what is still pending; the temporary file is then complete up to its position.
    void flush() {
        copyRun();
        writeBuffer();
    }

private:
    static constexpr size_t kBuffer = size_t{4} << 20;
    static constexpr int64_t kSmall = int64_t{256} << 10;
    static constexpr int64_t kRunLimit = int64_t{64} << 20;

    void copyRun() {
        if (runSize_ == 0) return;
        archive_.seek(runStart_);
        if (runSize_ > kSmall) {
            writeBuffer();
            const int64_t start = temp_.position();
            temp_.copyFrom(archive_, runSize_);
            startWriteback(start);
        } else {
            if (used_ + static_cast<size_t>(runSize_) > kBuffer) writeBuffer();
            archive_.readExact(buffer_.get() + used_, static_cast<size_t>(runSize_));
            used_ += static_cast<size_t>(runSize_);
        }
        runSize_ = 0;
    }
    void writeBuffer() {
        if (used_ == 0) return;
        const int64_t start = temp_.position();
        temp_.write(buffer_.get(), used_);
        used_ = 0;
        startWriteback(start);
    }
    void startWriteback(int64_t start) {
        if (auto* file = dynamic_cast<FileStream*>(&temp_)) {
            ::sync_file_range(file->fd(), start, temp_.position() - start, SYNC_FILE_RANGE_WRITE);
        }
    }

    Stream& archive_;
    Stream& temp_;
    std::unique_ptr<uint8_t[]> buffer_;
    size_t used_ = 0;
    int64_t runStart_ = 0;  // the pending piece of the archive, not yet copied
    int64_t runSize_ = 0;
};

}  // namespace

void TKiv::Compact() { CompactJob(*this).Run(); }

CompactJob::CompactJob(TKiv& archive) : kiv_(archive) { progress_.sink = kiv_.progress_; }

void CompactJob::Run() {
    const TKiv::Writing writing(kiv_);
    const int recordNumber = kiv_.catalog_->RecordNumber();
    const bool filtered = kiv_.catalog_->Filtered();
    const auto restoreView = [&] {
        kiv_.catalog_->SetFiltered(filtered);
        // An empty view has no row to return to; it stays empty.
        if (recordNumber >= 1 && recordNumber <= kiv_.catalog_->ViewSize()) kiv_.catalog_->SetRecordNumber(recordNumber);
    };
    kiv_.catalog_->SetFiltered(false);

    const std::string tempPath = kiv_.TempPathFor(kiv_.path_);
    // A file of ours left there by an earlier failure is deleted first (opening has already
    // copied back any complete archive it held). Anything else under that name is not ours to
    // delete or write: the compaction cannot run then.
    if (kiv_.ownSideFile(tempPath)) fs::deleteFile(tempPath);
    std::unique_ptr<FileStream> temp;
    try {
        temp = std::make_unique<FileStream>(tempPath, FileStream::Mode::CreateSide);
    } catch (const Error&) {
        throw Error(ErrorKind::SideFileTaken, {.path = tempPath});
    }

    const ArchiveHeader oldHeader = kiv_.header_;
    // The archive is untouched by a failure of compactInto: the half-written temporary file is
    // of no use, and the catalog in memory (whose offsets were partly rewritten) is read again
    // from the file.
    const auto undo = [&] {
        temp.reset();
        fs::deleteFile(tempPath);
        kiv_.header_ = oldHeader;
        kiv_.reloadQuietly();
        try {
            restoreView();
        } catch (...) {
        }
    };
    try {
        compactInto(*temp);
    } catch (const Cancelled&) {
        undo();
        throw;
    } catch (const Error& e) {
        undo();
        throw e.naming(kiv_.path_);  // a full disk, say, names the archive being compacted
    } catch (...) {
        undo();
        throw;
    }

    // The compacted archive takes the archive's place by a rename where that keeps everything
    // the file had; the archive is then never cut, and its bytes are not copied a second time.
    auto* archive = dynamic_cast<FileStream*>(kiv_.file_.get());
    if (archive && fs::replaceByRename(temp->fd(), tempPath, archive->fd(), kiv_.path_)) {
        temp->setPath(kiv_.path_);
        if (kiv_.lockable_) kiv_.lockable_ = temp.get();
        kiv_.file_ = std::move(temp);
        restoreView();
        return;
    }
    try {
        kiv_.file_->setSize(0);
        kiv_.file_->seek(0);
        temp->seek(0);
        kiv_.file_->copyFrom(*temp, temp->size());
        kiv_.syncFile();
    } catch (const Error& e) {
        // The archive file is cut short; the complete compacted archive is the temporary file.
        throw e.naming(kiv_.path_).keptIn(tempPath);
    }
    temp.reset();
    fs::deleteFile(tempPath);
    restoreView();
}

void CompactJob::compactInto(Stream& temp) {
    CatalogTable& c = *kiv_.catalog_;
    for (int i = 0; i < c.ViewSize(); ++i) {
        if (c.IntegerAt(i, schema::kFileType) != schema::kFile) continue;
        const auto storedSize = static_cast<int32_t>(c.IntegerAt(i, schema::kStoredSize));
        if (storedSize > 0) progress_.info.bytesTotal += static_cast<uint64_t>(storedSize);
    }

    uint8_t header[kHeaderSize];
    encodeHeader(kiv_.header_, header);
    temp.seek(0);
    temp.write(header, kHeaderSize);

    // Damaged or hostile rows sharing stored bytes: unequal overlaps are refused before anything
    // is written, rows of one range share its one copy, so that the archive never grows.
    refuseOverlaps(c, kiv_.header_.CatalogOffset, kiv_.path_);
    std::map<std::pair<int32_t, int32_t>, int32_t> copiedTo;  // (offset, size) -> new offset

    int64_t pos = kHeaderSize;
    // The archive does not change size while it is compacted (it is held exclusively).
    const int64_t archiveSize = kiv_.file_->size();
    StoredCopier copier(*kiv_.file_, temp);
    for (c.First(); !c.AtEnd(); c.Next()) {
        const int32_t type = c.GetInteger(schema::kFileType);
        if (type == schema::kFolder) continue;
        progress_.checkCancelled();
        const int32_t storedSize = c.GetInteger(schema::kStoredSize);
        const int32_t offset = c.GetInteger(schema::kOffset);
        if (!carriesBytes(type, offset, storedSize, kiv_.header_.CatalogOffset)) {
            // A row of another type pointing outside the data area loses its offset, so that it
            // never points into the bytes of an entry the compacted archive holds.
            c.Edit();
            c.SetInteger(schema::kOffset, 0);
            c.SetInteger(schema::kStoredSize, 0);
            c.Post();
            continue;
        }
        try {
            kiv_.seekStoredBytes(offset, storedSize, archiveSize);
        } catch (const Error& e) {
            throw e.naming(kiv_.path_, entryLabel(c));
        }
        int32_t newOffset = static_cast<int32_t>(pos);
        const auto copied = storedSize > 0 ? copiedTo.find({offset, storedSize}) : copiedTo.end();
        if (copied != copiedTo.end()) {
            newOffset = copied->second;
        } else {
            if (pos + storedSize >= kArchiveLimit) throw Error(ErrorKind::ArchiveFull, {.path = kiv_.path_});
            copier.copy(offset, storedSize);
            if (storedSize > 0) copiedTo.emplace(std::make_pair(offset, storedSize), newOffset);
            pos += storedSize;
        }
        // Changing Offset does not move the row within the ordering.
        c.Edit();
        c.SetInteger(schema::kOffset, newOffset);
        c.Post();

        ++progress_.info.itemsDone;
        progress_.info.bytesDone += static_cast<uint64_t>(storedSize);
        progress_.info.currentName = cp950::toUtf8(c.GetText(schema::kFileName));
        progress_.report();
    }
    copier.flush();
    c.SavePacket(temp);
    const int64_t end = temp.position();
    kiv_.header_.CatalogOffset = static_cast<int32_t>(pos);
    encodeHeader(kiv_.header_, header);
    temp.seek(0);
    temp.write(header, kHeaderSize);
    // The archive is cut only once the complete copy is on the disk.
    syncIfFile(temp);
    kiv_.catalogBytes_ = end - pos;
    kiv_.rowsSinceSave_ = 0;
}

void TKiv::reloadQuietly() noexcept {
    try {
        LoadCatalog();
    } catch (...) {
        // The file's catalog was readable when it was opened; if it no longer is, the first
        // error is still the one to report.
    }
}

}  // namespace oru
