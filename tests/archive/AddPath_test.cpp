// SPDX-License-Identifier: GPL-3.0-or-later
// Adding files and folder trees: rows, offsets, names, walking the file system, refusals and
// failures part way.

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <map>

#include "ArchiveTestSupport.h"
#include "platform/FileSystem.h"

namespace oru::test {
namespace {

class AddPathTest : public ArchiveTest {
protected:
    void SetUp() override {
        ArchiveTest::SetUp();
        kiv = TKiv::CreateNew(path("x.oru"));
    }
    void TearDown() override {
        kiv.reset();
        ArchiveTest::TearDown();
    }
    std::vector<Row> reopenedRows() {
        kiv.reset();
        kiv = TKiv::OpenExisting(path("x.oru"));
        return rowsOf(kiv->Catalog());
    }
    // After a failed add of b.bin: the archive opens again listing only a.bin (4000 random bytes,
    // seed 1), whose content reads back whole.
    void expectOnlyFirstFileAfterReopen() {
        kiv.reset();
        kiv = TKiv::OpenExisting(path("x.oru"));
        ASSERT_EQ(namesOf(kiv->Catalog()), std::vector<std::string>{"a.bin"});
        MemoryStream content;
        kiv->Catalog().First();
        kiv->ReadEntry(kiv->Catalog(), content);
        EXPECT_EQ(content.bytes(), randomBytes(4000, 1));
    }
    std::unique_ptr<TKiv> kiv;
};

TEST_F(AddPathTest, FilesGoBehindEachOtherAndTheCatalogBehindThem) {
    writeAll(path("a.bin"), randomBytes(5000, 1));
    writeText(path("b.txt"), std::string(3000, 'b'));
    writeText(path("empty"), "");

    kiv->AddPath("", path("a.bin"));
    auto rows = rowsOf(kiv->Catalog());
    ASSERT_EQ(rows.size(), 1u);
    EXPECT_EQ(rows[0].offset, 16);
    EXPECT_EQ(kiv->Header().CatalogOffset, 16 + rows[0].storedSize);
    expectFileMatches(*kiv);

    kiv->AddPath("", path("b.txt"));
    kiv->AddPath("", path("empty"));
    expectFileMatches(*kiv);

    rows = reopenedRows();
    ASSERT_EQ(rows.size(), 3u);
    const struct {
        const char* name;
        int64_t originalSize;
    } want[] = {{"a.bin", 5000}, {"b.txt", 3000}, {"empty", 0}};
    int64_t offset = 16;
    for (size_t i = 0; i < 3; ++i) {
        SCOPED_TRACE(want[i].name);
        EXPECT_EQ(rows[i].name, want[i].name);
        EXPECT_EQ(rows[i].parent, "");
        EXPECT_EQ(rows[i].type, 1);
        EXPECT_EQ(rows[i].offset, offset);
        EXPECT_EQ(rows[i].originalSize, want[i].originalSize);
        EXPECT_FALSE(rows[i].hasFileDate);
        EXPECT_EQ(rows[i].checkin, kNow);
        offset += rows[i].storedSize;
    }
    EXPECT_EQ(rows[2].storedSize, 8);
    EXPECT_EQ(kiv->Header().CatalogOffset, offset);
}

TEST_F(AddPathTest, FolderTreeGivesFolderRowsBeforeTheirContents) {
    mkdir("docs/img");
    writeText(path("docs/a.txt"), "alpha");
    writeText(path("docs/.hidden"), "hidden");
    writeText(path("docs/img/b.png"), "png");
    ::chmod(path("docs/a.txt").c_str(), 0444);  // read-only files are added like any other

    kiv->AddPath("", path("docs"));
    const auto rows = reopenedRows();
    ASSERT_EQ(rows.size(), 5u);
    EXPECT_EQ(rows[0].name, "docs");
    EXPECT_EQ(rows[0].parent, "");
    auto find = [&](const std::string& name) {
        for (size_t i = 0; i < rows.size(); ++i) {
            if (rows[i].name == name) return i;
        }
        ADD_FAILURE() << name;
        return size_t{0};
    };
    const size_t img = find("img"), png = find("b.png");
    EXPECT_LT(img, png);
    for (const auto& [name, parent, type] : std::vector<std::tuple<std::string, std::string, int>>{
             {"docs", "", 0}, {"a.txt", "docs", 1}, {".hidden", "docs", 1}, {"img", "docs", 0}, {"b.png", "img", 1}}) {
        SCOPED_TRACE(name);
        const Row& r = rows[find(name)];
        EXPECT_EQ(r.parent, parent);
        EXPECT_EQ(r.type, type);
        EXPECT_FALSE(r.hasFileDate);
        // Folder rows carry no offset and no sizes.
        EXPECT_EQ(r.hasOffset, type == 1);
        EXPECT_EQ(r.hasSizes, type == 1);
    }
}

TEST_F(AddPathTest, EmptyFolderReachesTheFile) {
    mkdir("empty");
    const Bytes before = readAll(path("x.oru"));
    kiv->AddPath("", path("empty"));
    expectFileMatches(*kiv);
    const auto rows = reopenedRows();
    ASSERT_EQ(rows.size(), 1u);
    EXPECT_EQ(rows[0].name, "empty");
    EXPECT_EQ(rows[0].type, 0);
    EXPECT_EQ(kiv->Header().CatalogOffset, 16);  // no stored bytes
}

TEST_F(AddPathTest, SameFileTwiceReplacesItsStoredBytes) {
    writeText(path("a.txt"), "same");
    kiv->AddPath("", path("a.txt"));
    const int32_t firstEnd = kiv->Header().CatalogOffset;
    kiv->AddPath("", path("a.txt"));
    const auto rows = reopenedRows();
    ASSERT_EQ(rows.size(), 1u);
    // The row points at the new copy behind the old one, which is dead bytes now.
    EXPECT_EQ(rows[0].offset, firstEnd);
    EXPECT_EQ(kiv->Header().CatalogOffset, firstEnd + rows[0].storedSize);
}

TEST_F(AddPathTest, NamesAreStoredInCodePage950) {
    mkdir("資料");
    writeText(path("資料/中文.txt"), "內容");
    kiv->AddPath("", path("資料"));
    // A trailing "/" or a "." names the folder it resolves to: the same item, replaced.
    kiv->AddPath("", path("資料/"));
    kiv->AddPath("", path("資料/."));
    const auto rows = reopenedRows();
    ASSERT_EQ(rows.size(), 2u);
    EXPECT_EQ(rows[0].name, "\xB8\xEA\xAE\xC6");
    EXPECT_EQ(rows[1].name, "\xA4\xA4\xA4\xE5.txt");
    EXPECT_EQ(rows[1].parent, rows[0].name);
}

TEST_F(AddPathTest, LinksAreFollowedButALoopIsEnteredOnce) {
    mkdir("top/sub");
    writeText(path("top/sub/f.txt"), "file");
    ASSERT_EQ(::symlink("..", path("top/sub/up").c_str()), 0);       // back to top: a loop
    ASSERT_EQ(::symlink("f.txt", path("top/sub/g.txt").c_str()), 0);  // a file, added as what it points to
    kiv->AddPath("", path("top"));
    auto rows = reopenedRows();
    std::vector<std::string> names;
    for (const auto& r : rows) names.push_back(r.name);
    std::sort(names.begin(), names.end());
    EXPECT_EQ(names, (std::vector<std::string>{"f.txt", "g.txt", "sub", "top"}));
    MemoryStream content;
    moveTo(kiv->Catalog(), "g.txt");
    kiv->ReadEntry(kiv->Catalog(), content);
    EXPECT_EQ(std::string(content.bytes().begin(), content.bytes().end()), "file");
}

// Collects what adding left out, path -> reason.
class SkipLog : public Progress {
public:
    void update(const Info&) override {}
    void skipped(const std::string& path, SkipReason reason) override { skips[path] = reason; }
    std::map<std::string, SkipReason> skips;
};

// Rows as "parent/name" (CP950 names are ASCII here), sorted: the walk's order is the disk's.
std::vector<std::string> sortedRows(CatalogTable& catalog) {
    std::vector<std::string> rows;
    for (const Row& r : rowsOf(catalog)) rows.push_back(r.parent + "/" + r.name);
    std::sort(rows.begin(), rows.end());
    return rows;
}

TEST_F(AddPathTest, ItemsThatCannotBeReadAreLeftOutReportedAndTheRestGoesIn) {
    mkdir("src/sub");
    writeText(path("src/keep.txt"), "keep");
    writeText(path("src/sub/inner.txt"), "inner");
    writeText(path("src/held.txt"), "held");
    writeText(path("src/read.txt"), "read");
    writeText(path("src/gone.txt"), "gone");
    mkdir("src/sub/gone-dir");
    writeText(path("src/sub/gone-dir/x.txt"), "x");
    ASSERT_EQ(::symlink("nowhere", path("src/dangling").c_str()), 0);
    ASSERT_EQ(::symlink("self", path("src/self").c_str()), 0);
    ASSERT_EQ(::mkfifo(path("src/fifo").c_str(), 0600), 0);
    const FileStream held(path("src/held.txt"), FileStream::Mode::ReadWrite);  // another program writing it
    const FileStream reading(path("src/read.txt"), FileStream::Mode::Read);  // one reading it shares it
    // Items that vanish between the listing and their turn.
    kiv->SetAddFilter([&](const std::string& p) {
        if (p == path("src/gone.txt")) std::filesystem::remove(p);
        if (p == path("src/sub/gone-dir")) std::filesystem::remove_all(p);
        return false;
    });
    SkipLog log;
    kiv->SetProgress(&log);
    kiv->AddPath("", path("src"));
    // Named directly: what is missing, and what holds no content.
    kiv->AddPath("", path("none"));
    kiv->AddPath("", path("src/fifo"));

    const std::map<std::string, SkipReason> want = {
        {path("src/dangling"), SkipReason::BrokenLink},  {path("src/self"), SkipReason::BrokenLink},
        {path("src/held.txt"), SkipReason::InUse},       {path("src/gone.txt"), SkipReason::Missing},
        {path("src/sub/gone-dir"), SkipReason::Missing}, {path("none"), SkipReason::Missing},
        {path("src/fifo"), SkipReason::NotAFile},  // inside the folder it was passed over quietly
    };
    EXPECT_EQ(log.skips, want);
    EXPECT_EQ(sortedRows(kiv->Catalog()),
              (std::vector<std::string>{"/src", "src/keep.txt", "src/read.txt", "src/sub", "sub/inner.txt"}));
    expectFileMatches(*kiv);
}

// Acts as a user without the permissions root has (the user nobody) while it lives; for other
// users it does nothing. ok() is false when that cannot be done here.
class WithoutRootPowers {
public:
    explicit WithoutRootPowers(const std::string& dir) {
        if (::geteuid() != 0) return;
        ::chmod(dir.c_str(), 0755);  // nobody must reach the readable items
        switched_ = ::seteuid(65534) == 0;
        ok_ = switched_;
    }
    ~WithoutRootPowers() {
        if (switched_) EXPECT_EQ(::seteuid(0), 0);
    }
    bool ok() const { return ok_; }

private:
    bool switched_ = false;
    bool ok_ = true;
};

TEST_F(AddPathTest, ItemsWithoutReadPermissionAreLeftOutAndReported) {
    mkdir("src/closed");
    writeText(path("src/open.txt"), "open");
    writeText(path("src/secret.txt"), "secret");
    writeText(path("src/closed/inside.txt"), "inside");
    ::chmod(path("src/secret.txt").c_str(), 0);
    ::chmod(path("src/closed").c_str(), 0);
    SkipLog log;
    kiv->SetProgress(&log);
    {
        const WithoutRootPowers user(dir);
        if (!user.ok()) GTEST_SKIP() << "cannot act as a user without read permission here";
        kiv->AddPath("", path("src"));
    }
    ::chmod(path("src/closed").c_str(), 0755);
    EXPECT_EQ(log.skips, (std::map<std::string, SkipReason>{{path("src/secret.txt"), SkipReason::Denied},
                                                            {path("src/closed"), SkipReason::Denied}}));
    // The folder that could not be listed has no row: stored empty, it would pass for complete.
    EXPECT_EQ(sortedRows(kiv->Catalog()), (std::vector<std::string>{"/src", "src/open.txt"}));
    expectFileMatches(*kiv);
}

// Reads of the file named by readFailPath fail from readFailAt on.
std::string readFailPath;
int64_t readFailAt = 0;
bool failRead(const std::string& p, int64_t position) { return p == readFailPath && position >= readFailAt; }

TEST_F(AddPathTest, ReadErrorPartWayLeavesNoBytesOfTheFile) {
    writeText(path("a.txt"), "first");
    kiv->AddPath("", path("a.txt"));
    const Bytes before = readAll(path("x.oru"));
    mkdir("src");
    writeAll(path("src/big.bin"), randomBytes(24 << 20, 5));  // its bytes reach the archive as they are made
    writeText(path("src/small.txt"), "small");
    SkipLog log;
    kiv->SetProgress(&log);
    for (const int64_t failAt : {int64_t{0}, int64_t{20} << 20}) {
        SCOPED_TRACE(failAt);
        readFailPath = path("src/big.bin");
        readFailAt = failAt;
        FileStream::setReadFaultForTesting(failRead);
        log.skips.clear();
        kiv->AddPath("", path("src/big.bin"));
        FileStream::setReadFaultForTesting(nullptr);
        EXPECT_EQ(log.skips, (std::map<std::string, SkipReason>{{path("src/big.bin"), SkipReason::ReadError}}));
        // Nothing of it stays: the archive is byte for byte what it was, catalog and all.
        EXPECT_EQ(readAll(path("x.oru")), before);
        EXPECT_FALSE(fs::fileExists(TKiv::RecoveryPathFor(path("x.oru"))));
    }
    // In a folder the add goes on, and what follows lands where the unread file would have.
    readFailAt = 20 << 20;
    FileStream::setReadFaultForTesting(failRead);
    kiv->AddPath("", path("src"));
    FileStream::setReadFaultForTesting(nullptr);
    EXPECT_EQ(sortedRows(kiv->Catalog()), (std::vector<std::string>{"/a.txt", "/src", "src/small.txt"}));
    expectFileMatches(*kiv);
    EXPECT_EQ(rowsOf(kiv->Catalog()).back().offset, static_cast<int64_t>(le32(before, 4)));
}

TEST_F(AddPathTest, ArchiveAndItsSideFilesInAnAddedFolderArePassedOver) {
    kiv.reset();
    mkdir("box");
    for (const char* name : {"a", "b", "c"}) writeText(path("box/") + name, name);
    kiv = TKiv::CreateNew(path("box/x.oru"));
    writeText(TKiv::TempPathFor(path("box/x.oru")), "left by a compaction cut short");
    SkipLog log;
    kiv->SetProgress(&log);
    // The recovery file this add makes lies in the folder too.
    kiv->AddPath("", path("box"));
    EXPECT_TRUE(log.skips.empty());
    EXPECT_EQ(sortedRows(kiv->Catalog()), (std::vector<std::string>{"/box", "box/a", "box/b", "box/c"}));
    expectFileMatches(*kiv);

    // Named directly, they are reported.
    kiv->AddPath("", path("box/x.oru"));
    kiv->AddPath("", TKiv::TempPathFor(path("box/x.oru")));
    EXPECT_EQ(log.skips, (std::map<std::string, SkipReason>{
                             {path("box/x.oru"), SkipReason::ArchiveItself},
                             {TKiv::TempPathFor(path("box/x.oru")), SkipReason::ArchiveItself}}));
    EXPECT_EQ(rowsOf(kiv->Catalog()).size(), 4u);
}

TEST_F(AddPathTest, SourceOf2GiBIsRefusedBeforeAnythingIsWritten) {
    {
        FileStream big(path("big"), FileStream::Mode::Create);
        big.setSize(int64_t{1} << 31);  // sparse
    }
    const Bytes before = readAll(path("x.oru"));
    const std::string message = errorOf([&] { kiv->AddPath("", path("big")); });
    EXPECT_EQ(message.rfind(path("big") + ": ", 0), 0u) << message;
    EXPECT_EQ(readAll(path("x.oru")), before);
    EXPECT_TRUE(kiv->Catalog().IsEmpty());
}

TEST_F(AddPathTest, FileThatWouldCarryTheArchiveTo2GiBIsRefused) {
    // An archive whose catalog sits just below the limit (sparse data area).
    kiv.reset();
    const int64_t catalogOffset = (int64_t{1} << 31) - 3000;
    {
        CatalogTable empty;
        Bytes file(16);
        std::memcpy(file.data(), "KVAR", 4);
        putLe32(file, 4, static_cast<uint32_t>(catalogOffset));
        FileStream out(path("x.oru"), FileStream::Mode::Create);
        out.write(file.data(), file.size());
        out.seek(catalogOffset);
        empty.SavePacket(out);
    }
    const int64_t size = std::filesystem::file_size(path("x.oru"));
    kiv = TKiv::OpenExisting(path("x.oru"));
    writeAll(path("noise"), randomBytes(4000, 3));
    const std::string message = errorOf([&] { kiv->AddPath("", path("noise")); });
    EXPECT_EQ(message.rfind(path("noise") + ": ", 0), 0u) << message;
    EXPECT_EQ(static_cast<int64_t>(std::filesystem::file_size(path("x.oru"))), size);
    EXPECT_EQ(kiv->Header().CatalogOffset, catalogOffset);
    // A small file still fits.
    writeText(path("small"), "small");
    kiv->AddPath("", path("small"));
    EXPECT_EQ(namesOf(kiv->Catalog()), std::vector<std::string>{"small"});
}

TEST_F(AddPathTest, FailedWriteOfStoredBytesLeavesAValidCatalog) {
    writeAll(path("a.bin"), randomBytes(4000, 1));
    writeAll(path("b.bin"), randomBytes(200000, 2));
    kiv->AddPath("", path("a.bin"));
    // The disk fills up part way through b's stored bytes.
    limitArchiveSize(*kiv, 50000);
    // The full disk is named by the archive on it.
    EXPECT_EQ(errorOf([&] { kiv->AddPath("", path("b.bin")); }),
              "Stream write error: the disk holding " + kiv->ArchivePath() + " is full");
    EXPECT_EQ(namesOf(kiv->Catalog()), std::vector<std::string>{"a.bin"});
    expectFileMatches(*kiv);

    expectOnlyFirstFileAfterReopen();
}

TEST_F(AddPathTest, FailedCatalogWriteBringsBackTheCatalogBeforeTheFile) {
    writeAll(path("a.bin"), randomBytes(4000, 1));
    writeAll(path("b.bin"), randomBytes(20000, 2));
    kiv->AddPath("", path("a.bin"));
    const int32_t catalogOffset = kiv->Header().CatalogOffset;
    MemoryStream source(randomBytes(20000, 2)), stored;
    CompressStream(source, stored);
    // b's stored bytes fit on the disk, the catalog behind them does not.
    limitArchiveSize(*kiv, catalogOffset + stored.size() + 10);
    EXPECT_EQ(kindOf([&] { kiv->AddPath("", path("b.bin")); }), ErrorKind::DiskFull);
    EXPECT_EQ(kiv->Header().CatalogOffset, catalogOffset);
    expectFileMatches(*kiv);

    expectOnlyFirstFileAfterReopen();
}

class CancelAfter : public Progress {
public:
    explicit CancelAfter(uint64_t items) : items_(items) {}
    void update(const Info& info) override {
        updates.push_back(info);
        done_ = info.itemsDone;
    }
    bool cancelled() override { return done_ >= items_; }
    std::vector<Info> updates;

private:
    uint64_t items_;
    uint64_t done_ = 0;
};

TEST_F(AddPathTest, CancelStopsBetweenFilesWithCompletedOnesSaved) {
    mkdir("tree");
    for (const char* name : {"a", "b", "c"}) writeText(path("tree/") + name, std::string(100, name[0]));
    CancelAfter sink(2);  // the folder row and one file
    kiv->SetProgress(&sink);
    try {
        kiv->AddPath("", path("tree"));
        FAIL() << "not cancelled";
    } catch (const Cancelled&) {
    }
    const auto rows = reopenedRows();
    ASSERT_EQ(rows.size(), 2u);
    EXPECT_EQ(rows[0].name, "tree");
    EXPECT_EQ(rows[1].parent, "tree");
}

TEST_F(AddPathTest, ProgressCountsFilesAndReportsDuringABigFile) {
    mkdir("p");
    writeAll(path("p/big"), Bytes(10 << 20, 7));
    writeText(path("p/small"), "small");
    CancelAfter sink(1000);
    kiv->SetProgress(&sink);
    kiv->AddPath("", path("p"));
    ASSERT_FALSE(sink.updates.empty());
    const auto& last = sink.updates.back();
    EXPECT_EQ(last.itemsDone, 3u);
    EXPECT_EQ(last.bytesDone, (10u << 20) + 5);
    // Reports inside the big file: bytes grew while the item count stood still.
    int midFile = 0;
    for (size_t i = 1; i < sink.updates.size(); ++i) {
        if (sink.updates[i].itemsDone == sink.updates[i - 1].itemsDone &&
            sink.updates[i].bytesDone > sink.updates[i - 1].bytesDone) {
            ++midFile;
        }
    }
    EXPECT_GE(midFile, 1);
    for (size_t i = 1; i < sink.updates.size(); ++i) EXPECT_GE(sink.updates[i].bytesDone, sink.updates[i - 1].bytesDone);
}

// With more threads, a folder's small files are read and compressed ahead on workers and a big
// file's chunks are compressed side by side; the archive is the one a single thread writes, under
// either codec. The tree mixes empty, tiny, small and big files (past the read-ahead limit and
// several chunks long) in nested folders.
TEST_F(AddPathTest, TreeGivesTheSameArchiveWithAnyNumberOfThreads) {
    mkdir("t/a/deep");
    mkdir("t/b");
    writeText(path("t/empty"), "");
    writeText(path("t/one"), "1");
    for (int i = 0; i < 40; ++i) {
        writeAll(path("t/a/f" + std::to_string(i)), randomBytes(static_cast<size_t>(100 + 300 * i), static_cast<unsigned>(i)));
    }
    writeAll(path("t/a/deep/big"), randomBytes((3 << 20) + 77, 5));
    writeText(path("t/b/text"), std::string(200000, 'x'));
    writeAll(path("t/b/limit"), Bytes(1 << 20, 3));
    kiv.reset();

    for (codec::Codec codec : builtCodecs()) {
        CodecScope scope(codec);
        Bytes oneThread;
        for (unsigned threads : {1u, 2u, 5u}) {
            SCOPED_TRACE(testing::Message() << (codec == codec::Codec::Zlib ? "zlib" : "isal") << ", " << threads << " threads");
            codec::setThreads(threads);
            {
                auto archive = TKiv::CreateNew(path("x.oru"));
                archive->AddPath("", path("t"));
                expectFileMatches(*archive);
            }
            const Bytes bytes = readAll(path("x.oru"));
            if (threads == 1) {
                oneThread = bytes;
            } else {
                EXPECT_TRUE(bytes == oneThread);
            }
        }
        codec::setThreads(0);
    }
    kiv = TKiv::OpenExisting(path("x.oru"));
    EXPECT_EQ(rowsOf(kiv->Catalog()).size(), 49u);  // four folders, 45 files
}

}  // namespace
}  // namespace oru::test
