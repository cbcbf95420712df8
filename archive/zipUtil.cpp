#include "archive/zipUtil.h"

#include <fcntl.h>
#include <zlib.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "archive/AddJournal.h"
#include "archive/EntryCodec.h"
#include "platform/Clock.h"
#include "platform/CodePage.h"
#include "platform/Collation.h"
#include "platform/Error.h"
#include "platform/FileSystem.h"

namespace oru {
namespace {

// Catalog fields, as the archive schema names them.
constexpr const char* kFileName = "FileName";
constexpr const char* kParentName = "ParentName";
constexpr const char* kFileType = "FileType";
constexpr const char* kOffset = "Offset";
constexpr const char* kOriginalSize = "OriginalSize";
constexpr const char* kStoredSize = "StoredSize";
constexpr const char* kCheckinDate = "CheckinDate";

constexpr int32_t kFolderType = 0;
constexpr int32_t kFileType1 = 1;
// Entries stored in up to this many bytes are read into memory whole and decoded there; bigger
// ones are decoded as they are read from the archive.
constexpr int32_t kInMemoryEntry = 4 << 20;

// Header fields: offsets within the 16 bytes at file position 0.
constexpr size_t kMagicAt = 0;
constexpr size_t kCatalogOffsetAt = 4;
constexpr size_t kCreatedAt = 8;

// Positions and sizes pass through signed 32-bit integers: the archive stays below 2^31 bytes.
constexpr int64_t kArchiveLimit = int64_t{1} << 31;
// An upper bound on what one appended row adds to the catalog packet (two 40-byte texts, five
// 8-byte values and the row's status, flags and log entry come to well under this).
constexpr int64_t kRowBytesBound = 256;
// Folders deeper than this are refused when walking a catalog: no path of the file system is
// that deep, and it keeps the recursion of a hostile catalog bounded.
constexpr size_t kMaxFolderDepth = 2048;

std::string notFound(const std::string& path) { return path + "找不到這個檔案"; }
std::string badFormat(const std::string& path) { return path + "檔案格式不符"; }
std::string tooLarge(const std::string& path) {
    return path + ": 檔案達到 2 GB，無法加入壓縮檔";
}
std::string archiveFull(const std::string& path) {
    return path + ": 加入後壓縮檔會達到 2 GB 的上限，未加入";
}

void putLe32(uint8_t* at, uint32_t v) {
    for (int i = 0; i < 4; ++i) at[i] = static_cast<uint8_t>(v >> (8 * i));
}
void putLe64(uint8_t* at, uint64_t v) {
    for (int i = 0; i < 8; ++i) at[i] = static_cast<uint8_t>(v >> (8 * i));
}
uint32_t getLe32(const uint8_t* at) {
    uint32_t v = 0;
    for (int i = 3; i >= 0; --i) v = (v << 8) | at[i];
    return v;
}
uint64_t getLe64(const uint8_t* at) {
    uint64_t v = 0;
    for (int i = 7; i >= 0; --i) v = (v << 8) | at[i];
    return v;
}

void encodeHeader(const ArchiveHeader& header, uint8_t (&out)[kHeaderSize]) {
    std::memcpy(out + kMagicAt, header.Magic, 4);
    putLe32(out + kCatalogOffsetAt, static_cast<uint32_t>(header.CatalogOffset));
    uint64_t created;
    std::memcpy(&created, &header.Created, 8);
    putLe64(out + kCreatedAt, created);
}

void decodeHeader(const uint8_t (&in)[kHeaderSize], ArchiveHeader& header) {
    std::memcpy(header.Magic, in + kMagicAt, 4);
    header.CatalogOffset = static_cast<int32_t>(getLe32(in + kCatalogOffsetAt));
    uint64_t created = getLe64(in + kCreatedAt);
    std::memcpy(&header.Created, &created, 8);
}

// The magic is taken as text up to its first zero byte and compared with "KVAR", ignoring the
// case of the letters a to z only.
bool magicMatches(const char (&magic)[4]) {
    for (size_t i = 0; i < 4; ++i) {
        char c = magic[i];
        if (c == '\0') return false;  // the text ends before four letters
        if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
        if (c != kMagic[i]) return false;
    }
    return true;
}

// The catalog name (CP950) of the file or folder at path: its last component. A path ending in
// "/", "." or ".." is named after the folder it resolves to.
std::string catalogName(const std::string& path) {
    std::string trimmed = path;
    while (trimmed.size() > 1 && trimmed.back() == '/') trimmed.pop_back();
    std::string name = fs::lastComponent(trimmed);
    if (name.empty() || name == "." || name == "..") {
        if (char* real = ::realpath(path.c_str(), nullptr)) {
            name = fs::lastComponent(real);
            std::free(real);
        }
    }
    if (name.empty() || name == "." || name == "..") throw Error(path + ": 無法取得這個項目的名稱");
    try {
        return cp950::fromUtf8(name);
    } catch (const Error&) {
        throw Error(path + ": 名稱含有無法以 Big5 表示的字元");
    }
}

// A stored name as it may name a file on disk (UTF-8). Names that could reach outside the
// extraction directory are refused.
std::string diskName(const std::string& storedName) {
    std::string name = cp950::toUtf8(storedName);
    bool unsafe = name.empty() || name == "." || name == ".." ||
                  name.find('/') != std::string::npos || name.find('\0') != std::string::npos;
    if (unsafe) {
        std::string shown;
        for (char c : name) shown += c == '\0' ? std::string("\\0") : std::string(1, c);
        throw Error("壓縮檔中的名稱「" + shown + "」不能當作檔名，無法解出");
    }
    return name;
}

void syncIfFile(Stream& stream) {
    if (auto* file = dynamic_cast<FileStream*>(&stream)) file->sync();
}

// Collects small writes (the decoder's 512-byte pieces) into large ones for a file target. The
// buffer is no larger than the content expected, so that extracting thousands of small files
// does not take and give back a megabyte from the system for each.
class BufferedWriter : public Stream {
public:
    BufferedWriter(Stream& target, int64_t expected)
        : target_(target), capacity_(static_cast<size_t>(std::clamp<int64_t>(expected, 512, kMaxCapacity))) {
        buffer_.reserve(capacity_);
    }
    ~BufferedWriter() override {
        // What was decoded before a failure stays written, as far as it goes.
        try {
            flush();
        } catch (const Error&) {
        }
    }
    size_t read(void*, size_t) override { throw Error(msg::kReadError); }
    void write(const void* data, size_t n) override {
        if (buffer_.size() + n > capacity_) flush();
        if (n >= capacity_) {
            target_.write(data, n);
            return;
        }
        const auto* bytes = static_cast<const uint8_t*>(data);
        buffer_.insert(buffer_.end(), bytes, bytes + n);
    }
    int64_t position() const override { return target_.position() + static_cast<int64_t>(buffer_.size()); }
    void seek(int64_t position) override {
        flush();
        target_.seek(position);
    }
    int64_t size() const override { return std::max(target_.size(), position()); }
    void setSize(int64_t n) override {
        flush();
        target_.setSize(n);
    }
    void flush() {
        if (buffer_.empty()) return;
        // Emptied also when the write fails: it is not tried again by the destructor.
        struct Empty {
            std::vector<uint8_t>& bytes;
            ~Empty() { bytes.clear(); }
        } empty{buffer_};
        target_.write(buffer_.data(), buffer_.size());
    }

private:
    static constexpr int64_t kMaxCapacity = int64_t{1} << 20;
    Stream& target_;
    size_t capacity_;
    std::vector<uint8_t> buffer_;
};

// A read-only window on a stretch of another stream: a big entry's stored bytes are decoded as
// they are read from the archive, instead of being copied into memory first.
class StreamRange : public Stream {
public:
    StreamRange(Stream& base, int64_t offset, int64_t length) : base_(base), offset_(offset), length_(length) {}
    size_t read(void* buffer, size_t n) override {
        if (pos_ >= length_) return 0;
        n = static_cast<size_t>(std::min<int64_t>(static_cast<int64_t>(n), length_ - pos_));
        base_.seek(offset_ + pos_);
        const size_t got = base_.read(buffer, n);
        pos_ += static_cast<int64_t>(got);
        return got;
    }
    void write(const void*, size_t) override { throw Error(msg::kWriteError); }
    int64_t position() const override { return pos_; }
    void seek(int64_t position) override { pos_ = position; }
    int64_t size() const override { return length_; }
    void setSize(int64_t) override { throw Error(msg::kWriteError); }

private:
    Stream& base_;
    int64_t offset_;
    int64_t length_;
    int64_t pos_ = 0;
};

// The check of a file's stored bytes kept in the recovery file: the Adler-32 of 32 bytes at
// every 4 KiB and of the last 32. Every page of the bytes holds a sampled run, so bytes that
// never reached the disk (a page left as it was, or zeros) show, at a fraction of the cost of
// checking every byte.
uint32_t storedCheck(const uint8_t* data, size_t n) {
    constexpr size_t kStep = 4096, kRun = 32;
    uLong check = ::adler32(0, nullptr, 0);
    for (size_t at = 0; at < n; at += kStep) check = ::adler32(check, data + at, static_cast<uInt>(std::min(kRun, n - at)));
    const size_t tail = std::min(kRun, n);
    check = ::adler32(check, data + n - tail, static_cast<uInt>(tail));
    return static_cast<uint32_t>(check);
}

}  // namespace

// The stored stream of a file on its way into the archive, at the end of the data area. Up to
// kHeld bytes are held in memory, so that a small file is written in one piece once it is
// complete (a failure before that leaves the archive untouched). Beyond that the stream goes to
// the archive as it is made, and the disk is told to start writing it out at once: a big file
// needs no memory of its own size, and the flush at the next checkpoint has little left to wait
// for. check() is storedCheck of the whole stream, sampled as it passes.
class TKiv::StoredStream : public codec::Sink {
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

namespace {

// A clone of cursor showing the children of the folder named name (CP950).
void showChildren(CatalogTable& clone, CatalogTable& cursor, const std::string& name) {
    clone.CloneFrom(cursor);
    clone.SetFilterText(CatalogTable::parentFilter(name));
    clone.SetFiltered(true);
    clone.First();
}

}  // namespace

// The walk and progress state of one public operation.
struct TKiv::Run {
    Progress* sink = nullptr;
    Progress::Info info;
    std::vector<fs::FileId> openFolders;  // adding: the folders on the current path
    std::vector<std::string> openNames;   // walking the catalog: sort keys of the folder names on the path
    bool unsaved = false;                 // rows appended since the catalog was last written
    int64_t rowsAdded = 0;                // rows this AddPath call appended
    std::chrono::steady_clock::time_point lastCheckpoint = std::chrono::steady_clock::now();
    std::chrono::steady_clock::duration checkpointCost{};
    bool withoutJournal = false;          // the recovery file could not be made

    void report() {
        if (sink) sink->update(info);
    }
    void checkCancelled() {
        if (sink && sink->cancelled()) throw Cancelled();
    }
    // Enters the folder named name (CP950) unless a folder of that name is already on the path.
    bool enterName(const std::string& name) {
        std::string key = collation::sortKey(name);
        for (const auto& open : openNames) {
            if (open == key) return false;
        }
        if (openNames.size() >= kMaxFolderDepth) {
            throw Error(cp950::toUtf8(name) + ": 資料夾層數太多，無法處理");
        }
        openNames.push_back(std::move(key));
        return true;
    }
};

// ---------------------------------------------------------------- construction

TKiv::TKiv() : catalog_(std::make_unique<CatalogTable>()) {
    catalog_->SetOrdering(kFileName);
    std::memcpy(header_.Magic, kMagic, 4);
    header_.CatalogOffset = static_cast<int32_t>(kHeaderSize);
    header_.Created = clock::now();
}

TKiv::~TKiv() = default;

std::unique_ptr<TKiv> TKiv::CreateNew(const std::string& path) {
    std::unique_ptr<TKiv> kiv(new TKiv());
    // An existing file is emptied (once its lock is held): bytes of an old archive left behind
    // the header would be taken for the catalog when the new archive is opened again.
    const auto mode = fs::fileExists(path) ? FileStream::Mode::Truncate : FileStream::Mode::Create;
    kiv->file_ = std::make_unique<FileStream>(path, mode);
    kiv->path_ = path;
    // A recovery file left by an interrupted add to an archive of this name belongs to the
    // archive being replaced.
    const std::string journalPath = RecoveryPathFor(path);
    if (fs::fileExists(journalPath)) fs::deleteFile(journalPath);
    kiv->WriteHeader();
    return kiv;
}

std::unique_ptr<TKiv> TKiv::OpenExisting(const std::string& path) {
    std::unique_ptr<TKiv> kiv(new TKiv());
    // A folder of that name does not count as the archive.
    if (!fs::fileExists(path)) throw Error(notFound(path));
    kiv->file_ = std::make_unique<FileStream>(path, FileStream::Mode::ReadWrite);
    kiv->path_ = path;
    kiv->restoreInterruptedCompact();

    try {
        kiv->readHeaderAndCatalog();
    } catch (const Error& e) {
        // A compaction cut short may have left the complete archive in its temporary file.
        const std::string tempPath = TempPathFor(path);
        if (!fs::fileExists(tempPath)) throw;
        throw Error(std::string(e.what()) + "；" + tempPath + " 可能保留了完整的壓縮檔", e.status());
    }
    return kiv;
}

void TKiv::readHeaderAndCatalog() {
    // The header is the first 16 bytes. An empty file keeps the header of a new archive and
    // opens without entries; a file of 1 to 15 bytes is no archive.
    const int64_t size = file_->size();
    if (size > 0 && size < kHeaderSize) throw Error(badFormat(path_));
    if (size >= kHeaderSize) {
        uint8_t bytes[kHeaderSize];
        file_->seek(0);
        file_->readExact(bytes, kHeaderSize);
        decodeHeader(bytes, header_);
    }
    if (!magicMatches(header_.Magic)) throw Error(badFormat(path_));
    const std::string journalPath = RecoveryPathFor(path_);
    if (fs::fileExists(journalPath)) {
        recoverInterruptedAdd(journalPath);
    } else {
        LoadCatalog();
    }
}

void TKiv::WrapFileForTesting(const FileWrapper& wrap) { file_ = wrap(std::move(file_)); }

// ---------------------------------------------------------------- header and catalog

void TKiv::LoadCatalog() {
    catalog_->EmptyTable();
    catalogBytes_ = 0;
    rowsSinceSave_ = 0;
    const int64_t size = file_->size();
    const int64_t offset = header_.CatalogOffset;
    // An empty file has no header yet; it is an archive without entries.
    if (size == 0) return;
    // The catalog sits behind the header, and within the file: an offset outside that range
    // means a damaged or cut file, whose entries cannot be found.
    if (offset < kHeaderSize || offset > size) throw Error(badFormat(path_));
    // No byte at the offset: a new archive, no entries.
    if (offset == size) return;
    file_->seek(offset);
    try {
        catalog_->LoadPacket(*file_);
    } catch (const Error& e) {
        // The packet reader's refusals carry only a status code; name the file for the user.
        if (e.what()[0] != '\0') throw;
        throw Error(badFormat(path_), e.status());
    }
    catalogBytes_ = size - offset;
}

void TKiv::SaveCatalog() {
    file_->seek(header_.CatalogOffset);
    catalog_->SavePacket(*file_);
    catalogBytes_ = file_->position() - header_.CatalogOffset;
    rowsSinceSave_ = 0;
}

void TKiv::WriteHeader() {
    uint8_t bytes[kHeaderSize];
    encodeHeader(header_, bytes);
    file_->seek(0);
    file_->write(bytes, kHeaderSize);
}

void TKiv::saveHeaderAndCatalog() {
    WriteHeader();
    SaveCatalog();
}

void TKiv::syncFile() { syncIfFile(*file_); }

namespace {
std::atomic<double> checkpointInterval{0.5};
}

void TKiv::SetCheckpointInterval(double seconds) { checkpointInterval = seconds; }
double TKiv::CheckpointInterval() { return checkpointInterval; }

std::string TKiv::RecoveryPathFor(const std::string& archivePath) { return AddJournal::PathFor(archivePath); }

std::string TKiv::TempPathFor(const std::string& archivePath) {
    const auto dot = archivePath.rfind('.');
    const auto slash = archivePath.rfind('/');
    std::string temp = dot != std::string::npos && (slash == std::string::npos || dot > slash)
                           ? archivePath.substr(0, dot) + ".$$$"
                           : archivePath + ".$$$";
    // An archive whose own extension is ".$$$" must not be taken for its temporary file.
    if (temp == archivePath) temp += ".$$$";
    return temp;
}

// ---------------------------------------------------------------- adding
//
// Within one AddPath call the header and catalog are written only at checkpoints: when enough
// time has passed since the last one, at the end, and on every failure. Between two of them the
// stored bytes of new files overwrite the catalog in the archive, so the recovery file beside it
// keeps the header and catalog as they were when the call began, and one record per row appended
// since, each written after the stored bytes it describes. A crash at any write therefore loses
// at most the file being written: opening the archive replays the recovery file. The archive a
// call leaves behind is byte for byte the one that writing header and catalog after every file
// gives, since each checkpoint writes the same header and the whole catalog behind the data.

void TKiv::AddPath(const std::string& parentName, const std::string& path) {
    Run run;
    run.sink = progress_;
    try {
        addPathAt(run, parentName, path);
        endAdd(run);
    } catch (...) {
        endAddAfterFailure(run);
        throw;
    }
}

void TKiv::addPathAt(Run& run, const std::string& parentName, const std::string& path) {
    // A missing path, or a link pointing nowhere, is reported instead of becoming a phantom row.
    if (!fs::exists(path)) throw Error(msg::cannotOpen(path));
    if (fs::isDirectory(path)) {
        addFolder(run, parentName, path);
    } else if (fs::fileExists(path)) {
        addFile(run, parentName, path);
    } else if (run.openFolders.empty()) {
        // A device, pipe or socket named by the caller: it has no content to store.
        throw Error(msg::cannotOpen(path));
    }
    // Inside a folder, pipes, sockets and devices are passed over: they hold no content, and
    // opening a pipe would wait for a writer.
}

void TKiv::addFolder(Run& run, const std::string& parentName, const std::string& path) {
    fs::FileId id;
    if (!fs::fileId(path, id)) throw Error(msg::cannotOpen(path));
    // A link back to a folder on the current path would be walked without end: it is skipped.
    for (const auto& open : run.openFolders) {
        if (open == id) return;
    }
    const std::string name = catalogName(path);
    run.checkCancelled();
    beginJournal(run);
    JournalRow row;
    row.type = kFolderType;
    row.name = name;
    row.parent = parentName;
    row.checkin = clock::now();
    AppendEntry(parentName, name, 0, 0, false, row.checkin);
    run.unsaved = true;
    ++run.rowsAdded;
    if (journal_) journal_->append(row);
    ++run.info.itemsDone;
    run.info.currentName = path;
    run.report();

    run.openFolders.push_back(id);
    for (const auto& entry : fs::listDirectory(path)) addPathAt(run, name, fs::join(path, entry));
    run.openFolders.pop_back();
}

void TKiv::addFile(Run& run, const std::string& parentName, const std::string& path) {
    run.checkCancelled();
    // The recovery file of this very add, met inside an added folder, is no file of the user's.
    if (journal_) {
        fs::FileId id;
        if (fs::fileId(path, id) && id == journalId_) return;
    }
    // Everything that can refuse the file does so before a byte of it is written.
    const std::string name = catalogName(path);
    FileStream source(path, FileStream::Mode::Read);
    if (source.size() >= kArchiveLimit) throw Error(tooLarge(path));

    run.info.currentName = path;
    const uint64_t bytesBefore = run.info.bytesDone;
    if (!storedBuffer_) storedBuffer_.reset(new uint8_t[StoredStream::kHeld]);
    // The stored bytes go where the data area ends (over the catalog written there last); a
    // failure once they are being written is handled by endAddAfterFailure, which writes the
    // catalog back there.
    StoredStream stored(*file_, header_.CatalogOffset, storedBuffer_.get(), [&](int64_t size, bool first) {
        checkRoomFor(path, size);
        if (first) beginJournal(run);
    });
    // The sizes recorded are those of the bytes actually read, should the file change meanwhile.
    const uint64_t originalSize =
        codec::compress(source, stored, kArchiveLimit - 1, [&](uint64_t consumed) {
            run.info.bytesDone = bytesBefore + consumed;
            run.report();
        });
    if (originalSize >= static_cast<uint64_t>(kArchiveLimit)) throw Error(tooLarge(path));
    const int64_t storedSize = stored.finish();

    JournalRow row;
    row.type = kFileType1;
    row.offset = header_.CatalogOffset;
    row.originalSize = static_cast<int32_t>(originalSize);
    row.storedSize = static_cast<int32_t>(storedSize);
    row.checkin = clock::now();
    row.check = stored.check();
    row.name = name;
    row.parent = parentName;
    AppendEntry(parentName, name, static_cast<int64_t>(originalSize), storedSize, true, row.checkin);
    header_.CatalogOffset = static_cast<int32_t>(header_.CatalogOffset + storedSize);
    run.unsaved = true;
    ++run.rowsAdded;
    // Written after the stored bytes: a record on disk always describes bytes already written.
    if (journal_) journal_->append(row);

    const double interval = CheckpointInterval();
    const auto now = std::chrono::steady_clock::now();
    if (interval <= 0 || run.withoutJournal || now - run.lastCheckpoint >= std::chrono::duration<double>(interval) + run.checkpointCost * 4) {
        checkpoint(run);
    }

    ++run.info.itemsDone;
    run.info.bytesDone = bytesBefore + originalSize;
    run.report();
}

void TKiv::checkRoomFor(const std::string& path, int64_t storedSize) const {
    const int64_t catalogBound = catalogBytes_ + (rowsSinceSave_ + 1) * kRowBytesBound;
    if (header_.CatalogOffset + storedSize + catalogBound >= kArchiveLimit) throw Error(archiveFull(path));
}

// Before the first change to the archive in an AddPath call: the recovery file with the header
// and catalog as they are, flushed to the disk. Where it cannot be made (a folder that takes no
// new files, a full disk), the add goes on without it, writing header and catalog after every
// file as a checkpoint.
void TKiv::beginJournal(Run& run) {
    if (journal_ || run.withoutJournal) return;
    uint8_t header[kHeaderSize];
    encodeHeader(header_, header);
    const std::string journalPath = RecoveryPathFor(path_);
    try {
        journal_ = std::make_unique<AddJournal>(journalPath, header, catalog_->PacketBytes());
    } catch (const Error&) {
        run.withoutJournal = true;
        return;
    }
    fs::fileId(journalPath, journalId_);
}

// Header and catalog into the archive, flushed to the disk. The recovery file is flushed first,
// so that after a power loss its records reach at least as far as this catalog.
void TKiv::checkpoint(Run& run) {
    const auto start = std::chrono::steady_clock::now();
    beginJournal(run);
    if (journal_) journal_->sync();
    saveHeaderAndCatalog();
    // Without a recovery file there is nothing whose deletion must wait for the archive's bytes.
    if (journal_) syncFile();
    run.unsaved = false;
    run.lastCheckpoint = std::chrono::steady_clock::now();
    // Checkpoints of a large catalog take a while; they are spaced so as to cost a small share.
    run.checkpointCost = run.lastCheckpoint - start;
}

void TKiv::endAdd(Run& run) {
    if (run.unsaved) checkpoint(run);
    closeJournal();
}

// On every failure (Cancelled included): the rows appended so far are written with the header,
// where the data area ends, and the file is cut behind the catalog (bytes of the file that was
// being written). When even that does not fit (a full disk), the newest rows are given up one by
// one, each file's bytes making room; when nothing fits, the recovery file stays and the next
// open rebuilds the catalog from it.
void TKiv::endAddAfterFailure(Run& run) noexcept {
    if (!journal_ && !run.withoutJournal) {
        // Nothing of this call reached the archive, which still holds its valid catalog. Folder
        // rows appended before the failure are written now, safely.
        if (!run.unsaved) return;
        try {
            beginJournal(run);
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
            saveHeaderAndCatalog();
            file_->setSize(file_->position());
            syncFile();
            break;
        } catch (...) {
            if (!dropLastAddedRow(run)) return;
        }
    }
    run.unsaved = false;
    closeJournal();
}

bool TKiv::dropLastAddedRow(Run& run) noexcept {
    if (run.rowsAdded == 0) return false;
    try {
        CatalogTable rows;
        rows.CloneFrom(*catalog_);
        rows.SetOrdering("");  // appended order: this call's rows are the last
        rows.SetRecordNumber(rows.ViewSize());
        if (rows.GetInteger(kFileType) == kFileType1) header_.CatalogOffset = rows.GetInteger(kOffset);
        rows.DeleteCurrent();
        --run.rowsAdded;
        return true;
    } catch (...) {
        return false;
    }
}

void TKiv::closeJournal() noexcept {
    if (!journal_) return;
    try {
        journal_->remove();
    } catch (...) {
    }
    journal_.reset();
}

void TKiv::AppendEntry(const std::string& parentName, const std::string& fileName, int64_t originalSize,
                       int64_t storedSize, bool isFile, double checkinDate) {
    CatalogTable& c = *catalog_;
    c.Append();
    c.SetText(kFileName, fileName);
    c.SetText(kParentName, parentName);
    c.SetDateTime(kCheckinDate, checkinDate);
    if (isFile) {
        c.SetInteger(kFileType, kFileType1);
        c.SetInteger(kOffset, header_.CatalogOffset);
        c.SetInteger(kOriginalSize, static_cast<int32_t>(originalSize));
        c.SetInteger(kStoredSize, static_cast<int32_t>(storedSize));
    } else {
        // A folder row has no offset or sizes: those fields stay unassigned.
        c.SetInteger(kFileType, kFolderType);
    }
    c.Post();
    ++rowsSinceSave_;
}

// ---------------------------------------------------------------- opening after a crash

// An add was interrupted (the process killed, the power lost) when the recovery file is there.
// The catalog is rebuilt from the one the add began with, and every recorded row whose stored
// bytes lie, intact, where the data area went on; then it is written, with the header, where
// those bytes end, and the file is cut behind it.
void TKiv::recoverInterruptedAdd(const std::string& journalPath) {
    const auto unrecoverable = [&](const std::string& why) {
        return Error(path_ + ": 上次加入檔案時中斷，無法復原（" + why + "）；復原資料保留在 " + journalPath);
    };
    std::unique_ptr<FileStream> journal;
    AddJournal::Contents saved;
    try {
        journal = std::make_unique<FileStream>(journalPath, FileStream::Mode::ReadWrite);
        if (!AddJournal::read(*journal, saved)) {
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
        for (const auto& row : saved.rows) {
            if (row.type == kFileType1) {
                if (row.offset != end || row.storedSize <= 0 || end + row.storedSize > size) break;
                bytes.resize(static_cast<size_t>(row.storedSize));
                file_->seek(end);
                file_->readExact(bytes.data(), bytes.size());
                if (storedCheck(bytes.data(), bytes.size()) != row.check) break;
                header_.CatalogOffset = static_cast<int32_t>(end);
                AppendEntry(row.parent, row.name, row.originalSize, row.storedSize, true, row.checkin);
                end += row.storedSize;
            } else if (row.type == kFolderType) {
                AppendEntry(row.parent, row.name, 0, 0, false, row.checkin);
            } else {
                break;
            }
        }
        header_.CatalogOffset = static_cast<int32_t>(end);
        saveHeaderAndCatalog();
        file_->setSize(file_->position());
        syncFile();
    } catch (const Error& e) {
        throw unrecoverable(e.what()[0] ? e.what() : badFormat(journalPath));
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
    if (!fs::fileExists(tempPath)) return;
    std::unique_ptr<FileStream> temp;
    try {
        temp = std::make_unique<FileStream>(tempPath, FileStream::Mode::Read);
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
            throw Error(std::string(e.what()) + ": 完整的壓縮檔保留在 " + tempPath, e.status());
        }
    }
    temp.reset();
    fs::deleteFile(tempPath);
}

// ---------------------------------------------------------------- reading and extracting

void TKiv::seekStoredBytes(int32_t offset, int32_t storedSize) {
    // A row's stored bytes lie within the file; a row reaching elsewhere is damaged, and nothing
    // is allocated or copied for it.
    if (offset < 0 || storedSize < 0 || int64_t{offset} + storedSize > file_->size()) {
        throw Error(msg::kReadError);
    }
    file_->seek(offset);
}

void TKiv::readStoredBytes(int32_t offset, int32_t storedSize, MemoryStream& into) {
    seekStoredBytes(offset, storedSize);
    into.setSize(storedSize);
    file_->readExact(into.bytes().data(), static_cast<size_t>(storedSize));
    into.seek(0);
}

void TKiv::ReadEntry(CatalogTable& cursor, Stream& target) {
    if (cursor.GetInteger(kFileType) == kFolderType) {
        throw Error(cp950::toUtf8(cursor.GetText(kFileName)) + "是一個目錄");
    }
    const int32_t offset = cursor.GetInteger(kOffset);
    const int32_t storedSize = cursor.GetInteger(kStoredSize);
    // Content beyond the size the row gives is not produced: a stream that inflates past it is
    // damaged or hostile.
    const int32_t originalSize = cursor.GetInteger(kOriginalSize);
    const int64_t limit = originalSize < 0 ? 0 : originalSize;
    if (storedSize <= kInMemoryEntry) {
        MemoryStream stored;
        readStoredBytes(offset, storedSize, stored);
        DecompressStream(stored, target, limit);
    } else {
        // A big entry is decoded as it is read, so that its stored bytes are never all in memory.
        seekStoredBytes(offset, storedSize);
        StreamRange stored(*file_, offset, storedSize);
        DecompressStream(stored, target, limit);
    }
    target.seek(0);
}

void TKiv::ExtractEntry(CatalogTable& cursor, const std::string& destination) {
    Run run;
    run.sink = progress_;
    extractAt(run, cursor, destination);
}

void TKiv::extractAt(Run& run, CatalogTable& cursor, const std::string& destination) {
    if (cursor.IsEmpty()) return;
    if (destination.empty()) throw Error(msg::kCreateDirError);
    const std::string storedName = cursor.GetText(kFileName);
    const std::string name = diskName(storedName);
    // A level that cannot be made shows when the first file below it cannot be created.
    fs::forceDirectories(destination);
    const std::string target = fs::join(destination, name);

    const int32_t type = cursor.GetInteger(kFileType);
    if (type == kFileType1) {
        extractFile(run, cursor, target);
    } else if (type == kFolderType) {
        // An empty folder gets its directory too.
        fs::forceDirectories(target);
        // A folder whose name is already on the path would list the same children again.
        if (!run.enterName(storedName)) return;
        CatalogTable children;
        showChildren(children, cursor, storedName);
        while (!children.AtEnd()) {
            extractAt(run, children, target);
            children.Next();
        }
        run.openNames.pop_back();
    }
}

void TKiv::extractFile(Run& run, CatalogTable& cursor, const std::string& target) {
    run.checkCancelled();
    run.info.currentName = target;
    const auto mode = fs::fileExists(target) ? FileStream::Mode::Truncate : FileStream::Mode::Create;
    FileStream file(target, mode);
    {
        BufferedWriter writer(file, cursor.GetInteger(kOriginalSize));
        ReadEntry(cursor, writer);
    }
    ++run.info.itemsDone;
    run.info.bytesDone += static_cast<uint64_t>(file.size());
    run.report();
}

// ---------------------------------------------------------------- deleting

void TKiv::DeleteEntry(CatalogTable& cursor) {
    Run run;
    deleteAt(run, cursor);
}

void TKiv::deleteAt(Run& run, CatalogTable& cursor) {
    if (cursor.IsEmpty()) return;
    if (cursor.GetInteger(kFileType) == kFileType1) {
        cursor.DeleteCurrent();
        return;
    }
    const std::string name = cursor.GetText(kFileName);
    // Below a folder whose name is already on the path lie the rows being deleted already: the
    // row itself goes, its children are not walked again.
    if (run.enterName(name)) {
        const auto folder = cursor.GetBookmark();
        {
            CatalogTable children;
            showChildren(children, cursor, name);
            while (!children.AtEnd()) deleteAt(run, children);
        }
        run.openNames.pop_back();
        // Through a cycle of names the walk may have deleted this very row already; then the
        // cursor stands on another row, which must stay.
        const auto now = cursor.GetBookmark();
        if (!folder || !now || now->slot != folder->slot) return;
    }
    cursor.DeleteCurrent();
}

// ---------------------------------------------------------------- compacting

void TKiv::Compact() {
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
    // A file left there by an earlier failure is deleted first; the archive itself never is.
    fs::FileId tempId, archiveId;
    if (fs::fileId(tempPath, tempId) && fs::fileId(path_, archiveId) && tempId == archiveId) {
        throw Error(msg::cannotCreate(tempPath));
    }
    if (fs::fileExists(tempPath)) fs::deleteFile(tempPath);
    auto temp = std::make_unique<FileStream>(tempPath, FileStream::Mode::Create);

    const ArchiveHeader oldHeader = header_;
    try {
        compactInto(run, *temp);
    } catch (...) {
        // The archive is untouched: the half-written temporary file is of no use, and the
        // catalog in memory (whose offsets were partly rewritten) is read again from the file.
        temp.reset();
        fs::deleteFile(tempPath);
        header_ = oldHeader;
        reloadQuietly();
        try {
            restoreView();
        } catch (...) {
        }
        throw;
    }

    try {
        file_->setSize(0);
        file_->seek(0);
        temp->seek(0);
        file_->copyFrom(*temp, temp->size());
        syncFile();
    } catch (const Error& e) {
        // The archive file is cut short; the complete compacted archive is the temporary file.
        throw Error(std::string(e.what()) + ": 完整的壓縮檔保留在 " + tempPath, e.status());
    }
    temp.reset();
    fs::deleteFile(tempPath);
    restoreView();
}

void TKiv::compactInto(Run& run, Stream& temp) {
    CatalogTable& c = *catalog_;
    for (int i = 0; i < c.ViewSize(); ++i) {
        if (c.IntegerAt(i, kFileType) != kFileType1) continue;
        const auto storedSize = static_cast<int32_t>(c.IntegerAt(i, kStoredSize));
        if (storedSize > 0) run.info.bytesTotal += static_cast<uint64_t>(storedSize);
    }

    uint8_t header[kHeaderSize];
    encodeHeader(header_, header);
    temp.seek(0);
    temp.write(header, kHeaderSize);

    int64_t pos = kHeaderSize;
    for (c.First(); !c.AtEnd(); c.Next()) {
        if (c.GetInteger(kFileType) != kFileType1) continue;
        run.checkCancelled();
        const int32_t storedSize = c.GetInteger(kStoredSize);
        seekStoredBytes(c.GetInteger(kOffset), storedSize);
        // Rows sharing stored bytes (a hostile catalog) could add up past the format's limit.
        if (pos + storedSize >= kArchiveLimit) throw Error(archiveFull(path_));
        temp.copyFrom(*file_, storedSize);
        // Changing Offset does not move the row within the ordering.
        c.Edit();
        c.SetInteger(kOffset, static_cast<int32_t>(pos));
        c.Post();
        pos += storedSize;

        ++run.info.itemsDone;
        run.info.bytesDone += static_cast<uint64_t>(storedSize);
        run.info.currentName = cp950::toUtf8(c.GetText(kFileName));
        run.report();
    }
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
