// SPDX-License-Identifier: GPL-3.0-or-later
#include "cli/PathPattern.h"

#include <cstdint>
#include <vector>

#include "cli/Utf8.h"

namespace oru::cli {

namespace {

// Code points; a byte that starts no valid UTF-8 sequence becomes a value above U+10FFFF of its
// own, so that it equals only itself.
std::vector<int32_t> codePoints(const std::string& text) {
    std::vector<int32_t> result;
    cli::forEachCharacter(text, [&](size_t start, size_t, int32_t c) {
        result.push_back(c < 0 ? 0x110000 + static_cast<uint8_t>(text[start]) : c);
    });
    return result;
}

// One character of the pattern read literally at p, "\" quoting the next: advances p past it.
int32_t literalAt(const std::vector<int32_t>& pattern, size_t& p) {
    if (pattern[p] == '\\' && p + 1 < pattern.size()) ++p;
    return pattern[p++];
}

// Whether the pattern element at p ("?", a bracket set, a quoted or plain character) matches c;
// p moves past the element.
bool elementMatches(const std::vector<int32_t>& pattern, size_t& p, int32_t c) {
    if (pattern[p] == '?') {
        ++p;
        return c != '/';
    }
    if (pattern[p] == '[') {
        size_t q = p + 1;
        const bool negate = q < pattern.size() && (pattern[q] == '!' || pattern[q] == '^');
        if (negate) ++q;
        bool matched = false;
        for (bool first = true; q < pattern.size() && (first || pattern[q] != ']'); first = false) {
            const int32_t low = literalAt(pattern, q);
            int32_t high = low;
            if (q + 1 < pattern.size() && pattern[q] == '-' && pattern[q + 1] != ']') {
                ++q;
                high = literalAt(pattern, q);
            }
            matched |= low <= c && c <= high;
        }
        if (q < pattern.size()) {
            p = q + 1;
            return c != '/' && matched != negate;
        }
        // No closing "]": the "[" is an ordinary character.
    }
    return literalAt(pattern, p) == c;
}

}  // namespace

std::string joinedNames(const std::string& path) {
    std::string joined;
    size_t start = 0;
    while (start <= path.size()) {
        size_t end = path.find('/', start);
        if (end == std::string::npos) end = path.size();
        if (end > start) joined += (joined.empty() ? "" : "/") + path.substr(start, end - start);
        start = end + 1;
    }
    return joined;
}

bool hasWildcards(const std::string& text) {
    for (size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '\\') {
            ++i;
        } else if (text[i] == '*' || text[i] == '?' || text[i] == '[') {
            return true;
        }
    }
    return false;
}

bool matchesPattern(const std::string& patternText, const std::string& pathText) {
    const std::vector<int32_t> pattern = codePoints(patternText), path = codePoints(pathText);
    // The last "*" seen and where in path its run would end: on a mismatch the run grows by one
    // character and matching resumes behind the "*". A "*" never reaches across "/", so the
    // stars of earlier names need no second try once a "/" was matched.
    size_t p = 0, s = 0, star = std::string::npos, starEnd = 0;
    while (s < path.size()) {
        if (p < pattern.size() && pattern[p] == '*') {
            while (p < pattern.size() && pattern[p] == '*') ++p;
            star = p;
            starEnd = s;
            continue;
        }
        size_t next = p;
        if (p < pattern.size() && elementMatches(pattern, next, path[s])) {
            p = next;
            ++s;
            continue;
        }
        if (star == std::string::npos || path[starEnd] == '/') return false;
        s = ++starEnd;
        p = star;
    }
    while (p < pattern.size() && pattern[p] == '*') ++p;
    return p == pattern.size();
}

}  // namespace oru::cli
