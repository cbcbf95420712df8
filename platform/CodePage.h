// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Conversion between the file system's UTF-8 and the catalog's code page 950 (Big5 as Windows
// has it), through ICU's "windows-950" converter.

#include <string>
#include <string_view>

namespace oru::cp950 {

// UTF-8 to CP950. A character without a CP950 form fails with an Error naming the text:
// "%s: 名稱含有無法以 Big5 表示的字元" (what, in the program's language).
std::string fromUtf8(std::string_view utf8);
// CP950 to UTF-8. Bytes without a mapping become U+FFFD; never fails.
std::string toUtf8(std::string_view cp950);
// CP950 to UTF-16 (for collation and the window).
std::u16string toUtf16(std::string_view cp950);
// True when b starts a double-byte character in CP950 (0x81..0xFE).
inline bool isLeadByte(unsigned char b) { return b >= 0x81 && b <= 0xFE; }

}  // namespace oru::cp950
