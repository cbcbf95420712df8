// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Fixed-width little-endian coding, shared by every on-disk layout of the system: the archive
// header, the recovery file and the catalog packet.

#include <cstddef>
#include <cstdint>
#include <vector>

namespace oru::coding {

// Writes the low width bytes of v at at, least significant first.
inline void encodeFixed(uint8_t* at, uint64_t v, size_t width) {
    for (size_t i = 0; i < width; ++i) at[i] = static_cast<uint8_t>(v >> (8 * i));
}
// Reads width (at most 8) bytes at at, least significant first.
inline uint64_t decodeFixed(const uint8_t* at, size_t width) {
    uint64_t v = 0;
    for (size_t i = width; i-- > 0;) v = (v << 8) | at[i];
    return v;
}

inline void encodeFixed16(uint8_t* at, uint16_t v) { encodeFixed(at, v, 2); }
inline void encodeFixed32(uint8_t* at, uint32_t v) { encodeFixed(at, v, 4); }
inline void encodeFixed64(uint8_t* at, uint64_t v) { encodeFixed(at, v, 8); }
inline uint16_t decodeFixed16(const uint8_t* at) { return static_cast<uint16_t>(decodeFixed(at, 2)); }
inline uint32_t decodeFixed32(const uint8_t* at) { return static_cast<uint32_t>(decodeFixed(at, 4)); }
inline uint64_t decodeFixed64(const uint8_t* at) { return decodeFixed(at, 8); }

// Appends the width-byte little-endian form of v to out.
inline void appendFixed(std::vector<uint8_t>& out, uint64_t v, size_t width) {
    const size_t at = out.size();
    out.resize(at + width);
    encodeFixed(out.data() + at, v, width);
}
inline void appendFixed16(std::vector<uint8_t>& out, uint16_t v) { appendFixed(out, v, 2); }
inline void appendFixed32(std::vector<uint8_t>& out, uint32_t v) { appendFixed(out, v, 4); }
inline void appendFixed64(std::vector<uint8_t>& out, uint64_t v) { appendFixed(out, v, 8); }

}  // namespace oru::coding
