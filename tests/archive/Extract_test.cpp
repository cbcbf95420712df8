// Reading and extracting: round trips, the name-keyed hierarchy, unsafe names, damaged entries
// and targets that cannot be written.

#include <gtest/gtest.h>

#include <map>

#include "ArchiveTestSupport.h"
#include "catalog/Datapacket.h"

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

TEST_F(ExtractTest, SameNamedFoldersShareTheirChildren) {
    mkdir("x");
    mkdir("y/x");
    writeText(path("x/p.txt"), "p");
    writeText(path("y/x/q.txt"), "q");
    archive({"x", "y"});

    extract("x", "o1");
    EXPECT_EQ(treeOf(path("o1")), (std::map<std::string, std::string>{
                                      {"x", "<dir>"}, {"x/p.txt", "p"}, {"x/q.txt", "q"}}));
    extract("y", "o2");
    EXPECT_EQ(treeOf(path("o2")), (std::map<std::string, std::string>{
                                      {"y", "<dir>"}, {"y/x", "<dir>"}, {"y/x/p.txt", "p"}, {"y/x/q.txt", "q"}}));
}

TEST_F(ExtractTest, CyclesOfNamesEnd) {
    // a/a/f.txt, and b/c/b/g.txt: a folder named like one on its own path.
    mkdir("a/a");
    writeText(path("a/a/f.txt"), "f");
    mkdir("b/c/b");
    writeText(path("b/c/b/g.txt"), "g");
    archive({"a", "b"});

    extract("a", "o1");
    EXPECT_EQ(treeOf(path("o1")), (std::map<std::string, std::string>{
                                      {"a", "<dir>"}, {"a/a", "<dir>"}, {"a/f.txt", "f"}}));
    extract("b", "o2");
    EXPECT_EQ(treeOf(path("o2")), (std::map<std::string, std::string>{
                                      {"b", "<dir>"}, {"b/c", "<dir>"}, {"b/c/b", "<dir>"}, {"b/g.txt", "g"}}));
}

TEST_F(ExtractTest, ReadEntryGivesContentAtPositionZeroAndRefusesFolders) {
    mkdir("docs");
    mkdir("資料");
    writeText(path("docs/a.txt"), "alpha");
    archive({"docs", "資料"});
    CatalogTable& c = kiv->Catalog();
    MemoryStream target;
    moveTo(c, "docs");
    EXPECT_EQ(errorOf([&] { kiv->ReadEntry(c, target); }), "docs是一個目錄");
    moveTo(c, "\xB8\xEA\xAE\xC6");
    EXPECT_EQ(errorOf([&] { kiv->ReadEntry(c, target); }), "資料是一個目錄");
    moveTo(c, "a.txt");
    kiv->ReadEntry(c, target);
    EXPECT_EQ(target.position(), 0);
    EXPECT_EQ(target.bytes(), Bytes({'a', 'l', 'p', 'h', 'a'}));
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

    // One byte changed in the middle of the stored stream: the decoder reports "error".
    const int64_t middle = c.GetInteger("Offset") + c.GetInteger("StoredSize") / 2;
    kiv.reset();
    Bytes file = readAll(path("x.oru"));
    file[static_cast<size_t>(middle)] ^= 0x55;
    writeAll(path("x.oru"), file);
    reopen();
    CatalogTable& again = kiv->Catalog();
    moveTo(again, "big.bin");
    MemoryStream damaged;
    EXPECT_EQ(errorOf([&] { kiv->ReadEntry(again, damaged); }), "error");
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

TEST_F(ExtractTest, UnsafeStoredNamesAreRefused) {
    mkdir("f");
    writeText(path("f/victim"), "v");
    archive({"f"});
    // Rename the rows in the stored catalog, as a hostile archive would have them. (A zero byte
    // cannot reach a name: the catalog ends texts at it.)
    const struct {
        std::string folderName, fileName;
        std::string shown;
    } cases[] = {
        {"f", "", "「」"},
        {"f", ".", "「.」"},
        {"f", "..", "「..」"},
        {"f", "../../escape", "「../../escape」"},
        {"f", "/etc/escape", "「/etc/escape」"},
        {"..", "victim", "「..」"},
    };
    const Bytes good = readAll(path("x.oru"));
    const uint32_t offset = le32(good, 4);
    for (const auto& c : cases) {
        SCOPED_TRACE(c.shown);
        kiv.reset();
        TableData data = datapacket::read(good.data() + offset, good.size() - offset);
        for (auto& slot : data.slots) {
            auto& name = slot.fields[0].raw;
            auto& parent = slot.fields[1].raw;
            if (name == "f") name = c.folderName;
            if (parent == "f") parent = c.folderName;
            if (name == "victim") name = c.fileName;
        }
        Bytes file(good.begin(), good.begin() + offset);
        Bytes packet = datapacket::write(data);
        file.insert(file.end(), packet.begin(), packet.end());
        writeAll(path("x.oru"), file);
        reopen();

        std::filesystem::remove_all(path("out"));
        mkdir("out/inner");
        const auto before = treeOf(dir);
        const std::string message = errorOf([&] { extract(c.folderName, "out/inner"); });
        EXPECT_NE(message.find(c.shown), std::string::npos) << message;
        // Nothing changed, and nothing new appeared outside the chosen directory.
        for (const auto& [rel, content] : treeOf(dir)) {
            auto it = before.find(rel);
            if (it == before.end()) {
                EXPECT_EQ(rel.rfind("out/inner/", 0), 0u) << rel;
            } else {
                EXPECT_EQ(content, it->second) << rel;
            }
        }
    }
}

TEST_F(ExtractTest, DamagedEntriesAreClearErrors) {
    writeAll(path("a.bin"), randomBytes(20000, 8));
    archive({"a.bin"});
    CatalogTable& c = kiv->Catalog();
    c.First();
    const int32_t offset = c.GetInteger("Offset"), stored = c.GetInteger("StoredSize");
    const int32_t fileSize = static_cast<int32_t>(readAll(path("x.oru")).size());
    const struct {
        const char* what;
        const char* field;
        int32_t value;
        const char* message;
    } cases[] = {
        {"stored bytes past the end", "Offset", fileSize - stored + 1, "Stream read error"},
        {"negative offset", "Offset", -5, "Stream read error"},
        {"huge stored size", "StoredSize", 0x7FFFFFFF, "Stream read error"},
        {"negative stored size", "StoredSize", -1, "Stream read error"},
        {"stream cut short", "StoredSize", stored / 2, "error"},
        {"offset inside the stream", "Offset", offset + 3, "error"},
        {"content larger than the row says", "OriginalSize", 1000, "error"},
    };
    for (const auto& k : cases) {
        SCOPED_TRACE(k.what);
        reopen();
        CatalogTable& cur = kiv->Catalog();
        cur.First();
        cur.Edit();
        cur.SetInteger(k.field, k.value);
        cur.Post();
        MemoryStream target;
        EXPECT_EQ(errorOf([&] { kiv->ReadEntry(cur, target); }), k.message);
        EXPECT_LE(target.size(), 20000);
        std::filesystem::remove_all(path("out"));
        EXPECT_EQ(errorOf([&] { kiv->ExtractEntry(cur, path("out")); }), k.message);
    }
    // The inflated content never exceeds the size the row gives.
    reopen();
    kiv->Catalog().First();
    kiv->Catalog().Edit();
    kiv->Catalog().SetInteger("OriginalSize", 1000);
    kiv->Catalog().Post();
    std::filesystem::remove_all(path("out"));
    EXPECT_EQ(errorOf([&] { kiv->ExtractEntry(kiv->Catalog(), path("out")); }), "error");
    EXPECT_LE(std::filesystem::file_size(path("out/a.bin")), 1000u);

    // A damaged byte inside the stored stream.
    kiv.reset();
    Bytes file = readAll(path("x.oru"));
    file[offset + stored / 2] ^= 0x55;
    writeAll(path("x.oru"), file);
    kiv = TKiv::OpenExisting(path("x.oru"));
    kiv->Catalog().First();
    MemoryStream target;
    EXPECT_EQ(errorOf([&] { kiv->ReadEntry(kiv->Catalog(), target); }), "error");
}

TEST_F(ExtractTest, TargetsThatCannotBeWrittenAreReported) {
    writeText(path("a.txt"), "a");
    archive({"a.txt"});
    CatalogTable& c = kiv->Catalog();
    c.First();
    EXPECT_EQ(errorOf([&] { kiv->ExtractEntry(c, ""); }), "Unable to create directory");

    // A folder stands where the file goes.
    mkdir("o1/a.txt");
    EXPECT_EQ(errorOf([&] { kiv->ExtractEntry(c, path("o1")); }), "Cannot create file " + path("o1/a.txt"));
    // The destination cannot be made: a file is in the way.
    writeText(path("plain"), "x");
    EXPECT_EQ(errorOf([&] { kiv->ExtractEntry(c, path("plain/sub")); }), "Cannot create file " + path("plain/sub/a.txt"));
    // The target is held open by another.
    mkdir("o2");
    writeText(path("o2/a.txt"), "held");
    {
        FileStream held(path("o2/a.txt"), FileStream::Mode::Read);
        EXPECT_EQ(errorOf([&] { kiv->ExtractEntry(c, path("o2")); }), "Cannot open file " + path("o2/a.txt"));
    }
    EXPECT_EQ(readAll(path("o2/a.txt")), Bytes({'h', 'e', 'l', 'd'}));
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
