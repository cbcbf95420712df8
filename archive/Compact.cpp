// Compaction: rewriting the archive without the stored bytes of deleted rows, through the
// temporary file.
#include <fcntl.h>

#include <memory>

#include "archive/Operation.h"

namespace oru {
namespace {

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

void TKiv::Compact() {
    const Writing writing(*this);
    Run run;
    run.sink = progress_;
    const int recordNumber = catalog_->RecordNumber();
    const bool filtered = catalog_->Filtered();
    const auto restoreView = [&] {
        catalog_->SetFiltered(filtered);
        // An empty view has no row to return to; it stays empty.
        if (recordNumber >= 1 && recordNumber <= catalog_->ViewSize()) catalog_->SetRecordNumber(recordNumber);
    };
    catalog_->SetFiltered(false);

    const std::string tempPath = TempPathFor(path_);
    // A file of ours left there by an earlier failure is deleted first (opening has already
    // copied back any complete archive it held). Anything else under that name is not ours to
    // delete or write: the compaction cannot run then.
    if (ownSideFile(tempPath)) fs::deleteFile(tempPath);
    std::unique_ptr<FileStream> temp;
    try {
        temp = std::make_unique<FileStream>(tempPath, FileStream::Mode::CreateSide);
    } catch (const Error&) {
        throw Error(ErrorKind::SideFileTaken, {.path = tempPath});
    }

    const ArchiveHeader oldHeader = header_;
    // The archive is untouched by a failure of compactInto: the half-written temporary file is
    // of no use, and the catalog in memory (whose offsets were partly rewritten) is read again
    // from the file.
    const auto undo = [&] {
        temp.reset();
        fs::deleteFile(tempPath);
        header_ = oldHeader;
        reloadQuietly();
        try {
            restoreView();
        } catch (...) {
        }
    };
    try {
        compactInto(run, *temp);
    } catch (const Cancelled&) {
        undo();
        throw;
    } catch (const Error& e) {
        undo();
        throw e.naming(path_);  // a full disk, say, names the archive being compacted
    } catch (...) {
        undo();
        throw;
    }

    // The compacted archive takes the archive's place by a rename where that keeps everything
    // the file had; the archive is then never cut, and its bytes are not copied a second time.
    auto* archive = dynamic_cast<FileStream*>(file_.get());
    if (archive && fs::replaceByRename(temp->fd(), tempPath, archive->fd(), path_)) {
        temp->setPath(path_);
        if (lockable_) lockable_ = temp.get();
        file_ = std::move(temp);
        restoreView();
        return;
    }
    try {
        file_->setSize(0);
        file_->seek(0);
        temp->seek(0);
        file_->copyFrom(*temp, temp->size());
        syncFile();
    } catch (const Error& e) {
        // The archive file is cut short; the complete compacted archive is the temporary file.
        throw e.naming(path_).keptIn(tempPath);
    }
    temp.reset();
    fs::deleteFile(tempPath);
    restoreView();
}

void TKiv::compactInto(Run& run, Stream& temp) {
    CatalogTable& c = *catalog_;
    for (int i = 0; i < c.ViewSize(); ++i) {
        if (c.IntegerAt(i, schema::kFileType) != schema::kFile) continue;
        const auto storedSize = static_cast<int32_t>(c.IntegerAt(i, schema::kStoredSize));
        if (storedSize > 0) run.info.bytesTotal += static_cast<uint64_t>(storedSize);
    }

    uint8_t header[kHeaderSize];
    encodeHeader(header_, header);
    temp.seek(0);
    temp.write(header, kHeaderSize);

    int64_t pos = kHeaderSize;
    // The archive does not change size while it is compacted (it is held exclusively).
    const int64_t archiveSize = file_->size();
    StoredCopier copier(*file_, temp);
    for (c.First(); !c.AtEnd(); c.Next()) {
        const int32_t type = c.GetInteger(schema::kFileType);
        if (type == schema::kFolder) continue;
        run.checkCancelled();
        const int32_t storedSize = c.GetInteger(schema::kStoredSize);
        const int32_t offset = c.GetInteger(schema::kOffset);
        if (type != schema::kFile) {
            // A row of another type carries its bytes along when they lie in the data area; one
            // pointing anywhere else loses its offset, so that it never points into the bytes
            // of an entry the compacted archive holds.
            if (offset < kHeaderSize || storedSize <= 0 || int64_t{offset} + storedSize > header_.CatalogOffset) {
                c.Edit();
                c.SetInteger(schema::kOffset, 0);
                c.SetInteger(schema::kStoredSize, 0);
                c.Post();
                continue;
            }
        }
        try {
            seekStoredBytes(offset, storedSize, archiveSize);
        } catch (const Error& e) {
            throw e.naming(path_, entryLabel(c));
        }
        // Rows sharing stored bytes (a hostile catalog) could add up past the format's limit.
        if (pos + storedSize >= kArchiveLimit) throw Error(ErrorKind::ArchiveFull, {.path = path_});
        copier.copy(offset, storedSize);
        // Changing Offset does not move the row within the ordering.
        c.Edit();
        c.SetInteger(schema::kOffset, static_cast<int32_t>(pos));
        c.Post();
        pos += storedSize;

        ++run.info.itemsDone;
        run.info.bytesDone += static_cast<uint64_t>(storedSize);
        run.info.currentName = cp950::toUtf8(c.GetText(schema::kFileName));
        run.report();
    }
    copier.flush();
    c.SavePacket(temp);
    const int64_t end = temp.position();
    header_.CatalogOffset = static_cast<int32_t>(pos);
    encodeHeader(header_, header);
    temp.seek(0);
    temp.write(header, kHeaderSize);
    // The archive is cut only once the complete copy is on the disk.
    syncIfFile(temp);
    catalogBytes_ = end - pos;
    rowsSinceSave_ = 0;
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
