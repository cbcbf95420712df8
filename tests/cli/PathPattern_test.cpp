// SPDX-License-Identifier: GPL-3.0-or-later
#include "cli/PathPattern.h"

#include <gtest/gtest.h>

namespace oru::cli {
namespace {

TEST(PathPatternTest, MatchesAsTheShellMatchesPaths) {
    struct Case {
        const char* pattern;
        const char* path;
        bool matches;
    };
    const Case cases[] = {
        {"src/*.c", "src/main.c", true},
        {"src/*.c", "src/lib/util.c", false},   // "*" stays within one name
        {"*/README", "docs/README", true},
        {"*/README", "README", false},
        {"*/README", "a/b/README", false},
        {"*", "a/b", false},
        {"*", ".hidden", true},                 // a leading "." is an ordinary character
        {"a*b*c", "aXbYbZc", true},             // backtracking over a repeated letter
        {"a*b*c", "aXbYbZ", false},
        {"**", "", true},
        {"", "", true},
        {"", "a", false},
        {"?", "中", true},                      // one character, not one byte
        {"??", "中", false},
        {"*.txt", "中文.txt", true},
        {"[a-c]?", "b1", true},
        {"[a-c]?", "d1", false},
        {"[!a-c]?", "d1", true},
        {"[^a-c]?", "b1", false},
        {"[]x]", "]", true},                    // "]" first in a set is a member
        {"[中文]", "文", true},
        {"[a/b]", "/", false},                  // no set matches "/"
        {"a?b", "a/b", false},
        {"[abc", "[abc", true},                 // no closing "]": literal
        {"\\*", "*", true},                     // quoted characters match only themselves
        {"\\*", "x", false},
        {"file\\[1\\].txt", "file[1].txt", true},
        {"[\\]]", "]", true},
        {"a*", "a\xff", true},                  // bytes that are not UTF-8
        {"a?", "a\xff", true},
        {"a\xfe", "a\xff", false},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(matchesPattern(c.pattern, c.path), c.matches) << c.pattern << " against " << c.path;
    }
}

TEST(PathPatternTest, WildcardsAreFoundUnlessQuoted) {
    EXPECT_TRUE(hasWildcards("src/*.c"));
    EXPECT_TRUE(hasWildcards("a?"));
    EXPECT_TRUE(hasWildcards("[ab]"));
    EXPECT_FALSE(hasWildcards("docs/a.txt"));
    EXPECT_FALSE(hasWildcards("\\*\\?\\["));
}

}  // namespace
}  // namespace oru::cli
