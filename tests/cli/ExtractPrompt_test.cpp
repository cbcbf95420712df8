// SPDX-License-Identifier: GPL-3.0-or-later
// `oru extract` on a terminal: each file in the way is put to the user, as unzip asks, and every
// answer does what it says.

#include <gtest/gtest.h>

#include <poll.h>
#include <pty.h>
#include <sys/wait.h>
#include <unistd.h>

#include "tests/cli/OruRunner.h"

namespace oru::testing {
namespace {

// Runs oru with a terminal as its standard input, output and error, types input into it, and
// gives the exit status and everything the terminal showed.
RunResult onTerminal(const stdfs::path& dir, const std::vector<std::string>& args, const std::string& input) {
    RunResult r;
    int master = -1;
    const pid_t pid = forkpty(&master, nullptr, nullptr, nullptr);
    if (pid < 0) return r;
    if (pid == 0) {
        if (chdir(dir.c_str()) != 0) _exit(127);
        std::vector<std::string> all{ORU_CLI_PATH};
        all.insert(all.end(), args.begin(), args.end());
        std::vector<char*> argv;
        for (auto& a : all) argv.push_back(a.data());
        argv.push_back(nullptr);
        execv(ORU_CLI_PATH, argv.data());
        _exit(127);
    }
    // The terminal keeps typed lines until they are read, one line per read.
    if (!input.empty() && write(master, input.data(), input.size()) != static_cast<ssize_t>(input.size())) {
        ADD_FAILURE() << "cannot type into the terminal";
    }
    char buffer[4096];
    while (true) {
        pollfd p{master, POLLIN, 0};
        if (poll(&p, 1, 20000) <= 0) break;  // a question nobody answers: the test fails below
        const ssize_t n = read(master, buffer, sizeof buffer);
        if (n <= 0) break;  // EIO once the program has ended
        r.out.append(buffer, static_cast<size_t>(n));
    }
    kill(pid, SIGKILL);
    int ws = 0;
    waitpid(pid, &ws, 0);
    close(master);
    r.status = WIFEXITED(ws) ? WEXITSTATUS(ws) : -1;
    return r;
}

class ExtractPrompt : public OruTest {};

TEST_F(ExtractPrompt, EachAnswerDoesWhatItSays) {
    english();  // the front end's own texts
    for (const char* name : {"a.txt", "b.txt", "c.txt"}) writeFile(path(name), std::string("new ") + name[0]);
    ok({"add", "a.oru", "a.txt", "b.txt", "c.txt"});
    using Files = std::map<std::string, std::string>;
    const struct {
        const char* answers;
        int questions;
        int status;
        Files after;
    } cases[] = {
        {"y\nn\nr\n", 3, 0, {{"a.txt", "new a"}, {"b.txt", "old b"}, {"c.txt", "old c"}, {"c~1.txt", "new c"}}},
        {"A\n", 1, 0, {{"a.txt", "new a"}, {"b.txt", "new b"}, {"c.txt", "new c"}}},
        {"N\n", 1, 0, {{"a.txt", "old a"}, {"b.txt", "old b"}, {"c.txt", "old c"}}},
        {"n\nA\n", 2, 0, {{"a.txt", "old a"}, {"b.txt", "new b"}, {"c.txt", "new c"}}},
        {"maybe\nyes\nno\nrename\n", 4, 0, {{"a.txt", "new a"}, {"b.txt", "old b"}, {"c.txt", "old c"}, {"c~1.txt", "new c"}}},
        // The end of input (Ctrl+D) stops the extraction.
        {"y\n\x04", 2, 1, {{"a.txt", "new a"}, {"b.txt", "old b"}, {"c.txt", "old c"}}},
    };
    for (const auto& k : cases) {
        SCOPED_TRACE(::testing::PrintToString(std::string(k.answers)));
        stdfs::remove_all(path("out"));
        for (const char* name : {"a.txt", "b.txt", "c.txt"}) writeFile(path("out") / name, std::string("old ") + name[0]);
        const RunResult r = onTerminal(dir_, {"extract", "-q", "a.oru", "out"}, k.answers);
        EXPECT_EQ(r.status, k.status) << r.out;
        size_t asked = 0;
        for (size_t at = 0; (at = r.out.find("? [y]es, [n]o, [A]ll, [N]one, [r]ename: ", at)) != std::string::npos; ++at) ++asked;
        EXPECT_EQ(asked, static_cast<size_t>(k.questions)) << r.out;
        EXPECT_NE(r.out.find("replace out/a.txt? [y]es, [n]o, [A]ll, [N]one, [r]ename: "), std::string::npos) << r.out;
        Files after;
        for (const auto& e : stdfs::directory_iterator(path("out"))) after[e.path().filename()] = readFile(e.path());
        EXPECT_EQ(after, k.after);
    }
}

// In Traditional Chinese the question is Chinese; the answers stay the letters it shows.
TEST_F(ExtractPrompt, TheQuestionIsAskedInTheUsersLanguage) {
    for (const char* name : {"a.txt", "b.txt"}) writeFile(path(name), std::string("new ") + name[0]);
    ok({"add", "a.oru", "a.txt", "b.txt"});
    for (const char* name : {"a.txt", "b.txt"}) writeFile(path("out") / name, std::string("old ") + name[0]);
    const RunResult r = onTerminal(dir_, {"extract", "-q", "a.oru", "out"}, "x\ny\nn\n");
    EXPECT_EQ(r.status, 0) << r.out;
    EXPECT_NE(r.out.find("要取代 out/a.txt 嗎？[y]是，[n]否，[A]全部，[N]全不，[r]改名："), std::string::npos) << r.out;
    EXPECT_NE(r.out.find("錯誤：無效的回答 [x]"), std::string::npos) << r.out;
    EXPECT_EQ(readFile(path("out/a.txt")), "new a");
    EXPECT_EQ(readFile(path("out/b.txt")), "old b");
}

}  // namespace
}  // namespace oru::testing
