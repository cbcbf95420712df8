// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Runs the built `oru` binary as a subprocess with its output captured, and makes the temporary
// folders the end-to-end tests work in.

#include <gtest/gtest.h>

#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <utility>
#include <vector>

extern char** environ;

namespace oru::testing {

namespace stdfs = std::filesystem;

struct RunResult {
    int status = -1;  // exit status; -1 when the process did not exit normally
    std::string out;
    std::string err;
};

inline std::string readFile(const stdfs::path& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
}

inline void writeFile(const stdfs::path& path, const std::string& bytes) {
    stdfs::create_directories(path.parent_path());
    std::ofstream(path, std::ios::binary | std::ios::trunc).write(bytes.data(), bytes.size());
}

// A fresh folder for one test, removed afterwards; the oru process runs with it as its working
// directory, a UTF-8 locale, UTC and its texts in Traditional Chinese (the design's texts), whatever
// the machine has. english() switches the runs that follow to English.
class OruTest : public ::testing::Test {
protected:
    void SetUp() override {
        std::string tmpl = (stdfs::path(::testing::TempDir()) / "oru-cli-XXXXXX").string();
        ASSERT_NE(mkdtemp(tmpl.data()), nullptr);
        dir_ = tmpl;
        setenv("LANG", "C.UTF-8", 1);
        unsetenv("LC_ALL");
        unsetenv("LC_MESSAGES");
        setenv("LANGUAGE", "zh_TW", 1);
        setenv("TZ", "UTC", 1);
    }

    static void english() { setenv("LANGUAGE", "en", 1); }
    // Sets (or, for nullptr, unsets) the variables that choose the language of the runs that follow.
    static void setLanguageVariables(const char* languageVar, const char* lcAll, const char* lang) {
        for (const auto& [name, value] : {std::pair{"LANGUAGE", languageVar}, std::pair{"LC_ALL", lcAll},
                                          std::pair{"LANG", lang}}) {
            if (value) {
                setenv(name, value, 1);
            } else {
                unsetenv(name);
            }
        }
    }
    void TearDown() override {
        std::error_code ec;
        stdfs::remove_all(dir_, ec);
    }

    stdfs::path path(const std::string& relative) const { return dir_ / relative; }

    // runAs: a command line that runs the one behind it (runuser -u nobody --), empty for none.
    RunResult oru(const std::vector<std::string>& args, const std::vector<std::string>& runAs = {}) const {
        const stdfs::path outFile = dir_ / ".out", errFile = dir_ / ".err";
        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
        posix_spawn_file_actions_addopen(&actions, 1, outFile.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        posix_spawn_file_actions_addopen(&actions, 2, errFile.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        // The child starts in the test's folder, so relative paths in args are below it.
        posix_spawn_file_actions_addchdir_np(&actions, dir_.c_str());
        std::vector<std::string> all = runAs;
        all.push_back(ORU_CLI_PATH);
        all.insert(all.end(), args.begin(), args.end());
        std::vector<char*> argv;
        for (auto& a : all) argv.push_back(a.data());
        argv.push_back(nullptr);
        pid_t pid = 0;
        const int rc = posix_spawn(&pid, all.front().c_str(), &actions, nullptr, argv.data(), environ);
        posix_spawn_file_actions_destroy(&actions);
        RunResult r;
        if (rc != 0) return r;
        int ws = 0;
        waitpid(pid, &ws, 0);
        r.status = WIFEXITED(ws) ? WEXITSTATUS(ws) : -1;
        r.out = readFile(outFile);
        r.err = readFile(errFile);
        return r;
    }

    // Runs oru and expects success with nothing on standard error; returns standard output.
    std::string ok(const std::vector<std::string>& args) const {
        const RunResult r = oru(args);
        EXPECT_EQ(r.status, 0) << "oru failed: " << r.err;
        EXPECT_EQ(r.err, "");
        return r.out;
    }

    stdfs::path dir_;
};

// Deterministic bytes: text, runs and noise mixed, so that files compress unevenly.
inline std::string sampleBytes(size_t n, uint32_t seed) {
    std::string s;
    s.reserve(n);
    uint32_t x = seed * 2654435761u + 1;
    while (s.size() < n) {
        x = x * 1664525u + 1013904223u;
        switch ((x >> 28) % 3) {
            case 0: s += "the quick brown fox jumps over the lazy dog\n"; break;
            case 1: s.append(1 + (x >> 8) % 64, static_cast<char>(x >> 16)); break;
            default:
                for (int i = 0; i < 32; ++i) {
                    x = x * 1664525u + 1013904223u;
                    s += static_cast<char>(x >> 24);
                }
        }
    }
    s.resize(n);
    return s;
}

// Every line of text split at "\n" (no empty last line).
inline std::vector<std::string> lines(const std::string& text) {
    std::vector<std::string> result;
    size_t start = 0;
    while (start < text.size()) {
        size_t end = text.find('\n', start);
        if (end == std::string::npos) end = text.size();
        result.push_back(text.substr(start, end - start));
        start = end + 1;
    }
    return result;
}

}  // namespace oru::testing
