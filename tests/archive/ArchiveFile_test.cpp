// SPDX-License-Identifier: GPL-3.0-or-later
// The archive file: creating, opening, the header, and catalogs that cannot be trusted.

#include <optional>
#include <gtest/gtest.h>
#include <unistd.h>
#include <zlib.h>

#include "ArchiveTestSupport.h"
#include "catalog/Datapacket.h"

namespace oru::test {
namespace {

class ArchiveFileTest : public ArchiveTest {
protected:
    // The 16 header bytes for magic, catalog offset and the fixed clock.
    static Bytes headerBytes(const char* magic, uint32_t catalogOffset, double created = kNow) {
        Bytes b(16);
        std::memcpy(b.data(), magic, 4);
        putLe32(b, 4, catalogOffset);
        std::memcpy(b.data() + 8, &created, 8);  // the test host is little-endian like the format
        return b;
    }
    // An archive holding the top-level files a.txt and b.txt.
    std::string archiveWithTwoFiles() {
        writeText(path("a.txt"), "alpha alpha alpha");
        writeText(path("b.txt"), "beta");
        auto kiv = TKiv::CreateNew(path("x.oru"));
        kiv->AddPath("", path("a.txt"));
        kiv->AddPath("", path("b.txt"));
        return path("x.oru");
    }
};

// A new archive is its header alone; a catalog offset at the end of the file means no entries.
TEST_F(ArchiveFileTest, NewArchiveIsTheHeaderAloneAndOpensEmpty) {
    TKiv::CreateNew(path("x.oru"));
    EXPECT_EQ(readAll(path("x.oru")), headerBytes("KVAR", 16));

    auto kiv = TKiv::OpenExisting(path("x.oru"));
    EXPECT_TRUE(kiv->Catalog().IsEmpty());
    EXPECT_EQ(kiv->Header().Created, kNow);
    EXPECT_EQ(kiv->ArchivePath(), path("x.oru"));
}

// The whole file byte for byte, under each codec. zlib's stored stream is zlib's own level 1
// stream of the content; ISA-L's is checked by inflating it with plain zlib, and the rest of
// the file is the same.
class ArchiveLayoutTest : public ArchiveFileTest, public ::testing::WithParamInterface<codec::Codec> {};

TEST_P(ArchiveLayoutTest, WholeArchiveMatchesTheLayoutByteForByte) {
    CodecScope codec(GetParam());
    const std::string content = "Hello, archive! Hello, archive! Hello, archive!\n";
    writeText(path("a.txt"), content);
    mkdir("d");
    {
        auto kiv = TKiv::CreateNew(path("x.oru"));
        kiv->AddPath("", path("a.txt"));
        kiv->AddPath("", path("d"));
        // Destruction writes nothing.
    }
    Bytes got = readAll(path("x.oru"));
    ASSERT_GE(got.size(), 16u);

    Bytes stored;
    if (GetParam() == codec::Codec::Zlib) {
        // Stored stream: zlib at level 1 of the content.
        stored.resize(compressBound(content.size()));
        uLongf storedSize = stored.size();
        ASSERT_EQ(compress2(stored.data(), &storedSize, reinterpret_cast<const Bytef*>(content.data()),
                            content.size(), 1),
                  Z_OK);
        stored.resize(storedSize);
    } else {
        // Stored stream: whatever lies between the header and the catalog, as long as plain zlib
        // inflates it to the content.
        const size_t storedSize = le32(got, 4) - 16;
        ASSERT_LE(16 + storedSize, got.size());
        stored.assign(got.begin() + 16, got.begin() + 16 + storedSize);
        const Bytes inflated = inflatedByZlib(stored, content.size());
        EXPECT_EQ(std::string(inflated.begin(), inflated.end()), content);
    }
    ASSERT_EQ(stored[0], 0x78);
    ASSERT_EQ(stored[1], 0x01);
    const auto storedSize = static_cast<uint32_t>(stored.size());

    // The catalog, written out by hand: the rows the engine must have appended, logged as
    // insertions (slots 1 and 2), each checked in at kNow and with FileDate never assigned.
    const Bytes checkin = hexBytes("00 00 b3 3b fe 04 cd 42");  // kNow as milliseconds since 0001-01-01
    const Bytes packetBytes = packet::concat({
        packet::kHeaderStart,
        hexBytes("02 00 00 00  03 00 00 00  EE 00"),  // 2 rows, flags 3, rows at 238
        packet::kColumns,
        hexBytes("01 00"),  // one table property: the change log of two insertions
        hexBytes("0A 43 48 41 4E 47 45 5F 4C 4F 47  04 00 82 00  06 00 00 00"
                 "01 00 00 00  00 00 00 00  04 00 00 00  02 00 00 00  00 00 00 00  04 00 00 00"),
        // a.txt: inserted, FileDate unassigned; top level, a file at 16.
        hexBytes("04 00 20  05 61 2E 74 78 74  01 00  01 00 00 00"), packet::le64(16),
        packet::le64(content.size()), packet::le64(storedSize), checkin,
        // d: inserted, Offset, OriginalSize, StoredSize and FileDate unassigned; a folder.
        hexBytes("04 80 2A  01 64  01 00  00 00 00 00"), checkin,
    });

    Bytes want = headerBytes("KVAR", 16 + storedSize);
    want.insert(want.end(), stored.begin(), stored.end());
    want.insert(want.end(), packetBytes.begin(), packetBytes.end());

    ASSERT_EQ(got.size(), want.size());
    EXPECT_TRUE(std::equal(got.begin(), got.begin() + 4, want.begin())) << "Magic";
    EXPECT_EQ(le32(got, 4), 16 + storedSize) << "CatalogOffset";
    EXPECT_TRUE(std::equal(got.begin() + 8, got.begin() + 16, want.begin() + 8)) << "Created";
    EXPECT_TRUE(std::equal(got.begin() + 16, got.begin() + 16 + storedSize, want.begin() + 16)) << "stored stream";
    EXPECT_TRUE(got == want) << "catalog";
}

INSTANTIATE_TEST_SUITE_P(Codecs, ArchiveLayoutTest, ::testing::ValuesIn(builtCodecs()), codecName);

TEST_F(ArchiveFileTest, MagicIgnoresLetterCaseAndIsWrittenBackAsRead) {
    const std::string archive = archiveWithTwoFiles();
    for (const char* magic : {"kvar", "Kvar", "kVaR"}) {
        SCOPED_TRACE(magic);
        Bytes file = readAll(archive);
        std::memcpy(file.data(), magic, 4);
        writeAll(archive, file);

        auto kiv = TKiv::OpenExisting(archive);
        EXPECT_EQ(namesOf(kiv->Catalog()).at(1), "b.txt");
        writeText(path("c.txt"), "gamma");
        kiv->AddPath("", path("c.txt"));
        kiv->Compact();
        kiv.reset();
        EXPECT_EQ(0, std::memcmp(readAll(archive).data(), magic, 4));
    }
}

TEST_F(ArchiveFileTest, ForeignAndShortFilesAreRefused) {
    struct Case {
        const char* what;
        Bytes bytes;
    } cases[] = {
        {"KVA and a zero byte", headerBytes("KVA\0", 16)},
        {"a zero byte first", headerBytes("\0VAR", 16)},
        {"another magic", headerBytes("KVAS", 16)},
        {"a letter outside a to z", headerBytes("KV\xC1R", 16)},
        {"three bytes", Bytes{'K', 'V', 'A'}},
        {"fifteen bytes", [] { Bytes b = headerBytes("KVAR", 16); b.pop_back(); return b; }()},
        {"catalog offset inside the header", headerBytes("KVAR", 15)},
        {"negative catalog offset", headerBytes("KVAR", 0xFFFFFFF0u)},
        {"catalog offset past the end", headerBytes("KVAR", 17)},
        {"catalog offset 2^31 - 1", headerBytes("KVAR", 0x7FFFFFFFu)},
        {"catalog offset -2^31", headerBytes("KVAR", 0x80000000u)},
        {"catalog offset -1", headerBytes("KVAR", 0xFFFFFFFFu)},
        {"catalog offset 2^31 - 1 behind entries", [&] {
             Bytes b = readAll(archiveWithTwoFiles());
             putLe32(b, 4, 0x7FFFFFFFu);
             return b;
         }()},
    };
    // An offset far beyond the file is refused without allocating by it.
    const int64_t memoryBefore = peakMemory();
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        writeAll(path("y.oru"), c.bytes);
        EXPECT_EQ(errorOf([&] { TKiv::OpenExisting(path("y.oru")); }), path("y.oru") + "檔案格式不符");
        // Nothing was written to the refused file.
        EXPECT_EQ(readAll(path("y.oru")), c.bytes);
    }
    EXPECT_LT(peakMemory() - memoryBefore, int64_t{64} << 20) << "memory was allocated by a claimed offset";
}

TEST_F(ArchiveFileTest, EmptyFileOpensAsAnArchiveWithoutEntries) {
    writeAll(path("e.oru"), {});
    writeText(path("a.txt"), "alpha");
    auto kiv = TKiv::OpenExisting(path("e.oru"));
    EXPECT_TRUE(kiv->Catalog().IsEmpty());
    EXPECT_EQ(readAll(path("e.oru")).size(), 0u);
    // Adding gives it the header of a new archive.
    kiv->AddPath("", path("a.txt"));
    expectFileMatches(*kiv);
    kiv.reset();
    EXPECT_EQ(namesOf(TKiv::OpenExisting(path("e.oru"))->Catalog()), std::vector<std::string>{"a.txt"});
}

TEST_F(ArchiveFileTest, MissingFileOrFolderIsNotFound) {
    mkdir("folder.oru");
    for (const std::string& p : {path("none.oru"), path("folder.oru")}) {
        EXPECT_EQ(errorOf([&] { TKiv::OpenExisting(p); }), p + "找不到這個檔案");
    }
    EXPECT_EQ(errorOf([&] { TKiv::CreateNew(path("folder.oru")); }), "Cannot create file " + path("folder.oru") + ": Is a directory");
    EXPECT_EQ(errorOf([&] { TKiv::CreateNew(path("no/such/dir.oru")); }), "Cannot create file " + path("no/such/dir.oru") + ": No such file or directory");
}

TEST_F(ArchiveFileTest, OpenArchiveIsExclusive) {
    const std::string archive = archiveWithTwoFiles();
    const Bytes before = readAll(archive);
    auto kiv = TKiv::OpenExisting(archive);
    EXPECT_EQ(errorOf([&] { TKiv::OpenExisting(archive); }), "Cannot open file " + archive + ": another program is using it");
    // CreateNew on a held archive neither opens nor cuts it.
    EXPECT_EQ(errorOf([&] { TKiv::CreateNew(archive); }), "Cannot open file " + archive + ": another program is using it");
    EXPECT_EQ(readAll(archive), before);
    kiv.reset();
    EXPECT_NO_THROW(TKiv::OpenExisting(archive));
}

// Readers share an archive; a writer needs it alone, whichever came first.
TEST_F(ArchiveFileTest, ReadersShareAnArchiveAndWritersNeedItAlone) {
    const std::string archive = archiveWithTwoFiles();
    using A = TKiv::Access;
    const struct {
        A first, second;
        bool opens;
    } cases[] = {
        {A::Shared, A::Shared, true},
        {A::Shared, A::Exclusive, false},
        {A::Exclusive, A::Shared, false},
    };
    for (const auto& k : cases) {
        SCOPED_TRACE(std::to_string(int(k.first)) + "," + std::to_string(int(k.second)));
        auto held = TKiv::OpenExisting(archive, k.first);
        if (k.opens) {
            auto other = TKiv::OpenExisting(archive, k.second);
            EXPECT_EQ(other->Catalog().ViewSize(), 2);
        } else {
            EXPECT_EQ(errorOf([&] { TKiv::OpenExisting(archive, k.second); }), "Cannot open file " + archive + ": another program is using it");
        }
    }

    // A shared open writes only while no other reader holds the archive.
    auto viewer = TKiv::OpenExisting(archive, A::Shared);
    auto writer = TKiv::OpenExisting(archive, A::Shared);
    EXPECT_FALSE(writer->ReadOnly());
    writeText(path("c.txt"), "gamma");
    const Bytes before = readAll(archive);
    EXPECT_EQ(errorOf([&] { writer->AddPath("", path("c.txt")); }), archive + ": 另一個程式正在使用這個壓縮檔，現在無法寫入");
    EXPECT_EQ(readAll(archive), before);
    viewer.reset();
    {
        const TKiv::Writing writing(*writer);
        writer->AddPath("", path("c.txt"));
        // While it writes, nobody else opens the archive, not even to read.
        EXPECT_EQ(errorOf([&] { TKiv::OpenExisting(archive, A::Shared); }), "Cannot open file " + archive + ": another program is using it");
    }
    // Writing done, the shared lock is back: readers come in, writers stay out.
    EXPECT_EQ(TKiv::OpenExisting(archive, A::Shared)->Catalog().ViewSize(), 3);
    EXPECT_EQ(errorOf([&] { TKiv::OpenExisting(archive); }), "Cannot open file " + archive + ": another program is using it");
}

// Opens archive shared as a user who may not write it: as root, the open runs as nobody; for
// other users the file's write bits are cleared.
std::unique_ptr<TKiv> openWithoutWriteAccess(const std::string& dir, const std::string& archive) {
    ::chmod(archive.c_str(), 0444);
    if (::geteuid() != 0) return TKiv::OpenExisting(archive, TKiv::Access::Shared);
    ::chmod(dir.c_str(), 0755);
    if (::seteuid(65534) != 0) return nullptr;
    std::unique_ptr<TKiv> kiv;
    std::optional<Error> error;
    try {
        kiv = TKiv::OpenExisting(archive, TKiv::Access::Shared);
    } catch (const Error& e) {
        error = e;
    }
    EXPECT_EQ(::seteuid(0), 0);
    if (error) throw *error;
    return kiv;
}

TEST_F(ArchiveFileTest, ArchiveTheUserMayOnlyReadIsReadAndRefusesWrites) {
    const std::string archive = archiveWithTwoFiles();
    const Bytes before = readAll(archive);
    auto kiv = openWithoutWriteAccess(dir, archive);
    if (!kiv) GTEST_SKIP() << "cannot act as a user without write access here";
    EXPECT_TRUE(kiv->ReadOnly());
    CatalogTable& c = kiv->Catalog();
    c.First();
    MemoryStream content;
    kiv->ReadEntry(c, content);
    EXPECT_EQ(std::string(content.bytes().begin(), content.bytes().end()), "alpha alpha alpha");
    kiv->ExtractEntry(c, path("out"));
    EXPECT_EQ(readAll(path("out/a.txt")), readAll(path("a.txt")));

    const std::string refusal = archive + ": 這個壓縮檔是唯讀的（沒有寫入權限或位於唯讀媒體），只能檢視與解壓縮，無法加入、刪除或重整";
    const std::pair<const char*, std::function<void()>> writes[] = {
        {"add", [&] { kiv->AddPath("", path("a.txt")); }},
        {"delete", [&] { kiv->DeleteEntry(c); }},
        {"compact", [&] { kiv->Compact(); }},
        {"hold for writing", [&] { TKiv::Writing w(*kiv); }},
    };
    for (const auto& [what, write] : writes) {
        SCOPED_TRACE(what);
        EXPECT_EQ(errorOf(write), refusal);
    }
    EXPECT_EQ(c.ViewSize(), 2);
    kiv.reset();
    EXPECT_EQ(readAll(archive), before);

    // An add of the owner's was interrupted: the archive cannot be read until it is recovered,
    // and that needs writing it.
    writeText(TKiv::RecoveryPathFor(archive), "");
    EXPECT_EQ(errorOf([&] { openWithoutWriteAccess(dir, archive); }),
              archive + ": 上次加入檔案時中斷，這個壓縮檔需要修復才能開啟，但它是唯讀的，無法寫入；請以有寫入權限的身分開啟一次");
    EXPECT_EQ(readAll(archive), before);
}

// CreateNew empties only what is an archive already (or nothing at all); anyone's other file
// stays as it is.
TEST_F(ArchiveFileTest, CreateNewReplacesArchivesOnlyAndLeavesOtherFilesUntouched) {
    const Bytes archive = readAll(archiveWithTwoFiles());
    Bytes lowerCase = archive;
    std::memcpy(lowerCase.data(), "kvar", 4);
    const std::string text = "a document, not an archive";
    struct Case {
        const char* what;
        Bytes before;
        bool replaced;
    } cases[] = {
        {"archive with entries", archive, true},
        {"archive whose magic is written in lower case", lowerCase, true},
        {"empty file", {}, true},
        {"text document", Bytes(text.begin(), text.end()), false},
        {"file shorter than a header", Bytes{'K', 'V', 'A', 'R'}, false},
        {"zip file", Bytes{'P', 'K', 3, 4, 20, 0, 0, 0, 8, 0, 0, 0, 0, 0, 0, 0, 0, 0}, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        const std::string target = path("target.oru");
        writeAll(target, c.before);
        EXPECT_EQ(TKiv::IsReplaceable(target), c.replaced);
        if (c.replaced) {
            EXPECT_TRUE(TKiv::CreateNew(target)->Catalog().IsEmpty());
            EXPECT_EQ(readAll(target), headerBytes("KVAR", 16));
            EXPECT_TRUE(TKiv::OpenExisting(target)->Catalog().IsEmpty());
        } else {
            EXPECT_EQ(errorOf([&] { TKiv::CreateNew(target); }), TKiv::NotAnArchiveMessage(target));
            EXPECT_EQ(readAll(target), c.before);
        }
    }
    EXPECT_FALSE(TKiv::IsReplaceable(path("missing.oru")));
}

TEST_F(ArchiveFileTest, CreatedNeverChanges) {
    writeText(path("a.txt"), "alpha");
    clock::setNowForTesting([] { return 40000.25; });
    TKiv::CreateNew(path("x.oru"));
    clock::setNowForTesting([] { return 41000.75; });
    {
        auto kiv = TKiv::OpenExisting(path("x.oru"));
        kiv->AddPath("", path("a.txt"));
        kiv->Compact();
        EXPECT_EQ(kiv->Header().Created, 40000.25);
        expectFileMatches(*kiv);
    }
    EXPECT_EQ(TKiv::OpenExisting(path("x.oru"))->Header().Created, 40000.25);
}

TEST_F(ArchiveFileTest, DamagedCatalogIsAClearError) {
    const std::string archive = archiveWithTwoFiles();
    const Bytes good = readAll(archive);
    const uint32_t offset = le32(good, 4);
    struct Case {
        const char* what;
        Bytes catalog;
    } cases[] = {
        {"random bytes", randomBytes(200, 11)},
        {"one byte", Bytes{0x96}},
        {"the packet cut short", Bytes(good.begin() + offset, good.begin() + offset + (good.size() - offset) / 2)},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        Bytes file(good.begin(), good.begin() + offset);
        file.insert(file.end(), c.catalog.begin(), c.catalog.end());
        writeAll(archive, file);
        try {
            TKiv::OpenExisting(archive);
            ADD_FAILURE() << "opened";
        } catch (const Error& e) {
            // The reader knows no file name; the message still names the archive.
            EXPECT_NE(std::string(e.what()).find(archive), std::string::npos) << e.what();
        }
    }
}

// A packet without one of the catalog's eight fields (dropped, or renamed) is refused at open,
// naming the archive and the field, not at the first row (or the first listing) that needs it.
TEST_F(ArchiveFileTest, CatalogWithoutOneOfItsFieldsIsRefusedByName) {
    const std::string archive = archiveWithTwoFiles();
    const Bytes good = readAll(archive);
    struct Case {
        const char* field;  // the field the archive lacks
        bool renamed;       // its column keeps its values under another name
    } cases[] = {
        {"FileName", false},     {"ParentName", false}, {"FileType", false},    {"Offset", false},
        {"OriginalSize", false}, {"StoredSize", false}, {"FileDate", false},    {"CheckinDate", false},
        {"FileName", true},      {"CheckinDate", true},
    };
    for (const Case& c : cases) {
        writeAll(archive, good);
        if (c.renamed) {
            rewriteCatalog(archive, [&](TableData& data) {
                for (Column& column : data.columns)
                    if (column.name == c.field) column.name = "Renamed";
            });
        } else {
            dropCatalogColumn(archive, c.field);
        }
        for (TKiv::Access access : {TKiv::Access::Shared, TKiv::Access::Exclusive}) {
            try {
                TKiv::OpenExisting(archive, access);
                ADD_FAILURE() << c.field << " opened";
            } catch (const Error& e) {
                EXPECT_EQ(e.kind(), ErrorKind::FieldNotFound) << c.field;
                EXPECT_EQ(std::string(e.what()), "Field '" + std::string(c.field) + "' not found: " + archive);
            }
        }
    }
    // A packet of a single column lacks the second field first.
    writeAll(archive, good);
    rewriteCatalog(archive, [](TableData& data) {
        data.columns.resize(1);
        for (Slot& slot : data.slots) slot.fields = FieldRow({*slot.fields.begin()});
    });
    EXPECT_EQ(errorOf([&] { TKiv::OpenExisting(archive); }), "Field 'ParentName' not found: " + archive);
}

// Every single-byte change of a small archive's catalog either loads or fails with an Error; a
// catalog that loads can be listed, read, extracted into a fresh folder (writing nowhere else),
// deleted from and compacted, each without a crash.
TEST_F(ArchiveFileTest, HostileCatalogsNeverCrash) {
    mkdir("src/docs/img");
    writeText(path("src/docs/a.txt"), "alpha alpha");
    writeAll(path("src/docs/img/b.bin"), randomBytes(900, 2));
    writeText(path("src/c.txt"), "");
    {
        auto kiv = TKiv::CreateNew(path("x.oru"));
        kiv->AddPath("", path("src"));
    }
    const Bytes good = readAll(path("x.oru"));
    const uint32_t offset = le32(good, 4);
    writeAll(path("h.oru"), good);
    int loaded = 0;
    for (size_t at = offset; at < good.size(); ++at) {
        for (uint8_t flip : {uint8_t{0x01}, uint8_t{0xFF}}) {
            // The file keeps its size: one byte is patched in place.
            if (readAll(path("h.oru")).size() != good.size()) writeAll(path("h.oru"), good);
            patchByte(path("h.oru"), at, static_cast<uint8_t>(good[at] ^ flip));
            std::unique_ptr<TKiv> kiv;
            try {
                kiv = TKiv::OpenExisting(path("h.oru"));
            } catch (const Error&) {
                patchByte(path("h.oru"), at, good[at]);
                continue;
            }
            ++loaded;
            CatalogTable& c = kiv->Catalog();
            for (c.First(); !c.AtEnd(); c.Next()) {
                try {
                    MemoryStream target;
                    kiv->ReadEntry(c, target);
                } catch (const Error&) {
                }
            }
            // Extraction and compaction touch the disk: a sample of the variants is enough.
            if (loaded % 8 != 1) {
                kiv.reset();
                patchByte(path("h.oru"), at, good[at]);
                continue;
            }
            std::filesystem::remove_all(path("out"));
            for (c.First(); !c.AtEnd(); c.Next()) {
                try {
                    kiv->ExtractEntry(c, path("out"));
                } catch (const Error&) {
                }
            }
            for (const auto& entry : std::filesystem::directory_iterator(dir)) {
                const std::string name = entry.path().filename().string();
                EXPECT_TRUE(name == "src" || name == "x.oru" || name == "h.oru" || name == "out") << name;
            }
            try {
                c.First();
                kiv->DeleteEntry(c);
                kiv->Compact();
            } catch (const Error&) {
            }
            kiv.reset();
            writeAll(path("h.oru"), good);
        }
    }
    // Most changes hit values, not structure: the loop exercised the engine on loaded catalogs.
    EXPECT_GT(loaded, 0);
}

}  // namespace
}  // namespace oru::test
