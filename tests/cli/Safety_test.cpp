// SPDX-License-Identifier: GPL-3.0-or-later
// `oru` destroys nothing unasked and stops when asked: new replaces only archives, add goes on
// past what it cannot read and says so, an archive inside the added folder is left out, and
// SIGINT or SIGTERM stop an add with the archive as it was before the file being added.

#include <gtest/gtest.h>

#include <signal.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <random>
#include <thread>

#include "archive/zipUtil.h"
#include "tests/cli/OruRunner.h"

namespace oru::testing {
namespace {

class OruSafety : public OruTest {
protected:
    // The lines of standard error, sorted but for the last: the walk meets items in the order
    // the file system lists them, and the summary comes at the end.
    static std::vector<std::string> reportLines(const std::string& err) {
        std::vector<std::string> all = lines(err);
        if (all.size() > 1) std::sort(all.begin(), all.end() - 1);
        return all;
    }
};

TEST_F(OruSafety, NewEmptiesAnArchiveButRefusesAnyOtherFile) {
    writeFile(path("notes.txt"), "my notes");
    ok({"new", "a.oru"});
    ok({"add", "a.oru", "notes.txt"});
    ok({"new", "a.oru"});
    EXPECT_EQ(ok({"list", "a.oru"}), "");
    const RunResult r = oru({"new", "notes.txt"});
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.err, "oru: notes.txt: 這個檔案不是壓縮檔，不能以新的壓縮檔取代它.\n");
    EXPECT_EQ(readFile(path("notes.txt")), "my notes");
}

// Run as the user nobody where the test runs as root, since root may read anything.
TEST_F(OruSafety, AddGoesOnPastWhatItCannotReadAndFailsAtTheEnd) {
    english();  // the front end's own texts
    writeFile(path("src/keep.txt"), "keep");
    writeFile(path("src/sub/in.txt"), "in");
    writeFile(path("src/secret.txt"), "secret");
    writeFile(path("src/closed/x.txt"), "x");
    stdfs::create_symlink("nowhere", path("src/dangling"));
    std::vector<std::string> runAs;
    if (::geteuid() == 0) {
        runAs = {"/usr/sbin/runuser", "-u", "nobody", "--"};
        if (::chown(dir_.c_str(), 65534, 65534) != 0 || oru({"--version"}, runAs).status != 0) {
            GTEST_SKIP() << "cannot run oru as the user nobody here";
        }
    }
    ::chmod(path("src/secret.txt").c_str(), 0);
    ::chmod(path("src/closed").c_str(), 0);
    const RunResult r = oru({"add", "a.oru", "src", "missing.txt"}, runAs);
    ::chmod(path("src/closed").c_str(), 0755);
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(reportLines(r.err), (std::vector<std::string>{
                                      "oru: missing.txt: not found (not added)",
                                      "oru: src/closed: permission denied (not added)",
                                      "oru: src/dangling: broken symbolic link (not added)",
                                      "oru: src/secret.txt: permission denied (not added)",
                                      "oru: 4 items could not be added.",
                                  }));
    std::vector<std::string> listed = lines(ok({"list", "a.oru"}));
    for (std::string& line : listed) line = line.substr(line.rfind('\t') + 1);
    std::sort(listed.begin(), listed.end());
    EXPECT_EQ(listed, (std::vector<std::string>{"src", "src/keep.txt", "src/sub", "src/sub/in.txt"}));
    ok({"test", "a.oru"});
}

TEST_F(OruSafety, ArchiveInsideTheAddedFolderIsLeftOut) {
    english();  // the front end's own texts
    writeFile(path("box/a.txt"), "a");
    ok({"new", "box/x.oru"});
    ok({"add", "box/x.oru", "box"});
    std::vector<std::string> listed = lines(ok({"list", "box/x.oru"}));
    for (std::string& line : listed) line = line.substr(line.rfind('\t') + 1);
    EXPECT_EQ(listed, (std::vector<std::string>{"box", "box/a.txt"}));
    // Named on its own, it is reported.
    const RunResult r = oru({"add", "box/x.oru", "box/x.oru"});
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.err, "oru: box/x.oru: the archive being added to (not added)\noru: 1 item could not be added.\n");
}

TEST_F(OruSafety, SignalsStopAnAddLeavingTheArchiveAsBefore) {
    english();  // the front end's own texts
    {
        // Incompressible, and big enough that the add is still at it when the signal comes.
        std::mt19937_64 random(7);
        std::string bytes(48u << 20, '\0');
        for (size_t i = 0; i + 8 <= bytes.size(); i += 8) {
            const uint64_t x = random();
            std::memcpy(bytes.data() + i, &x, 8);
        }
        writeFile(path("big.bin"), bytes);
    }
    writeFile(path("small.txt"), "small");
    ok({"new", "a.oru"});
    ok({"add", "a.oru", "small.txt"});
    const std::string before = readFile(path("a.oru"));
    const std::string recovery = TKiv::RecoveryPathFor(path("a.oru").string());
    const struct {
        int signal;
        int status;
        const char* err;
    } cases[] = {{SIGINT, 130, "oru: interrupted\n"}, {SIGTERM, 143, "oru: terminated\n"}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.signal);
        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        posix_spawn_file_actions_addopen(&actions, 2, path(".err").c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        posix_spawn_file_actions_addchdir_np(&actions, dir_.c_str());
        std::vector<std::string> args = {ORU_CLI_PATH, "add", "a.oru", "big.bin"};
        std::vector<char*> argv;
        for (auto& a : args) argv.push_back(a.data());
        argv.push_back(nullptr);
        pid_t pid = 0;
        ASSERT_EQ(posix_spawn(&pid, argv[0], &actions, nullptr, argv.data(), environ), 0);
        posix_spawn_file_actions_destroy(&actions);
        // The recovery file appears once the file's stored bytes start reaching the archive.
        int ws = 0;
        bool exited = false;
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(60);
        while (!stdfs::exists(recovery) && !exited && std::chrono::steady_clock::now() < deadline) {
            exited = waitpid(pid, &ws, WNOHANG) == pid;
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
        }
        ASSERT_FALSE(exited) << "the add ended before it could be stopped";
        ::kill(pid, c.signal);
        ASSERT_EQ(waitpid(pid, &ws, 0), pid);
        ASSERT_TRUE(WIFEXITED(ws)) << "ended by the signal instead of stopping";
        EXPECT_EQ(WEXITSTATUS(ws), c.status);
        EXPECT_EQ(readFile(path(".err")), c.err);
        EXPECT_EQ(readFile(path("a.oru")), before);
        EXPECT_FALSE(stdfs::exists(recovery));
    }
    ok({"test", "a.oru"});
}

}  // namespace
}  // namespace oru::testing
