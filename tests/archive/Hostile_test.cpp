// SPDX-License-Identifier: GPL-3.0-or-later
// Archives made to attack the reader: names that point outside the extraction folder, a stored
// stream that inflates far beyond the size its row gives, and counts far beyond the file. The
// hostile rows are written by the engine's own catalog writer; the tests check that nothing is
// written outside the chosen folder, that memory stays small, and that each failure is a clear
// error.

#include <gtest/gtest.h>
#include <zlib.h>

#include <map>

#include "ArchiveTestSupport.h"

namespace oru::test {
namespace {

namespace stdfs = std::filesystem;

struct StoredRow {
    std::string name, parent;
    int32_t type = 1;
    int32_t offset = 0, originalSize = 0, storedSize = 0;
};

class HostileTest : public ArchiveTest {
protected:
    void TearDown() override {
        kiv.reset();
        ArchiveTest::TearDown();
    }

    // Appends rows to the catalog of the open archive and writes the catalog where it belongs.
    void appendRows(const std::vector<StoredRow>& rows) {
        CatalogTable& c = kiv->Catalog();
        for (const auto& r : rows) {
            c.Append();
            c.SetText("FileName", r.name);
            c.SetText("ParentName", r.parent);
            c.SetInteger("FileType", r.type);
            if (r.type == 1) {
                c.SetInteger("Offset", r.offset);
                c.SetInteger("OriginalSize", r.originalSize);
                c.SetInteger("StoredSize", r.storedSize);
            }
            c.SetDateTime("CheckinDate", kNow);
            c.Post();
        }
        kiv->SaveCatalog();
    }

    // An archive x.oru holding the top-level file "victim" ("v"), whose stored bytes the hostile
    // rows share; returns victim's row.
    StoredRow archiveWithVictim() {
        writeText(path("victim"), "v");
        kiv = TKiv::CreateNew(path("x.oru"));
        kiv->AddPath("", path("victim"));
        CatalogTable& c = kiv->Catalog();
        c.First();
        return StoredRow{"victim", "", 1, c.GetInteger("Offset"), c.GetInteger("OriginalSize"),
                         c.GetInteger("StoredSize")};
    }

    // The stored bytes of one more file holding "v", for a hostile row of its own (rows sharing
    // stored bytes are damage in themselves); that file's own row is removed again.
    StoredRow ownBytes(const std::string& name) {
        writeText(path("spare"), "v");
        kiv->AddPath("", path("spare"));
        CatalogTable& c = kiv->Catalog();
        moveTo(c, "spare");
        StoredRow row{name, "", 1, c.GetInteger("Offset"), c.GetInteger("OriginalSize"), c.GetInteger("StoredSize")};
        c.DeleteCurrent();
        kiv->SaveCatalog();
        return row;
    }

    void reopen() {
        kiv.reset();
        kiv = TKiv::OpenExisting(path("x.oru"));
        kiv->Catalog().SetOrdering("FileType;FileName");
    }

    // Extracts every top-level row into sentinel/a/b/out, as the command-line tool does with no
    // entry named; returns the first error's message ("" when none). Each row is tried, so one
    // refused row does not hide what another would write.
    std::string extractTopLevel() {
        CatalogTable& c = kiv->Catalog();
        c.SetFilterText(CatalogTable::parentFilter(""));
        c.SetFiltered(true);
        std::string first;
        for (c.First(); !c.AtEnd(); c.Next()) {
            try {
                kiv->ExtractEntry(c, path("sentinel/a/b/out"));
            } catch (const Error& e) {
                if (first.empty()) first = e.what();
            }
        }
        c.SetFiltered(false);
        return first;
    }

    std::unique_ptr<TKiv> kiv;
};

// Each stored name that could reach outside the extraction folder is refused with a message that
// shows it, and nothing outside the folder changes. Folder rows, and rows inside a harmless folder,
// are tried as well as top-level file rows. (A zero byte cannot reach a name: the catalog ends
// texts at it, below.)
TEST_F(HostileTest, NamesNeverLeaveTheExtractionFolder) {
    const struct {
        std::string name;
        std::string shown;  // as the message shows it
    } cases[] = {
        {"..", ".."},
        {"../x", "../x"},
        {"../../escape", "../../escape"},
        {"a/b", "a/b"},
        {"", ""},
        {"/etc/passwd", "/etc/passwd"},
        {"/etc/escape", "/etc/escape"},
        {".", "."},
        {"../../../sentinel/keep", "../../../sentinel/keep"},
    };
    for (const auto& k : cases) {
        for (const char* shape : {"file", "folder", "child"}) {
            SCOPED_TRACE(std::string(shape) + " named \"" + k.name + "\"");
            kiv.reset();
            stdfs::remove_all(path("sentinel"));
            mkdir("sentinel/a/b");
            writeText(path("sentinel/keep"), "keep");
            writeText(path("sentinel/a/keep"), "keep");
            archiveWithVictim();
            const StoredRow victim = ownBytes("victim");
            if (shape == std::string("file")) {
                StoredRow r = victim;
                r.name = k.name;
                appendRows({r});
            } else if (shape == std::string("folder")) {
                StoredRow child = victim;
                child.parent = k.name;
                appendRows({{k.name, "", 0, 0, 0, 0}, child});
            } else {
                StoredRow child = victim;
                child.name = k.name;
                child.parent = "ok";
                appendRows({{"ok", "", 0, 0, 0, 0}, child});
            }
            reopen();
            const auto before = treeOf(dir);
            const std::string message = extractTopLevel();
            EXPECT_NE(message.find("「" + k.shown + "」"), std::string::npos) << message;
            for (const auto& [rel, content] : treeOf(dir)) {
                auto it = before.find(rel);
                if (it == before.end()) {
                    EXPECT_EQ(rel.rfind("sentinel/a/b/out", 0), 0u) << "written outside: " << rel;
                } else {
                    EXPECT_EQ(content, it->second) << "changed: " << rel;
                }
            }
            // The harmless rows beside the hostile one were extracted.
            EXPECT_EQ(readAll(path("sentinel/a/b/out/victim")), Bytes{'v'});
        }
    }
}

// The catalog ends a text at its first zero byte, so a name with a zero byte in it is stored as
// the bytes before the zero: "a\0/../x" becomes "a", which extracts harmlessly, and "..\0x"
// becomes "..", which is refused.
TEST_F(HostileTest, NamesWithAZeroByteAreCutWhereTheZeroIs) {
    archiveWithVictim();
    const StoredRow cutToA = ownBytes(std::string("a\0/../x", 7));
    const StoredRow cutToDots = ownBytes(std::string("..\0x", 4));
    appendRows({cutToA, cutToDots});
    reopen();
    std::vector<std::string> names = namesOf(kiv->Catalog());
    std::sort(names.begin(), names.end());
    EXPECT_EQ(names, (std::vector<std::string>{"..", "a", "victim"}));

    mkdir("sentinel/a/b");
    const std::string message = extractTopLevel();
    EXPECT_NE(message.find("「..」"), std::string::npos) << message;
    EXPECT_EQ(readAll(path("sentinel/a/b/out/a")), Bytes{'v'});
    EXPECT_EQ(readAll(path("sentinel/a/b/out/victim")), Bytes{'v'});
    std::vector<std::string> top;
    for (const auto& e : stdfs::directory_iterator(path("sentinel/a/b"))) top.push_back(e.path().filename());
    EXPECT_EQ(top, std::vector<std::string>{"out"});
}

// A stored stream of 64 MiB of zeros (about 64 KiB stored) under a row that gives an
// OriginalSize of 1000, of 0, of a negative number or of nothing: reading and extracting stop
// as damage at the size the row gives, without writing or holding the inflated content.
TEST_F(HostileTest, StreamInflatingPastOriginalSizeIsStoppedThere) {
    const uLong content = 64u << 20;
    Bytes bomb;
    {
        z_stream z{};
        ASSERT_EQ(deflateInit(&z, 9), Z_OK);
        std::vector<uint8_t> zeros(1 << 20, 0);
        bomb.resize(deflateBound(&z, content));
        z.next_out = bomb.data();
        z.avail_out = static_cast<uInt>(bomb.size());
        for (uLong left = content; left > 0; left -= zeros.size()) {
            z.next_in = zeros.data();
            z.avail_in = static_cast<uInt>(zeros.size());
            ASSERT_EQ(deflate(&z, left == zeros.size() ? Z_FINISH : Z_NO_FLUSH), left == zeros.size() ? Z_STREAM_END : Z_OK);
        }
        bomb.resize(z.total_out);
        deflateEnd(&z);
    }
    // Four copies of the stream in the data area (one for each row: rows sharing stored bytes
    // are refused before any inflating) behind a header whose catalog offset points behind them,
    // at an empty catalog; the rows are then written there by the engine.
    Bytes file(16);
    std::memcpy(file.data(), "KVAR", 4);
    putLe32(file, 4, static_cast<uint32_t>(16 + 4 * bomb.size()));
    for (int copy = 0; copy < 4; ++copy) file.insert(file.end(), bomb.begin(), bomb.end());
    const Bytes catalog = packet::empty();
    file.insert(file.end(), catalog.begin(), catalog.end());
    writeAll(path("x.oru"), file);
    kiv = TKiv::OpenExisting(path("x.oru"));
    const int32_t stored = static_cast<int32_t>(bomb.size());
    appendRows({{"1000", "", 1, 16, 1000, stored},
                {"zero", "", 1, 16 + stored, 0, stored},
                {"negative", "", 1, 16 + 2 * stored, -7, stored}});
    // A row whose OriginalSize is not assigned at all.
    CatalogTable& c = kiv->Catalog();
    c.Append();
    c.SetText("FileName", "unsized");
    c.SetText("ParentName", "");
    c.SetInteger("FileType", 1);
    c.SetInteger("Offset", 16 + 3 * stored);
    c.SetInteger("StoredSize", stored);
    c.Post();
    kiv->SaveCatalog();
    reopen();

    const int64_t memoryBefore = peakMemory();
    const struct {
        const char* name;
        uintmax_t limit;
    } rows[] = {{"1000", 1000}, {"zero", 0}, {"negative", 0}, {"unsized", 0}};
    for (const auto& r : rows) {
        SCOPED_TRACE(r.name);
        CatalogTable& cur = kiv->Catalog();
        moveTo(cur, r.name);
        MemoryStream target;
        EXPECT_EQ(kindOf([&] { kiv->ReadEntry(cur, target); }), ErrorKind::LongerThanRecorded);
        EXPECT_LE(static_cast<uintmax_t>(target.size()), r.limit);
        // The extracted file is left out altogether.
        EXPECT_EQ(errorOf([&] { kiv->ExtractEntry(cur, path("out")); }),
                  damagedEntry(path("x.oru"), r.name, ErrorKind::LongerThanRecorded, {.total = int64_t(r.limit)}));
        EXPECT_FALSE(stdfs::exists(path("out/") + r.name));
    }
    EXPECT_LT(peakMemory() - memoryBefore, int64_t{32} << 20) << "the inflated content was held in memory";
}

// Counts far beyond the file in the catalog packet: each fails at once with a clear error,
// without allocating by the claimed size. (Catalog offsets beyond the file are refused in
// ArchiveFile_test.cpp, rows whose stored bytes lie outside it in Extract_test.cpp.)
TEST_F(HostileTest, HugeCountsFailAtOnce) {
    archiveWithVictim();
    kiv.reset();
    const Bytes good = readAll(path("x.oru"));
    const uint32_t catalog = le32(good, 4);
    const std::string text(good.begin(), good.end());
    const size_t log = text.find("CHANGE_LOG", catalog);
    ASSERT_NE(log, std::string::npos);
    const size_t logCount = log + 10 + 4;  // behind the name and the property's type code

    const struct {
        const char* what;
        size_t at;
        uint32_t value;
    } cases[] = {
        {"four billion rows", catalog + 14, 0xFFFFFFFFu},
        {"two billion rows", catalog + 14, 0x7FFFFFFFu},
        {"a change log of four billion elements", logCount, 0xFFFFFFFFu},
        {"a change log of a billion entries", logCount, 3u * 0x40000000u},
    };
    const int64_t memoryBefore = peakMemory();
    for (const auto& k : cases) {
        SCOPED_TRACE(k.what);
        Bytes file = good;
        putLe32(file, k.at, k.value);
        writeAll(path("x.oru"), file);
        EXPECT_NE(errorOf([&] { TKiv::OpenExisting(path("x.oru")); }), "");
    }
    EXPECT_LT(peakMemory() - memoryBefore, int64_t{64} << 20) << "memory was allocated by a claimed size";
}

}  // namespace
}  // namespace oru::test
