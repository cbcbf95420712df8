// SPDX-License-Identifier: GPL-3.0-or-later
// Reading and extracting: round trips, the name-keyed hierarchy, damaged entries and targets that
// cannot be written. (Unsafe stored names are in Hostile_test.cpp.)

#include <gtest/gtest.h>

#include <climits>
#include <map>
#include <set>

#include "ArchiveTestSupport.h"
#include "archive/StreamAdapters.h"
#include "platform/Directory.h"

namespace oru::test {
namespace {

class ExtractTest : public ArchiveTest {
protected:
    void TearDown() override {
        kiv.reset();
        ArchiveTest::TearDown();
    }
    // Adds each path at the top level of a new archive, then opens it again.
    void archive(const std::vector<std::string>& paths) {
        kiv = TKiv::CreateNew(path("x.oru"));
        for (const auto& p : paths) kiv->AddPath("", path(p));
        reopen();
    }
    void reopen() {
        kiv.reset();
        kiv = TKiv::OpenExisting(path("x.oru"));
    }
    // Extracts the top-level row named name (CP950) into the folder out.
    void extract(const std::string& name, const std::string& out) {
        CatalogTable& c = kiv->Catalog();
        c.SetFilterText(CatalogTable::parentFilter(""));
        c.SetFiltered(true);
        moveTo(c, name);
        kiv->ExtractEntry(c, path(out));
    }
    std::unique_ptr<TKiv> kiv;
};

TEST_F(ExtractTest, GeneratedTreeRoundTripsByteForByte) {
    mkdir("src/deep/er/est");
    mkdir("src/empty folder");
    mkdir("src/中文資料夾");
    writeAll(path("src/random.bin"), randomBytes(300000, 4));
    writeAll(path("src/zeros.bin"), Bytes(70000, 0));
    writeText(path("src/empty.txt"), "");
    writeText(path("src/one"), "1");
    writeAll(path("src/piece"), randomBytes(512, 5));
    writeText(path("src/.hidden"), "hidden");
    writeText(path("src/中文資料夾/說明.txt"), "繁體中文內容\n");
    writeAll(path("src/deep/er/est/leaf.dat"), randomBytes(1025, 6));
    writeText(path("src/deep/mid.txt"), std::string(10000, 'm'));

    archive({"src"});
    extract("src", "out");
    EXPECT_EQ(treeOf(path("out/src")), treeOf(path("src")));
}

TEST_F(ExtractTest, FileRowReplacesWhatTheTargetHeld) {
    writeText(path("a.txt"), "short");
    archive({"a.txt"});
    // The destination does not exist yet: every level is made.
    extract("a.txt", "d/e");
    EXPECT_EQ(readAll(path("d/e/a.txt")), Bytes({'s', 'h', 'o', 'r', 't'}));
    // A longer file there is cut to the entry's content; twice leaves the same.
    writeText(path("d/e/a.txt"), "a much longer file than the entry");
    extract("a.txt", "d/e");
    extract("a.txt", "d/e");
    EXPECT_EQ(readAll(path("d/e/a.txt")), Bytes({'s', 'h', 'o', 'r', 't'}));
}

// Archives written before names were kept unique: two folders of one name share their children,
// and a folder may be named like one on its own path.
TEST_F(ExtractTest, SameNamedFoldersShareTheirChildren) {
    mkdir("x");
    mkdir("y/x");
    writeText(path("x/p.txt"), "p");
    writeText(path("y/x/q.txt"), "q");
    archive({"x", "y"});
    renameRows(*kiv, "x~1", "x");

    extract("x", "o1");
    EXPECT_EQ(treeOf(path("o1")), (std::map<std::string, std::string>{
                                      {"x", "<dir>"}, {"x/p.txt", "p"}, {"x/q.txt", "q"}}));
    extract("y", "o2");
    EXPECT_EQ(treeOf(path("o2")), (std::map<std::string, std::string>{
                                      {"y", "<dir>"}, {"y/x", "<dir>"}, {"y/x/p.txt", "p"}, {"y/x/q.txt", "q"}}));
    // Both in one extraction: each file row is written once, where the walk first reaches it.
    CatalogTable& c = kiv->Catalog();
    std::vector<Bookmark> both;
    for (const char* name : {"x", "y"}) {
        moveTo(c, name);
        both.push_back(*c.GetBookmark());
    }
    kiv->ExtractEntries(c, both, path("o3"));
    EXPECT_EQ(treeOf(path("o3")), (std::map<std::string, std::string>{{"x", "<dir>"},
                                                                       {"x/p.txt", "p"},
                                                                       {"x/q.txt", "q"},
                                                                       {"y", "<dir>"},
                                                                       {"y/x", "<dir>"}}));
}

TEST_F(ExtractTest, CyclesOfNamesEnd) {
    // a/a/f.txt, and b/c/b/g.txt: a folder named like one on its own path.
    mkdir("a/a");
    writeText(path("a/a/f.txt"), "f");
    mkdir("b/c/b");
    writeText(path("b/c/b/g.txt"), "g");
    archive({"a", "b"});
    renameRows(*kiv, "a~1", "a");
    renameRows(*kiv, "b~1", "b");

    extract("a", "o1");
    EXPECT_EQ(treeOf(path("o1")), (std::map<std::string, std::string>{
                                      {"a", "<dir>"}, {"a/a", "<dir>"}, {"a/f.txt", "f"}}));
    extract("b", "o2");
    EXPECT_EQ(treeOf(path("o2")), (std::map<std::string, std::string>{
                                      {"b", "<dir>"}, {"b/c", "<dir>"}, {"b/c/b", "<dir>"}, {"b/g.txt", "g"}}));
}

// Entries of one name in one folder, in an archive that holds such clashes: every file comes
// out, and each one written under another name than its own is reported.
TEST_F(ExtractTest, FilesWrittenUnderAnotherNameAreReported) {
    mkdir("d");
    writeText(path("d/r.txt"), "first");
    writeText(path("d/s.txt"), "second");
    writeText(path("d/r~1.txt"), "third");  // the name a second r.txt would take
    archive({"d"});
    renameRows(*kiv, "s.txt", "r.txt");
    struct Renames : Progress {
        void update(const Info&) override {}
        void renamed(const std::string& from, const std::string& to) override { seen.emplace_back(from, to); }
        std::vector<std::pair<std::string, std::string>> seen;
    } renames;
    kiv->SetProgress(&renames);
    extract("d", "o");
    kiv->SetProgress(nullptr);
    std::multiset<std::string> contents;
    for (const auto& [name, content] : treeOf(path("o"))) contents.insert(content);
    EXPECT_EQ(contents, (std::multiset<std::string>{"<dir>", "first", "second", "third"}));
    // Three files for two names: one or two of them moved aside (as the rows come), each reported.
    ASSERT_FALSE(renames.seen.empty());
    for (const auto& [from, to] : renames.seen) {
        EXPECT_NE(from, to);
        EXPECT_EQ(from.substr(0, from.rfind('/')), path("o/d"));
        EXPECT_TRUE(std::filesystem::exists(to)) << to;
    }
}

// Entries bigger than a few MiB are decoded as they are read from the archive rather than from a
// copy in memory; both ways must give the same content and the same failures.
TEST_F(ExtractTest, BigEntryDecodedAsItIsReadRoundTripsAndFailsOnDamage) {
    const Bytes content = randomBytes(6u << 20, 11);  // random data stores at about its own size
    writeAll(path("big.bin"), content);
    archive({"big.bin"});
    CatalogTable& c = kiv->Catalog();
    moveTo(c, "big.bin");
    ASSERT_GT(c.GetInteger("StoredSize"), 4 << 20) << "the entry must take the streaming path";
    MemoryStream target;
    kiv->ReadEntry(c, target);
    EXPECT_EQ(target.position(), 0);
    EXPECT_TRUE(target.bytes() == content) << "content of the big entry";

    // One byte changed in the middle of the stored stream: the decoder reports damage.
    const int64_t middle = c.GetInteger("Offset") + c.GetInteger("StoredSize") / 2;
    kiv.reset();
    Bytes file = readAll(path("x.oru"));
    file[static_cast<size_t>(middle)] ^= 0x55;
    writeAll(path("x.oru"), file);
    reopen();
    CatalogTable& again = kiv->Catalog();
    moveTo(again, "big.bin");
    MemoryStream damaged;
    EXPECT_EQ(kindOf([&] { kiv->ReadEntry(again, damaged); }), ErrorKind::DamagedEntry);
}

// A big entry is written behind the decoder by a worker: the file extracted is whole, and a
// target that fails part way (a full disk) is reported, holding the bytes before the failure.
TEST_F(ExtractTest, BigEntryWrittenBehindTheDecoder) {
    Bytes content = randomBytes(5u << 20, 12);
    content.resize(17u << 20, 'z');
    writeAll(path("big.bin"), content);
    archive({"big.bin"});
    kiv->ExtractEntry(kiv->Catalog(), path("out"));
    EXPECT_TRUE(readAll(path("out/big.bin")) == content);

    struct Case {
        const char* what;
        int64_t room;
    } cases[] = {{"fails in the first megabyte", 1000}, {"fails far in", (9 << 20) + 123}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        FullDiskStream disk(std::make_unique<MemoryStream>(), c.room);
        EXPECT_EQ(kindOf([&] {
                      BufferedWriter writer(disk, static_cast<int64_t>(content.size()));
                      for (size_t at = 0; at < content.size(); at += 512) writer.write(content.data() + at, 512);
                      writer.flush();
                  }),
                  ErrorKind::DiskFull);
        EXPECT_EQ(disk.size(), c.room);
        disk.seek(0);
        Bytes held(static_cast<size_t>(c.room));
        disk.readExact(held.data(), held.size());
        EXPECT_TRUE(std::equal(held.begin(), held.end(), content.begin()));
    }
}

TEST_F(ExtractTest, EmptyViewExtractsNothing) {
    writeText(path("a.txt"), "a");
    archive({"a.txt"});
    CatalogTable& c = kiv->Catalog();
    c.SetFilterText(CatalogTable::parentFilter("no such folder"));
    c.SetFiltered(true);
    kiv->ExtractEntry(c, path("out"));
    EXPECT_FALSE(std::filesystem::exists(path("out")));
}

// Rows whose stored bytes lie outside the file or the data area, or do not hold what the row
// says: reading and extracting each fail with a message naming the archive and the entry, leave
// no partial file, change nothing in the archive and allocate nothing by the claimed sizes.
TEST_F(ExtractTest, DamagedEntriesAreClearErrors) {
    writeAll(path("a.bin"), randomBytes(20000, 8));
    archive({"a.bin"});
    CatalogTable& c = kiv->Catalog();
    c.First();
    const int32_t offset = c.GetInteger("Offset"), stored = c.GetInteger("StoredSize");
    const Bytes good = readAll(path("x.oru"));
    const int32_t fileSize = static_cast<int32_t>(good.size());
    struct Edit {
        const char* field;
        int32_t value;
    };
    const struct {
        const char* what;
        std::vector<Edit> edits;
        ErrorKind kind;
        ErrorValues reason;  // what the message names besides the archive and the entry
    } cases[] = {
        {"stored bytes past the end", {{"Offset", fileSize - stored + 1}}, ErrorKind::StoredOutsideFile, {}},
        {"offset past the end", {{"Offset", fileSize + 1000}, {"StoredSize", 8}}, ErrorKind::StoredOutsideFile, {}},
        {"negative offset", {{"Offset", -5}}, ErrorKind::StoredOutsideFile, {}},
        {"offset 2^31 - 1", {{"Offset", INT32_MAX}}, ErrorKind::StoredOutsideFile, {}},
        {"offset -2^31", {{"Offset", INT32_MIN}}, ErrorKind::StoredOutsideFile, {}},
        {"stored size 2^31 - 1", {{"StoredSize", INT32_MAX}}, ErrorKind::StoredOutsideFile, {}},
        {"negative stored size", {{"StoredSize", -1}}, ErrorKind::StoredOutsideFile, {}},
        {"stored size -2^31", {{"StoredSize", INT32_MIN}}, ErrorKind::StoredOutsideFile, {}},
        {"offset and size wrapping round", {{"Offset", fileSize - 1}, {"StoredSize", INT32_MAX}},
         ErrorKind::StoredOutsideFile, {}},
        {"stream cut short", {{"StoredSize", stored / 2}}, ErrorKind::DamagedEntry, {}},
        // Reaching into the catalog: outside the data area.
        {"offset inside the stream", {{"Offset", offset + 3}}, ErrorKind::StoredOutsideData,
         {.count = offset + 3, .total = stored}},
        {"content larger than the row says", {{"OriginalSize", 1000}}, ErrorKind::LongerThanRecorded, {.total = 1000}},
    };
    const int64_t memoryBefore = peakMemory();
    for (const auto& k : cases) {
        SCOPED_TRACE(k.what);
        reopen();
        CatalogTable& cur = kiv->Catalog();
        cur.First();
        cur.Edit();
        for (const Edit& e : k.edits) cur.SetInteger(e.field, e.value);
        cur.Post();
        MemoryStream target;
        // Reading names the archive and the entry; nothing is read from outside the file.
        ErrorValues named = k.reason;
        named.archive = path("x.oru");
        named.entry = "a.bin";
        EXPECT_EQ(errorOf([&] { kiv->ReadEntry(cur, target); }), errorText(k.kind, named));
        EXPECT_LE(target.size(), 20000);
        if (k.kind == ErrorKind::StoredOutsideFile) EXPECT_EQ(target.size(), 0);
        // Extraction names the archive and the entry, and leaves no partial file.
        std::filesystem::remove_all(path("out"));
        EXPECT_EQ(errorOf([&] { kiv->ExtractEntry(cur, path("out")); }),
                  damagedEntry(path("x.oru"), "a.bin", k.kind, k.reason));
        EXPECT_EQ(treeOf(path("out")).size(), 0u);
        kiv.reset();
        EXPECT_EQ(readAll(path("x.oru")), good) << "reading changed the archive";
    }
    EXPECT_LT(peakMemory() - memoryBefore, int64_t{64} << 20) << "memory was allocated by a claimed size";

    // A damaged byte inside the stored stream.
    kiv.reset();
    Bytes file = readAll(path("x.oru"));
    file[offset + stored / 2] ^= 0x55;
    writeAll(path("x.oru"), file);
    kiv = TKiv::OpenExisting(path("x.oru"));
    kiv->Catalog().First();
    MemoryStream target;
    EXPECT_EQ(kindOf([&] { kiv->ReadEntry(kiv->Catalog(), target); }), ErrorKind::DamagedEntry);
}

TEST_F(ExtractTest, TargetsThatCannotBeWrittenAreReported) {
    writeText(path("a.txt"), "a");
    archive({"a.txt"});
    CatalogTable& c = kiv->Catalog();
    c.First();
    EXPECT_EQ(errorOf([&] { kiv->ExtractEntry(c, ""); }), "Unable to create directory");
    mkdir("o1/a.txt");
    writeText(path("plain"), "x");
    mkdir("o2");
    writeText(path("o2/a.txt"), "held");
    FileStream held(path("o2/a.txt"), FileStream::Mode::Read);
    const std::string entry = path("x.oru") + ": a.txt: ";
    const struct {
        const char* what;
        std::string destination, message;
    } cases[] = {
        {"a folder stands where the file goes", path("o1"), entry + "Cannot create file " + path("o1/a.txt")},
        {"a file stands where the destination goes", path("plain/sub"), "Unable to create directory: " + path("plain/sub") + ": Not a directory"},
        {"the file in the way is held open by another", path("o2"), entry + "Cannot open file " + path("o2/a.txt") + ": another program is using it"},
    };
    for (const auto& k : cases) {
        SCOPED_TRACE(k.what);
        EXPECT_EQ(errorOf([&] { kiv->ExtractEntry(c, k.destination); }), k.message);
    }
    EXPECT_EQ(readAll(path("o2/a.txt")), Bytes({'h', 'e', 'l', 'd'}));
}

// A conflict handler with one answer for every question, keeping the paths it was asked about
// and the failures it was told of.
class FixedAnswer : public ConflictHandler {
public:
    explicit FixedAnswer(ConflictChoice choice) : choice_(choice) {}
    ConflictChoice choose(const std::string& path) override {
        asked.push_back(path);
        return choice_;
    }
    void failed(const std::string& message) override { failures.push_back(message); }
    std::vector<std::string> asked, failures;

private:
    ConflictChoice choice_;
};

bool isLink(const std::string& path) { return std::filesystem::is_symlink(std::filesystem::symlink_status(path)); }

// Nothing below the chosen directory is reached through a link: a link where a file goes is a
// file in the way, replaced itself when overwritten; a linked directory on the way fails its
// entry, naming it, and the other entries come out.
TEST_F(ExtractTest, LinksBelowTheDestinationAreNeverFollowed) {
    writeText(path("page.html"), "archived page");
    mkdir("tree/sub");
    writeText(path("tree/sub/x.txt"), "x");
    writeText(path("other.txt"), "other");
    archive({"page.html", "tree", "other.txt"});
    const struct {
        const char* what;
        std::string linkName, linkTarget;  // below out/
        ConflictChoice choice;
        bool asked;               // the link counts as a file in the way
        std::string failure;      // "" when every entry comes out
    } cases[] = {
        {"linked file, overwritten", "page.html", "../elsewhere/victim.html", ConflictChoice::Overwrite, true, ""},
        {"linked file, skipped", "page.html", "../elsewhere/victim.html", ConflictChoice::Skip, true, ""},
        {"dangling link, overwritten", "page.html", "../elsewhere/new.html", ConflictChoice::Overwrite, true, ""},
        {"dangling link, kept beside", "page.html", "../elsewhere/new.html", ConflictChoice::KeepBoth, true, ""},
        {"linked directory on the way", "tree", "../elsewhere", ConflictChoice::Overwrite, false,
         path("x.oru") + ": tree: " + path("out/tree") + " 是符號連結；解壓縮不會經過連結寫到別處"},
        {"linked directory below", "tree/sub", "../../elsewhere", ConflictChoice::Overwrite, false,
         path("x.oru") + ": tree/sub: " + path("out/tree/sub") + " 是符號連結；解壓縮不會經過連結寫到別處"},
    };
    for (const auto& k : cases) {
        SCOPED_TRACE(k.what);
        std::filesystem::remove_all(path("out"));
        std::filesystem::remove_all(path("elsewhere"));
        mkdir("elsewhere");
        writeText(path("elsewhere/victim.html"), "victim");
        const auto outside = treeOf(path("elsewhere"));
        mkdir(k.linkName == "tree/sub" ? "out/tree" : "out");
        std::filesystem::create_symlink(k.linkTarget, path("out/" + k.linkName));

        FixedAnswer answer(k.choice);
        kiv->SetConflictHandler(&answer);
        CatalogTable& c = kiv->Catalog();
        std::vector<Bookmark> all;
        for (c.First(); !c.AtEnd(); c.Next()) {
            if (c.GetText("ParentName").empty()) all.push_back(*c.GetBookmark());
        }
        std::string message;  // empty when the extraction succeeds
        try {
            kiv->ExtractEntries(c, all, path("out"));
        } catch (const Error& e) {
            message = e.what();
        }
        kiv->SetConflictHandler(nullptr);
        EXPECT_EQ(message, k.failure);
        EXPECT_EQ(answer.asked, k.asked ? std::vector<std::string>{path("out/page.html")} : std::vector<std::string>{});
        EXPECT_EQ(treeOf(path("elsewhere")), outside) << "written through the link";
        EXPECT_EQ(readAll(path("out/other.txt")), Bytes({'o', 't', 'h', 'e', 'r'}));
        const std::string page = path("out/page.html");
        switch (k.choice) {
            case ConflictChoice::Skip: EXPECT_TRUE(isLink(page)); break;
            case ConflictChoice::KeepBoth:
                EXPECT_TRUE(isLink(page));
                EXPECT_EQ(readAll(path("out/page~1.html")).size(), 13u);
                break;
            default:
                EXPECT_FALSE(isLink(page));
                EXPECT_EQ(readAll(page).size(), 13u);
        }
        if (!k.failure.empty()) {
            EXPECT_TRUE(isLink(path("out/" + k.linkName)));
        }
    }
}

// Every answer to a file in the way, and the look ahead that finds them without writing. What
// the same extraction wrote is never in the way: the later entry of that name is put beside it.
TEST_F(ExtractTest, FilesInTheWayGetTheAnswerGiven) {
    writeText(path("a.txt"), "new a");
    writeText(path("b.txt"), "new b");
    writeText(path("c.txt"), "new a");
    archive({"a.txt", "b.txt", "c.txt"});
    // Two entries named a.txt (an archive holding a clash), and the same row twice.
    CatalogTable& c = kiv->Catalog();
    moveTo(c, "c.txt");
    c.Edit();
    c.SetText("FileName", "a.txt");
    c.Post();
    std::vector<Bookmark> rows;
    for (c.First(); !c.AtEnd(); c.Next()) rows.push_back(*c.GetBookmark());
    rows.push_back(rows.back());

    using Tree = std::map<std::string, std::string>;
    // The second a.txt meets the file the first one wrote (put beside it), or, where the first
    // left the old file alone, the old file again (asked again). b.txt, met twice, is written once.
    const struct {
        ConflictChoice choice;
        int questions;
        Tree after;
    } cases[] = {
        {ConflictChoice::Overwrite, 1, {{"a.txt", "new a"}, {"a~1.txt", "new a"}, {"b.txt", "new b"}}},
        {ConflictChoice::Skip, 2, {{"a.txt", "old"}, {"b.txt", "new b"}}},
        {ConflictChoice::KeepBoth, 2, {{"a.txt", "old"}, {"a~1.txt", "new a"}, {"a~2.txt", "new a"}, {"b.txt", "new b"}}},
        {ConflictChoice::Cancel, 1, {{"a.txt", "old"}}},
    };
    for (const auto& k : cases) {
        SCOPED_TRACE(static_cast<int>(k.choice));
        std::filesystem::remove_all(path("out"));
        mkdir("out");
        writeText(path("out/a.txt"), "old");
        EXPECT_EQ(kiv->FindConflicts(c, rows, path("out")), std::vector<std::string>{path("out/a.txt")});
        EXPECT_EQ(treeOf(path("out")), (Tree{{"a.txt", "old"}}));

        FixedAnswer answer(k.choice);
        kiv->SetConflictHandler(&answer);
        if (k.choice == ConflictChoice::Cancel) {
            EXPECT_THROW(kiv->ExtractEntries(c, rows, path("out")), Cancelled);
        } else {
            kiv->ExtractEntries(c, rows, path("out"));
        }
        kiv->SetConflictHandler(nullptr);
        EXPECT_EQ(answer.asked, std::vector<std::string>(k.questions, path("out/a.txt")));
        EXPECT_EQ(treeOf(path("out")), k.after);
    }
    // Nothing in the way below a directory that does not exist yet; it is not made.
    EXPECT_TRUE(kiv->FindConflicts(c, rows, path("none/deeper")).empty());
    EXPECT_FALSE(std::filesystem::exists(path("none")));
}

// A damaged entry in the middle, and one whose name could leave the directory: both are left
// out and named at the end; everything else comes out, and no partial file stays.
TEST_F(ExtractTest, DamagedAndRefusedEntriesAreLeftOutAndTheRestExtracted) {
    mkdir("t");
    writeAll(path("t/a.bin"), randomBytes(3000, 1));
    writeAll(path("t/b.bin"), randomBytes(3000, 2));
    writeAll(path("t/c.bin"), randomBytes(3000, 3));
    writeText(path("t/d.txt"), "d");
    archive({"t"});
    CatalogTable& c = kiv->Catalog();
    moveTo(c, "b.bin");
    const int32_t offset = c.GetInteger("Offset"), stored = c.GetInteger("StoredSize");
    moveTo(c, "d.txt");
    c.Edit();
    c.SetText("FileName", "..");
    c.Post();
    kiv->SaveCatalog();
    kiv.reset();
    patchByte(path("x.oru"), static_cast<size_t>(offset + stored / 2), static_cast<uint8_t>(readAll(path("x.oru"))[offset + stored / 2] ^ 0x55));
    reopen();

    FixedAnswer answer(ConflictChoice::Overwrite);
    kiv->SetConflictHandler(&answer);
    const std::string message = errorOf([&] { extract("t", "out"); });
    const std::vector<std::string> failures = {
        path("x.oru") + ": t/..: 壓縮檔中的名稱「..」不能當作檔名，無法解出",
        damagedEntry(path("x.oru"), "t/b.bin"),
    };
    EXPECT_EQ(answer.failures, failures);
    EXPECT_EQ(message, "2 個項目未能解出，其他項目已解出：\n" + failures[0] + "\n" + failures[1]);
    EXPECT_EQ(treeOf(path("out")), (std::map<std::string, std::string>{
                                       {"t", "<dir>"},
                                       {"t/a.bin", std::string(reinterpret_cast<const char*>(randomBytes(3000, 1).data()), 3000)},
                                       {"t/c.bin", std::string(reinterpret_cast<const char*>(randomBytes(3000, 3).data()), 3000)},
                                   }));
    kiv->SetConflictHandler(nullptr);
}

// Many small files are written by workers while the walk goes on, a few at a time: every file
// comes out whole, and the damaged ones are left out and listed in the order of the entries,
// whether new files are made without a name until complete or (where the file system cannot)
// under a hidden name; neither way leaves anything behind for a damaged entry.
TEST_F(ExtractTest, ManySmallFilesComeOutWholeAndFailuresInOrder) {
    std::map<std::string, std::string> want;
    for (int i = 0; i < 120; ++i) {
        const std::string name = "t/d" + std::to_string(i % 3) + "/f" + std::to_string(100 + i);
        mkdir("t/d" + std::to_string(i % 3));
        const Bytes bytes = randomBytes(200 + 37 * i, static_cast<unsigned>(i));
        writeAll(path(name), bytes);
        want[name] = std::string(bytes.begin(), bytes.end());
    }
    archive({"t"});
    // Damage two files far apart in the walk's order.
    std::vector<std::pair<int32_t, int32_t>> ranges;
    for (const char* damaged : {"f103", "f191"}) {
        moveTo(kiv->Catalog(), damaged);
        ranges.emplace_back(kiv->Catalog().GetInteger("Offset"), kiv->Catalog().GetInteger("StoredSize"));
    }
    kiv.reset();
    for (const auto& [offset, stored] : ranges) {
        const size_t at = static_cast<size_t>(offset + stored / 2);
        patchByte(path("x.oru"), at, static_cast<uint8_t>(readAll(path("x.oru"))[at] ^ 0x55));
    }
    want.erase("t/d0/f103");
    want.erase("t/d1/f191");
    for (const std::string d : {"t", "t/d0", "t/d1", "t/d2"}) want[d] = "<dir>";
    reopen();
    for (const bool unnamed : {true, false}) {
        SCOPED_TRACE(unnamed ? "unnamed until complete" : "hidden name");
        fs::Directory::setUnnamedFilesForTesting(unnamed);
        const std::string out = unnamed ? "out1" : "out2";
        const std::string message = errorOf([&] { extract("t", out); });
        fs::Directory::setUnnamedFilesForTesting(true);
        EXPECT_EQ(message, "2 個項目未能解出，其他項目已解出：\n" + damagedEntry(path("x.oru"), "t/d0/f103") +
                               "\n" + damagedEntry(path("x.oru"), "t/d1/f191"));
        EXPECT_TRUE(treeOf(path(out)) == want);
    }
}

class Recorder : public Progress {
public:
    void update(const Info& info) override { updates.push_back(info); }
    bool cancelled() override { return !updates.empty() && updates.back().itemsDone >= stopAfter; }
    std::vector<Info> updates;
    uint64_t stopAfter = 1000;
};

TEST_F(ExtractTest, ProgressAndCancelBetweenFiles) {
    mkdir("t");
    for (const char* name : {"a", "b", "c"}) writeText(path("t/") + name, std::string(100, name[0]));
    archive({"t"});
    Recorder sink;
    kiv->SetProgress(&sink);
    extract("t", "o1");
    ASSERT_FALSE(sink.updates.empty());
    EXPECT_EQ(sink.updates.back().itemsDone, 3u);
    EXPECT_EQ(sink.updates.back().bytesDone, 300u);

    Recorder stopper;
    stopper.stopAfter = 1;
    kiv->SetProgress(&stopper);
    EXPECT_THROW(extract("t", "o2"), Cancelled);
    EXPECT_EQ(treeOf(path("o2")).size(), 2u);  // the folder and one file
}

}  // namespace
}  // namespace oru::test
