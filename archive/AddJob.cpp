// SPDX-License-Identifier: GPL-3.0-or-later
// AddJob: adding files and folders to an archive, with checkpoints of header and catalog and the
// recovery file that covers the time between two of them.
#include "archive/AddJob.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#include <zlib.h>

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <optional>
#include <utility>

#include "archive/AddJournal.h"
#include "archive/EntryCodec.h"
#include "archive/EntryNames.h"
#include "archive/Operation.h"
#include "archive/ReadAhead.h"
#include "platform/Clock.h"
#include "platform/WorkerPool.h"

namespace oru {
namespace {

// The stored stream of a file on its way into the archive, at the end of the data area. Up to
// kHeld bytes are held in memory, so that a small file is written in one piece once it is
// complete (a failure before that leaves the archive untouched). Beyond that the stream goes to
// the archive as it is made, and the disk is told to start writing it out at once: a big file
// needs no memory of its own size, and the flush at the next checkpoint has little left to wait
// for. check() is storedCheck of the whole stream, sampled as it passes.
class StoredStream : public codec::Sink {
public:
    static constexpr size_t kHeld = size_t{8} << 20;  // a multiple of 4 KiB
    // beforeWrite(size, first) is called before each write, with the stream's size after it.
    using BeforeWrite = std::function<void(int64_t size, bool first)>;
    StoredStream(Stream& file, int64_t start, uint8_t* buffer, BeforeWrite beforeWrite)
        : file_(file), start_(start), buffer_(buffer), beforeWrite_(std::move(beforeWrite)) {}

    uint8_t* room(size_t& available) override {
        if (used_ == kHeld) write(true);
        available = kHeld - used_;
        return buffer_ + used_;
    }
    void commit(size_t n) override { used_ += n; }
    // Writes what is still held; returns the size of the whole stream.
    int64_t finish() {
        write(streaming_);
        return written_;
    }
    // Whether any of the stream has been written to the archive yet.
    bool started() const { return written_ > 0; }
    uint32_t check() const {
        return static_cast<uint32_t>(::adler32(check_, tail_, static_cast<uInt>(tailSize_)));
    }

private:
    static constexpr size_t kStep = 4096, kRun = 32;

    void write(bool streaming) {
        if (used_ == 0) return;
        beforeWrite_(written_ + static_cast<int64_t>(used_), written_ == 0);
        file_.seek(start_ + written_);
        file_.write(buffer_, used_);
        // Runs start at multiples of kStep; every write but the last is a multiple of it.
        for (size_t at = 0; at < used_; at += kStep) {
            check_ = ::adler32(check_, buffer_ + at, static_cast<uInt>(std::min(kRun, used_ - at)));
        }
        const size_t keep = std::min(kRun, used_);
        if (tailSize_ + keep > kRun) {
            const size_t drop = tailSize_ + keep - kRun;
            std::memmove(tail_, tail_ + drop, tailSize_ - drop);
            tailSize_ -= drop;
        }
        std::memcpy(tail_ + tailSize_, buffer_ + used_ - keep, keep);
        tailSize_ += keep;
        written_ += static_cast<int64_t>(used_);
        used_ = 0;
        streaming_ = streaming;
        if (streaming) {
            if (auto* f = dynamic_cast<FileStream*>(&file_)) {
                ::sync_file_range(f->fd(), start_, written_, SYNC_FILE_RANGE_WRITE);
            }
        }
    }

    Stream& file_;
    const int64_t start_;
    uint8_t* buffer_;
    BeforeWrite beforeWrite_;
    size_t used_ = 0;
    int64_t written_ = 0;
    bool streaming_ = false;
    uLong check_ = ::adler32(0, nullptr, 0);
    uint8_t tail_[kRun] = {};
    size_t tailSize_ = 0;
};

// An upper bound on what one appended row adds to the catalog packet (two 40-byte texts, five
// 8-byte values and the row's status, flags and log entry come to well under this).
constexpr int64_t kRowBytesBound = 256;
// What the extension values add at most: three long texts (with their 2-byte lengths) and two
// integers; and, once, the descriptions of the extension columns themselves.
constexpr int64_t kMetaBytesBound = schema::kTrueNameWidth + schema::kNameBytesWidth + schema::kLinkTargetWidth + 3 * 2 + 4 + 8;
constexpr int64_t kMetaColumnsBound = 512;

}  // namespace

//
// Within one AddPath call the header and catalog are written only at checkpoints: when enough
// time has passed since the last one, at the end, and on every failure. Between two of them the
// stored bytes of new files overwrite the catalog in the archive, so the recovery file beside it
// keeps the header and catalog as they were when the call began, and one record per row appended
// since, each written after the stored bytes it describes. A crash at any write therefore loses
// at most the file being written: opening the archive replays the recovery file. The archive a
// call leaves behind is byte for byte the one that writing header and catalog after every file
// gives, since each checkpoint writes the same header and the whole catalog behind the data.

void TKiv::AddPath(const std::string& parentName, const std::string& path, AddMode mode) {
    AddJob(*this, parentName, path, mode).Run();
}

bool TKiv::PlainByDefault() {
    const char* plain = std::getenv("ORU_PLAIN");
    return plain && std::strcmp(plain, "1") == 0;
}

AddJob::AddJob(TKiv& archive, std::string parentName, std::string path, TKiv::AddMode mode)
    : kiv_(archive), parent_(std::move(parentName)), source_(std::move(path)), plain_(archive.plain_),
      followLinks_(archive.plain_ || archive.dereference_) {
    progress_.sink = kiv_.progress_;
    keepBoth_ = mode == TKiv::AddMode::KeepBoth;
}

AddJob::~AddJob() = default;

void AddJob::Run() {
    const TKiv::Writing writing(kiv_);
    ownFiles_ = ownFiles();
    // An archive written elsewhere, or in plain mode, gets the extension columns; its rows leave
    // them unassigned.
    if (!plain_ && !entrymeta::hasColumns(*kiv_.catalog_)) entrymeta::addColumns(*kiv_.catalog_);
    try {
        addPathAt(parent_, source_);
        endAdd();
    } catch (const Cancelled&) {
        endAddAfterFailure();
        throw;
    } catch (const Error& e) {
        endAddAfterFailure();
        // A full disk, or a write the archive's file refused, names the archive.
        throw e.naming(kiv_.path_);
    } catch (...) {
        endAddAfterFailure();
        throw;
    }
}

std::vector<std::string> TKiv::AddedBefore(const std::string& parentName, const std::vector<std::string>& paths) {
    NameIndex names(*catalog_);
    std::vector<std::string> found;
    for (const auto& path : paths) {
        const fs::PathInfo info = fs::inspect(path, plain_ || dereference_);
        if (info.error != 0) continue;
        const int32_t type = info.directory ? schema::kFolder : schema::kFile;
        const std::string name = sourceName(path);
        const std::string trueName = plain_ ? std::string() : readableName(name);
        if (names.locate(parentName, storableName(name), type, true, trueName).row >= 0) found.push_back(path);
    }
    return found;
}

// The archive and the side files it has now; the recovery file this add makes is known by
// journalId_ once it exists.
std::vector<fs::FileId> AddJob::ownFiles() const {
    std::vector<fs::FileId> ids;
    for (const std::string& p : {kiv_.path_, kiv_.RecoveryPathFor(kiv_.path_), kiv_.TempPathFor(kiv_.path_)}) {
        fs::FileId id;
        if (fs::fileId(p, id)) ids.push_back(id);
    }
    return ids;
}

namespace {

SkipReason reasonFor(int error) {
    switch (error) {
        case EACCES:
        case EPERM: return SkipReason::Denied;
        case ENOENT:
        case ENOTDIR: return SkipReason::Missing;
        case ELOOP: return SkipReason::BrokenLink;
        default: return SkipReason::ReadError;
    }
}

// Reads a source file, noting whether a read failed: such a failure leaves the file out, while
// every other failure (writing the archive, the codec) ends the add.
class SourceReader : public Stream {
public:
    explicit SourceReader(Stream& file) : file_(file) {}
    size_t read(void* buffer, size_t n) override {
        try {
            return file_.read(buffer, n);
        } catch (const Error&) {
            failed_ = true;
            throw;
        }
    }
    void write(const void*, size_t) override { throw Error(ErrorKind::WriteError, {}); }
    int64_t position() const override { return file_.position(); }
    void seek(int64_t position) override { file_.seek(position); }
    int64_t size() const override { return file_.size(); }
    void setSize(int64_t) override { throw Error(ErrorKind::WriteError, {}); }
    bool failed() const { return failed_; }

private:
    Stream& file_;
    bool failed_ = false;
};

}  // namespace

// Items that cannot be read (no permission, vanished, a broken link, a read error, a folder that
// cannot be listed) are left out and reported, and the add goes on with the rest. The archive and
// its side files met in an added folder are passed over quietly, as zip passes over its own
// output; named directly they are reported.
void AddJob::addPathAt(const std::string& parentName, const std::string& path) {
    // Below the given path, addFolder has asked the filter already.
    if (openFolders_.empty() && kiv_.addFilter_ && kiv_.addFilter_(path)) return;
    const bool named = openFolders_.empty();  // the caller gave this path itself
    const fs::PathInfo info = fs::inspect(path, followLinks_);
    if (info.error != 0) {
        progress_.skip(path, info.brokenLink ? SkipReason::BrokenLink : reasonFor(info.error));
        return;
    }
    const bool own = std::find(ownFiles_.begin(), ownFiles_.end(), info.id) != ownFiles_.end() ||
                     (journal_ && info.id == journalId_);
    if (own) {
        if (named) progress_.skip(path, SkipReason::ArchiveItself);
        return;
    }
    if (info.link && info.linkTarget.size() > schema::kLinkTargetWidth) {
        // Longer than any Linux file system keeps; the column could not hold it.
        progress_.skip(path, SkipReason::ReadError);
        return;
    }
    if (info.directory) {
        addFolder(parentName, path, info);
    } else if (info.regular || info.link) {
        addFile(parentName, path, info);
    } else if (named) {
        progress_.skip(path, SkipReason::NotAFile);
    }
    // Inside a folder, pipes, sockets and devices are passed over: they hold no content, and
    // opening a pipe would wait for a writer.
}

// The name the item at path gets below parentName, or the row of the same path that an earlier
// add made (to be replaced). Keeping both concerns the item itself: below it, in a folder just
// made, nothing is there to reuse.
NameIndex::Place AddJob::placeOf(const std::string& parentName, const std::string& path, int32_t type,
                                 std::string& trueName) {
    if (!names_) names_ = std::make_unique<NameIndex>(*kiv_.catalog_);
    const bool reuse = !(keepBoth_ && openFolders_.empty());
    const std::string name = sourceName(path);
    trueName = plain_ ? std::string() : readableName(name);
    const NameIndex::Place place = names_->locate(parentName, storableName(name), type, reuse, trueName);
    if (place.row >= 0) names_->claim(place.row);
    // A new row never shows the name of another row beside it (an item kept beside one of its
    // name, a folder beside a file of its name): it is shown under a name of its own.
    if (place.row < 0 && !plain_) trueName = names_->freeTrueName(parentName, trueName);
    return place;
}

EntryMeta AddJob::metaOf(const std::string& catalogName, const std::string& trueName, const std::string& path,
                         const fs::PathInfo& info) const {
    EntryMeta meta;
    if (plain_) return meta;
    // TrueName only where the catalog name does not give the name; NameBytes only where the
    // bytes on disk are not the true name's (names that are not UTF-8).
    if (cp950::toUtf8(catalogName) != trueName) meta.trueName = trueName;
    const std::string bytes = sourceName(path);
    if (bytes != readableName(bytes)) meta.nameBytes = bytes;
    meta.mode = info.mode;
    if (info.link) meta.linkTarget = info.linkTarget;
    meta.modifiedNs = info.modifiedNs;
    return meta;
}

// Tells the sink when the item at path went in under another name than its own: in plain mode
// whenever the catalog name differs; otherwise only when the name shown differs (an item kept
// beside one of its name), since the true name is stored beside the catalog name.
void AddJob::reportStoredName(const std::string& path, const std::string& storedName, const EntryMeta& meta) {
    const std::string stored = cp950::toUtf8(storedName);
    const std::string name = sourceName(path);
    if (plain_) {
        if (stored != name) progress_.reportRenamed(path, stored);
        return;
    }
    const std::string shown = meta.trueName.value_or(stored);
    if (shown != readableName(name)) progress_.reportRenamed(path, shown);
}

void AddJob::addFolder(const std::string& parentName, const std::string& path, const fs::PathInfo& info) {
    // A link back to a folder on the current path would be walked without end: it is skipped.
    const fs::FileId& id = info.id;
    for (const auto& open : openFolders_) {
        if (open == id) return;
    }
    std::string trueName;
    const NameIndex::Place place = placeOf(parentName, path, schema::kFolder, trueName);
    const EntryMeta meta = metaOf(place.name, trueName, path, info);
    progress_.checkCancelled();
    // A folder whose entries cannot be listed gets no row: stored empty, it would look complete.
    std::vector<std::string> entries;
    int error = 0;
    if (!fs::listDirectory(path, entries, error)) {
        const SkipReason reason = reasonFor(error);
        progress_.skip(path, reason == SkipReason::ReadError ? SkipReason::Unlistable : reason);
        return;
    }
    if (place.row < 0) {
        beginJournal();
        JournalRow row;
        row.type = schema::kFolder;
        row.name = place.name;
        row.parent = parentName;
        row.checkin = clock::now();
        row.meta = meta;
        kiv_.AppendEntry(row);
        names_->append(parentName, place.name, schema::kFolder, trueName);
        unsaved_ = true;
        ++rowsAdded_;
        if (journal_) journal_->append(row);
    }
    reportStoredName(path, place.name, meta);
    ++progress_.info.itemsDone;
    progress_.info.currentName = path;
    progress_.report();

    std::vector<std::string> paths;
    for (const auto& entry : entries) {
        // Items the caller leaves out are not read ahead either.
        std::string entryPath = fs::join(path, entry);
        if (!kiv_.addFilter_ || !kiv_.addFilter_(entryPath)) paths.push_back(std::move(entryPath));
    }
    // With more than one thread the folder's small files are read and compressed ahead.
    std::optional<ReadAhead> ahead;
    if (codec::threads() > 1) ahead.emplace(paths, WorkerPool::shared());
    struct Restore {
        ReadAhead*& current;
        ReadAhead* outer;
        ~Restore() { current = outer; }
    } restore{readAhead_, std::exchange(readAhead_, ahead ? &*ahead : nullptr)};

    openFolders_.push_back(id);
    for (const auto& entryPath : paths) addPathAt(place.name, entryPath);
    openFolders_.pop_back();
}

// The source file at path opened for reading and locked, or nullptr when it cannot be (the file
// is then reported as left out).
std::unique_ptr<FileStream> AddJob::openSource(const std::string& path) {
    // Not blocking: should a pipe have taken the file's place, the open must not wait for a writer.
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NOCTTY | O_NONBLOCK);
    if (fd < 0) {
        progress_.skip(path, reasonFor(errno));
        return nullptr;
    }
    struct stat st {};
    if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
        ::close(fd);
        progress_.skip(path, SkipReason::Missing);  // it is no longer the file that was there
        return nullptr;
    }
    try {
        return std::make_unique<FileStream>(fd, path);  // a shared lock: other readers may read it too
    } catch (const Error&) {
        progress_.skip(path, SkipReason::InUse);
        return nullptr;
    }
}

void AddJob::addFile(const std::string& parentName, const std::string& path, const fs::PathInfo& info) {
    progress_.checkCancelled();
    // Everything that can refuse the file does so before a byte of it is written.
    std::string trueName;
    const NameIndex::Place place = placeOf(parentName, path, schema::kFile, trueName);
    const EntryMeta meta = metaOf(place.name, trueName, path, info);
    // A link's content is its target, as a reader of the eight columns finds it: a small file.
    std::unique_ptr<PackedFile> packed = readAhead_ && !info.link ? readAhead_->take(path) : nullptr;
    std::unique_ptr<Stream> file;
    if (info.link) {
        file = std::make_unique<MemoryStream>(std::vector<uint8_t>(info.linkTarget.begin(), info.linkTarget.end()));
    } else if (!packed) {
        file = openSource(path);
        if (!file) return;
        if (file->size() >= kArchiveLimit) throw Error(ErrorKind::SourceTooLarge, {.path = path});
    }

    progress_.info.currentName = path;
    const uint64_t bytesBefore = progress_.info.bytesDone;
    if (!storedBuffer_) storedBuffer_.reset(new uint8_t[StoredStream::kHeld]);
    // The stored bytes go where the data area ends (over the catalog written there last); a
    // failure once they are being written is handled by endAddAfterFailure, which writes the
    // catalog back there.
    StoredStream stored(*kiv_.file_, kiv_.header_.CatalogOffset, storedBuffer_.get(), [&](int64_t size, bool first) {
        checkRoomFor(path, size);
        if (first) beginJournal();
    });
    // The sizes recorded are those of the bytes actually read, should the file change meanwhile.
    // Cancel is looked at with every megabyte read, so that a big file does not hold it up.
    uint64_t originalSize = 0;
    if (packed) {
        stored.put(packed->stored.data(), packed->stored.size());
        originalSize = packed->originalSize;
    } else {
        SourceReader source(*file);
        try {
            originalSize = codec::compress(source, stored, kArchiveLimit - 1, [&](uint64_t consumed) {
                progress_.checkCancelled();
                progress_.info.bytesDone = bytesBefore + consumed;
                progress_.report();
            });
        } catch (const Error&) {
            if (!source.failed()) throw;
            // The file is left out; what of it went into the archive lies behind the data area
            // and is overwritten by the next file or cut off at the end of the add.
            strayBytes_ = strayBytes_ || stored.started();
            progress_.info.bytesDone = bytesBefore;
            progress_.skip(path, SkipReason::ReadError);
            return;
        }
    }
    if (originalSize >= static_cast<uint64_t>(kArchiveLimit)) throw Error(ErrorKind::SourceTooLarge, {.path = path});
    const int64_t storedSize = stored.finish();

    JournalRow row;
    row.type = schema::kFile;
    row.offset = kiv_.header_.CatalogOffset;
    row.originalSize = static_cast<int32_t>(originalSize);
    row.storedSize = static_cast<int32_t>(storedSize);
    row.checkin = clock::now();
    row.check = stored.check();
    row.name = place.name;
    row.parent = parentName;
    row.meta = meta;
    if (place.row >= 0) {
        // The same path added again: its row takes the new bytes; the old ones are dead bytes.
        row.replaces = place.row;
        if (!rowsInOrder_) {
            rowsInOrder_ = std::make_unique<CatalogTable>();
            rowsInOrder_->CloneFrom(*kiv_.catalog_);
            rowsInOrder_->SetOrdering("");
        }
        kiv_.replaceFileRow(*rowsInOrder_, row);
        replacedEnd_ = static_cast<int32_t>(kiv_.header_.CatalogOffset + storedSize);
    } else {
        kiv_.AppendEntry(row);
        names_->append(parentName, place.name, schema::kFile, trueName);
        ++rowsAdded_;
    }
    kiv_.header_.CatalogOffset = static_cast<int32_t>(kiv_.header_.CatalogOffset + storedSize);
    unsaved_ = true;
    // Written after the stored bytes: a record on disk always describes bytes already written.
    if (journal_) journal_->append(row);

    const double interval = kiv_.CheckpointInterval();
    const auto now = std::chrono::steady_clock::now();
    if (interval <= 0 || withoutJournal_ || now - lastCheckpoint_ >= std::chrono::duration<double>(interval) + checkpointCost_ * 4) {
        checkpoint();
    }

    reportStoredName(path, place.name, meta);
    ++progress_.info.itemsDone;
    progress_.info.bytesDone = bytesBefore + originalSize;
    progress_.report();
}

void AddJob::checkRoomFor(const std::string& path, int64_t storedSize) const {
    const bool extended = entrymeta::hasColumns(*kiv_.catalog_);
    const int64_t rowBound = kRowBytesBound + (extended ? kMetaBytesBound : 0);
    const int64_t catalogBound = kiv_.catalogBytes_ + (kiv_.rowsSinceSave_ + 1) * rowBound + (extended ? kMetaColumnsBound : 0);
    if (kiv_.header_.CatalogOffset + storedSize + catalogBound >= kArchiveLimit) throw Error(ErrorKind::ArchiveFull, {.path = path});
}

// Before the first change to the archive in an AddPath call: the recovery file with the header
// and catalog as they are, flushed to the disk. Where it cannot be made (a folder that takes no
// new files, a full disk), the add goes on without it, writing header and catalog after every
// file as a checkpoint.
void AddJob::beginJournal() {
    if (journal_ || withoutJournal_) return;
    uint8_t header[kHeaderSize];
    encodeHeader(kiv_.header_, header);
    const std::string journalPath = kiv_.RecoveryPathFor(kiv_.path_);
    // A recovery file of ours still there was written for another archive of this name (opening
    // replays the ones that match); one that is not ours keeps its name, and this add goes on
    // without crash protection.
    if (kiv_.ownSideFile(journalPath)) fs::deleteFile(journalPath);
    try {
        journal_ = std::make_unique<AddJournal>(journalPath, header, kiv_.catalog_->PacketBytes());
    } catch (const Error&) {
        withoutJournal_ = true;
        if (fs::sideFileAt(journalPath, kiv_.path_) != fs::SideFile::Missing) {
            kiv_.warnOnce(journalPath + ": 這個名稱已被另一個檔案或連結佔用；這次加入沒有當機保護");
        }
        return;
    }
    fs::fileId(journalPath, journalId_);
}

// Header and catalog into the archive, flushed to the disk. The recovery file is flushed first,
// so that after a power loss its records reach at least as far as this catalog.
void AddJob::checkpoint() {
    const auto start = std::chrono::steady_clock::now();
    beginJournal();
    if (journal_) journal_->sync();
    kiv_.saveHeaderAndCatalog();
    // Without a recovery file there is nothing whose deletion must wait for the archive's bytes.
    if (journal_) kiv_.syncFile();
    unsaved_ = false;
    lastCheckpoint_ = std::chrono::steady_clock::now();
    // Checkpoints of a large catalog take a while; they are spaced so as to cost a small share.
    checkpointCost_ = lastCheckpoint_ - start;
}

void AddJob::endAdd() {
    // Bytes of a file left out may have overwritten the catalog: it is written again, and the
    // file cut behind it.
    if (unsaved_ || strayBytes_) checkpoint();
    if (strayBytes_) kiv_.file_->setSize(kiv_.file_->position());
    closeJournal();
}

// On every failure (Cancelled included): the rows appended so far are written with the header,
// where the data area ends, and the file is cut behind the catalog (bytes of the file that was
// being written). When even that does not fit (a full disk), the newest rows are given up one by
// one, each file's bytes making room; when nothing fits, the recovery file stays and the next
// open rebuilds the catalog from it.
void AddJob::endAddAfterFailure() noexcept {
    if (!journal_ && !withoutJournal_) {
        // Nothing of this call reached the archive, which still holds its valid catalog. Folder
        // rows appended before the failure are written now, safely.
        if (!unsaved_) return;
        try {
            beginJournal();
        } catch (...) {
            return;
        }
    }
    try {
        if (journal_) journal_->sync();
    } catch (...) {
    }
    for (;;) {
        try {
            kiv_.saveHeaderAndCatalog();
            kiv_.file_->setSize(kiv_.file_->position());
            kiv_.syncFile();
            break;
        } catch (...) {
            if (!dropLastAddedRow()) return;
        }
    }
    unsaved_ = false;
    closeJournal();
}

bool AddJob::dropLastAddedRow() noexcept {
    if (rowsAdded_ == 0) return false;
    try {
        CatalogTable rows;
        rows.CloneFrom(*kiv_.catalog_);
        rows.SetOrdering("");  // appended order: this call's rows are the last
        rows.SetRecordNumber(rows.ViewSize());
        if (rows.GetInteger(schema::kFileType) == schema::kFile) {
            // Bytes of a replaced file behind this row's would be overwritten by the catalog.
            if (rows.GetInteger(schema::kOffset) < replacedEnd_) return false;
            kiv_.header_.CatalogOffset = rows.GetInteger(schema::kOffset);
        }
        rows.DeleteCurrent();
        --rowsAdded_;
        return true;
    } catch (...) {
        return false;
    }
}

void AddJob::closeJournal() noexcept {
    if (!journal_) return;
    try {
        journal_->remove();
    } catch (...) {
    }
    journal_.reset();
}

void TKiv::AppendEntry(const JournalRow& entry) {
    CatalogTable& c = *catalog_;
    c.Append();
    c.SetText(schema::kFileName, entry.name);
    c.SetText(schema::kParentName, entry.parent);
    c.SetDateTime(schema::kCheckinDate, entry.checkin);
    if (entry.type == schema::kFile) {
        c.SetInteger(schema::kFileType, schema::kFile);
        c.SetInteger(schema::kOffset, entry.offset);
        c.SetInteger(schema::kOriginalSize, entry.originalSize);
        c.SetInteger(schema::kStoredSize, entry.storedSize);
    } else {
        // A folder row has no offset or sizes: those fields stay unassigned.
        c.SetInteger(schema::kFileType, schema::kFolder);
    }
    // Rows added in plain mode leave the extension columns unassigned, FileDate too.
    if (entry.meta != EntryMeta{} && entrymeta::hasColumns(c)) entrymeta::write(c, entry.meta);
    c.Post();
    ++rowsSinceSave_;
}

void TKiv::replaceFileRow(CatalogTable& rowsInOrder, const JournalRow& entry) {
    rowsInOrder.SetRecordNumber(entry.replaces + 1);
    rowsInOrder.Edit();
    rowsInOrder.SetDateTime(schema::kCheckinDate, entry.checkin);
    rowsInOrder.SetInteger(schema::kOffset, entry.offset);
    rowsInOrder.SetInteger(schema::kOriginalSize, entry.originalSize);
    rowsInOrder.SetInteger(schema::kStoredSize, entry.storedSize);
    if (entrymeta::hasColumns(rowsInOrder)) {
        // The new file's values; replaced in plain mode, the row keeps the name it shows and
        // loses the values that described the old file.
        EntryMeta meta = entry.meta;
        if (meta == EntryMeta{}) {
            const EntryMeta old = entrymeta::read(rowsInOrder);
            meta.trueName = old.trueName;
            meta.nameBytes = old.nameBytes;
        }
        entrymeta::write(rowsInOrder, meta);
        if (!meta.modifiedNs) rowsInOrder.SetUnassigned(schema::kFileDate);
    }
    rowsInOrder.Post();
    ++rowsSinceSave_;
}

}  // namespace oru
