// SPDX-License-Identifier: GPL-3.0-or-later
// Deleting entries and compacting the archive.

#include <gtest/gtest.h>

#include <algorithm>

#include "ArchiveTestSupport.h"

namespace oru::test {
namespace {

class CompactTest : public ArchiveTest {
protected:
    void TearDown() override {
        kiv.reset();
        ArchiveTest::TearDown();
    }
    void archive(const std::vector<std::string>& paths, const std::string& name = "x.oru") {
        kiv = TKiv::CreateNew(path(name));
        for (const auto& p : paths) kiv->AddPath("", path(p));
    }
    void reopen() {
        const std::string archivePath = kiv->ArchivePath();
        kiv.reset();
        kiv = TKiv::OpenExisting(archivePath);
    }
    // The Delete command: delete the row named name, merge the log, compact.
    void deleteAndCompact(const std::string& name) {
        moveTo(kiv->Catalog(), name);
        kiv->DeleteEntry(kiv->Catalog());
        kiv->Catalog().MergeChanges();
        kiv->Compact();
    }
    std::vector<std::string> sortedNames() {
        auto names = namesOf(kiv->Catalog());
        std::sort(names.begin(), names.end());
        return names;
    }
    std::string content(const std::string& name) {
        MemoryStream target;
        CatalogTable c;
        c.CloneFrom(kiv->Catalog());
        moveTo(c, name);
        kiv->ReadEntry(c, target);
        return std::string(target.bytes().begin(), target.bytes().end());
    }
    std::unique_ptr<TKiv> kiv;
};

TEST_F(CompactTest, DeletingAFileChangesOnlyTheCatalogInMemory) {
    for (const char* n : {"a", "b", "c"}) writeText(path(n), std::string(50, n[0]));
    archive({"a", "b", "c"});
    const Bytes before = readAll(path("x.oru"));
    moveTo(kiv->Catalog(), "b");
    kiv->DeleteEntry(kiv->Catalog());
    EXPECT_EQ(namesOf(kiv->Catalog()), (std::vector<std::string>{"a", "c"}));
    EXPECT_EQ(readAll(path("x.oru")), before);
}

TEST_F(CompactTest, DeletingAFolderTakesEverythingBelowIt) {
    mkdir("docs/img");
    writeText(path("docs/a.txt"), "a");
    writeText(path("docs/img/b.png"), "b");
    writeText(path("other.txt"), "o");
    archive({"docs", "other.txt"});
    moveTo(kiv->Catalog(), "docs");
    kiv->DeleteEntry(kiv->Catalog());
    EXPECT_EQ(namesOf(kiv->Catalog()), std::vector<std::string>{"other.txt"});
}

// Archives written before names were kept unique hold folder rows of one name, which share
// their children, and cycles of names. Deleting such a folder removes that row alone: the rows
// below it stay, listed under its namesake where they were listed already.
TEST_F(CompactTest, DeletingAFolderWhoseNameAnotherBearsRemovesThatRowOnly) {
    mkdir("x");
    mkdir("y/x");
    writeText(path("x/p"), "p");
    writeText(path("y/x/q"), "q");
    archive({"x", "y"});
    renameRows(*kiv, "x~1", "x");
    CatalogTable& c = kiv->Catalog();
    c.SetFilterText(CatalogTable::parentFilter(""));
    c.SetFiltered(true);
    moveTo(c, "x");
    kiv->DeleteEntry(c);
    EXPECT_EQ(sortedNames(), (std::vector<std::string>{"p", "q", "x", "y"}));
    // The last x goes with everything below it.
    c.SetFiltered(false);
    moveTo(c, "x");
    kiv->DeleteEntry(c);
    EXPECT_EQ(sortedNames(), (std::vector<std::string>{"y"}));
}

// In such archives the rows below a deleted folder may also be listed under a folder row of the
// same name elsewhere (a/src and b/src, both stored as "src", list the same files). Those rows
// stay, with everything below them, as long as a folder row that lists them stays.
TEST_F(CompactTest, DeletingAFolderSparesWhatAnotherFolderOfTheSameNameLists) {
    mkdir("a/src/d");
    mkdir("b/src");
    writeText(path("a/src/x.txt"), "ax");
    writeText(path("a/src/d/f"), "f");
    writeText(path("a/top"), "t");
    writeText(path("b/src/y.txt"), "by");
    struct Case {
        const char* what;
        std::vector<std::string> deleted;  // top-level folders deleted, in this order, at once
        std::vector<std::string> left;     // the names of the rows left, sorted
    } cases[] = {
        {"a: its src row goes, src's rows stay under b/src", {"a"}, {"b", "d", "f", "src", "x.txt", "y.txt"}},
        {"b: the same from the other side", {"b"}, {"a", "d", "f", "src", "top", "x.txt", "y.txt"}},
        {"both: nothing lists them any more", {"a", "b"}, {}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        kiv.reset();
        archive({"a", "b"});
        renameRows(*kiv, "src~1", "src");
        CatalogTable& cat = kiv->Catalog();
        cat.SetFilterText(CatalogTable::parentFilter(""));
        cat.SetFiltered(true);
        std::vector<Bookmark> rows;
        for (const std::string& name : c.deleted) {
            moveTo(cat, name);
            rows.push_back(*cat.GetBookmark());
        }
        kiv->DeleteEntries(cat, rows);
        cat.SetFiltered(false);
        EXPECT_EQ(sortedNames(), c.left);
    }
}

TEST_F(CompactTest, DeletingThroughACycleOfNamesEndsAndSparesOtherRows) {
    // Rows: a (top), b in a, a in b, c in a; z (top).
    mkdir("a/b/a");
    writeText(path("a/c"), "c");
    mkdir("z");
    archive({"a", "z"});
    renameRows(*kiv, "a~1", "a");
    CatalogTable& c = kiv->Catalog();
    c.SetFilterText(CatalogTable::parentFilter(""));
    c.SetFiltered(true);
    moveTo(c, "a");
    // The top a: the inner a bears its name, so only the top row goes.
    kiv->DeleteEntry(c);
    EXPECT_EQ(sortedNames(), (std::vector<std::string>{"a", "b", "c", "z"}));
    // The inner a, now the only one: the walk below it comes back to it through b and ends.
    c.SetFiltered(false);
    moveTo(c, "a");
    kiv->DeleteEntry(c);
    EXPECT_EQ(sortedNames(), (std::vector<std::string>{"z"}));
}

TEST_F(CompactTest, DeletingEverythingLeavesHeaderAndEmptyCatalog) {
    mkdir("d");
    writeText(path("d/f"), "f");
    writeText(path("g"), "g");
    archive({"d", "g"});
    CatalogTable& c = kiv->Catalog();
    for (const char* name : {"g", "d"}) {
        moveTo(c, name);
        kiv->DeleteEntry(c);
    }
    c.MergeChanges();
    kiv->Compact();
    EXPECT_EQ(kiv->Header().CatalogOffset, 16);
    expectFileMatches(*kiv);
    const Bytes file = readAll(path("x.oru"));
    EXPECT_EQ(Bytes(file.begin() + 16, file.end()), packet::empty());
    reopen();
    EXPECT_TRUE(kiv->Catalog().IsEmpty());
}

TEST_F(CompactTest, CompactionClosesTheGapOfADeletedFile) {
    for (const char* n : {"a.txt", "b.txt", "c.txt"}) writeAll(path(n), randomBytes(3000, n[0]));
    archive({"a.txt", "b.txt", "c.txt"});
    deleteAndCompact("b.txt");
    expectFileMatches(*kiv);
    reopen();
    const auto rows = rowsOf(kiv->Catalog());
    ASSERT_EQ(rows.size(), 2u);
    EXPECT_EQ(rows[0].offset, 16);
    EXPECT_EQ(rows[1].offset, 16 + rows[0].storedSize);
    EXPECT_EQ(kiv->Header().CatalogOffset, 16 + rows[0].storedSize + rows[1].storedSize);
    const Bytes c = randomBytes(3000, 'c');
    EXPECT_TRUE(content("c.txt") == std::string(c.begin(), c.end()));
}

TEST_F(CompactTest, CompactionStoresInTheCatalogOrderingAndASecondMovesNothing) {
    mkdir("f");
    for (const char* n : {"c", "f/z", "a", "b"}) writeAll(path(n), randomBytes(700, n[std::strlen(n) - 1]));
    archive({"c", "f", "a", "b"});
    kiv->Catalog().SetOrdering("FileType;FileName");
    kiv->Compact();
    expectFileMatches(*kiv);

    std::vector<std::pair<int64_t, std::string>> byOffset;
    for (const auto& r : rowsOf(kiv->Catalog())) {
        if (r.type == 1) byOffset.emplace_back(r.offset, r.name);
    }
    std::sort(byOffset.begin(), byOffset.end());
    std::vector<std::string> order;
    for (const auto& [offset, name] : byOffset) order.push_back(name);
    EXPECT_EQ(order, (std::vector<std::string>{"a", "b", "c", "z"}));
    EXPECT_EQ(byOffset.front().first, 16);

    const Bytes once = readAll(path("x.oru"));
    kiv->Compact();
    EXPECT_EQ(readAll(path("x.oru")), once);
    for (const char* n : {"a", "b", "c", "z"}) {
        const Bytes want = randomBytes(700, n[0]);
        EXPECT_TRUE(content(n) == std::string(want.begin(), want.end())) << n;
    }
}

// Rows that share stored bytes (a hostile or damaged catalog) come out of compaction with one
// copy of the shared range, never one per row: the archive does not grow. Ranges that overlap
// without being the same are refused, naming the rows, with the file left as it was.
TEST_F(CompactTest, SharedStoredBytesAreKeptOnceAndUnequalOverlapsAreRefused) {
    struct Extra {
        const char* name;
        int32_t type;
        int32_t shift;   // offset moved this far into a.txt's range
    };
    struct Case {
        const char* what;
        std::vector<Extra> extras;  // rows appended over a.txt's stored bytes
        bool refused;
    } cases[] = {
        {"300 file rows on one range", {}, false},
        {"a row of another type on a file's range", {{"odd", 5, 0}}, false},
        {"a file row inside another's range", {{"inside", 1, 100}}, true},
        {"a row of another type inside a file's range", {{"odd", 5, 1}}, true},
    };
    for (int i = 0; i < 300; ++i) cases[0].extras.push_back({"copy", 1, 0});
    writeAll(path("a.txt"), randomBytes(30000, 1));
    writeAll(path("b.txt"), randomBytes(2000, 2));
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        kiv.reset();
        archive({"a.txt", "b.txt"});
        CatalogTable& cat = kiv->Catalog();
        moveTo(cat, "a.txt");
        const int32_t offset = cat.GetInteger("Offset"), stored = cat.GetInteger("StoredSize");
        for (const Extra& e : c.extras) {
            cat.Append();
            cat.SetText("FileName", e.name);
            cat.SetText("ParentName", "");
            cat.SetInteger("FileType", e.type);
            cat.SetInteger("Offset", offset + e.shift);
            cat.SetInteger("OriginalSize", 30000);
            cat.SetInteger("StoredSize", stored - e.shift);
            cat.Post();
        }
        cat.MergeChanges();
        kiv->SaveCatalog();
        const Bytes before = readAll(path("x.oru"));
        if (c.refused) {
            try {
                kiv->Compact();
                ADD_FAILURE() << "compacted";
            } catch (const Error& e) {
                EXPECT_EQ(e.kind(), ErrorKind::StoredOverlap);
                EXPECT_EQ(e.values().archive, path("x.oru"));
                EXPECT_EQ(e.values().count, 2);
                EXPECT_EQ(e.values().items, (std::vector<std::string>{"a.txt", c.extras.front().name}));
                EXPECT_NE(std::string(e.what()).find("oru recover " + path("x.oru") + " NEW.oru"), std::string::npos);
            }
            EXPECT_EQ(readAll(path("x.oru")), before);
            continue;
        }
        kiv->Compact();
        EXPECT_LE(readAll(path("x.oru")).size(), before.size());
        reopen();
        const auto rows = rowsOf(kiv->Catalog());
        for (const Row& r : rows) {
            if (r.name == "b.txt") continue;
            EXPECT_EQ(r.offset, 16) << r.name;  // a.txt lies first, and the others on its one copy
            EXPECT_EQ(r.storedSize, stored) << r.name;
        }
        const Bytes file = readAll(path("x.oru"));
        const Bytes a(file.begin() + 16, file.begin() + 16 + stored);
        EXPECT_TRUE(inflatedByZlib(a, 30000) == randomBytes(30000, 1));
        EXPECT_EQ(kiv->Header().CatalogOffset, 16 + stored + rows[1].storedSize);
    }
}

// Small stored streams are gathered and written in large pieces, big ones copied by the kernel:
// entries of both kinds, more than one piece of them, come through whole and in order.
TEST_F(CompactTest, SmallAndBigEntriesComeThroughWhole) {
    std::vector<std::string> names;
    for (int i = 0; i < 34; ++i) {
        const std::string name = "f" + std::to_string(100 + i);
        // Random bytes are stored as they are: every tenth entry is big, the others small.
        writeAll(path(name), randomBytes(i % 10 == 3 ? 700000 : 150000 + 977 * i, static_cast<unsigned>(i)));
        names.push_back(name);
    }
    archive(names);
    for (const char* gone : {"f100", "f113", "f120"}) {
        moveTo(kiv->Catalog(), gone);
        kiv->DeleteEntry(kiv->Catalog());
    }
    kiv->Catalog().MergeChanges();
    kiv->Compact();
    expectFileMatches(*kiv);
    reopen();
    EXPECT_EQ(namesOf(kiv->Catalog()).size(), 31u);
    for (int i = 1; i < 34; ++i) {
        if (i == 13 || i == 20) continue;
        SCOPED_TRACE(i);
        const Bytes want = randomBytes(i % 10 == 3 ? 700000 : 150000 + 977 * i, static_cast<unsigned>(i));
        EXPECT_TRUE(content("f" + std::to_string(100 + i)) == std::string(want.begin(), want.end()));
    }
}

TEST(TempPathTest, EachArchiveHasATemporaryNameOfItsOwn) {
    const struct {
        const char* archive;
        const char* temp;
    } cases[] = {
        {"x.oru", "x.oru.$$$"},
        {"x", "x.$$$"},
        {"/d.e/x", "/d.e/x.$$$"},
        {"/d/x.$$$", "/d/x.$$$.$$$"},
    };
    for (const auto& c : cases) EXPECT_EQ(TKiv::TempPathFor(c.archive), c.temp) << c.archive;
    // Archives sharing a stem never share a temporary file.
    EXPECT_NE(TKiv::TempPathFor("/d/g.oru"), TKiv::TempPathFor("/d/g.old"));
}

TEST_F(CompactTest, StaleTemporaryFileIsReplacedAndNoneRemains) {
    writeText(path("a"), "a");
    for (const char* name : {"x.oru", "x"}) {
        SCOPED_TRACE(name);
        archive({"a"}, name);
        const std::string temp = TKiv::TempPathFor(path(name));
        writeText(temp, "left over from an earlier failure");
        std::filesystem::permissions(temp, std::filesystem::perms(0600));
        kiv->Compact();
        EXPECT_FALSE(std::filesystem::exists(temp));
        expectFileMatches(*kiv);
        kiv.reset();
    }
}

TEST_F(CompactTest, ViewIsRestoredAndAnEmptyViewStaysEmpty) {
    mkdir("f");
    mkdir("g");
    for (const char* n : {"f/1", "f/2", "f/3"}) writeText(path(n), n);
    archive({"f", "g"});
    CatalogTable& c = kiv->Catalog();
    c.SetOrdering("FileType;FileName");
    c.SetFilterText(CatalogTable::parentFilter("f"));
    c.SetFiltered(true);
    c.First();
    c.Next();
    kiv->Compact();
    EXPECT_TRUE(c.Filtered());
    EXPECT_EQ(c.RecordNumber(), 2);
    EXPECT_EQ(c.GetText("FileName"), "2");

    c.SetFilterText(CatalogTable::parentFilter("g"));
    ASSERT_TRUE(c.IsEmpty());
    kiv->Compact();
    EXPECT_TRUE(c.Filtered());
    EXPECT_TRUE(c.IsEmpty());
}

TEST_F(CompactTest, FailureBeforeTheCutLeavesFileAndCatalogAsTheyWere) {
    for (const char* n : {"a", "b"}) writeAll(path(n), randomBytes(2000, n[0]));
    archive({"a", "b"});
    // Damage the second row in memory: compaction copies a, then fails at b.
    CatalogTable& c = kiv->Catalog();
    c.SetFilterText(CatalogTable::parentFilter(""));
    c.SetFiltered(true);
    moveTo(c, "b");
    c.Edit();
    c.SetInteger("StoredSize", 0x7FFFFF00);
    c.Post();
    const Bytes before = readAll(path("x.oru"));
    EXPECT_EQ(kindOf([&] { kiv->Compact(); }), ErrorKind::StoredOutsideFile);
    EXPECT_EQ(readAll(path("x.oru")), before);
    EXPECT_FALSE(std::filesystem::exists(TKiv::TempPathFor(path("x.oru"))));
    // The catalog was read again from the file.
    expectFileMatches(*kiv);
    EXPECT_TRUE(c.Filtered());
    const Bytes b = randomBytes(2000, 'b');
    EXPECT_TRUE(content("b") == std::string(b.begin(), b.end()));
}

TEST_F(CompactTest, FailureAfterTheCutKeepsTheCompleteArchiveInTheTemporaryFile) {
    for (const char* n : {"a", "b"}) writeAll(path(n), randomBytes(5000, n[0]));
    archive({"a", "b"});
    limitArchiveSize(*kiv, 6000);
    const std::string message = errorOf([&] { kiv->Compact(); });
    EXPECT_EQ(message.rfind("Stream write error: the disk holding " + path("x.oru") + " is full", 0), 0u) << message;
    EXPECT_NE(message.find(TKiv::TempPathFor(path("x.oru"))), std::string::npos) << message;
    kiv.reset();

    auto saved = TKiv::OpenExisting(TKiv::TempPathFor(path("x.oru")));
    for (const char* n : {"a", "b"}) {
        MemoryStream target;
        moveTo(saved->Catalog(), n);
        saved->ReadEntry(saved->Catalog(), target);
        EXPECT_TRUE(target.bytes() == randomBytes(5000, n[0])) << n;
    }
}

// How the archive is reached decides how the compacted file takes its place: a plain file is
// replaced by a rename, which must keep its permissions; a second name (hard link) and a
// symbolic link must keep working, so their file is written over instead. Every way, each name
// gives the compacted archive afterwards.
TEST_F(CompactTest, CompactedArchiveKeepsItsNamesAndPermissions) {
    namespace sfs = std::filesystem;
    for (const char* n : {"a", "b", "c"}) writeAll(path(n), randomBytes(3000, n[0]));
    enum class Naming { Plain, SecondName, SymbolicLink };
    for (Naming naming : {Naming::Plain, Naming::SecondName, Naming::SymbolicLink}) {
        SCOPED_TRACE(static_cast<int>(naming));
        sfs::remove(path("x.oru"));
        sfs::remove(path("alias.oru"));
        archive({"a", "b", "c"}, "x.oru");
        kiv.reset();
        sfs::permissions(path("x.oru"), sfs::perms(0640));
        std::string opened = path("x.oru");
        if (naming == Naming::SecondName) sfs::create_hard_link(path("x.oru"), path("alias.oru"));
        if (naming == Naming::SymbolicLink) {
            sfs::create_symlink(path("x.oru"), path("alias.oru"));
            opened = path("alias.oru");
        }
        kiv = TKiv::OpenExisting(opened);
        deleteAndCompact("b");
        EXPECT_FALSE(sfs::exists(TKiv::TempPathFor(opened)));
        // The archive object goes on with the compacted file.
        EXPECT_EQ(sortedNames(), (std::vector<std::string>{"a", "c"}));
        const Bytes c = randomBytes(3000, 'c');
        EXPECT_TRUE(content("c") == std::string(c.begin(), c.end()));
        kiv.reset();

        EXPECT_EQ(sfs::status(path("x.oru")).permissions(), sfs::perms(0640));
        if (naming == Naming::SecondName) {
            EXPECT_EQ(sfs::hard_link_count(path("x.oru")), 2u);
            EXPECT_TRUE(readAll(path("alias.oru")) == readAll(path("x.oru")));
        }
        if (naming == Naming::SymbolicLink) EXPECT_TRUE(sfs::is_symlink(path("alias.oru")));
        for (const std::string& name : {path("x.oru"), opened}) {
            kiv = TKiv::OpenExisting(name);
            EXPECT_EQ(sortedNames(), (std::vector<std::string>{"a", "c"}));
            kiv.reset();
        }
    }
}

// The lock that keeps a second writer out holds on the compacted file, however it took the
// archive's place, and a viewer opened afterwards sees the compacted archive.
TEST_F(CompactTest, CompactedArchiveStaysHeldByItsOpener) {
    for (const char* n : {"a", "b"}) writeAll(path(n), randomBytes(2000, n[0]));
    for (TKiv::Access access : {TKiv::Access::Exclusive, TKiv::Access::Shared}) {
        SCOPED_TRACE(access == TKiv::Access::Shared ? "shared" : "exclusive");
        archive({"a", "b"});
        kiv.reset();
        kiv = TKiv::OpenExisting(path("x.oru"), access);
        deleteAndCompact("a");
        EXPECT_THROW(TKiv::OpenExisting(path("x.oru"), TKiv::Access::Exclusive), Error);
        if (access == TKiv::Access::Shared) {
            auto viewer = TKiv::OpenExisting(path("x.oru"), TKiv::Access::Shared);
            EXPECT_EQ(namesOf(viewer->Catalog()), std::vector<std::string>{"b"});
            // With a viewer beside it, the opener cannot write now.
            EXPECT_THROW(TKiv::Writing hold(*kiv), Error);
        }
        kiv.reset();
    }
}

class StopAt : public Progress {
public:
    void update(const Info& info) override { done = info.itemsDone; }
    bool cancelled() override { return done >= 1; }
    uint64_t done = 0;
};

TEST_F(CompactTest, CancelledCompactionChangesNothing) {
    for (const char* n : {"a", "b", "c"}) writeAll(path(n), randomBytes(1000, n[0]));
    archive({"a", "b", "c"});
    deleteAndCompact("a");  // b and c move to the front
    writeText(path("d"), "d");
    kiv->AddPath("", path("d"));
    moveTo(kiv->Catalog(), "b");
    kiv->DeleteEntry(kiv->Catalog());
    kiv->Catalog().MergeChanges();
    const Bytes before = readAll(path("x.oru"));
    StopAt stop;
    kiv->SetProgress(&stop);
    EXPECT_THROW(kiv->Compact(), Cancelled);
    EXPECT_EQ(readAll(path("x.oru")), before);
    EXPECT_FALSE(std::filesystem::exists(TKiv::TempPathFor(path("x.oru"))));
    // Memory agrees with the file again: the deletion was not written, so b is back.
    expectFileMatches(*kiv);
    EXPECT_EQ(sortedNames(), (std::vector<std::string>{"b", "c", "d"}));
}

}  // namespace
}  // namespace oru::test
