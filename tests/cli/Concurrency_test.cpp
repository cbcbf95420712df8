// SPDX-License-Identifier: GPL-3.0-or-later
// Two programs on one archive, and a source file that changes while it is being added. Whatever
// the timing, the archive must end consistent: `oru test` passes and the listing holds exactly
// what the successful commands added.

#include <gtest/gtest.h>

#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <atomic>
#include <thread>

#include "archive/zipUtil.h"
#include "tests/cli/OruRunner.h"

namespace oru::testing {
namespace {

// An oru process started in the background, its output going to files in the test's folder.
class Background {
public:
    Background(const stdfs::path& dir, const std::string& tag, const std::vector<std::string>& args)
        : out_(dir / (".out-" + tag)), err_(dir / (".err-" + tag)) {
        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
        posix_spawn_file_actions_addopen(&actions, 1, out_.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        posix_spawn_file_actions_addopen(&actions, 2, err_.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        posix_spawn_file_actions_addchdir_np(&actions, dir.c_str());
        std::vector<std::string> all{ORU_CLI_PATH};
        all.insert(all.end(), args.begin(), args.end());
        std::vector<char*> argv;
        for (auto& a : all) argv.push_back(a.data());
        argv.push_back(nullptr);
        if (posix_spawn(&pid_, ORU_CLI_PATH, &actions, nullptr, argv.data(), environ) != 0) pid_ = -1;
        posix_spawn_file_actions_destroy(&actions);
    }
    ~Background() {
        if (pid_ > 0) wait();
    }
    bool started() const { return pid_ > 0; }
    bool running() {
        if (pid_ <= 0) return false;
        int ws = 0;
        const pid_t done = waitpid(pid_, &ws, WNOHANG);
        if (done == 0) return true;
        finish(ws);
        return false;
    }
    RunResult wait() {
        if (pid_ > 0) {
            int ws = 0;
            waitpid(pid_, &ws, 0);
            finish(ws);
        }
        return result_;
    }

private:
    void finish(int ws) {
        pid_ = 0;
        result_.status = WIFEXITED(ws) ? WEXITSTATUS(ws) : -1;
        result_.out = readFile(out_);
        result_.err = readFile(err_);
    }
    stdfs::path out_, err_;
    pid_t pid_ = -1;
    RunResult result_;
};

class Concurrency : public OruTest {
protected:
    // `oru test` passes and `oru list` shows exactly the files named, top-level, with these sizes.
    void expectConsistent(const std::map<std::string, size_t>& files) {
        const RunResult test = oru({"test", "a.oru"});
        EXPECT_EQ(test.status, 0) << test.out << test.err;
        std::map<std::string, size_t> listed;
        for (const std::string& line : lines(ok({"list", "a.oru"}))) {
            // TYPE SIZE STORED DATE PATH
            std::vector<std::string> fields;
            size_t start = 0;
            for (size_t tab; (tab = line.find('\t', start)) != std::string::npos; start = tab + 1) {
                fields.push_back(line.substr(start, tab - start));
            }
            fields.push_back(line.substr(start));
            ASSERT_EQ(fields.size(), 5u) << line;
            listed[fields[4]] = std::stoull(fields[1]);
        }
        EXPECT_EQ(listed, files);
    }
};

// While this process holds the archive open through the engine, another process's commands that
// would clash with it are refused as in use and change nothing: every command beside a
// writer, the writing ones beside a reader. Readers beside a reader work. The holder goes on.
TEST_F(Concurrency, ArchiveHeldByTheEngineRefusesWhatWouldClash) {
    english();  // the front end's own texts
    writeFile(path("a.txt"), "alpha");
    writeFile(path("b.txt"), sampleBytes(5000, 1));
    ok({"new", "a.oru"});
    ok({"add", "a.oru", "a.txt"});
    const std::string before = readFile(path("a.oru"));
    const struct {
        std::vector<std::string> args;
        bool reads;
    } commands[] = {
        {{"list", "a.oru"}, true},           {{"add", "a.oru", "b.txt"}, false}, {{"delete", "a.oru", "a.txt"}, false},
        {{"compact", "a.oru"}, false},       {{"test", "a.oru"}, true},          {{"info", "a.oru"}, true},
        {{"extract", "a.oru", "out"}, true}, {{"cat", "a.oru", "a.txt"}, true},  {{"new", "a.oru"}, false},
    };
    for (const auto access : {TKiv::Access::Exclusive, TKiv::Access::Shared}) {
        const bool holderWrites = access == TKiv::Access::Exclusive;
        auto kiv = TKiv::OpenExisting(path("a.oru").string(), access);
        for (const auto& c : commands) {
            SCOPED_TRACE(c.args[0] + (holderWrites ? " beside a writer" : " beside a reader"));
            stdfs::remove_all(path("out"));
            const RunResult r = oru(c.args);
            if (holderWrites || !c.reads) {
                EXPECT_EQ(r.status, 1);
                EXPECT_EQ(r.err, "oru: Cannot open file a.oru: another program is using it.\n");
                EXPECT_EQ(r.out, "");
                EXPECT_FALSE(stdfs::exists(path("out/a.txt")));
            } else {
                EXPECT_EQ(r.status, 0) << r.err;
                if (c.args[0] == "extract") {
                    EXPECT_EQ(readFile(path("out/a.txt")), "alpha");
                }
            }
        }
        EXPECT_EQ(readFile(path("a.oru")), before);
    }
    // The holder was not disturbed: it still adds.
    TKiv::OpenExisting(path("a.oru").string())->AddPath("", path("b.txt").string());
    expectConsistent({{"a.txt", 5}, {"b.txt", 5000}});
}

// An archive the user may read but not write (another user's, or on read-only media): the
// reading commands work, the writing ones say why they cannot. Run as the user nobody where the
// test runs as root; otherwise the archive's write bits are cleared.
TEST_F(Concurrency, ArchiveTheUserMayNotWriteIsReadable) {
    writeFile(path("src/a.txt"), "alpha");
    writeFile(path("src/b.bin"), sampleBytes(5000, 3));
    ok({"new", "a.oru"});
    ok({"add", "a.oru", "src/a.txt", "src/b.bin"});
    std::vector<std::string> runAs;
    if (::geteuid() == 0) {
        runAs = {"/usr/sbin/runuser", "-u", "nobody", "--"};
        stdfs::permissions(dir_, stdfs::perms::owner_all | stdfs::perms::group_read | stdfs::perms::group_exec |
                                     stdfs::perms::others_read | stdfs::perms::others_exec);
        stdfs::create_directories(path("out"));
        if (::chown(path("out").c_str(), 65534, 65534) != 0 || oru({"--version"}, runAs).status != 0) {
            GTEST_SKIP() << "cannot run oru as the user nobody here";
        }
        ::chmod(path("a.oru").c_str(), 0644);
    } else {
        ::chmod(path("a.oru").c_str(), 0444);
    }
    const std::string before = readFile(path("a.oru"));
    const auto as = [&](const std::vector<std::string>& args) { return oru(args, runAs); };

    RunResult r = as({"list", "a.oru"});
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(lines(r.out).size(), 2u);
    r = as({"cat", "a.oru", "a.txt"});
    EXPECT_EQ(r.out, "alpha");
    EXPECT_EQ(as({"test", "a.oru"}).status, 0);
    r = as({"extract", "a.oru", "out"});
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(readFile(path("out/b.bin")), sampleBytes(5000, 3));

    for (const std::vector<std::string>& args : {std::vector<std::string>{"add", "a.oru", "src/a.txt"},
                                                {"delete", "a.oru", "a.txt"}, {"compact", "a.oru"}}) {
        SCOPED_TRACE(args[0]);
        r = as(args);
        EXPECT_EQ(r.status, 1);
        EXPECT_EQ(r.err, "oru: a.oru: 這個壓縮檔是唯讀的（沒有寫入權限或位於唯讀媒體），只能檢視與解壓縮，無法加入、刪除或重整.\n");
    }
    EXPECT_EQ(readFile(path("a.oru")), before);
}

// Two `oru add` started together on one archive: each either succeeds or is refused as in use; the archive ends holding exactly the files of the adds that succeeded.
TEST_F(Concurrency, TwoAddsAtOnceLeaveAConsistentArchive) {
    english();  // the front end's own texts
    writeFile(path("p.bin"), sampleBytes(3 << 20, 2));
    writeFile(path("q.bin"), sampleBytes(3 << 20, 3));
    int refused = 0;
    for (int round = 0; round < 4; ++round) {
        SCOPED_TRACE("round " + std::to_string(round));
        stdfs::remove(path("a.oru"));
        ok({"new", "a.oru"});
        Background first(dir_, "1", {"-q", "add", "a.oru", "p.bin"});
        Background second(dir_, "2", {"-q", "add", "a.oru", "q.bin"});
        ASSERT_TRUE(first.started() && second.started());
        std::map<std::string, size_t> expected;
        for (auto [r, name] : {std::pair{first.wait(), "p.bin"}, std::pair{second.wait(), "q.bin"}}) {
            if (r.status == 0) {
                EXPECT_EQ(r.err, "");
                expected[name] = 3 << 20;
            } else {
                ++refused;
                EXPECT_EQ(r.status, 1);
                EXPECT_EQ(r.err, "oru: Cannot open file a.oru: another program is using it.\n");
            }
        }
        EXPECT_FALSE(expected.empty()) << "both adds were refused";
        expectConsistent(expected);
    }
    RecordProperty("refused", refused);
}

// Two programs adding one tree at once (two backups, a window and a script) only read its files:
// neither turns the other away, and both archives hold every file.
TEST_F(Concurrency, TwoAddsOfOneTreeAtOnceBothStoreEveryFile) {
    constexpr int kFiles = 300;
    for (int i = 0; i < kFiles; ++i) writeFile(path("tree/f" + std::to_string(i)), sampleBytes(2000, i));
    for (int round = 0; round < 3; ++round) {
        SCOPED_TRACE("round " + std::to_string(round));
        stdfs::remove(path("one.oru"));
        stdfs::remove(path("two.oru"));
        Background first(dir_, "1", {"-q", "add", "one.oru", "tree"});
        Background second(dir_, "2", {"-q", "add", "two.oru", "tree"});
        ASSERT_TRUE(first.started() && second.started());
        for (const RunResult& r : {first.wait(), second.wait()}) {
            EXPECT_EQ(r.status, 0);
            EXPECT_EQ(r.err, "");
        }
        for (const char* archive : {"one.oru", "two.oru"}) {
            EXPECT_EQ(lines(ok({"list", archive})).size(), kFiles + 1u) << archive;  // the folder and its files
            EXPECT_EQ(oru({"test", archive}).status, 0) << archive;
        }
    }
}

// A source file that grows or shrinks while `oru add` reads it: the add either stores the bytes it
// read, with sizes that match them, or is refused with a clear message; the archive stays sound.
TEST_F(Concurrency, SourceChangingWhileAddedIsStoredConsistently) {
    const size_t start = 12 << 20;
    const struct {
        const char* what;
        bool grow;
    } cases[] = {{"growing", true}, {"shrinking", false}};
    for (const auto& k : cases) {
        SCOPED_TRACE(k.what);
        stdfs::remove(path("a.oru"));
        stdfs::remove_all(path("out"));
        const std::string original = sampleBytes(start, 4);
        writeFile(path("big.bin"), original);
        ok({"new", "a.oru"});
        Background add(dir_, "add", {"-q", "add", "a.oru", "big.bin"});
        ASSERT_TRUE(add.started());
        // Change the file for as long as the add runs (without taking its lock, as another
        // program would).
        const int fd = ::open(path("big.bin").c_str(), O_WRONLY | O_APPEND);
        ASSERT_GE(fd, 0);
        const std::string chunk(64 << 10, 'z');
        size_t length = start;
        while (add.running()) {
            if (k.grow) {
                // Bounded, should a reader chase the end of the file.
                if (length < 4 * start) {
                    ASSERT_EQ(::write(fd, chunk.data(), chunk.size()), static_cast<ssize_t>(chunk.size()));
                    length += chunk.size();
                }
            } else if (length > chunk.size()) {
                length -= chunk.size();
                ASSERT_EQ(::ftruncate(fd, static_cast<off_t>(length)), 0);
            }
            std::this_thread::yield();
        }
        ::close(fd);
        const RunResult r = add.wait();
        if (r.status == 0) {
            // What was stored is a consistent piece of what the file held: its first bytes.
            ok({"extract", "a.oru", "out"});
            // The file only ever held the original bytes followed by appended chunks.
            const std::string stored = readFile(path("out/big.bin"));
            const std::string held = k.grow ? original + std::string(length - start, 'z') : original;
            EXPECT_LE(stored.size(), held.size());
            EXPECT_TRUE(stored == held.substr(0, stored.size())) << "stored bytes are not those read";
            expectConsistent({{"big.bin", stored.size()}});
        } else {
            EXPECT_EQ(r.status, 1);
            EXPECT_EQ(r.err.rfind("oru: ", 0), 0u) << r.err;
            EXPECT_GT(r.err.size(), 7u) << r.err;
            expectConsistent({});
        }
        RecordProperty(k.what, r.status == 0 ? "stored" : r.err);
    }
}

}  // namespace
}  // namespace oru::testing
