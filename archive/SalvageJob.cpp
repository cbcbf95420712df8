// SPDX-License-Identifier: GPL-3.0-or-later
// Salvage: reading a damaged archive as raw bytes (its header, catalog and recovery file only
// where they hold up) and writing every stored file that verifies into a new archive.
#include "archive/SalvageJob.h"

#include <sys/mman.h>
#include <zlib.h>

#include <algorithm>
#include <cerrno>
#include <deque>
#include <cstring>
#include <map>
#include <memory>
#include <set>

#include "archive/AddJournal.h"
#include "archive/ArchiveFormat.h"
#include "archive/Progress.h"
#include "archive/zipUtil.h"
#include "catalog/CatalogTable.h"
#include "catalog/Datapacket.h"
#include "platform/Clock.h"
#include "platform/CodePage.h"
#include "platform/FileSystem.h"
#include "platform/Stream.h"
#include "platform/WorkerPool.h"

#ifdef ORU_WITH_ISAL
#include <isa-l/igzip_lib.h>
#endif

namespace oru {

bool SalvageReport::complete() const {
    if (catalogDamage || !lost.empty() || unscanned > 0) return false;
    return std::none_of(files.begin(), files.end(), [](const SalvagedFile& f) { return f.source == SalvageSource::Scan; });
}

namespace {

// ---------------------------------------------------------------- verifying one stream

// Content bytes kept of each stream for guessing its kind.
constexpr size_t kHeadBytes = 32;
// Streams the scan keeps at most: a file of nothing but tiny streams must not grow the catalog
// (and the memory holding it) without end. Beyond it the rest is left unscanned.
constexpr size_t kMaxFound = 1000000;
// The most a deflate stream can expand: 258 bytes from a code of two bits, and some slack.
constexpr uint64_t kMaxExpansion = 1032;
// A stored file's content passes through a signed 32-bit size.
constexpr uint64_t kMaxContent = (uint64_t{1} << 31) - 1;
// The smallest zlib stream: header, an empty final block, Adler-32.
constexpr size_t kMinStream = 8;

struct Decoded {
    int64_t consumed = 0;  // stream bytes, header and Adler-32 included
    uint64_t size = 0;     // content bytes
    char head[kHeadBytes];  // the first headLength bytes of the content
    uint8_t headLength = 0;
    std::string_view headView() const { return {head, headLength}; }
};

// A zlib header as the engine's readers accept it: deflate, a window of at most 32 KiB, the
// check bits, no preset dictionary.
bool validHeader(uint8_t cmf, uint8_t flg) {
    return (cmf & 0x0F) == 8 && (cmf >> 4) <= 7 && ((unsigned{cmf} << 8) | flg) % 31 == 0 && (flg & 0x20) == 0;
}

// Inflates the zlib stream at data[0..avail), the content thrown away as it comes. True when the
// stream ends, within avail bytes, with an Adler-32 that matches its content, and its content is
// at most maxContent bytes. work grows by the content bytes decoded (also when it fails).
bool inflateAt(const uint8_t* data, size_t avail, uint64_t maxContent, Decoded& out, uint64_t& work) {
    if (avail < kMinStream || !validHeader(data[0], data[1])) return false;
    maxContent = std::min({maxContent, kMaxContent, kMaxExpansion * avail + 1024});
    avail = std::min<size_t>(avail, UINT32_MAX);
    constexpr size_t kOut = size_t{256} << 10;
    thread_local std::unique_ptr<uint8_t[]> buffer(new uint8_t[kOut]);
    out = Decoded{};
    const auto take = [&](size_t produced) {
        if (out.headLength < kHeadBytes) {
            const size_t n = std::min(produced, kHeadBytes - out.headLength);
            std::memcpy(out.head + out.headLength, buffer.get(), n);
            out.headLength = static_cast<uint8_t>(out.headLength + n);
        }
        out.size += produced;
        work += produced;
        return out.size <= maxContent;
    };
#ifdef ORU_WITH_ISAL
    // ISA-L decodes the deflate data behind the header checked above and checks the Adler-32.
    thread_local std::unique_ptr<inflate_state> state(new inflate_state);
    inflate_state* s = state.get();
    isal_inflate_init(s);
    s->crc_flag = ISAL_ZLIB_NO_HDR_VER;
    s->next_in = const_cast<uint8_t*>(data + 2);
    s->avail_in = static_cast<uint32_t>(avail - 2);
    for (;;) {
        s->next_out = buffer.get();
        s->avail_out = static_cast<uint32_t>(kOut);
        const int ret = isal_inflate(s);
        const size_t produced = kOut - s->avail_out;
        if (!take(produced)) return false;
        if (ret < 0) return false;
        if (s->block_state == ISAL_BLOCK_FINISH) break;
        if (produced == 0 && s->avail_in == 0) return false;  // cut short
    }
    // ISA-L reads ahead: whole bytes still held in its bit buffer lie behind the stream.
    out.consumed = static_cast<int64_t>(s->next_in - data) - s->read_in_length / 8;
    return true;
#else
    z_stream zs{};
    if (inflateInit(&zs) != Z_OK) throw Error(ErrorKind::CodecFailed, {});
    zs.next_in = const_cast<uint8_t*>(data);
    zs.avail_in = static_cast<uInt>(avail);
    bool ended = false;
    for (;;) {
        zs.next_out = buffer.get();
        zs.avail_out = static_cast<uInt>(kOut);
        const int ret = inflate(&zs, Z_NO_FLUSH);
        const size_t produced = kOut - zs.avail_out;
        if (!take(produced)) break;
        if (ret == Z_STREAM_END) {
            ended = true;
            break;
        }
        if (ret != Z_OK && ret != Z_BUF_ERROR) break;
        if (produced == 0 && zs.avail_in == 0) break;
    }
    out.consumed = static_cast<int64_t>(zs.total_in);
    inflateEnd(&zs);
    return ended;
#endif
}

// ---------------------------------------------------------------- scanning for streams

struct FoundStream {
    int64_t start = 0;
    int64_t end = 0;
    Decoded decoded;
};

struct ScanResult {
    std::vector<FoundStream> found;  // in order, none overlapping
    int64_t unscanned = 0;           // bytes given up on past the work bound
};

// Content bytes that failed candidates may inflate per byte scanned, and once per scan: beyond
// that the rest of the range is hostile and is given up on. Real stored files cost nothing here
// (a stream that verifies is passed over whole); a false start inside one dies within bytes.
constexpr uint64_t kWorkPerByte = 64;
constexpr uint64_t kWorkSlack = uint64_t{64} << 20;

// Looks for zlib streams starting in [from, to) of the mapped file, each within [.., limit).
// A stream found is passed over whole; other positions are tried one by one.
ScanResult scanRange(const uint8_t* file, int64_t from, int64_t to, int64_t limit) {
    ScanResult result;
    uint64_t wasted = 0;
    const uint64_t budget = kWorkPerByte * static_cast<uint64_t>(std::max<int64_t>(to - from, 0)) + kWorkSlack;
    int64_t p = from;
    while (p < to && p + static_cast<int64_t>(kMinStream) <= limit) {
        if (!validHeader(file[p], file[p + 1])) {
            ++p;
            continue;
        }
        FoundStream f;
        uint64_t work = 0;
        if (inflateAt(file + p, static_cast<size_t>(limit - p), kMaxContent, f.decoded, work)) {
            f.start = p;
            f.end = p + f.decoded.consumed;
            p = f.end;
            result.found.push_back(std::move(f));
            continue;
        }
        wasted += work;
        ++p;
        if (wasted > budget) {
            result.unscanned = to - p;
            break;
        }
    }
    return result;
}

// Streams found in [from, to) by a worker, put together with what the main thread has taken.
// taken: everything before it is accounted for. A stream that starts inside one already taken
// is dropped, and the bytes it made the worker pass over are scanned again here.
class ScanMerger {
public:
    explicit ScanMerger(const uint8_t* file) : file_(file) {}

    template <class Take>
    int64_t merge(int64_t pos, int64_t to, int64_t limit, ScanResult& result, int64_t& unscanned, const Take& take) {
        int64_t untested = pos;  // bytes up to here that the worker passed over inside a dropped stream
        for (FoundStream& f : result.found) {
            if (f.start >= pos && untested > pos) pos = rescan(pos, std::min(untested, f.start), limit, unscanned, take);
            if (f.start < pos) {
                untested = std::max(untested, f.end);
                continue;
            }
            pos = f.end;
            take(std::move(f));
        }
        if (untested > pos) pos = rescan(pos, untested, limit, unscanned, take);
        unscanned += result.unscanned;
        return std::max(pos, to);
    }

private:
    template <class Take>
    int64_t rescan(int64_t from, int64_t to, int64_t limit, int64_t& unscanned, const Take& take) {
        ScanResult again = scanRange(file_, from, to, limit);
        int64_t pos = from;
        for (FoundStream& f : again.found) {
            pos = f.end;
            take(std::move(f));
        }
        unscanned += again.unscanned;
        return std::max(pos, to);
    }

    const uint8_t* file_;
};

// What the content's first bytes say it is, for the name of a stream found by the scan.
std::string extensionOf(std::string_view head) {
    const auto starts = [&](std::string_view magic) { return head.compare(0, magic.size(), magic) == 0; };
    if (starts("\x89PNG\r\n\x1a\n")) return "png";
    if (starts("\xff\xd8\xff")) return "jpg";
    if (starts("GIF87a") || starts("GIF89a")) return "gif";
    if (starts("%PDF-")) return "pdf";
    if (starts("PK\x03\x04") || starts("PK\x05\x06")) return "zip";
    if (starts("\x1f\x8b")) return "gz";
    if (starts("\x7f" "ELF")) return "elf";
    if (starts("KVAR") && head.size() >= kHeaderSize) return "oru";
    if (head.empty()) return "bin";
    // Text: no control bytes but tab, line feed, form feed and carriage return, and no byte
    // sequence that UTF-8 or code page 950 would refuse outright.
    for (unsigned char c : head) {
        if (c < 0x20 && c != '\t' && c != '\n' && c != '\r' && c != '\f') return "bin";
        if (c == 0x7f || c == 0xff) return "bin";
    }
    return "txt";
}

// ---------------------------------------------------------------- rows

// An integer field of a row, in either integer width; nullopt when it has no value.
std::optional<int64_t> integerOf(const Column& column, const Field& field) {
    if (field.state != FieldState::Value) return std::nullopt;
    if (column.kind == FieldKind::Int32 && field.raw.size() == 4) {
        int32_t v;
        std::memcpy(&v, field.raw.data(), 4);
        return v;
    }
    if (column.kind == FieldKind::Int64 && field.raw.size() == 8) {
        int64_t v;
        std::memcpy(&v, field.raw.data(), 8);
        return v;
    }
    return std::nullopt;
}

Field integerField(const Column& column, int64_t value) {
    Field f;
    f.state = FieldState::Value;
    if (column.kind == FieldKind::Int32) {
        const int32_t v = static_cast<int32_t>(value);
        f.raw.assign(std::string_view(reinterpret_cast<const char*>(&v), 4));
    } else {
        f.raw.assign(std::string_view(reinterpret_cast<const char*>(&value), 8));
    }
    return f;
}

bool isInteger(FieldKind kind) { return kind == FieldKind::Int32 || kind == FieldKind::Int64; }

// Whether the columns hold every field salvage reads, each of a kind it can read.
bool usableColumns(const std::vector<Column>& columns, std::optional<Error>& why, const std::string& archive) {
    const struct {
        const char* name;
        bool text;
    } needed[] = {{schema::kFileName, true},  {schema::kParentName, true},   {schema::kFileType, false},
                  {schema::kOffset, false},   {schema::kOriginalSize, false}, {schema::kStoredSize, false}};
    for (const auto& n : needed) {
        const auto c = std::find_if(columns.begin(), columns.end(), [&](const Column& col) { return col.name == n.name; });
        if (c == columns.end()) {
            why = Error(ErrorKind::FieldNotFound, {.archive = archive, .detail = n.name});
            return false;
        }
        if (n.text ? c->kind != FieldKind::Text : !isInteger(c->kind)) {
            why = Error(ErrorKind::FieldType, {.archive = archive, .detail = n.name});
            return false;
        }
    }
    return true;
}

int columnIndex(const std::vector<Column>& columns, const char* name) {
    for (size_t i = 0; i < columns.size(); ++i) {
        if (columns[i].name == name) return static_cast<int>(i);
    }
    return -1;
}

// row (of columns from) laid out for the columns to, field by field by name; integers change
// width where the two differ, fields of another kind or missing stay unassigned.
FieldRow mapRow(const std::vector<Column>& from, const FieldRow& row, const std::vector<Column>& to) {
    FieldRow out;
    out.resize(to.size());
    for (size_t i = 0; i < to.size(); ++i) {
        const int j = columnIndex(from, to[i].name.c_str());
        if (j < 0 || static_cast<size_t>(j) >= row.size()) continue;
        const Field& f = row[static_cast<size_t>(j)];
        if (from[static_cast<size_t>(j)].kind == to[i].kind) {
            out[i] = f;
        } else if (isInteger(from[static_cast<size_t>(j)].kind) && isInteger(to[i].kind)) {
            if (const auto v = integerOf(from[static_cast<size_t>(j)], f)) out[i] = integerField(to[i], *v);
        }
    }
    return out;
}

// One row of a source, read for salvage.
struct Candidate {
    FieldRow fields;  // in the new archive's columns
    int64_t type = -1;
    int64_t offset = -1, original = -1, stored = -1;
    std::string name, parent;  // CP950
    SalvageSource source = SalvageSource::Catalog;
    bool kept = false;
    int64_t newOffset = 0;
    std::string path() const {
        return parent.empty() ? cp950::toUtf8(name) : cp950::toUtf8(parent) + "/" + cp950::toUtf8(name);
    }
};

std::vector<Candidate> candidatesOf(const TableData& data, const std::vector<Column>& outColumns, SalvageSource source) {
    std::vector<Candidate> rows;
    const auto& cols = data.columns;
    const int iName = columnIndex(cols, schema::kFileName), iParent = columnIndex(cols, schema::kParentName),
              iType = columnIndex(cols, schema::kFileType), iOffset = columnIndex(cols, schema::kOffset),
              iOriginal = columnIndex(cols, schema::kOriginalSize), iStored = columnIndex(cols, schema::kStoredSize);
    const auto integer = [&](const FieldRow& row, int i) -> int64_t {
        if (i < 0 || static_cast<size_t>(i) >= row.size()) return -1;
        return integerOf(cols[static_cast<size_t>(i)], row[static_cast<size_t>(i)]).value_or(-1);
    };
    const auto text = [&](const FieldRow& row, int i) -> std::string {
        if (i < 0 || static_cast<size_t>(i) >= row.size() || row[static_cast<size_t>(i)].state != FieldState::Value) return {};
        return row[static_cast<size_t>(i)].raw.str();
    };
    for (uint32_t slot : data.defaultOrder()) {
        const FieldRow& row = data.slots[slot - 1].fields;
        Candidate c;
        c.fields = mapRow(cols, row, outColumns);
        c.type = integer(row, iType);
        c.offset = integer(row, iOffset);
        c.original = integer(row, iOriginal);
        c.stored = integer(row, iStored);
        c.name = text(row, iName);
        c.parent = text(row, iParent);
        c.source = source;
        rows.push_back(std::move(c));
    }
    return rows;
}

// The rows the recovery file of an interrupted add describes: the catalog it saved, with each of
// its records applied as replaying them would. Empty when there is no usable recovery file.
std::optional<TableData> recoveryRows(const std::string& archivePath, const uint8_t* file, int64_t size) {
    const std::string journalPath = AddJournal::PathFor(archivePath);
    if (size < kHeaderSize || fs::sideFileAt(journalPath, archivePath) != fs::SideFile::Owned) return std::nullopt;
    AddJournal::Contents saved;
    try {
        FileStream journal(journalPath, FileStream::Mode::OpenSide);
        if (!AddJournal::read(journal, size, saved)) return std::nullopt;
    } catch (const Error&) {
        return std::nullopt;
    }
    // Written for this archive: the same magic and creation date.
    if (std::memcmp(saved.header + kMagicAt, file + kMagicAt, 4) != 0 ||
        std::memcmp(saved.header + kCreatedAt, file + kCreatedAt, 8) != 0) {
        return std::nullopt;
    }
    try {
        CatalogTable table;
        if (!saved.packet.empty()) {
            MemoryStream packet(std::move(saved.packet));
            table.LoadPacket(packet);
        }
        CatalogTable inOrder;
        inOrder.CloneFrom(table);
        inOrder.SetOrdering("");
        for (const JournalRow& row : saved.rows) {
            if (row.replaces >= 0) {
                if (row.replaces >= inOrder.ViewSize()) break;
                inOrder.SetRecordNumber(row.replaces + 1);
                inOrder.Edit();
                inOrder.SetDateTime(schema::kCheckinDate, row.checkin);
                inOrder.SetInteger(schema::kOffset, row.offset);
                inOrder.SetInteger(schema::kOriginalSize, row.originalSize);
                inOrder.SetInteger(schema::kStoredSize, row.storedSize);
                inOrder.Post();
                continue;
            }
            table.Append();
            table.SetText(schema::kFileName, row.name);
            table.SetText(schema::kParentName, row.parent);
            table.SetDateTime(schema::kCheckinDate, row.checkin);
            table.SetInteger(schema::kFileType, row.type);
            if (row.type == schema::kFile) {
                table.SetInteger(schema::kOffset, row.offset);
                table.SetInteger(schema::kOriginalSize, row.originalSize);
                table.SetInteger(schema::kStoredSize, row.storedSize);
            }
            table.Post();
        }
        TableData data = table.Data();
        return data;
    } catch (const Error&) {
        return std::nullopt;  // a saved catalog of columns of its own: no sound recovery file
    }
}

// The damaged archive mapped into memory, read only.
class MappedFile {
public:
    explicit MappedFile(const std::string& path) : file_(path, FileStream::Mode::Shared) {
        size_ = file_.size();
        if (size_ > 0) {
            void* p = ::mmap(nullptr, static_cast<size_t>(size_), PROT_READ, MAP_PRIVATE, file_.fd(), 0);
            if (p == MAP_FAILED) throw Error(ErrorKind::ReadError, {.path = path, .errnum = errno});
            data_ = static_cast<const uint8_t*>(p);
            ::madvise(p, static_cast<size_t>(size_), MADV_SEQUENTIAL);
        }
    }
    ~MappedFile() {
        if (data_) ::munmap(const_cast<uint8_t*>(data_), static_cast<size_t>(size_));
    }
    MappedFile(const MappedFile&) = delete;
    MappedFile& operator=(const MappedFile&) = delete;
    const uint8_t* data() const { return data_; }
    int64_t size() const { return size_; }

private:
    FileStream file_;  // held, with its shared lock, while mapped
    const uint8_t* data_ = nullptr;
    int64_t size_ = 0;
};

// The work of the scan, in the order of the file: a row's stored bytes to verify (and to scan
// when they do not verify), or a stretch of bytes no row claims.
struct Piece {
    int64_t from = 0, to = 0;  // the bytes
    int64_t limit = 0;         // where a stream starting in them must end by
    int row = -1;              // the candidate verified, or -1 for a stretch to scan
};

struct PieceResult {
    bool rowSound = false;
    std::optional<Error> rowDamage;
    Decoded decoded;
    ScanResult scan;
};

// Stretches without rows are cut into pieces of this size, so that both cores scan them.
constexpr int64_t kScanPiece = int64_t{4} << 20;

}  // namespace

SalvageJob::SalvageJob(std::string archivePath, std::string newPath, Progress* progress)
    : archivePath_(std::move(archivePath)), newPath_(std::move(newPath)), progress_(progress) {}

SalvageReport SalvageJob::Run() {
    if (fs::fileExists(newPath_)) throw Error(ErrorKind::TargetExists, {.path = newPath_});
    if (!fs::fileExists(archivePath_)) throw Error(ErrorKind::NotFound, {.path = archivePath_});
    const MappedFile source(archivePath_);
    const uint8_t* file = source.data();
    const int64_t size = source.size();
    SalvageReport report;

    // The header, and the catalog where the header says it is.
    int64_t dataEnd = size;
    std::optional<TableData> catalog;
    ArchiveHeader header{};
    if (size >= kHeaderSize) {
        uint8_t raw[kHeaderSize];
        std::memcpy(raw, file, kHeaderSize);
        decodeHeader(raw, header);
    }
    if (size == 0) {
        catalog.emplace();  // an empty file: an archive without entries
    } else if (size < kHeaderSize || header.CatalogOffset < kHeaderSize || header.CatalogOffset > size) {
        report.catalogDamage = Error(ErrorKind::BadFormat, {.archive = archivePath_});
    } else if (header.CatalogOffset == size) {
        // No byte at the offset: an empty archive when the data area is empty too, otherwise
        // the catalog is missing behind the data.
        if (size == kHeaderSize) {
            catalog.emplace();
        } else {
            report.catalogDamage = Error(ErrorKind::BadFormat, {.archive = archivePath_});
        }
    } else {
        try {
            TableData loaded = datapacket::read(file + header.CatalogOffset, static_cast<size_t>(size - header.CatalogOffset));
            if (usableColumns(loaded.columns, report.catalogDamage, archivePath_)) {
                catalog = std::move(loaded);
                dataEnd = header.CatalogOffset;
                // A damaged magic alone: the catalog where the header says still describes
                // the archive; the new archive gets a sound header.
                if (!magicMatches(header.Magic)) report.headerDamage = Error(ErrorKind::BadFormat, {.archive = archivePath_});
            }
        } catch (const Error& e) {
            report.catalogDamage = e.kind() == ErrorKind::CatalogStatus
                                       ? Error(ErrorKind::BadFormat, {.archive = archivePath_, .status = e.status()})
                                       : e.naming(archivePath_);
        }
    }
    std::optional<TableData> journal = recoveryRows(archivePath_, file, size);
    std::optional<Error> unusable;
    if (journal && !usableColumns(journal->columns, unusable, archivePath_)) journal.reset();
    // When the recovery file is sound, the add it belongs to wrote stored bytes behind the data
    // area the header names: all of the file is data then.
    if (journal) dataEnd = size;

    // The new archive takes the columns of the catalog that describes it best.
    std::vector<Column> columns = catalog ? catalog->columns : journal ? journal->columns : TableData::archiveSchema();
    if (columns.empty()) columns = TableData::archiveSchema();
    // Every column of the schema is there, so that the new archive opens: one the damaged
    // catalog lacked comes last, unassigned in every row.
    for (const Column& c : TableData::archiveSchema()) {
        if (columnIndex(columns, c.name.c_str()) < 0) columns.push_back(c);
    }
    std::vector<Candidate> rows;
    if (catalog) rows = candidatesOf(*catalog, columns, SalvageSource::Catalog);
    if (journal) {
        // A row the catalog holds already (the catalog written at a checkpoint) is taken once.
        std::set<std::tuple<int64_t, int64_t, int64_t, std::string, std::string>> known;
        for (const Candidate& c : rows) known.emplace(c.type, c.offset, c.stored, c.name, c.parent);
        for (Candidate& c : candidatesOf(*journal, columns, SalvageSource::RecoveryFile)) {
            if (c.type == schema::kFolder) c.offset = c.stored = -1;
            if (known.emplace(c.type, c.offset, c.stored, c.name, c.parent).second) {
                rows.push_back(std::move(c));
                report.usedRecoveryFile = true;
            }
        }
    }

    // File rows whose stored bytes lie in the data area, each range taken once, in order.
    std::vector<int> fileRows;
    for (size_t i = 0; i < rows.size(); ++i) {
        Candidate& c = rows[i];
        if (c.type == schema::kFolder) {
            c.kept = true;
            continue;
        }
        if (c.type != schema::kFile) {
            report.lost.push_back({c.path(), Error(ErrorKind::UnknownEntryType, {.archive = archivePath_, .entry = c.path(), .count = c.type}), c.source});
            continue;
        }
        if (c.offset < kHeaderSize || c.stored <= 0 || c.original < 0 || c.offset > dataEnd || c.stored > dataEnd - c.offset) {
            report.lost.push_back({c.path(), Error(ErrorKind::StoredOutsideData, {.archive = archivePath_, .entry = c.path()}), c.source});
            continue;
        }
        fileRows.push_back(static_cast<int>(i));
    }
    std::stable_sort(fileRows.begin(), fileRows.end(), [&](int a, int b) { return rows[a].offset < rows[b].offset; });
    std::vector<Piece> pieces;
    const auto addStretch = [&](int64_t from, int64_t to) {
        for (int64_t at = from; at < to; at += kScanPiece) pieces.push_back({at, std::min(to, at + kScanPiece), to, -1});
    };
    int64_t claimed = kHeaderSize;
    for (int i : fileRows) {
        Candidate& c = rows[i];
        if (c.offset < claimed) {
            // Bytes another row holds: keeping them once per row is how an archive balloons.
            report.lost.push_back({c.path(), Error(ErrorKind::StoredShared, {.archive = archivePath_, .entry = c.path()}), c.source});
            continue;
        }
        addStretch(claimed, c.offset);
        pieces.push_back({c.offset, c.offset + c.stored, c.offset + c.stored, i});
        claimed = c.offset + c.stored;
    }
    addStretch(claimed, dataEnd);

    // The new archive, written in the order of the damaged one's bytes.
    std::unique_ptr<TKiv> out = TKiv::CreateNew(newPath_);
    try {
        Stream& target = *out->file_;
        target.seek(kHeaderSize);
        std::vector<FoundStream> recovered;  // streams found by the scan, with their new offsets
        std::vector<int64_t> recoveredAt;
        const auto copy = [&](int64_t from, int64_t n) -> int64_t {
            const int64_t at = target.position();
            if (at + n >= kArchiveLimit) throw Error(ErrorKind::ArchiveFull, {.path = newPath_});
            target.write(file + from, static_cast<size_t>(n));
            return at;
        };
        const auto takeFound = [&](FoundStream&& f) {
            if (recovered.size() >= kMaxFound) {
                report.unscanned += f.end - f.start;
                return;
            }
            recoveredAt.push_back(copy(f.start, f.end - f.start));
            recovered.push_back(std::move(f));
        };

        OrderedJobs<PieceResult> jobs(WorkerPool::cores() > 1 ? &WorkerPool::shared() : nullptr);
        // Pieces in flight: enough to keep every core busy while the oldest is taken.
        const size_t window = 2 * std::max(1u, WorkerPool::cores()) + 1;
        size_t submitted = 0;
        std::deque<size_t> inFlight;  // the pieces submitted and not yet taken, in order
        int64_t pos = kHeaderSize;    // every byte before it is accounted for or scanned
        const auto submit = [&] {
            while (submitted < pieces.size() && inFlight.size() < window) {
                // A stretch that a stream already taken covers (a big file's stored bytes, cut
                // into pieces) holds nothing more to find.
                if (pieces[submitted].row < 0 && pieces[submitted].to <= pos) {
                    ++submitted;
                    continue;
                }
                inFlight.push_back(submitted);
                const Piece piece = pieces[submitted++];
                const int64_t expected = piece.row >= 0 ? rows[piece.row].original : -1;
                jobs.submit([file, piece, expected] {
                    PieceResult r;
                    if (piece.row >= 0) {
                        uint64_t work = 0;
                        const bool ended = inflateAt(file + piece.from, static_cast<size_t>(piece.to - piece.from),
                                                     static_cast<uint64_t>(expected), r.decoded, work);
                        r.rowSound = ended && r.decoded.size == static_cast<uint64_t>(expected);
                        if (!r.rowSound) {
                            if (ended) {
                                r.rowDamage = Error(ErrorKind::SizeMismatch, {.count = static_cast<int64_t>(r.decoded.size), .total = expected});
                            } else if (r.decoded.size > static_cast<uint64_t>(expected)) {
                                r.rowDamage = Error(ErrorKind::LongerThanRecorded, {.total = expected});
                            } else {
                                r.rowDamage = Error(ErrorKind::DamagedEntry, {});
                            }
                            r.scan = scanRange(file, piece.from, piece.to, piece.limit);
                        }
                    } else {
                        r.scan = scanRange(file, piece.from, piece.to, piece.limit);
                    }
                    return r;
                });
            }
        };
        ScanMerger merger(file);
        Progress::Info info;
        info.bytesTotal = static_cast<uint64_t>(std::max<int64_t>(dataEnd - kHeaderSize, 0));
        for (;;) {
            if (progress_ && progress_->cancelled()) throw Cancelled();
            submit();
            if (inFlight.empty()) break;
            PieceResult r = jobs.take();
            const Piece& piece = pieces[inFlight.front()];
            inFlight.pop_front();
            pos = std::max(pos, piece.from);
            if (piece.row >= 0 && r.rowSound) {
                Candidate& c = rows[piece.row];
                c.kept = true;
                c.newOffset = copy(c.offset, c.stored);
                pos = piece.to;
                ++info.itemsDone;
                info.currentName = c.path();
            } else {
                if (piece.row >= 0) {
                    const Candidate& c = rows[piece.row];
                    report.lost.push_back({c.path(), r.rowDamage->naming(archivePath_, c.path()), c.source});
                }
                pos = merger.merge(pos, piece.to, piece.limit, r.scan, report.unscanned, takeFound);
            }
            info.bytesDone = static_cast<uint64_t>(pos - kHeaderSize);
            if (progress_) progress_->update(info);
        }
        const int64_t end = target.position();

        // The catalog: the rows kept, in their sources' order, then the streams found.
        TableData data;
        data.columns = columns;
        const int iOffset = columnIndex(columns, schema::kOffset);
        const auto addRow = [&](FieldRow fields) {
            Slot slot;
            slot.order = data.nextOrder++;
            slot.fields = std::move(fields);
            data.slots.push_back(std::move(slot));
        };
        int64_t accounted = 0;
        std::set<std::pair<std::string, std::string>> folders;  // (name, parent) of the folder rows
        for (Candidate& c : rows) {
            if (!c.kept) continue;
            if (c.type == schema::kFile) {
                c.fields[static_cast<size_t>(iOffset)] = integerField(columns[static_cast<size_t>(iOffset)], c.newOffset);
                report.files.push_back({c.path(), c.offset, c.original, c.source});
                accounted += c.stored;
            } else {
                folders.emplace(c.name, c.parent);
                ++report.folders;
            }
            addRow(std::move(c.fields));
        }
        if (!recovered.empty()) {
            // Their folder, under a name no folder row of the archive has taken.
            std::set<std::string> names;
            for (const auto& f : folders) names.insert(f.first);
            std::string folder = "recovered";
            for (int n = 1; names.count(folder); ++n) folder = "recovered~" + std::to_string(n);
            // The folder row and a file row made once through a table of the archive schema (its
            // encoding of the check-in date), laid out for columns; each file's row is a copy
            // with its name, offset and sizes.
            CatalogTable made;
            const double now = clock::now();
            for (const int32_t type : {schema::kFolder, schema::kFile}) {
                made.Append();
                made.SetText(schema::kFileName, folder);
                made.SetText(schema::kParentName, type == schema::kFile ? folder : "");
                made.SetInteger(schema::kFileType, type);
                made.SetDateTime(schema::kCheckinDate, now);
                made.Post();
            }
            const TableData& m = made.Data();
            const std::vector<uint32_t> order = m.defaultOrder();
            addRow(mapRow(m.columns, m.slots[order[0] - 1].fields, columns));
            const FieldRow fileRow = mapRow(m.columns, m.slots[order[1] - 1].fields, columns);
            const int iName = columnIndex(columns, schema::kFileName);
            const int iOriginal = columnIndex(columns, schema::kOriginalSize);
            const int iStored = columnIndex(columns, schema::kStoredSize);
            for (size_t i = 0; i < recovered.size(); ++i) {
                const FoundStream& f = recovered[i];
                const std::string name = std::to_string(f.start) + "." + extensionOf(f.decoded.headView());
                FieldRow row = fileRow;
                row[static_cast<size_t>(iName)].raw = name;
                row[static_cast<size_t>(iOffset)] = integerField(columns[static_cast<size_t>(iOffset)], recoveredAt[i]);
                row[static_cast<size_t>(iOriginal)] =
                    integerField(columns[static_cast<size_t>(iOriginal)], static_cast<int64_t>(f.decoded.size));
                row[static_cast<size_t>(iStored)] = integerField(columns[static_cast<size_t>(iStored)], f.end - f.start);
                addRow(std::move(row));
                report.files.push_back({folder + "/" + name, f.start, static_cast<int64_t>(f.decoded.size), SalvageSource::Scan});
                accounted += f.end - f.start;
            }
            ++report.folders;
        }
        std::stable_sort(report.files.begin(), report.files.end(),
                         [](const SalvagedFile& a, const SalvagedFile& b) { return a.offset < b.offset; });
        report.unaccounted = std::max<int64_t>(dataEnd - kHeaderSize, 0) - accounted;

        // The catalog packet behind the data, then the header that points at it.
        const std::vector<uint8_t> packet = datapacket::write(data);
        if (end + static_cast<int64_t>(packet.size()) >= kArchiveLimit) throw Error(ErrorKind::ArchiveFull, {.path = newPath_});
        target.seek(end);
        target.write(packet.data(), packet.size());
        out->header_.CatalogOffset = static_cast<int32_t>(end);
        out->WriteHeader();
        out->syncFile();
    } catch (...) {
        out.reset();
        fs::deleteFile(newPath_);
        throw;
    }
    return report;
}

}  // namespace oru
