#pragma once
// The row store shared by every cursor of one catalog table: columns, slots (row versions) with
// status bytes and field states, the change log, and the properties a loaded packet carried that
// this system does not interpret. The datapacket writer and reader hand exactly this across.

#include <cstdint>
#include <string>
#include <vector>

namespace oru {

// Slot status bits.
namespace status {
inline constexpr uint8_t kSuperseded = 0x01;
inline constexpr uint8_t kDeleted = 0x02;
inline constexpr uint8_t kInserted = 0x04;
inline constexpr uint8_t kModified = 0x08;
inline constexpr uint8_t kFreed = 0x20;
// A slot holds a current row when none of these bits is set.
inline constexpr uint8_t kNotCurrent = kSuperseded | kDeleted | kFreed;
}  // namespace status

// Change-log entry kinds.
namespace logkind {
inline constexpr uint32_t kDelete = 2;
inline constexpr uint32_t kInsert = 4;
inline constexpr uint32_t kModify = 8;
}  // namespace logkind

enum class FieldKind : uint8_t {
    Text,      // class 9 string, 8-bit, varying with a 1- or 2-byte length prefix
    Int32,     // class 1 width 4
    Int64,     // class 1 width 8
    DateTime,  // class 8 width 8: double, milliseconds since 0001-01-01 (day 1)
    Other,     // any other kind a foreign packet declares: value kept as raw bytes
};

enum class FieldState : uint8_t { Unassigned, Null, Value };

// A property as it stands in a packet: name, type code and the value's bytes exactly as encoded
// (length prefix or element count included), so that it can be written again unchanged.
struct Property {
    std::string name;
    uint32_t typeCode = 0;
    std::string value;
};

struct Column {
    std::string name;          // at most 31 bytes kept from a packet
    uint32_t typeCode = 0;
    FieldKind kind = FieldKind::Other;
    uint16_t attributes = 0;
    uint16_t width = 0;        // declared width (WIDTH); for texts the capacity in bytes
    uint16_t decimals = 0;     // DECIMALS
    bool hasSubtype = false;
    std::string subtype;       // SUBTYPE value bytes, as read
    bool calculated = false;   // CALCULATED
    std::vector<Property> extraProperties;  // uninterpreted column properties, in packet order
};

// One field of one row version. raw holds the value's bytes in the packet's encoding without
// a length prefix: texts their bytes (0..width, the empty text is a value with raw empty), Int32
// 4 bytes, Int64 8 bytes, DateTime the 8 bytes of the double, Other the value bytes as read.
struct Field {
    FieldState state = FieldState::Unassigned;
    std::string raw;
};

struct Slot {
    uint8_t status = 0;
    uint64_t order = 0;        // place in the default order: current rows sorted by this key
    std::vector<Field> fields; // one per column
};

struct LogEntry {
    uint32_t slot = 0;         // the version made (insert, modify) or deleted (delete)
    uint32_t other = 0;        // for modify: the version superseded; else 0
    uint32_t kind = 0;         // logkind
    bool operator==(const LogEntry&) const = default;
};

struct TableData {
    std::vector<Column> columns;
    std::vector<Slot> slots;   // slots[0] is slot 1; size() is the slot count
    std::vector<LogEntry> log; // oldest first
    std::vector<Property> extraTableProperties;  // uninterpreted table properties, in order read
    uint64_t nextOrder = 1;    // order key for the next appended row

    // The archive schema: FileName, ParentName (text 40), FileType (i4), Offset, OriginalSize,
    // StoredSize (i8), FileDate, CheckinDate (dateTime).
    static std::vector<Column> archiveSchema();
    // Slot numbers of the current rows in the default order.
    std::vector<uint32_t> defaultOrder() const;
    bool isCurrent(uint32_t slotNumber) const {
        return (slots[slotNumber - 1].status & status::kNotCurrent) == 0;
    }
};

}  // namespace oru
