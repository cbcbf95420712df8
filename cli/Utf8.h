// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Walking UTF-8 text one character at a time, for the tool's pattern matching and the widths of
// its progress line.

#include <unicode/utf8.h>

#include <cstdint>
#include <string>

namespace oru::cli {

// Calls visit(start, length, c) for each character of text: its bytes text[start, start +
// length) and its code point c; a byte that starts no valid sequence comes alone with c < 0.
template <typename Visit>
void forEachCharacter(const std::string& text, Visit visit) {
    const auto* s = reinterpret_cast<const uint8_t*>(text.data());
    const int32_t length = static_cast<int32_t>(text.size());
    for (int32_t i = 0; i < length;) {
        const int32_t start = i;
        UChar32 c;
        U8_NEXT(s, i, length, c);
        if (c < 0) i = start + 1;
        visit(static_cast<size_t>(start), static_cast<size_t>(i - start), c);
    }
}

}  // namespace oru::cli
