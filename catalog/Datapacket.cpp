// SPDX-License-Identifier: GPL-3.0-or-later
// The catalog datapacket writer and reader. Both walk the same layout (catalog/FORMAT.md) with
// the constants of DatapacketFormat.h; the reader checks every count against the bytes it has
// before it reads or allocates by it.
#include "catalog/Datapacket.h"

#include <bit>
#include <cassert>
#include <cstring>
#include <new>
#include <stdexcept>
#include <string_view>

#include "catalog/DatapacketFormat.h"
#include "platform/Coding.h"
#include "platform/Error.h"

namespace oru::datapacket {

namespace {

using namespace format;

[[noreturn]] void refuse(int statusCode) { throw Error(ErrorKind::CatalogStatus, {.status = statusCode}); }
[[noreturn]] void damaged(const char* what) { throw Error(ErrorKind::DamagedCatalog, {.detail = what}); }
[[noreturn]] void unwritable(const char* what) { throw Error(ErrorKind::CatalogTooLarge, {.detail = what}); }

constexpr const char* kEndsEarly = "the datapacket ends early";

// How a column's values are stored in a row: fixed-width, or a length prefix and that many bytes.
struct ValueLayout {
    FieldKind kind = FieldKind::Other;
    bool varying = false;
    uint32_t width = 0;  // fixed: value bytes; varying: prefix bytes (1, 2 or 4)
};

constexpr bool validPrefixWidth(uint32_t w) { return w == 1 || w == 2 || w == 4; }

// Texts, byte strings and packed decimals declare their width in a WIDTH property; the width of
// every other kind is in its type code.
constexpr bool declaresWidth(uint32_t code) {
    switch (typeClass(code)) {
        case cls::kFixed: case cls::kString: case cls::kWideString: case cls::kBytes:
        case cls::kBytesAlt: case cls::kFixedFmt:
            return true;
        default:
            return false;
    }
}

constexpr uint64_t prefixMax(uint32_t prefixWidth) {
    return prefixWidth >= 4 ? 0xFFFFFFFFull : (uint64_t{1} << (8 * prefixWidth)) - 1;
}

// Checks a column's type code and declared width, and gives its kind and value layout. Refuses
// what a row of this table cannot hold: arrays, composites, unknown classes, zero or huge widths.
ValueLayout columnLayout(const Column& c) {
    const uint32_t code = c.typeCode;
    const uint32_t klass = typeClass(code);
    // A column may not be an array; composite markers and unknown bits describe nested data
    // that the catalog has no place for.
    if ((code & kArray) != 0 || (code & (kCompositeMask | kReservedMask)) != 0) refuse(refusal::kBadType);
    if (klass == 0 || klass > cls::kLast ||
        (klass >= cls::kFirstComposite && klass <= cls::kLastComposite)) {
        refuse(refusal::kBadType);
    }
    ValueLayout layout{FieldKind::Other, (code & kVarying) != 0, typeWidth(code)};
    if (layout.varying) {
        if (!validPrefixWidth(layout.width)) refuse(refusal::kBadType);
    } else if (layout.width == 0 || layout.width > kMaxColumnStorage) {
        refuse(refusal::kBadType);
    }
    if (klass == cls::kString) {
        // A text column needs its capacity; with its terminator it must fit a row's storage.
        if (c.width == 0) refuse(refusal::kBadValue);
        if (uint32_t{c.width} + 1 > kMaxColumnStorage) refuse(refusal::kBadType);
    }
    if (klass == cls::kString && layout.varying) {
        layout.kind = FieldKind::Text;
    } else if (klass == cls::kSigned && !layout.varying && layout.width == 4) {
        layout.kind = FieldKind::Int32;
    } else if (klass == cls::kSigned && !layout.varying && layout.width == 8) {
        layout.kind = FieldKind::Int64;
    } else if (klass == cls::kDateTime && !layout.varying && layout.width == 8) {
        layout.kind = FieldKind::DateTime;
    }
    return layout;
}

// Null when every log entry names slots in 1..slotCount (the other slot may be 0, except for a
// modification, which always names the version it replaced) and has a known kind; else the fault.
const char* logFault(const std::vector<LogEntry>& log, uint64_t slotCount) {
    for (const LogEntry& e : log) {
        if (e.kind != logkind::kInsert && e.kind != logkind::kModify && e.kind != logkind::kDelete) {
            return "the change log holds an entry of an unknown kind";
        }
        const bool otherOk = e.other == 0 ? e.kind != logkind::kModify : e.other <= slotCount;
        if (e.slot == 0 || e.slot > slotCount || !otherOk) {
            return "the change log names a row that the catalog does not hold";
        }
    }
    return nullptr;
}

enum class Fit { Ok, Short, BadType };

// The size of a property value of type code `code` encoded at p[0..n): a fixed-width value takes
// its width, a varying one its length prefix and that many bytes, an array a u32 element count
// and the elements. Short when the value does not fit in n bytes.
Fit valueSize(uint32_t code, const uint8_t* p, size_t n, uint64_t& size) {
    const uint32_t width = typeWidth(code);
    if ((code & kArray) != 0) {
        // An array holds fixed-width elements; an array of varying values has no encoding.
        if ((code & kVarying) != 0) return Fit::BadType;
        if (n < 4) return Fit::Short;
        const uint32_t count = coding::decodeFixed32(p);
        size = 4 + uint64_t{count} * width;
    } else if ((code & kVarying) != 0) {
        if (!validPrefixWidth(width)) return Fit::BadType;
        if (n < width) return Fit::Short;
        size = width + coding::decodeFixed(p, width);
    } else {
        size = width;
    }
    return size <= n ? Fit::Ok : Fit::Short;
}

// ------------------------------------------------------------------------------------------------
// Writer

class Out {
public:
    explicit Out(size_t reserve) { buf_.reserve(reserve); }

    void u8(uint8_t v) { buf_.push_back(v); }
    void u16(uint16_t v) { coding::appendFixed16(buf_, v); }
    void u32(uint32_t v) { coding::appendFixed32(buf_, v); }
    void bytes(std::string_view s) { put(s.data(), s.size()); }
    void name(std::string_view s) {
        if (s.size() > 0xFF) unwritable("a name is longer than 255 bytes");
        u8(static_cast<uint8_t>(s.size()));
        bytes(s);
    }
    void prefix(uint32_t width, uint64_t n) {
        coding::appendFixed(buf_, n, width);
    }
    // A property; value holds its encoded bytes, which must be exactly one value of typeCode.
    void property(std::string_view name, uint32_t typeCode, std::string_view value) {
        uint64_t size = 0;
        const auto* p = reinterpret_cast<const uint8_t*>(value.data());
        if (valueSize(typeCode, p, value.size(), size) != Fit::Ok || size != value.size()) {
            unwritable("a property value does not match its type");
        }
        this->name(name);
        u32(typeCode);
        bytes(value);
    }

    size_t size() const { return buf_.size(); }
    void patch16(size_t at, uint16_t v) { coding::encodeFixed16(buf_.data() + at, v); }
    void patch32(size_t at, uint32_t v) { coding::encodeFixed32(buf_.data() + at, v); }
    void reserveMore(size_t n) { buf_.reserve(buf_.size() + n); }
    std::vector<uint8_t> take() { return std::move(buf_); }

private:
    void put(const void* p, size_t n) {
        const auto* b = static_cast<const uint8_t*>(p);
        buf_.insert(buf_.end(), b, b + n);
    }
    std::vector<uint8_t> buf_;
};

static_assert(std::endian::native == std::endian::little,
              "the packet is little-endian and is written with the host's byte order");

std::string u16Value(uint16_t v) { return std::string(reinterpret_cast<const char*>(&v), 2); }

void writeColumn(Out& out, const Column& c) {
    out.name(c.name);
    out.u32(c.typeCode);
    out.u16(c.attributes);
    const size_t countAt = out.size();
    out.u16(0);
    uint32_t count = 0;
    if (c.hasSubtype) {
        if (c.subtype.size() > 0xFFFF) unwritable("a column subtype is too long");
        out.name(kPropSubtype);
        out.u32(kTypeSubtype);
        out.prefix(2, c.subtype.size());
        out.bytes(c.subtype);
        ++count;
    }
    if (c.decimals != 0) {
        out.property(kPropDecimals, kTypeUi2, u16Value(c.decimals));
        ++count;
    }
    if (c.width != 0 && declaresWidth(c.typeCode)) {
        out.property(kPropWidth, kTypeUi2, u16Value(c.width));
        ++count;
    }
    if (c.calculated) {
        out.property(kPropCalculated, kTypeUi2, u16Value(1));
        ++count;
    }
    for (const Property& p : c.extraProperties) {
        out.property(p.name, p.typeCode, p.value);
        ++count;
    }
    if (count > 0xFFFF) unwritable("a column has too many properties");
    out.patch16(countAt, static_cast<uint16_t>(count));
}

void writeChangeLog(Out& out, const std::vector<LogEntry>& log) {
    const uint64_t elements = uint64_t{kLogElementsPerEntry} * log.size();
    if (elements > 0xFFFFFFFFu) unwritable("the change log is too long");
    out.name(kPropChangeLog);
    out.u32(kTypeChangeLog);
    out.u32(static_cast<uint32_t>(elements));
    out.reserveMore(kLogEntrySize * log.size());
    for (const LogEntry& e : log) {
        out.u32(e.slot);
        out.u32(e.other);
        out.u32(e.kind);
    }
}

// The slots a packet lists: every slot while the log has entries (so that its slot numbers stay
// valid), else the current rows in the default order; when there is none, every slot that is not
// freed.
std::vector<uint32_t> chooseRows(const TableData& data) {
    std::vector<uint32_t> rows;
    const auto freed = [&](uint32_t s) { return (data.slots[s - 1].status & status::kFreed) != 0; };
    if (data.log.empty()) {
        for (uint32_t s : data.defaultOrder()) {
            if (!freed(s)) rows.push_back(s);
        }
        if (!rows.empty()) return rows;
        for (uint32_t s = 1; s <= data.slots.size(); ++s) {
            if (!freed(s)) rows.push_back(s);
        }
        return rows;
    }
    rows.resize(data.slots.size());
    for (uint32_t s = 1; s <= rows.size(); ++s) rows[s - 1] = s;
    return rows;
}

// Checks that every value fits its column and returns the bytes the rows will take.
uint64_t rowsSize(const TableData& data, const std::vector<ValueLayout>& layouts,
                  const std::vector<uint32_t>& rows) {
    const size_t columns = data.columns.size();
    uint64_t total = uint64_t{rows.size()} * (1 + blankFlagBytes(columns));
    for (uint32_t s : rows) {
        const Slot& slot = data.slots[s - 1];
        if (slot.fields.size() != columns) unwritable("a row does not match the columns");
        for (size_t j = 0; j < columns; ++j) {
            const Field& f = slot.fields[j];
            if (f.state != FieldState::Value) continue;
            const ValueLayout& l = layouts[j];
            if (!l.varying) {
                if (f.raw.size() != l.width) unwritable("a value does not fit its column");
                total += l.width;
            } else {
                // An empty text is written as the one-byte text holding a zero.
                const size_t n = (f.raw.empty() && l.kind == FieldKind::Text) ? 1 : f.raw.size();
                if (n > prefixMax(l.width)) unwritable("a value does not fit its column");
                total += l.width + n;
            }
        }
    }
    return total;
}

void writeRow(Out& out, const TableData& data, const std::vector<ValueLayout>& layouts,
              const Slot& slot) {
    const size_t columns = data.columns.size();
    out.u8(slot.status);
    uint8_t flags[(0xFFFF + 3) / 4];
    const size_t flagBytes = blankFlagBytes(columns);
    std::memset(flags, 0, flagBytes);
    for (size_t j = 0; j < columns; ++j) {
        const FieldState st = slot.fields[j].state;
        if (st == FieldState::Null) flags[j / 4] |= kBlankNull << blankShift(j);
        if (st == FieldState::Unassigned) flags[j / 4] |= kBlankUnassigned << blankShift(j);
    }
    out.bytes(std::string_view(reinterpret_cast<const char*>(flags), flagBytes));
    for (size_t j = 0; j < columns; ++j) {
        const Field& f = slot.fields[j];
        if (f.state != FieldState::Value) continue;
        const ValueLayout& l = layouts[j];
        if (!l.varying) {
            out.bytes(f.raw);
        } else if (f.raw.empty() && l.kind == FieldKind::Text) {
            out.prefix(l.width, 1);
            out.u8(0);
        } else {
            out.prefix(l.width, f.raw.size());
            out.bytes(f.raw);
        }
    }
}

std::vector<uint8_t> writePacket(const TableData& data) {
    // A table without fields has nothing to describe its rows.
    if (data.columns.empty()) refuse(refusal::kNoColumns);
    if (data.columns.size() > 0xFFFF) unwritable("the table has too many columns");
    if (const char* fault = logFault(data.log, data.slots.size())) unwritable(fault);

    std::vector<ValueLayout> layouts;
    layouts.reserve(data.columns.size());
    uint16_t version = kVersion;
    for (const Column& c : data.columns) {
        layouts.push_back(columnLayout(c));
        if (typeClass(c.typeCode) > cls::kLastPlain) version = kVersionExtendedClasses;
    }

    const std::vector<uint32_t> rows = chooseRows(data);
    const uint64_t rowBytes = rowsSize(data, layouts, rows);
    const uint64_t logBytes = data.log.empty() ? 0 : 32 + kLogEntrySize * data.log.size();
    Out out(static_cast<size_t>(kHeaderSize + 64 * data.columns.size() + logBytes + rowBytes));

    // Header; the row count and flags are final here, the row data offset is patched below.
    out.u32(kSignature);
    out.u16(version);
    out.u16(kMinorVersion);
    out.u32(kHeaderSize);
    out.u16(static_cast<uint16_t>(data.columns.size()));
    out.u32(static_cast<uint32_t>(rows.size()));
    out.u32(kFlagMetadata);
    out.u16(0);
    assert(out.size() == kHeaderSize);

    for (const Column& c : data.columns) writeColumn(out, c);

    const size_t tableCountAt = out.size();
    out.u16(0);
    uint32_t tableProperties = 0;
    if (!data.log.empty()) {
        writeChangeLog(out, data.log);
        ++tableProperties;
    }
    for (const Property& p : data.extraTableProperties) {
        out.property(p.name, p.typeCode, p.value);
        ++tableProperties;
    }
    if (tableProperties > 0xFFFF) unwritable("the table has too many properties");
    out.patch16(tableCountAt, static_cast<uint16_t>(tableProperties));

    // The rows start here, or the packet ends here when it has none.
    const size_t rowDataOffset = out.size();
    if (rowDataOffset <= kMaxRowDataOffset) {
        out.patch32(kOffFlags, kFlagMetadata | kFlagRowDataOffset);
        out.patch16(kOffRowDataOffset, static_cast<uint16_t>(rowDataOffset));
    }

    out.reserveMore(static_cast<size_t>(rowBytes));
    for (uint32_t s : rows) writeRow(out, data, layouts, data.slots[s - 1]);
    assert(out.size() == rowDataOffset + rowBytes);
    return out.take();
}

// ------------------------------------------------------------------------------------------------
// Reader

class In {
public:
    In(const uint8_t* p, size_t size) : p_(p), size_(size) {}

    size_t remaining() const { return size_ - pos_; }
    void seek(uint64_t pos) {
        if (pos > size_) damaged(kEndsEarly);
        pos_ = static_cast<size_t>(pos);
    }
    // The next n bytes; fails when fewer remain.
    const uint8_t* take(uint64_t n) {
        if (n > remaining()) damaged(kEndsEarly);
        const uint8_t* at = p_ + pos_;
        pos_ += static_cast<size_t>(n);
        return at;
    }
    uint8_t u8() { return *take(1); }
    uint16_t u16() { return coding::decodeFixed16(take(2)); }
    uint32_t u32() { return coding::decodeFixed32(take(4)); }
    uint64_t uint(uint32_t width) { return coding::decodeFixed(take(width), width); }  // width 1, 2, 4 or 8
    std::string_view text(uint64_t n) { return {reinterpret_cast<const char*>(take(n)), static_cast<size_t>(n)}; }
    std::string_view name() { return text(u8()); }
    // Fails fast when count items of at least minSize bytes each cannot fit in what remains.
    void expectItems(uint64_t count, uint64_t minSize) {
        if (count > remaining() / minSize) damaged(kEndsEarly);
    }
    size_t pos() const { return pos_; }
    const uint8_t* here() const { return p_ + pos_; }

private:
    const uint8_t* p_;
    size_t size_;
    size_t pos_ = 0;
};

// Smallest encodings, used to bound counts before anything is allocated by them.
constexpr uint64_t kMinProperty = 1 + 4;            // empty name, type code, no value bytes
constexpr uint64_t kMinColumn = 1 + 4 + 2 + 2;      // empty name, type code, attributes, count


// Reads a property; its value keeps the bytes exactly as encoded (prefix or count included).
Property readProperty(In& in) {
    Property p;
    p.name = in.name();
    p.typeCode = in.u32();
    uint64_t size = 0;
    switch (valueSize(p.typeCode, in.here(), in.remaining(), size)) {
        case Fit::Ok: break;
        case Fit::Short: damaged(kEndsEarly);
        case Fit::BadType: refuse(refusal::kBadType);
    }
    p.value = in.text(size);
    return p;
}

// The value of a property that holds one fixed-width integer; false for any other kind.
bool integerValue(const Property& p, uint64_t& v) {
    const uint32_t klass = typeClass(p.typeCode);
    const uint32_t width = typeWidth(p.typeCode);
    if ((p.typeCode & (kArray | kVarying)) != 0 || (klass != cls::kSigned && klass != cls::kUnsigned) ||
        (width != 1 && width != 2 && width != 4 && width != 8)) {
        return false;
    }
    v = coding::decodeFixed(reinterpret_cast<const uint8_t*>(p.value.data()), width);
    return true;
}

uint16_t u16Property(uint64_t v) {
    // A width or decimal count beyond 16 bits describes no column a row can store.
    if (v > 0xFFFF) refuse(refusal::kBadType);
    return static_cast<uint16_t>(v);
}

Column readColumn(In& in) {
    Column c;
    const std::string_view name = in.name();
    c.name = name.substr(0, kMaxColumnName);
    c.typeCode = in.u32();
    c.attributes = in.u16();
    const uint16_t count = in.u16();
    in.expectItems(count, kMinProperty);
    for (uint16_t i = 0; i < count; ++i) {
        Property p = readProperty(in);
        uint64_t v = 0;
        if (p.name == kPropWidth && declaresWidth(c.typeCode) && integerValue(p, v)) {
            c.width = u16Property(v);
        } else if (p.name == kPropDecimals && integerValue(p, v)) {
            c.decimals = u16Property(v);
        } else if (p.name == kPropSubtype) {
            // The subtype is a name: a text, of at most what its 2-byte prefix can count.
            if (typeClass(p.typeCode) != cls::kString || (p.typeCode & kArray) != 0) {
                refuse(refusal::kBadValue);
            }
            const size_t prefix = (p.typeCode & kVarying) != 0 ? typeWidth(p.typeCode) : 0;
            if (p.value.size() - prefix > 0xFFFF) refuse(refusal::kBadValue);
            c.hasSubtype = true;
            c.subtype = p.value.substr(prefix);
        } else if (p.name == kPropCalculated) {
            c.calculated = true;
        } else {
            c.extraProperties.push_back(std::move(p));
        }
    }
    if (!declaresWidth(c.typeCode) && (c.typeCode & kVarying) == 0) c.width = static_cast<uint16_t>(typeWidth(c.typeCode));
    return c;
}

std::vector<LogEntry> readChangeLog(const Property& p) {
    // The change log is an array of u32 holding at least one (slot, other, kind) entry.
    if ((p.typeCode & kArray) == 0 || typeWidth(p.typeCode) != 4) refuse(refusal::kBadValue);
    const uint32_t count = coding::decodeFixed32(reinterpret_cast<const uint8_t*>(p.value.data()));
    if (count < kLogElementsPerEntry) refuse(refusal::kBadValue);
    std::vector<LogEntry> log(count / kLogElementsPerEntry);
    const auto* at = reinterpret_cast<const uint8_t*>(p.value.data()) + 4;
    for (LogEntry& e : log) {
        e.slot = coding::decodeFixed32(at);
        e.other = coding::decodeFixed32(at + 4);
        e.kind = coding::decodeFixed32(at + 8) & 0xFF;
        at += kLogEntrySize;
    }
    return log;
}

void readRows(In& in, TableData& data, const std::vector<ValueLayout>& layouts, uint32_t rowCount) {
    const size_t columns = data.columns.size();
    const size_t flagBytes = blankFlagBytes(columns);
    // Every row takes at least its status byte and blank flags.
    in.expectItems(rowCount, 1 + flagBytes);
    data.slots.resize(rowCount);
    for (uint32_t r = 0; r < rowCount; ++r) {
        Slot& slot = data.slots[r];
        slot.status = in.u8();
        slot.order = uint64_t{r} + 1;
        const uint8_t* flags = in.take(flagBytes);
        slot.fields.resize(columns);
        for (size_t j = 0; j < columns; ++j) {
            Field& f = slot.fields[j];
            const unsigned bits = (flags[j / 4] >> blankShift(j)) & (kBlankNull | kBlankUnassigned);
            if ((bits & kBlankNull) != 0) {
                f.state = FieldState::Null;
                continue;
            }
            if ((bits & kBlankUnassigned) != 0) continue;  // fields start unassigned
            f.state = FieldState::Value;
            const ValueLayout& l = layouts[j];
            if (!l.varying) {
                f.raw = in.text(l.width);
                continue;
            }
            std::string_view v = in.text(in.uint(l.width));
            if (l.kind == FieldKind::Text) {
                // A text holds at most its column's width, and ends at its first zero byte
                // (the empty text is stored as a single zero byte).
                v = v.substr(0, data.columns[j].width);
                v = v.substr(0, v.find('\0'));
            }
            f.raw = v;
        }
    }
}

TableData readPacket(const uint8_t* bytes, size_t size) {
    In in(bytes, size);
    TableData data;

    // The header: a known signature; with the current one, versions this layout covers.
    const uint32_t signature = in.u32();
    if (signature != kSignature && signature != kOldSignature) damaged("the catalog is not a datapacket");
    const uint16_t version = in.u16();
    const uint16_t minor = in.u16();
    if (signature == kSignature && (version > kMaxVersion || minor > kMaxVersion)) {
        damaged("the datapacket's version is not supported");
    }
    const uint32_t metadataOffset = in.u32();
    const uint16_t columnCount = in.u16();
    const uint32_t rowCount = in.u32();
    const uint32_t flags = in.u32();
    in.u16();  // row data offset: the rows are found by reading up to them
    assert(in.pos() == kHeaderSize);

    // A table can only be made from a packet that describes its columns.
    if ((flags & kFlagMetadata) == 0) refuse(refusal::kNoMetadata);
    if (columnCount == 0) refuse(refusal::kNoColumns);

    in.seek(metadataOffset);
    in.expectItems(columnCount, kMinColumn);
    data.columns.reserve(columnCount);
    std::vector<ValueLayout> layouts;
    layouts.reserve(columnCount);
    for (uint16_t i = 0; i < columnCount; ++i) {
        Column c = readColumn(in);
        layouts.push_back(columnLayout(c));
        c.kind = layouts.back().kind;
        data.columns.push_back(std::move(c));
    }

    const uint16_t tableCount = in.u16();
    in.expectItems(tableCount, kMinProperty);
    for (uint16_t i = 0; i < tableCount; ++i) {
        Property p = readProperty(in);
        if (p.name == kPropChangeLog) {
            data.log = readChangeLog(p);
        } else {
            data.extraTableProperties.push_back(std::move(p));
        }
    }

    readRows(in, data, layouts, rowCount);
    // Bytes behind the last row are not part of the packet.

    // The log may only name rows of this packet; a merge would otherwise follow it astray.
    if (const char* fault = logFault(data.log, rowCount)) damaged(fault);
    data.nextOrder = uint64_t{rowCount} + 1;
    return data;
}

}  // namespace

std::vector<uint8_t> write(const TableData& data) {
    try {
        return writePacket(data);
    } catch (const std::bad_alloc&) {
        refuse(refusal::kNoMemory);
    } catch (const std::length_error&) {
        refuse(refusal::kNoMemory);
    }
}

TableData read(const uint8_t* bytes, size_t size) {
    try {
        return readPacket(bytes, size);
    } catch (const std::bad_alloc&) {
        refuse(refusal::kNoMemory);
    } catch (const std::length_error&) {
        refuse(refusal::kNoMemory);
    }
}

}  // namespace oru::datapacket
