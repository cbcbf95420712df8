// SPDX-License-Identifier: GPL-3.0-or-later
// Adding with checkpoints, and what a crash (the process killed at any write), a failure or a
// full disk leaves behind: the archive opens, lists every file completed before, and every file
// it lists decodes to the bytes that were added.

#include <signal.h>
#include <sys/mman.h>
#include <sys/mount.h>
#include <sys/wait.h>
#include <unistd.h>

#include <map>
#include <tuple>

#include "ArchiveTestSupport.h"
#include "archive/EntryMeta.h"
#include "platform/FileSystem.h"

namespace oru::test {
namespace {

// Restores the checkpoint interval on the way out of a test.
class IntervalScope {
public:
    explicit IntervalScope(double seconds) : saved_(TKiv::CheckpointInterval()) { TKiv::SetCheckpointInterval(seconds); }
    ~IntervalScope() { TKiv::SetCheckpointInterval(saved_); }

private:
    double saved_;
};

constexpr double kNever = 1e9;  // no checkpoint before the end of an AddPath call

bool exists(const std::string& p) { return std::filesystem::exists(p); }

// A row as a tuple, for comparing whole listings: the eight columns' values and the extension
// values (all empty in plain archives).
using RowKey = std::tuple<std::string, std::string, int32_t, int64_t, int64_t, int64_t, double, EntryMeta>;
std::vector<RowKey> keysOf(CatalogTable& catalog) {
    std::vector<RowKey> keys;
    CatalogTable rows;
    rows.CloneFrom(catalog);
    rows.SetOrdering("");
    int i = 0;
    for (const auto& r : rowsOf(catalog)) {
        keys.emplace_back(r.name, r.parent, r.type, r.offset, r.originalSize, r.storedSize, r.checkin,
                          entrymeta::readAt(rows, i++));
    }
    return keys;
}

class CrashSafetyTest : public ArchiveTest {
protected:
    // A small tree: text, incompressible and empty files, nested and empty folders.
    void makeTree() {
        mkdir("tree/sub/deeper");
        mkdir("tree/empty");
        content["a.txt"] = Bytes(3000, 'a');
        content["b.bin"] = randomBytes(70000, 1);
        content["e"] = {};
        content["c.txt"] = Bytes(500, 'c');
        content["d.bin"] = randomBytes(9000, 2);
        content["f.bin"] = randomBytes(100, 3);
        writeAll(path("tree/a.txt"), content["a.txt"]);
        writeAll(path("tree/b.bin"), content["b.bin"]);
        writeAll(path("tree/e"), content["e"]);
        writeAll(path("tree/sub/c.txt"), content["c.txt"]);
        writeAll(path("tree/sub/deeper/d.bin"), content["d.bin"]);
        writeAll(path("tree/sub/f.bin"), content["f.bin"]);
        content["old1"] = randomBytes(5000, 4);
        content["old2"] = Bytes(800, 'o');
        writeAll(path("old1"), content["old1"]);
        writeAll(path("old2"), content["old2"]);
    }

    // Every file row decodes to the content added under its name.
    void expectEveryFileDecodes(TKiv& kiv, const std::string& when) {
        CatalogTable all;
        all.CloneFrom(kiv.Catalog());
        for (all.First(); !all.AtEnd(); all.Next()) {
            if (all.GetInteger("FileType") != 1) continue;
            const std::string name = all.GetText("FileName");
            MemoryStream out;
            try {
                kiv.ReadEntry(all, out);
            } catch (const Error& e) {
                ADD_FAILURE() << when << ": " << name << " does not decode: " << e.what();
                continue;
            }
            ASSERT_TRUE(content.count(name)) << when << ": unknown row " << name;
            EXPECT_EQ(out.bytes(), content[name]) << when << ": " << name;
        }
    }

    std::map<std::string, Bytes> content;
};

// One AddPath call writes the header and catalog at checkpoints only, yet leaves the archive
// byte for byte as writing them after every file does; so do several calls in a row.
TEST_F(CrashSafetyTest, CheckpointsLeaveTheSameBytesAsACatalogWriteAfterEveryFile) {
    makeTree();
    const auto build = [&](const std::string& name, double interval) {
        IntervalScope scope(interval);
        auto kiv = TKiv::CreateNew(path(name));
        kiv->AddPath("", path("old1"));
        kiv->AddPath("", path("tree"));
        kiv->AddPath("", path("tree/sub"));
        kiv->AddPath("", path("old2"));
        expectFileMatches(*kiv);
        kiv.reset();
        EXPECT_FALSE(fs::fileExists(TKiv::RecoveryPathFor(path(name))));
        return readAll(path(name));
    };
    const Bytes everyFile = build("every.oru", 0);
    EXPECT_EQ(build("end.oru", kNever), everyFile);
    EXPECT_EQ(build("some.oru", 0.0001), everyFile);
    // Where no recovery file can be made, the add still works, writing after every file.
    mkdir("blocked.oru.recover");
    EXPECT_EQ(build("blocked.oru", kNever), everyFile);
}

// A failure part way through a folder (a file held open elsewhere, a cancel) leaves every file
// completed before it listed in the catalog in the file, and no recovery file.
TEST_F(CrashSafetyTest, FailureMidBatchKeepsEveryCompletedFileInTheFile) {
    IntervalScope scope(kNever);
    mkdir("tree");
    for (int i = 0; i < 8; ++i) writeText(path("tree/f" + std::to_string(i)), std::string(200 + i, 'a' + i));
    const auto order = fs::listDirectory(path("tree"));
    ASSERT_EQ(order.size(), 8u);

    class CancelAt : public Progress {
    public:
        explicit CancelAt(uint64_t items) : items_(items) {}
        void update(const Info& info) override { done_ = info.itemsDone; }
        bool cancelled() override { return done_ >= items_; }

    private:
        uint64_t items_, done_ = 0;
    };
    struct Case {
        const char* what;
        bool cancel;
    } cases[] = {{"a file of 2 GiB", false}, {"cancelled", true}};
    for (const auto& k : cases) {
        SCOPED_TRACE(k.what);
        auto kiv = TKiv::CreateNew(path("x.oru"));
        kiv->AddPath("", path("tree/f0"));  // an entry from before
        CancelAt sink(5);  // the folder row and four files
        if (k.cancel) {
            kiv->SetProgress(&sink);
        } else {
            FileStream(path("tree/") + order[4], FileStream::Mode::ReadWrite).setSize(int64_t{1} << 31);  // sparse
        }
        EXPECT_THROW(kiv->AddPath("", path("tree")), Error);
        kiv.reset();
        if (!k.cancel) FileStream(path("tree/") + order[4], FileStream::Mode::ReadWrite).setSize(200);
        EXPECT_FALSE(exists(TKiv::RecoveryPathFor(path("x.oru"))));

        kiv = TKiv::OpenExisting(path("x.oru"));
        std::vector<std::string> want = {"f0", "tree"};
        for (int i = 0; i < 4; ++i) want.push_back(order[i]);
        EXPECT_EQ(namesOf(kiv->Catalog()), want);
        expectFileMatches(*kiv);
    }
}

// Shared between the test and the child it forks: how many items the child reported done.
struct ChildReport {
    volatile uint64_t itemsDone;
};

class ReportTo : public Progress {
public:
    explicit ReportTo(ChildReport* report) : report_(report) {}
    void update(const Info& info) override { report_->itemsDone = info.itemsDone; }

private:
    ChildReport* report_;
};

int writesLeft = 0;
void killAtWrite() {
    if (--writesLeft == 0) ::raise(SIGKILL);
}

// Runs body in a child process that is killed (SIGKILL) just before its k-th write to any file.
// Returns true when it was killed, false when it ended before reaching that write.
bool runKilledAtWrite(int k, const std::function<void()>& body) {
    const pid_t pid = ::fork();
    if (pid == 0) {
        writesLeft = k;
        FileStream::setWriteHookForTesting(killAtWrite);
        try {
            body();
        } catch (...) {
            ::_exit(3);
        }
        ::_exit(0);
    }
    int status = 0;
    ::waitpid(pid, &status, 0);
    if (WIFSIGNALED(status) && WTERMSIG(status) == SIGKILL) return true;
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << "child failed at write " << k;
    return false;
}

// The whole add of source into the archive as base holds it, uninterrupted: the rows and the
// file it leaves, which every crash must leave a part of.
void addUninterrupted(const std::string& archive, const Bytes& base, const std::string& source,
                      std::vector<RowKey>& rows, Bytes& bytes) {
    writeAll(archive, base);
    auto kiv = TKiv::OpenExisting(archive);
    kiv->AddPath("", source);
    rows = keysOf(kiv->Catalog());
    kiv.reset();
    bytes = readAll(archive);
}

// The archive opened after a killed run; null, failing the test, when it does not open.
std::unique_ptr<TKiv> openAfterKill(const std::string& archive, const std::string& when) {
    try {
        return TKiv::OpenExisting(archive);
    } catch (const Error& e) {
        ADD_FAILURE() << when << ": " << e.what();
        return nullptr;
    }
}

// The process killed at every write of an add of a folder tree: each time the archive opens,
// lists the earlier entries and every entry the add completed, in the order added, with
// offsets and sizes as the whole add gives them, and every listed file decodes.
TEST_F(CrashSafetyTest, AddKilledAtEveryWriteLosesAtMostTheFileBeingWritten) {
    makeTree();
    auto* report = static_cast<ChildReport*>(
        ::mmap(nullptr, sizeof(ChildReport), PROT_READ | PROT_WRITE, MAP_SHARED | MAP_ANONYMOUS, -1, 0));
    ASSERT_NE(report, MAP_FAILED);
    const std::string archive = path("x.oru");
    {
        auto kiv = TKiv::CreateNew(archive);
        kiv->AddPath("", path("old1"));
        kiv->AddPath("", path("old2"));
    }
    const Bytes base = readAll(archive);
    const size_t oldRows = 2;

    // A file whose stored stream is too big to be held in memory goes to the archive in pieces.
    content["big.bin"] = randomBytes(9 << 20, 8);
    mkdir("bigtree");
    writeAll(path("bigtree/big.bin"), content["big.bin"]);
    writeAll(path("bigtree/a.txt"), content["a.txt"]);
    struct Pass {
        const char* what;
        double interval;
        const char* source;
        bool plain;
    } passes[] = {
        {"catalog after every file", 0, "tree", true},
        {"catalog at the end only", kNever, "tree", true},
        {"a file written in pieces", kNever, "bigtree", true},
        // The add gives the plain archive the extension columns; the recovery file carries them
        // and every row's values.
        {"extension values, catalog at the end only", kNever, "tree", false},
    };
    for (const auto& pass : passes) {
        SCOPED_TRACE(pass.what);
        IntervalScope scope(pass.interval);
        PlainScope plain(pass.plain);
        const std::string source = path(pass.source);
        // The whole add, uninterrupted: what every crash must be a prefix of.
        std::vector<RowKey> full;
        Bytes fullBytes;
        addUninterrupted(archive, base, source, full, fullBytes);
        int points = 0;
        for (int k = 1;; ++k) {
            writeAll(archive, base);
            report->itemsDone = 0;
            const bool killed = runKilledAtWrite(k, [&] {
                auto kiv = TKiv::OpenExisting(archive);
                ReportTo sink(report);
                kiv->SetProgress(&sink);
                kiv->AddPath("", source);
            });
            if (!killed) break;
            ++points;
            const std::string when = "killed at write " + std::to_string(k);
            std::unique_ptr<TKiv> kiv = openAfterKill(archive, when);
            if (!kiv) continue;
            EXPECT_FALSE(exists(TKiv::RecoveryPathFor(archive))) << when;
            const auto rows = keysOf(kiv->Catalog());
            ASSERT_LE(rows.size(), full.size()) << when;
            EXPECT_TRUE(std::equal(rows.begin(), rows.end(), full.begin())) << when << ": not a prefix of the whole add";
            EXPECT_GE(rows.size(), oldRows + report->itemsDone) << when << ": a completed entry was lost";
            expectFileMatches(*kiv);
            expectEveryFileDecodes(*kiv, when);
            if (rows.size() == full.size()) {
                kiv.reset();
                EXPECT_EQ(readAll(archive), fullBytes) << when;
            }
        }
        EXPECT_GT(points, 5);
        std::cout << "[ crash points ] add, " << pass.what << ": " << points << " writes tried\n";
    }
    ::munmap(report, sizeof(ChildReport));
}

// Adding a tree again replaces the stored file of each path, through the recovery file too: a
// crash at any write leaves every row, each file with its old or its new content, and the
// replacements done before it.
TEST_F(CrashSafetyTest, AddingAgainKilledAtEveryWriteKeepsEveryRow) {
    makeTree();
    IntervalScope scope(kNever);
    for (const bool plainMode : {true, false}) {
        SCOPED_TRACE(plainMode ? "plain" : "extension values");
        PlainScope plain(plainMode);
        const std::string archive = path("x.oru");
        std::map<std::string, Bytes> before = content;
        {
            auto kiv = TKiv::CreateNew(archive);
            kiv->AddPath("", path("tree"));
        }
        const Bytes base = readAll(archive);
        std::vector<RowKey> baseRows;
        {
            auto kiv = TKiv::OpenExisting(archive);
            baseRows = keysOf(kiv->Catalog());
        }
        writeAll(archive, base);
        for (const char* name : {"tree/a.txt", "tree/sub/c.txt", "tree/sub/deeper/d.bin"}) {
            const std::string key = std::filesystem::path(name).filename().string();
            content[key] = randomBytes(2000, static_cast<unsigned>(key[0]));
            writeAll(path(name), content[key]);
            // A new mode and time too, which the replacing rows carry.
            ::chmod(path(name).c_str(), plainMode ? 0644 : 0600);
        }
        std::vector<RowKey> full;
        Bytes fullBytes;
        addUninterrupted(archive, base, path("tree"), full, fullBytes);
        int points = 0, partlyReplaced = 0;
        for (int k = 1;; ++k) {
            writeAll(archive, base);
            const bool killed = runKilledAtWrite(k, [&] { TKiv::OpenExisting(archive)->AddPath("", path("tree")); });
            if (!killed) break;
            ++points;
            const std::string when = "killed at write " + std::to_string(k);
            std::unique_ptr<TKiv> kiv = openAfterKill(archive, when);
            if (!kiv) continue;
            const auto rows = keysOf(kiv->Catalog());
            ASSERT_EQ(rows.size(), full.size()) << when;
            // Each row as it was or as the whole add left it: offset, sizes and values together.
            for (size_t i = 0; i < rows.size(); ++i) {
                EXPECT_TRUE(rows[i] == baseRows[i] || rows[i] == full[i]) << when << ": row " << i;
            }
            expectFileMatches(*kiv);
            CatalogTable all;
            all.CloneFrom(kiv->Catalog());
            int replaced = 0;
            for (all.First(); !all.AtEnd(); all.Next()) {
                if (all.GetInteger("FileType") != 1) continue;
                const std::string name = all.GetText("FileName");
                MemoryStream out;
                kiv->ReadEntry(all, out);
                EXPECT_TRUE(out.bytes() == content[name] || out.bytes() == before[name]) << when << ": " << name;
                replaced += out.bytes() != before[name];
            }
            // Between the first and the last replacement, the recovery file alone brings them back.
            partlyReplaced += replaced > 0 && replaced < 3;
            if (rows == full) {
                kiv.reset();
                EXPECT_EQ(readAll(archive), fullBytes) << when;
            }
        }
        EXPECT_GT(points, 3);
        EXPECT_GT(partlyReplaced, 0);
        content = before;
        for (const char* name : {"tree/a.txt", "tree/sub/c.txt", "tree/sub/deeper/d.bin"}) {
            const std::string key = std::filesystem::path(name).filename().string();
            writeAll(path(name), content[key]);
            ::chmod(path(name).c_str(), 0644);
        }
    }
}

// The process killed at every write of a compaction: each time the archive opens with the old
// or the new content, complete; a compaction cut short after the archive was emptied is
// finished from the temporary file, which is then gone.
TEST_F(CrashSafetyTest, CompactKilledAtEveryWriteLeavesTheOldOrTheNewArchive) {
    makeTree();
    const std::string archive = path("x.oru");
    const auto deleteSome = [](TKiv& kiv) {
        CatalogTable& c = kiv.Catalog();
        moveTo(c, "b.bin");
        kiv.DeleteEntry(c);
        moveTo(c, "deeper");
        kiv.DeleteEntry(c);
        c.MergeChanges();
    };
    // Big enough for the copy back into the archive to take several writes.
    content["big.bin"] = randomBytes(1200000, 9);
    writeAll(path("big.bin"), content["big.bin"]);
    {
        auto kiv = TKiv::CreateNew(archive);
        kiv->AddPath("", path("old1"));
        kiv->AddPath("", path("tree"));
        kiv->AddPath("", path("big.bin"));
        kiv->AddPath("", path("old2"));
    }
    const Bytes base = readAll(archive);
    std::vector<RowKey> before, after;
    Bytes afterBytes;
    {
        auto kiv = TKiv::OpenExisting(archive);
        before = keysOf(kiv->Catalog());
        deleteSome(*kiv);
        kiv->Compact();
        kiv.reset();
        afterBytes = readAll(archive);
        after = keysOf(TKiv::OpenExisting(archive)->Catalog());
    }
    ASSERT_NE(before, after);

    const std::string temp = TKiv::TempPathFor(archive);
    // A plain archive is replaced by a rename and is never cut; one with a second name (hard
    // link) is emptied and written again from the temporary file, which a crash can cut short.
    for (const bool secondName : {false, true}) {
        SCOPED_TRACE(secondName ? "archive with a second name" : "plain archive");
        writeAll(archive, base);
        std::filesystem::remove(path("x-link.oru"));
        if (secondName) std::filesystem::create_hard_link(archive, path("x-link.oru"));
        int points = 0, restored = 0;
        for (int k = 1;; ++k) {
            writeAll(archive, base);
            std::filesystem::remove(temp);
            const bool killed = runKilledAtWrite(k, [&] {
                auto kiv = TKiv::OpenExisting(archive);
                deleteSome(*kiv);
                kiv->Compact();
            });
            if (!killed) break;
            ++points;
            const std::string when = "killed at write " + std::to_string(k);
            const bool cut = readAll(archive) != base;
            std::unique_ptr<TKiv> kiv;
            try {
                kiv = TKiv::OpenExisting(archive);
            } catch (const Error& e) {
                ADD_FAILURE() << when << ": " << e.what();
                continue;
            }
            const auto rows = keysOf(kiv->Catalog());
            EXPECT_TRUE(rows == before || rows == after) << when;
            expectFileMatches(*kiv);
            expectEveryFileDecodes(*kiv, when);
            if (rows == after) {
                EXPECT_FALSE(exists(temp)) << when;
                kiv.reset();
                EXPECT_EQ(readAll(archive), afterBytes) << when;
            }
            if (cut) {
                ++restored;
                EXPECT_EQ(rows, after) << when << ": the archive was cut, the new content is the complete one";
            }
            // A compaction that finishes afterwards removes whatever the crash left.
            if (!kiv) kiv = TKiv::OpenExisting(archive);
            kiv->Compact();
            EXPECT_FALSE(exists(temp)) << when;
            if (secondName) EXPECT_TRUE(readAll(path("x-link.oru")) == readAll(archive)) << when;
        }
        EXPECT_GT(points, 3);
        if (secondName) EXPECT_GT(restored, 0);
        std::cout << "[ crash points ] compact (" << (secondName ? "second name" : "plain") << "): " << points
                  << " writes tried, " << restored << " of them after the archive was cut or replaced\n";
    }
}

// An archive that cannot be opened while a temporary file of compaction lies beside it: the
// message says where the complete copy may be, and neither file is changed.
TEST_F(CrashSafetyTest, DamagedArchiveBesideATemporaryFileNamesIt) {
    makeTree();
    const std::string archive = path("x.oru");
    { TKiv::CreateNew(archive)->AddPath("", path("old1")); }
    const std::string temp = TKiv::TempPathFor(archive);
    const Bytes copy = readAll(archive);
    writeAll(temp, copy);
    Bytes damaged = copy;
    putLe32(damaged, 4, 0x7FFFFFF0);  // a catalog offset past the end
    writeAll(archive, damaged);
    const std::string message = errorOf([&] { TKiv::OpenExisting(archive); });
    EXPECT_EQ(message.rfind(archive + "檔案格式不符", 0), 0u) << message;
    EXPECT_NE(message.find(temp), std::string::npos) << message;
    EXPECT_EQ(readAll(archive), damaged);
    EXPECT_EQ(readAll(temp), copy);
}

// Recovery files that do not belong to an interrupted add of this archive are not replayed: one
// cut short before the add changed anything is deleted; one made for an earlier archive of this
// name is left alone; a new archive at the path deletes it.
TEST_F(CrashSafetyTest, RecoveryFileThatDoesNotApplyIsNotReplayed) {
    makeTree();
    const std::string archive = path("x.oru");
    const std::string recovery = TKiv::RecoveryPathFor(archive);
    Bytes journal;
    {
        // A recovery file as an add leaves it when killed before its end.
        auto kiv = TKiv::CreateNew(archive);
        kiv->AddPath("", path("old1"));
        const int count = [&] {
            for (int k = 1;; ++k) {
                bool killed = runKilledAtWrite(k, [&] { kiv->AddPath("", path("old2")); });
                if (!killed) return k;
                if (exists(recovery) && readAll(recovery).size() > 40) {
                    journal = readAll(recovery);
                    return k;
                }
            }
        }();
        ASSERT_GT(count, 1);
    }
    ASSERT_FALSE(journal.empty());
    const Bytes oneEntry = readAll(archive);

    // Cut short in its first part: deleted, the archive opens as it is.
    writeAll(recovery, Bytes(journal.begin(), journal.begin() + 30));
    {
        auto kiv = TKiv::OpenExisting(archive);
        EXPECT_EQ(namesOf(kiv->Catalog()), std::vector<std::string>{"old1"});
    }
    EXPECT_FALSE(exists(recovery));
    EXPECT_EQ(readAll(archive), oneEntry);

    // Another archive now has the name (created at another time): left alone.
    clock::setNowForTesting([] { return kNow + 1; });
    {
        auto kiv = TKiv::CreateNew(archive);
        kiv->AddPath("", path("old2"));
    }
    const Bytes other = readAll(archive);
    writeAll(recovery, journal);
    {
        auto kiv = TKiv::OpenExisting(archive);
        EXPECT_EQ(namesOf(kiv->Catalog()), std::vector<std::string>{"old2"});
    }
    EXPECT_EQ(readAll(archive), other);
    EXPECT_TRUE(exists(recovery));

    // A new archive at the path.
    { auto kiv = TKiv::CreateNew(archive); }
    EXPECT_FALSE(exists(recovery));
}

// A small file system that fills up: add, compaction and extraction each fail with a clear
// message, the archive still opens with every entry completed before, and nothing is left
// behind but the archive and what extraction wrote.
class FullDiskTest : public CrashSafetyTest {
protected:
    void SetUp() override {
        CrashSafetyTest::SetUp();
        if (::geteuid() != 0) GTEST_SKIP() << "needs root to mount a small file system";
        disk = path("disk");
        mkdir("disk");
        if (::mount("tmpfs", disk.c_str(), "tmpfs", 0, "size=640k") != 0) {
            GTEST_SKIP() << "cannot mount a tmpfs here: " << std::strerror(errno);
        }
        mounted = true;
    }
    void TearDown() override {
        if (mounted) ::umount2(disk.c_str(), MNT_DETACH);
        CrashSafetyTest::TearDown();
    }
    std::vector<std::string> leftOn(const std::string& folder) {
        std::vector<std::string> names;
        for (const auto& e : std::filesystem::directory_iterator(folder)) names.push_back(e.path().filename());
        std::sort(names.begin(), names.end());
        return names;
    }

    std::string disk;
    bool mounted = false;
};

TEST_F(FullDiskTest, AddCompactAndExtractFailCleanlyOnAFullDisk) {
    for (double interval : {0.0, kNever}) {
        SCOPED_TRACE(interval == 0 ? "catalog after every file" : "catalog at the end only");
        IntervalScope scope(interval);
        std::filesystem::remove_all(path("src"));
        for (const auto& e : std::filesystem::directory_iterator(disk)) std::filesystem::remove_all(e.path());
        mkdir("src");
        std::map<std::string, Bytes> files;
        for (int i = 0; i < 12; ++i) {
            const std::string name = "f" + std::to_string(10 + i);
            files[name] = randomBytes(60000, 100 + i);
            writeAll(path("src/") + name, files[name]);
        }
        content.insert(files.begin(), files.end());
        const std::string archive = disk + "/x.oru";

        // Add until the disk is full.
        auto kiv = TKiv::CreateNew(archive);
        std::string message;
        try {
            kiv->AddPath("", path("src"));
        } catch (const Error& e) {
            message = e.what();
        }
        EXPECT_EQ(message, "Stream write error: the disk holding " + archive + " is full");
        const size_t listed = rowsOf(kiv->Catalog()).size();
        EXPECT_GT(listed, 2u);
        EXPECT_LT(listed, 13u);
        kiv.reset();
        EXPECT_EQ(leftOn(disk), std::vector<std::string>{"x.oru"});
        kiv = TKiv::OpenExisting(archive);
        EXPECT_EQ(rowsOf(kiv->Catalog()).size(), listed);
        expectEveryFileDecodes(*kiv, "after add");

        // Compaction needs room for a second copy: refused, archive and catalog as they were.
        const Bytes before = readAll(archive);
        EXPECT_EQ(errorOf([&] { kiv->Compact(); }),
                  "Stream write error: the disk holding " + TKiv::TempPathFor(archive) + " is full");
        EXPECT_EQ(readAll(archive), before);
        EXPECT_EQ(rowsOf(kiv->Catalog()).size(), listed);
        EXPECT_EQ(leftOn(disk), std::vector<std::string>{"x.oru"});

        // Extraction onto the full disk.
        message = errorOf([&] {
            CatalogTable& c = kiv->Catalog();
            for (c.First(); !c.AtEnd(); c.Next()) kiv->ExtractEntry(c, disk + "/out");
        });
        // Each file that found no room is named and left out; what fit is complete.
        EXPECT_TRUE(message.find("Stream write error") != std::string::npos ||
                    message.find("Cannot create file") != std::string::npos)
            << message;
        kiv.reset();
        kiv = TKiv::OpenExisting(archive);
        EXPECT_EQ(rowsOf(kiv->Catalog()).size(), listed);
        expectEveryFileDecodes(*kiv, "after extract");
        kiv.reset();
        EXPECT_EQ(readAll(archive), before);
        auto left = leftOn(disk);
        EXPECT_EQ(left, (std::vector<std::string>{"out", "x.oru"}));
    }
}

}  // namespace
}  // namespace oru::test
