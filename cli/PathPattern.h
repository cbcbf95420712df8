// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Shell-style patterns over "/"-separated UTF-8 paths, as `oru` matches ENTRY arguments and -x
// exclusions. Works on characters (not bytes), whatever the process's locale.

#include <string>

namespace oru::cli {

// The names of a "/"-separated path joined by single "/", empty names ("a//b", a leading or
// trailing "/") dropped.
std::string joinedNames(const std::string& path);

// True when text holds a "*", "?" or "[" that no "\" quotes.
bool hasWildcards(const std::string& text);

// Whether path matches pattern as a whole: "*" any run of characters within one name, "?" one
// character, "[abc]", "[a-z]", "[!abc]" or "[^abc]" one character of (or not of) a set, "\" the
// next character as it is; none of them matches "/", which only a "/" matches. A leading "." is
// an ordinary character. A "[" without its "]" stands for itself. Bytes that are not UTF-8 match
// only themselves and "?".
bool matchesPattern(const std::string& pattern, const std::string& path);

}  // namespace oru::cli
