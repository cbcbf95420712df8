// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The row store shared by every cursor of one catalog table: columns, slots (row versions) with
// status bytes and field states, the change log, and the properties a loaded packet carried that
// this system does not interpret. The datapacket writer and reader hand exactly this across.

#include <cstdint>
#include <cstring>
#include <initializer_list>
#include <iosfwd>
#include <string>
#include <string_view>
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

// The bytes of one field value, in 15 bytes: up to kInline bytes stand inside the object, a
// longer value in one heap block it owns. Copying copies the bytes. Reads like a string.
class FieldBytes {
public:
    static constexpr size_t kInline = 14;

    FieldBytes() = default;
    FieldBytes(std::string_view s) { assign(s); }
    FieldBytes(const std::string& s) { assign(s); }
    FieldBytes(const char* s) { assign(s); }
    FieldBytes(const FieldBytes& o) { assign(o.view()); }
    FieldBytes(FieldBytes&& o) noexcept : len_(o.len_) {
        std::memcpy(b_, o.b_, sizeof b_);
        o.len_ = 0;
    }
    FieldBytes& operator=(const FieldBytes& o) {
        if (this != &o) assign(o.view());
        return *this;
    }
    FieldBytes& operator=(FieldBytes&& o) noexcept {
        if (this != &o) {
            release();
            len_ = o.len_;
            std::memcpy(b_, o.b_, sizeof b_);
            o.len_ = 0;
        }
        return *this;
    }
    FieldBytes& operator=(std::string_view s) { return assign(s); }
    FieldBytes& operator=(const std::string& s) { return assign(s); }
    FieldBytes& operator=(const char* s) { return assign(s); }
    ~FieldBytes() { release(); }

    // Replaces the bytes; s may point into this object's own bytes.
    FieldBytes& assign(std::string_view s);

    size_t size() const { return onHeap() ? heapSize() : len_; }
    bool empty() const { return size() == 0; }
    const char* data() const { return onHeap() ? heapData() : reinterpret_cast<const char*>(b_); }
    char* data() { return onHeap() ? heapData() : reinterpret_cast<char*>(b_); }
    std::string_view view() const { return {data(), size()}; }
    operator std::string_view() const { return view(); }
    std::string str() const { return std::string(view()); }
    int compare(const FieldBytes& o) const { return view().compare(o.view()); }

    friend bool operator==(const FieldBytes& a, const FieldBytes& b) { return a.view() == b.view(); }
    friend bool operator==(const FieldBytes& a, std::string_view b) { return a.view() == b; }
    friend bool operator==(const FieldBytes& a, const std::string& b) { return a.view() == b; }
    friend bool operator==(const FieldBytes& a, const char* b) { return a.view() == b; }
    friend std::ostream& operator<<(std::ostream& out, const FieldBytes& b);

private:
    static constexpr uint8_t kHeap = 0xFF;  // len_ of a value held on the heap
    bool onHeap() const { return len_ == kHeap; }
    // On the heap, b_ holds the size (4 bytes) and then the block's address.
    uint32_t heapSize() const {
        uint32_t n;
        std::memcpy(&n, b_, sizeof n);
        return n;
    }
    char* heapData() const {
        char* p;
        std::memcpy(&p, b_ + 4, sizeof p);
        return p;
    }
    void release() {
        if (onHeap()) delete[] heapData();
        len_ = 0;
    }

    uint8_t len_ = 0;               // inline length, or kHeap
    unsigned char b_[kInline] = {};
};

// One field of one row version. raw holds the value's bytes in the packet's encoding without
// a length prefix: texts their bytes (0..width, the empty text is a value with raw empty), Int32
// 4 bytes, Int64 8 bytes, DateTime the 8 bytes of the double, Other the value bytes as read.
struct Field {
    FieldState state = FieldState::Unassigned;
    FieldBytes raw;
};
static_assert(sizeof(Field) == 16, "a field takes 16 bytes: rows of 100,000 entries stay compact");

// The fields of one row version. Up to kInline fields (the archive schema has eight) stand
// inside the row itself, so that the rows of a table lie in one block without an allocation per
// row; a wider row keeps its fields on the heap. Used like a vector of fields.
class FieldRow {
public:
    static constexpr size_t kInline = 8;

    FieldRow() = default;
    FieldRow(std::initializer_list<Field> fields) { assign(fields.begin(), fields.end()); }
    FieldRow(const std::vector<Field>& fields) { assign(fields.data(), fields.data() + fields.size()); }
    FieldRow(std::vector<Field>&& fields);
    FieldRow(const FieldRow& o) { assign(o.begin(), o.end()); }
    FieldRow(FieldRow&& o) noexcept { take(std::move(o)); }
    FieldRow& operator=(const FieldRow& o) {
        if (this != &o) assign(o.begin(), o.end());
        return *this;
    }
    FieldRow& operator=(FieldRow&& o) noexcept {
        if (this != &o) take(std::move(o));
        return *this;
    }

    size_t size() const { return size_; }
    bool empty() const { return size_ == 0; }
    Field* data() { return size_ <= kInline ? inline_ : heap_.data(); }
    const Field* data() const { return size_ <= kInline ? inline_ : heap_.data(); }
    Field* begin() { return data(); }
    Field* end() { return data() + size_; }
    const Field* begin() const { return data(); }
    const Field* end() const { return data() + size_; }
    Field& operator[](size_t i) { return data()[i]; }
    const Field& operator[](size_t i) const { return data()[i]; }
    Field& back() { return data()[size_ - 1]; }

    // New fields are copies of value; fields cut off are dropped.
    void resize(size_t n, const Field& value = Field{});
    void pop_back() { resize(size_ - 1); }
    void push_back(Field f);

private:
    void assign(const Field* first, const Field* last);
    void take(FieldRow&& o) noexcept;

    uint32_t size_ = 0;
    Field inline_[kInline];    // the fields while size_ <= kInline
    std::vector<Field> heap_;  // the fields while size_ > kInline
};

struct Slot {
    uint8_t status = 0;
    uint64_t order = 0;        // place in the default order: current rows sorted by this key
    FieldRow fields;           // one per column
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
    // The extension columns that follow the eight: TrueName, NameBytes, LinkTarget (texts with a
    // 2-byte length prefix), Mode (i4), ModifiedNs (i8).
    static std::vector<Column> extensionColumns();
    // Slot numbers of the current rows in the default order.
    std::vector<uint32_t> defaultOrder() const;
    bool isCurrent(uint32_t slotNumber) const {
        return (slots[slotNumber - 1].status & status::kNotCurrent) == 0;
    }
};

}  // namespace oru
