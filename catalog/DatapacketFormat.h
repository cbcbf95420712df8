// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Constants of the catalog datapacket, shared by its writer and reader (catalog/Datapacket.cpp).
// The byte layout they describe is in catalog/FORMAT.md.

#include <cstddef>
#include <cstdint>

namespace oru::datapacket::format {

// --- Packet header: 24 bytes at offset 0 -------------------------------------------------------
inline constexpr uint32_t kSignature = 0xBDE01996;       // bytes 96 19 E0 BD
inline constexpr uint32_t kOldSignature = 0x0000ABCD;    // admitted on read, never written
inline constexpr uint16_t kMaxVersion = 3;               // both version fields must be at most this
inline constexpr uint16_t kVersion = 1;                  // written when every column class is <= 11
inline constexpr uint16_t kVersionExtendedClasses = 2;   // written when some column class is > 11
inline constexpr uint16_t kMinorVersion = 0;

inline constexpr size_t kHeaderSize = 24;
inline constexpr size_t kOffSignature = 0;         // u32
inline constexpr size_t kOffVersion = 4;           // u16
inline constexpr size_t kOffMinorVersion = 6;      // u16
inline constexpr size_t kOffMetadataOffset = 8;    // u32: where the first column descriptor starts
inline constexpr size_t kOffColumnCount = 12;      // u16
inline constexpr size_t kOffRowCount = 14;         // u32
inline constexpr size_t kOffFlags = 18;            // u32
inline constexpr size_t kOffRowDataOffset = 22;    // u16: valid only with kFlagRowDataOffset

inline constexpr uint32_t kFlagMetadata = 0x1;       // column descriptors and table properties follow
inline constexpr uint32_t kFlagRowDataOffset = 0x2;  // the row data offset field is valid
inline constexpr size_t kMaxRowDataOffset = 0xFFFF;

// --- Type codes (columns and properties) --------------------------------------------------------
inline constexpr uint32_t kWidthMask = 0x0000FFFF;   // value width, or length-prefix width if varying
inline constexpr int kClassShift = 16;
inline constexpr uint32_t kClassMask = 0x3F;         // six bits at kClassShift
inline constexpr uint32_t kVarying = 0x00400000;     // length prefix, then that many bytes
inline constexpr uint32_t kArray = 0x00800000;       // u32 element count, then the elements
inline constexpr uint32_t kCompositeMask = 0x07000000;
inline constexpr uint32_t kReservedMask = 0xF8000000;

constexpr uint32_t typeWidth(uint32_t code) { return code & kWidthMask; }
constexpr uint32_t typeClass(uint32_t code) { return (code >> kClassShift) & kClassMask; }

namespace cls {
inline constexpr uint32_t kSigned = 1;
inline constexpr uint32_t kUnsigned = 2;
inline constexpr uint32_t kBoolean = 3;
inline constexpr uint32_t kFloat = 4;
inline constexpr uint32_t kFixed = 5;
inline constexpr uint32_t kDate = 6;
inline constexpr uint32_t kTime = 7;
inline constexpr uint32_t kDateTime = 8;
inline constexpr uint32_t kString = 9;
inline constexpr uint32_t kWideString = 10;
inline constexpr uint32_t kBytes = 11;
inline constexpr uint32_t kFirstComposite = 12;      // 12 structure .. 15 reference: not supported
inline constexpr uint32_t kLastComposite = 15;
inline constexpr uint32_t kBytesAlt = 16;
inline constexpr uint32_t kSqlDateTime = 17;
inline constexpr uint32_t kFixedFmt = 18;
inline constexpr uint32_t kLastPlain = 11;           // a class above this makes the version 2
inline constexpr uint32_t kLast = 18;
}  // namespace cls

// Type codes this system writes.
inline constexpr uint32_t kTypeI4 = 0x00010004;
inline constexpr uint32_t kTypeI8 = 0x00010008;
inline constexpr uint32_t kTypeDateTime = 0x00080008;
inline constexpr uint32_t kTypeString1 = 0x00490001;    // 8-bit text, 1-byte length prefix
inline constexpr uint32_t kTypeUi2 = 0x00020002;        // WIDTH, DECIMALS, CALCULATED
inline constexpr uint32_t kTypeSubtype = 0x00490002;    // text with a 2-byte length prefix
inline constexpr uint32_t kTypeChangeLog = 0x00820004;  // array of u32

// Widest value a column may need in a row (storage width); wider columns are refused.
inline constexpr uint32_t kMaxColumnStorage = 65531;
// The reader keeps at most this many bytes of a column name.
inline constexpr size_t kMaxColumnName = 31;

// --- Property names ------------------------------------------------------------------------------
inline constexpr const char* kPropWidth = "WIDTH";
inline constexpr const char* kPropDecimals = "DECIMALS";
inline constexpr const char* kPropSubtype = "SUBTYPE";
inline constexpr const char* kPropCalculated = "CALCULATED";
inline constexpr const char* kPropChangeLog = "CHANGE_LOG";

// --- Rows -----------------------------------------------------------------------------------------
// Every row: status byte, blank flags (two bits per column), then the values of the columns whose
// two bits are clear. Column j uses the bits at 2*(j%4) of blank-flag byte j/4.
inline constexpr uint8_t kBlankNull = 0x1;
inline constexpr uint8_t kBlankUnassigned = 0x2;
constexpr size_t blankFlagBytes(size_t columns) { return (columns + 3) / 4; }
constexpr unsigned blankShift(size_t column) { return 2 * (column % 4); }

// A change-log entry is three u32 array elements: slot, other slot, kind (its low byte).
inline constexpr uint32_t kLogElementsPerEntry = 3;
inline constexpr size_t kLogEntrySize = 12;

// --- Status codes of the reader's and writer's refusals --------------------------------------------
namespace refusal {
inline constexpr int kNoColumns = 0x4005;      // a packet without columns; writing a table without
inline constexpr int kNoMetadata = 0x4003;     // flag bit 0 clear
inline constexpr int kBadValue = 0x2702;       // text column of width 0, bad SUBTYPE or CHANGE_LOG
inline constexpr int kBadType = 0x2710;        // array or unsupported column, array+varying property
inline constexpr int kNoMemory = 0x2501;
}  // namespace refusal

// --- The catalog's fixed metadata -----------------------------------------------------------------
// The eight column descriptors of the archive schema take this many bytes, from offset 24; the
// table property count follows, so a catalog packet without a change log has its rows at 195.
inline constexpr size_t kCatalogDescriptorsSize = 169;
inline constexpr size_t kCatalogRowDataOffset = kHeaderSize + kCatalogDescriptorsSize + 2;

}  // namespace oru::datapacket::format
