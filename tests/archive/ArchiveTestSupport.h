// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Shared helpers of the engine tests: a temporary folder per test, file helpers, a catalog
// snapshot, a stream standing for a full disk, and a check of the file layout.

#include <gtest/gtest.h>
#include <stdlib.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <zlib.h>

#include <algorithm>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <functional>
#include <initializer_list>
#include <map>
#include <random>
#include <string>
#include <vector>

#include "archive/EntryCodec.h"
#include "archive/zipUtil.h"
#include "catalog/ArchiveSchema.h"
#include "catalog/CatalogTable.h"
#include "catalog/Datapacket.h"
#include "platform/Clock.h"
#include "platform/CodePage.h"
#include "platform/Error.h"
#include "platform/Stream.h"

namespace oru::test {

using Bytes = std::vector<uint8_t>;

inline Bytes readAll(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return Bytes(std::istreambuf_iterator<char>(in), {});
}

inline void writeAll(const std::string& path, const Bytes& bytes) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
}

// Overwrites one byte of a file in place, keeping its size.
inline void patchByte(const std::string& path, size_t at, uint8_t value) {
    std::fstream file(path, std::ios::binary | std::ios::in | std::ios::out);
    file.seekp(static_cast<std::streamoff>(at));
    file.put(static_cast<char>(value));
}

inline void writeText(const std::string& path, const std::string& text) {
    writeAll(path, Bytes(text.begin(), text.end()));
}

// Every file and folder below root: relative path -> content ("<dir>" for folders).
inline std::map<std::string, std::string> treeOf(const std::string& root) {
    std::map<std::string, std::string> tree;
    for (const auto& entry : std::filesystem::recursive_directory_iterator(root)) {
        const std::string rel = std::filesystem::relative(entry.path(), root).string();
        if (entry.is_directory()) {
            tree[rel] = "<dir>";
        } else {
            Bytes b = readAll(entry.path().string());
            tree[rel] = std::string(b.begin(), b.end());
        }
    }
    return tree;
}

// The bytes written as hex digits; spaces between them are ignored.
inline Bytes hexBytes(const std::string& hex) {
    Bytes b;
    std::string digits;
    for (char ch : hex) {
        if (ch == ' ') continue;
        digits += ch;
        if (digits.size() == 2) {
            b.push_back(static_cast<uint8_t>(std::stoul(digits, nullptr, 16)));
            digits.clear();
        }
    }
    return b;
}

// Catalog packets written out by hand, to compare the engine's catalogs with. Every catalog
// packet opens with the packet header and the eight column descriptors of the archive's catalog
// (169 bytes from offset 24).
namespace packet {

// The first 14 bytes of the packet header: signature, versions, metadata offset, column count.
inline const Bytes kHeaderStart = hexBytes("96 19 E0 BD 01 00 00 00 18 00 00 00 08 00");

inline const Bytes kColumns = hexBytes(
    "08 46 69 6c 65 4e 61 6d 65 01 00 49 00 00 00 01 00 05 57 49 44 54 48 02 00 02 00 28 00"  // FileName
    "0a 50 61 72 65 6e 74 4e 61 6d 65 01 00 49 00 00 00 01 00 05 57 49 44 54 48 02 00 02 00 28 00"  // ParentName
    "08 46 69 6c 65 54 79 70 65 04 00 01 00 00 00 00 00"        // FileType
    "06 4f 66 66 73 65 74 08 00 01 00 00 00 00 00"              // Offset
    "0c 4f 72 69 67 69 6e 61 6c 53 69 7a 65 08 00 01 00 00 00 00 00"  // OriginalSize
    "0a 53 74 6f 72 65 64 53 69 7a 65 08 00 01 00 00 00 00 00"  // StoredSize
    "08 46 69 6c 65 44 61 74 65 08 00 08 00 00 00 00 00"        // FileDate
    "0b 43 68 65 63 6b 69 6e 44 61 74 65 08 00 08 00 00 00 00 00");  // CheckinDate

// n as the 8 little-endian bytes of a 64-bit field.
inline Bytes le64(uint64_t n) {
    Bytes b(8);
    for (int i = 0; i < 8; ++i) b[i] = static_cast<uint8_t>(n >> (8 * i));
    return b;
}

inline Bytes concat(std::initializer_list<Bytes> parts) {
    Bytes b;
    for (const Bytes& p : parts) b.insert(b.end(), p.begin(), p.end());
    return b;
}

// The 195-byte packet of a catalog with no rows and no change log.
inline Bytes empty() {
    return concat({kHeaderStart, hexBytes("00 00 00 00 03 00 00 00 C3 00"), kColumns, hexBytes("00 00")});
}

}  // namespace packet

inline Bytes randomBytes(size_t n, unsigned seed) {
    std::mt19937 gen(seed);
    Bytes b(n);
    for (auto& x : b) x = static_cast<uint8_t>(gen());
    return b;
}

inline uint32_t le32(const Bytes& b, size_t at) {
    return uint32_t(b[at]) | uint32_t(b[at + 1]) << 8 | uint32_t(b[at + 2]) << 16 | uint32_t(b[at + 3]) << 24;
}

inline void putLe32(Bytes& b, size_t at, uint32_t v) {
    for (int i = 0; i < 4; ++i) b[at + i] = static_cast<uint8_t>(v >> (8 * i));
}

// Peak resident memory of this process so far, in bytes.
inline int64_t peakMemory() {
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return static_cast<int64_t>(usage.ru_maxrss) * 1024;
}

// The message of the Error that f raises; fails the test when it raises none.
inline std::string errorOf(const std::function<void()>& f) {
    try {
        f();
    } catch (const Error& e) {
        return e.what();
    }
    ADD_FAILURE() << "no error raised";
    return "<none>";
}

// The kind of the Error that f raises; fails the test when it raises none.
inline ErrorKind kindOf(const std::function<void()>& f) {
    try {
        f();
    } catch (const Error& e) {
        return e.kind();
    }
    ADD_FAILURE() << "no error raised";
    return ErrorKind::Text;
}

// The line of an entry that extraction passed over: the archive, the entry's path below the
// destination, and the reason (kind with the values it names besides archive and entry).
inline std::string damagedEntry(const std::string& archive, const std::string& entry,
                                ErrorKind kind = ErrorKind::DamagedEntry, const ErrorValues& reason = {}) {
    return archive + ": " + entry + ": " + errorText(kind, reason);
}

// A test with its own empty folder, removed afterwards, and a fixed clock.
class ArchiveTest : public ::testing::Test {
protected:
    void SetUp() override {
        std::string pattern = ::testing::TempDir() + "oru_engine_XXXXXX";
        ASSERT_NE(::mkdtemp(pattern.data()), nullptr);
        dir = pattern;
        clock::setNowForTesting([] { return kNow; });
    }
    void TearDown() override {
        clock::setNowForTesting(nullptr);
        std::error_code ec;
        std::filesystem::permissions(dir, std::filesystem::perms::owner_all, ec);
        std::filesystem::remove_all(dir, ec);
    }
    std::string path(const std::string& name) const { return dir + "/" + name; }
    void mkdir(const std::string& name) const { std::filesystem::create_directories(path(name)); }

    static constexpr double kNow = 45000.5;  // a fixed "now" for every row and header
    std::string dir;
};

// Chooses, while it lives, whether archives made or opened write plain rows (the test
// environment sets ORU_PLAIN=1, which each TKiv reads when it is made; forked children inherit
// the choice).
class PlainScope {
public:
    explicit PlainScope(bool plain) : saved_(TKiv::PlainByDefault()) { set(plain); }
    ~PlainScope() { set(saved_); }
    PlainScope(const PlainScope&) = delete;
    PlainScope& operator=(const PlainScope&) = delete;

private:
    static void set(bool plain) { ::setenv("ORU_PLAIN", plain ? "1" : "0", 1); }
    bool saved_;
};

// One catalog row as the tests look at it.
struct Row {
    std::string name;    // CP950
    std::string parent;  // CP950
    int32_t type = -1;
    bool hasOffset = false, hasSizes = false, hasFileDate = false;
    int64_t offset = 0, originalSize = 0, storedSize = 0;
    double checkin = 0;
    bool operator==(const Row&) const = default;
};

// Every row of the catalog in the order the rows were appended (or loaded).
inline std::vector<Row> rowsOf(CatalogTable& catalog) {
    CatalogTable all;
    all.CloneFrom(catalog);
    all.SetOrdering("");
    std::vector<Row> rows;
    for (all.First(); !all.AtEnd(); all.Next()) {
        Row r;
        r.name = all.GetText("FileName");
        r.parent = all.GetText("ParentName");
        r.type = all.GetInteger("FileType");
        r.hasOffset = all.HasValue("Offset");
        r.hasSizes = all.HasValue("OriginalSize") || all.HasValue("StoredSize");
        r.hasFileDate = all.HasValue("FileDate");
        r.offset = all.GetInt64("Offset");
        r.originalSize = all.GetInt64("OriginalSize");
        r.storedSize = all.GetInt64("StoredSize");
        r.checkin = all.GetDateTime("CheckinDate");
        rows.push_back(r);
    }
    return rows;
}

inline std::vector<std::string> namesOf(CatalogTable& catalog) {
    std::vector<std::string> names;
    for (const auto& r : rowsOf(catalog)) names.push_back(r.name);
    return names;
}

// Moves cursor to the first row of its view named name (CP950); fails the test when none is.
inline void moveTo(CatalogTable& cursor, const std::string& name) {
    for (cursor.First(); !cursor.AtEnd(); cursor.Next()) {
        if (cursor.GetText("FileName") == name) return;
    }
    FAIL() << "no row named " << name;
}

// dir/x.oru holding docs/ with sound.txt, short.txt and flipped.txt; then short.txt's recorded
// size is made one byte larger, a byte in the middle of flipped.txt's stream is changed, and a row
// of FileType 5 is appended (pointing at sound.txt's bytes, which it must not make shared).
// Returns the archive's path. The jobs and both front ends are checked on it.
inline std::string writeDamagedArchive(const std::string& dir) {
    std::filesystem::create_directory(dir + "/docs");
    writeAll(dir + "/docs/sound.txt", randomBytes(3000, 1));
    writeAll(dir + "/docs/short.txt", randomBytes(2000, 2));
    writeAll(dir + "/docs/flipped.txt", Bytes(5000, 'a'));
    const std::string archive = dir + "/x.oru";
    int32_t flippedAt = 0, flippedSize = 0;
    {
        auto kiv = TKiv::CreateNew(archive);
        kiv->AddPath("", dir + "/docs");
        CatalogTable& c = kiv->Catalog();
        moveTo(c, "short.txt");
        c.Edit();
        c.SetInteger(schema::kOriginalSize, c.GetInteger(schema::kOriginalSize) + 1);
        c.Post();
        moveTo(c, "flipped.txt");
        flippedAt = c.GetInteger(schema::kOffset);
        flippedSize = c.GetInteger(schema::kStoredSize);
        moveTo(c, "sound.txt");
        const int32_t offset = c.GetInteger(schema::kOffset), stored = c.GetInteger(schema::kStoredSize);
        c.Append();
        c.SetText(schema::kFileName, "odd");
        c.SetText(schema::kParentName, "");
        c.SetInteger(schema::kFileType, 5);
        c.SetInteger(schema::kOffset, offset);
        c.SetInteger(schema::kOriginalSize, 3000);
        c.SetInteger(schema::kStoredSize, stored);
        c.Post();
        c.MergeChanges();
        kiv->SaveCatalog();
    }
    const Bytes bytes = readAll(archive);
    const size_t middle = static_cast<size_t>(flippedAt + flippedSize / 2);
    patchByte(archive, middle, static_cast<uint8_t>(bytes[middle] ^ 0x55));
    return archive;
}

// Selects a codec for the life of the object, then the one that was in use.
class CodecScope {
public:
    explicit CodecScope(codec::Codec codec) : before_(codec::currentCodec()) { codec::setCodec(codec); }
    ~CodecScope() { codec::setCodec(before_); }
    CodecScope(const CodecScope&) = delete;
    CodecScope& operator=(const CodecScope&) = delete;

private:
    codec::Codec before_;
};

// The codecs the build has, for tests run under each.
inline std::vector<codec::Codec> builtCodecs() {
    std::vector<codec::Codec> codecs{codec::Codec::Zlib};
    if (codec::hasCodec(codec::Codec::Isal)) codecs.push_back(codec::Codec::Isal);
    return codecs;
}

inline std::string codecName(const ::testing::TestParamInfo<codec::Codec>& info) {
    return info.param == codec::Codec::Zlib ? "zlib" : "isal";
}

// What plain zlib (its one-call decoder) makes of a stored stream; fails the test unless the
// stream is a complete zlib stream of the fastest level (78 01) that ends exactly at its end.
inline Bytes inflatedByZlib(const Bytes& stored, size_t contentSize) {
    EXPECT_GE(stored.size(), 2u);
    if (stored.size() >= 2) {
        EXPECT_EQ(stored[0], 0x78);
        EXPECT_EQ(stored[1], 0x01);
    }
    Bytes content(contentSize + 1);  // one byte more shows content longer than expected
    uLongf contentLength = content.size();
    uLong storedLength = stored.size();
    EXPECT_EQ(uncompress2(content.data(), &contentLength, stored.data(), &storedLength), Z_OK);
    EXPECT_EQ(storedLength, stored.size()) << "bytes behind the stream";
    content.resize(contentLength);
    return content;
}

// Every file row's stored bytes are one zlib stream that plain zlib inflates to OriginalSize
// bytes, the same bytes the engine reads.
inline void expectStoredStreamsInflateWithZlib(TKiv& kiv) {
    const Bytes file = readAll(kiv.ArchivePath());
    CatalogTable rows;
    rows.CloneFrom(kiv.Catalog());
    rows.SetFiltered(false);
    for (rows.First(); !rows.AtEnd(); rows.Next()) {
        if (rows.GetInteger("FileType") != 1) continue;
        const auto offset = static_cast<size_t>(rows.GetInteger("Offset"));
        const auto storedSize = static_cast<size_t>(rows.GetInteger("StoredSize"));
        SCOPED_TRACE(rows.GetText("FileName"));
        ASSERT_LE(offset + storedSize, file.size());
        const Bytes content = inflatedByZlib(Bytes(file.begin() + offset, file.begin() + offset + storedSize),
                                             static_cast<size_t>(rows.GetInteger("OriginalSize")));
        EXPECT_EQ(content.size(), static_cast<size_t>(rows.GetInteger("OriginalSize")));
        MemoryStream read;
        kiv.ReadEntry(rows, read);
        EXPECT_TRUE(read.bytes() == content) << "the engine reads what zlib inflates";
    }
}

// Makes the clashes that older archives hold: every FileName and ParentName equal to from
// (CP950) becomes to, and the catalog is written. Adding a tree with "x" inside "y", then
// renaming the stored "x~1" to "x", gives two folder rows named x sharing their children.
inline void renameRows(TKiv& kiv, const std::string& from, const std::string& to) {
    CatalogTable all;
    all.CloneFrom(kiv.Catalog());
    all.SetOrdering("");
    for (all.First(); !all.AtEnd(); all.Next()) {
        for (const char* field : {"FileName", "ParentName"}) {
            if (all.GetText(field) != from) continue;
            all.Edit();
            all.SetText(field, to);
            all.Post();
        }
    }
    kiv.SaveCatalog();
}

// Rewrites the catalog packet of the archive at path through change (columns, rows), leaving the
// header and the stored bytes as they are.
inline void rewriteCatalog(const std::string& path, const std::function<void(TableData&)>& change) {
    const Bytes good = readAll(path);
    const uint32_t offset = le32(good, 4);
    TableData data = datapacket::read(good.data() + offset, good.size() - offset);
    change(data);
    Bytes file(good.begin(), good.begin() + offset);
    const std::vector<uint8_t> packet = datapacket::write(data);
    file.insert(file.end(), packet.begin(), packet.end());
    writeAll(path, file);
}

// Takes the column of that name, with its value in every row, out of the catalog of the archive
// at path.
inline void dropCatalogColumn(const std::string& path, const std::string& name) {
    rewriteCatalog(path, [&](TableData& data) {
        size_t column = 0;
        while (column < data.columns.size() && data.columns[column].name != name) ++column;
        ASSERT_LT(column, data.columns.size()) << name;
        data.columns.erase(data.columns.begin() + static_cast<std::ptrdiff_t>(column));
        for (Slot& slot : data.slots) {
            std::vector<Field> fields(slot.fields.begin(), slot.fields.end());
            fields.erase(fields.begin() + static_cast<std::ptrdiff_t>(column));
            slot.fields = FieldRow(fields);
        }
    });
}

// The archive file as it must be: the header the object holds, and the catalog the object
// holds written at CatalogOffset, running to the end of the file; every stored stream as
// expectStoredStreamsInflateWithZlib says.
inline void expectFileMatches(TKiv& kiv) {
    Bytes file = readAll(kiv.ArchivePath());
    ASSERT_GE(file.size(), 16u);
    EXPECT_EQ(0, std::memcmp(file.data(), kiv.Header().Magic, 4)) << "Magic";
    const uint32_t offset = le32(file, 4);
    EXPECT_EQ(offset, static_cast<uint32_t>(kiv.Header().CatalogOffset)) << "CatalogOffset";
    double created;
    std::memcpy(&created, file.data() + 8, 8);
    EXPECT_EQ(created, kiv.Header().Created) << "Created";
    ASSERT_LE(offset, file.size());
    Bytes catalog(file.begin() + offset, file.end());
    EXPECT_EQ(catalog, kiv.Catalog().PacketBytes()) << "catalog packet at CatalogOffset";
    // The packet's fixed opening, written out by hand rather than by the writer under test.
    ASSERT_GE(catalog.size(), 24 + packet::kColumns.size());
    // (The column count is 8, or 13 with the extension columns, whose descriptors follow the eight.)
    EXPECT_TRUE(std::equal(packet::kHeaderStart.begin(), packet::kHeaderStart.end() - 2, catalog.begin()))
        << "packet header";
    const size_t columns = catalog[12] | size_t{catalog[13]} << 8;
    EXPECT_TRUE(columns == 8 || columns == 13) << "column count " << columns;
    EXPECT_TRUE(std::equal(packet::kColumns.begin(), packet::kColumns.end(), catalog.begin() + 24))
        << "column descriptors";
    expectStoredStreamsInflateWithZlib(kiv);
}

// Forwards to another stream, as a disk that holds at most maxSize bytes of it: a write that
// would grow the stream past that writes what fits and fails with DiskFull, naming nothing (the
// engine names the archive).
// Writes over bytes already there succeed, as on a full disk.
class FullDiskStream : public Stream {
public:
    FullDiskStream(std::unique_ptr<Stream> inner, int64_t maxSize) : inner_(std::move(inner)), maxSize_(maxSize) {}
    size_t read(void* buffer, size_t n) override { return inner_->read(buffer, n); }
    void write(const void* buffer, size_t n) override {
        const int64_t room = std::max<int64_t>(maxSize_, inner_->size()) - inner_->position();
        if (static_cast<int64_t>(n) <= room) {
            inner_->write(buffer, n);
            return;
        }
        if (room > 0) inner_->write(buffer, static_cast<size_t>(room));
        throw Error(ErrorKind::DiskFull, {});
    }
    int64_t position() const override { return inner_->position(); }
    void seek(int64_t position) override { inner_->seek(position); }
    int64_t size() const override { return inner_->size(); }
    void setSize(int64_t n) override { inner_->setSize(n); }
    void setMaxSize(int64_t maxSize) { maxSize_ = maxSize; }

private:
    std::unique_ptr<Stream> inner_;
    int64_t maxSize_;
};

// Puts the archive file on a disk that holds at most maxSize bytes of it; the returned stream
// is owned by kiv.
inline FullDiskStream* limitArchiveSize(TKiv& kiv, int64_t maxSize) {
    FullDiskStream* disk = nullptr;
    kiv.WrapFileForTesting([&](std::unique_ptr<Stream> file) {
        auto wrapped = std::make_unique<FullDiskStream>(std::move(file), maxSize);
        disk = wrapped.get();
        return std::unique_ptr<Stream>(std::move(wrapped));
    });
    return disk;
}

}  // namespace oru::test
