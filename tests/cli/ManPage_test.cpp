// SPDX-License-Identifier: GPL-3.0-or-later
// The manual page and the shell completion shipped with oru: they render and load cleanly, and
// they know every option the tool takes.

#include <gtest/gtest.h>

#include <cstdlib>
#include <regex>
#include <set>

#include "tests/cli/OruRunner.h"

namespace oru::testing {
namespace {

const std::string kManPage = std::string(ORU_SOURCE_DIR) + "/cli/oru.1";
const std::string kCompletion = std::string(ORU_SOURCE_DIR) + "/cli/oru.bash-completion";

// The long options `oru --help` lists.
std::set<std::string> helpOptions(const std::string& help) {
    std::set<std::string> options;
    static const std::regex option("--[a-z][a-z-]+");
    for (auto it = std::sregex_iterator(help.begin(), help.end(), option); it != std::sregex_iterator(); ++it) {
        options.insert(it->str());
    }
    return options;
}

class ManPageTest : public OruTest {
protected:
    // Runs a shell command in the test's folder; returns its exit status, output in out and err.
    int shell(const std::string& command, std::string& out, std::string& err) const {
        const std::string full = "cd '" + dir_.string() + "' && (" + command + ") >.sh-out 2>.sh-err";
        const int status = std::system(full.c_str());
        out = readFile(path(".sh-out"));
        err = readFile(path(".sh-err"));
        return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    }
};

TEST_F(ManPageTest, RendersWithoutWarningsAndNamesEveryOption) {
    std::string out, err;
    if (shell("command -v man", out, err) != 0) GTEST_SKIP() << "man is not installed";
    const int status = shell("MANWIDTH=80 LC_ALL=C.UTF-8 man --warnings -l '" + kManPage + "'", out, err);
    EXPECT_EQ(status, 0);
    EXPECT_EQ(err, "");
    EXPECT_NE(out.find("oru - create, list, extract and change .oru archives"), std::string::npos) << out;
    EXPECT_NE(out.find("WinOru " ORU_VERSION_TEXT), std::string::npos) << "the page names another version";
    // Every long option and command of --help is described.
    const std::string help = ok({"--help"});
    for (const std::string& option : helpOptions(help)) {
        EXPECT_NE(out.find(option), std::string::npos) << option << " missing in the manual page";
    }
    for (const char* command : {"new", "add", "list", "extract", "cat", "delete", "compact", "test", "info"}) {
        EXPECT_NE(out.find(std::string("\n       ") + command + " "), std::string::npos) << command;
    }
}

// The completion loads into bash and offers commands, options and entry paths from `oru list`.
TEST_F(ManPageTest, BashCompletionOffersCommandsOptionsAndEntries) {
    std::string out, err;
    if (shell("command -v bash", out, err) != 0) GTEST_SKIP() << "bash is not installed";
    writeFile(path("src/docs/a.txt"), "a");
    writeFile(path("src/b c.txt"), "b");
    ok({"add", "a.oru", "src"});
    // complete_words WORD...: the candidates bash would offer for the last word.
    const std::string driver =
        "source '" + kCompletion + "'; oru() { '" ORU_CLI_PATH "' \"$@\"; }; "
        "complete_words() { COMP_WORDS=(\"$@\"); COMP_CWORD=$(($# - 1)); COMP_LINE=\"$*\"; "
        "COMP_POINT=${#COMP_LINE}; COMPREPLY=(); _oru; printf '%s\\n' \"${COMPREPLY[@]}\" | sort; }; ";
    struct Case {
        std::string words;
        std::vector<std::string> offered;
    };
    const Case cases[] = {
        {"oru ex", {"extract"}},
        {"oru add --ex", {"--exclude="}},
        {"oru add --", {"--dereference", "--exclude=", "--help", "--null", "--plain", "--quiet", "--verbose", "--version"}},
        {"oru extract --", {"--help", "--null", "--overwrite", "--quiet", "--skip-existing", "--verbose", "--version"}},
        {"oru list --", {"--help", "--json", "--null", "--quiet", "--version"}},
        {"oru list a", {"a.oru"}},
        {"oru cat a.oru src/d", {"src/docs/"}},
        {"oru cat a.oru src/docs/", {"src/docs/a.txt"}},
        {"oru delete -v a.oru src/b", {"src/b\\ c.txt"}},
        {"oru extract a.oru out src/docs/a", {"src/docs/a.txt"}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.words);
        std::string words;
        size_t start = 0;
        for (size_t space; (space = c.words.find(' ', start)) != std::string::npos; start = space + 1) {
            words += " '" + c.words.substr(start, space - start) + "'";
        }
        words += " '" + c.words.substr(start) + "'";
        std::ofstream(path("driver.sh")) << driver << "complete_words" << words << "\n";
        EXPECT_EQ(shell("bash driver.sh", out, err), 0) << err;
        EXPECT_EQ(err, "");
        EXPECT_EQ(lines(out), c.offered);
    }
}

}  // namespace
}  // namespace oru::testing
