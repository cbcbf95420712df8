// SPDX-License-Identifier: GPL-3.0-or-later
// The catalog datapacket writer and reader: exact bytes of the catalog's packets, round trips,
// and the reader's refusals of damaged packets.
#include <gtest/gtest.h>

#include <cctype>
#include <cstring>
#include <functional>
#include <string>
#include <vector>

#include "catalog/CatalogTable.h"
#include "catalog/Datapacket.h"
#include "catalog/TableData.h"
#include "platform/Collation.h"
#include "platform/Error.h"
#include "platform/Stream.h"
#include "ErrorOf.h"

namespace oru {
namespace {

using Bytes = std::vector<uint8_t>;

// Builds expected bytes from hex ("96 19 E0 BD") and ASCII pieces.
class B {
public:
    B& hex(const std::string& h) {
        for (size_t i = 0; i < h.size();) {
            if (h[i] == ' ') {
                ++i;
                continue;
            }
            b_.push_back(static_cast<uint8_t>(std::stoi(h.substr(i, 2), nullptr, 16)));
            i += 2;
        }
        return *this;
    }
    B& str(const std::string& s) {
        b_.insert(b_.end(), s.begin(), s.end());
        return *this;
    }
    B& bytes(const Bytes& more) {
        b_.insert(b_.end(), more.begin(), more.end());
        return *this;
    }
    operator Bytes() const { return b_; }

private:
    Bytes b_;
};

// The column descriptors of the archive schema, as every catalog packet holds them at offset 24.
const Bytes kCatalogDescriptors =
    B().hex("08").str("FileName").hex("01 00 49 00 00 00 01 00 05").str("WIDTH").hex("02 00 02 00 28 00")
        .hex("0A").str("ParentName").hex("01 00 49 00 00 00 01 00 05").str("WIDTH").hex("02 00 02 00 28 00")
        .hex("08").str("FileType").hex("04 00 01 00 00 00 00 00")
        .hex("06").str("Offset").hex("08 00 01 00 00 00 00 00")
        .hex("0C").str("OriginalSize").hex("08 00 01 00 00 00 00 00")
        .hex("0A").str("StoredSize").hex("08 00 01 00 00 00 00 00")
        .hex("08").str("FileDate").hex("08 00 08 00 00 00 00 00")
        .hex("0B").str("CheckinDate").hex("08 00 08 00 00 00 00 00");

Bytes slice(const Bytes& b, size_t at, size_t n) {
    EXPECT_LE(at + n, b.size());
    if (at + n > b.size()) return {};
    return Bytes(b.begin() + static_cast<long>(at), b.begin() + static_cast<long>(at + n));
}

Field unassigned() { return Field{}; }
Field null() { return Field{FieldState::Null, {}}; }
Field text(const std::string& s) { return Field{FieldState::Value, s}; }
template <typename T>
Field number(T v) {
    Field f{FieldState::Value, std::string(sizeof v, '\0')};
    std::memcpy(f.raw.data(), &v, sizeof v);
    return f;
}
// A date-time as the packet stores it: milliseconds since 0001-01-01 (day 1) as a double.
Field checkin(double ms) { return number(ms); }

constexpr double kMarch1Noon = 63245361600000.0;  // 2005-03-01 12:00:00.000

Slot fileRow(uint8_t st, const std::string& name, const std::string& parent, int64_t offset,
             int64_t original, int64_t stored, uint64_t order) {
    return Slot{st, order,
                {text(name), text(parent), number<int32_t>(1), number(offset), number(original),
                 number(stored), unassigned(), checkin(kMarch1Noon)}};
}
Slot folderRow(uint8_t st, const std::string& name, const std::string& parent, uint64_t order) {
    return Slot{st, order,
                {text(name), text(parent), number<int32_t>(0), unassigned(), unassigned(),
                 unassigned(), unassigned(), checkin(kMarch1Noon)}};
}
Slot freedRow(uint8_t st) { return Slot{st, 0, std::vector<Field>(8, null())}; }

TableData catalog(std::vector<Slot> slots = {}, std::vector<LogEntry> log = {}) {
    TableData d;
    d.columns = TableData::archiveSchema();
    d.slots = std::move(slots);
    d.log = std::move(log);
    d.nextOrder = d.slots.size() + 1;
    return d;
}

TableData read(const Bytes& b) { return datapacket::read(b.data(), b.size()); }

// The status and message of the error reading b raises; status -1 when it reads.
std::pair<int, std::string> readFailure(const Bytes& b) {
    try {
        read(b);
    } catch (const Error& e) {
        return {e.status(), e.kind() == ErrorKind::CatalogStatus ? std::string() : std::string(e.what())};
    }
    return {-1, "<read>"};
}

uint32_t u32At(const Bytes& b, size_t at) {
    uint32_t v = 0;
    std::memcpy(&v, b.data() + at, 4);
    return v;
}

const std::string kEndsEarly = "Damaged catalog: the datapacket ends early";

// The packet of one file a.txt (5 bytes stored in 13 at offset 16) added to a new archive on
// 2005-03-01 12:00, as a table and as its 273 bytes.
TableData workedExample() {
    return catalog({fileRow(0x04, "a.txt", "", 16, 5, 13, 1)}, {{1, 0, logkind::kInsert}});
}
const Bytes kWorkedExample =
    B().hex("96 19 E0 BD 01 00 00 00 18 00 00 00 08 00 01 00 00 00 03 00 00 00 E2 00")  // header
        .bytes(kCatalogDescriptors)
        .hex("01 00")                                                                   // table properties
        .hex("0A").str("CHANGE_LOG").hex("04 00 82 00 03 00 00 00 01 00 00 00 00 00 00 00 04 00 00 00")
        .hex("04 00 20")                                    // status inserted; FileDate unassigned
        .hex("05").str("a.txt")                             // FileName
        .hex("01 00")                                       // ParentName: the empty text
        .hex("01 00 00 00")                                 // FileType
        .hex("10 00 00 00 00 00 00 00")                     // Offset
        .hex("05 00 00 00 00 00 00 00")                     // OriginalSize
        .hex("0D 00 00 00 00 00 00 00")                     // StoredSize
        .hex("00 00 EB A7 BA C2 CC 42");                    // CheckinDate

TEST(DatapacketWriteTest, EmptyCatalogIsThe195BytePacket) {
    const Bytes p = datapacket::write(catalog());
    ASSERT_EQ(p.size(), 195u);
    EXPECT_EQ(slice(p, 0, 4), Bytes(B().hex("96 19 E0 BD")));  // signature
    EXPECT_EQ(slice(p, 4, 2), Bytes(B().hex("01 00")));        // format version
    EXPECT_EQ(slice(p, 6, 2), Bytes(B().hex("00 00")));        // minor version
    EXPECT_EQ(slice(p, 8, 4), Bytes(B().hex("18 00 00 00")));  // metadata offset
    EXPECT_EQ(slice(p, 12, 2), Bytes(B().hex("08 00")));       // column count
    EXPECT_EQ(slice(p, 14, 4), Bytes(B().hex("00 00 00 00"))); // row count
    EXPECT_EQ(slice(p, 18, 4), Bytes(B().hex("03 00 00 00"))); // packet flags
    EXPECT_EQ(slice(p, 22, 2), Bytes(B().hex("C3 00")));       // row data offset: the end, 195
    ASSERT_EQ(kCatalogDescriptors.size(), 169u);
    EXPECT_EQ(slice(p, 24, 169), kCatalogDescriptors);         // column descriptors
    EXPECT_EQ(slice(p, 193, 2), Bytes(B().hex("00 00")));      // table property count

    const TableData back = read(p);
    EXPECT_TRUE(back.slots.empty());
    EXPECT_TRUE(back.log.empty());
    ASSERT_EQ(back.columns.size(), 8u);
    const std::vector<Column> schema = TableData::archiveSchema();
    for (size_t j = 0; j < 8; ++j) {
        EXPECT_EQ(back.columns[j].name, schema[j].name);
        EXPECT_EQ(back.columns[j].typeCode, schema[j].typeCode);
        EXPECT_EQ(back.columns[j].kind, schema[j].kind) << schema[j].name;
        EXPECT_EQ(back.columns[j].width, schema[j].width) << schema[j].name;
    }
    EXPECT_EQ(datapacket::write(back), p);
}

TEST(DatapacketWriteTest, OneAddedFileIsThe273BytePacket) {
    const Bytes p = datapacket::write(workedExample());
    ASSERT_EQ(p.size(), 273u);
    EXPECT_EQ(slice(p, 0, 24), Bytes(B().hex("96 19 E0 BD 01 00 00 00 18 00 00 00 08 00 01 00 00 00"
                                             "03 00 00 00 E2 00")));  // header: 1 row, rows at 226
    EXPECT_EQ(slice(p, 24, 169), kCatalogDescriptors);
    EXPECT_EQ(slice(p, 193, 2), Bytes(B().hex("01 00")));              // table property count
    EXPECT_EQ(slice(p, 195, 31), Bytes(B().hex("0A").str("CHANGE_LOG").hex("04 00 82 00 03 00 00 00"
                                                    "01 00 00 00 00 00 00 00 04 00 00 00")));
    EXPECT_EQ(slice(p, 226, 3), Bytes(B().hex("04 00 20")));           // status, blank flags
    EXPECT_EQ(slice(p, 229, 6), Bytes(B().hex("05").str("a.txt")));    // FileName
    EXPECT_EQ(slice(p, 235, 2), Bytes(B().hex("01 00")));              // ParentName: empty text
    EXPECT_EQ(slice(p, 237, 4), Bytes(B().hex("01 00 00 00")));        // FileType
    EXPECT_EQ(slice(p, 241, 8), Bytes(B().hex("10 00 00 00 00 00 00 00")));  // Offset
    EXPECT_EQ(slice(p, 249, 8), Bytes(B().hex("05 00 00 00 00 00 00 00")));  // OriginalSize
    EXPECT_EQ(slice(p, 257, 8), Bytes(B().hex("0D 00 00 00 00 00 00 00")));  // StoredSize
    EXPECT_EQ(slice(p, 265, 8), Bytes(B().hex("00 00 EB A7 BA C2 CC 42")));  // CheckinDate

    EXPECT_EQ(p, kWorkedExample);

    const TableData back = read(kWorkedExample);
    ASSERT_EQ(back.slots.size(), 1u);
    EXPECT_EQ(back.slots[0].status, 0x04);
    EXPECT_EQ(back.log, (std::vector<LogEntry>{{1, 0, logkind::kInsert}}));
    EXPECT_EQ(back.slots[0].fields[0].raw, "a.txt");
    EXPECT_EQ(back.slots[0].fields[6].state, FieldState::Unassigned);
    EXPECT_EQ(back.defaultOrder(), std::vector<uint32_t>{1});
    EXPECT_EQ(datapacket::write(back), kWorkedExample);
}

TEST(DatapacketWriteTest, BlankFlagsOfFolderAndFileRows) {
    // A folder leaves Offset, OriginalSize, StoredSize and FileDate unassigned; a file FileDate.
    const Bytes p = datapacket::write(
        catalog({folderRow(0x00, "docs", "", 1), fileRow(0x00, "b", "docs", 16, 1, 9, 2)}));
    ASSERT_EQ(p.size(), 195u + 3 + 5 + 2 + 4 + 8 + 3 + 2 + 5 + 4 + 24 + 8);
    EXPECT_EQ(slice(p, 195, 3), Bytes(B().hex("00 80 2A")));                 // folder status, flags
    EXPECT_EQ(slice(p, 198, 5), Bytes(B().hex("04").str("docs")));
    EXPECT_EQ(slice(p, 217, 3), Bytes(B().hex("00 00 20")));                 // file status, flags

    // Null and unassigned fields of every column come back as they were.
    TableData mixed = catalog({fileRow(0x00, "x", "", 1, 2, 3, 1)});
    mixed.slots[0].fields[1] = null();
    mixed.slots[0].fields[4] = null();
    mixed.slots[0].fields[7] = unassigned();
    const Bytes q = datapacket::write(mixed);
    EXPECT_EQ(slice(q, 195, 3), Bytes(B().hex("00 04 A1")));
    const TableData back = read(q);
    for (size_t j = 0; j < 8; ++j) {
        EXPECT_EQ(back.slots[0].fields[j].state, mixed.slots[0].fields[j].state) << j;
        EXPECT_EQ(back.slots[0].fields[j].raw, mixed.slots[0].fields[j].raw) << j;
    }
}

TEST(DatapacketReadTest, TextsAreCutToTheColumnWidthAndAtTheirFirstZero) {
    const std::string forty(40, 'n');
    struct Case {
        std::string written;  // FileName as handed to the writer
        std::string lengthByte;
        std::string read;
    } cases[] = {
        {"", "01", ""},                           // the empty text is one zero byte, and a value
        {forty, "28", forty},
        {forty + "tail!", "2D", forty},           // 45 bytes in a packet keep their first 40
        {std::string("a\0bc", 4), "04", "a"},
    };
    for (const Case& c : cases) {
        const Bytes p = datapacket::write(catalog({fileRow(0x00, c.written, "", 1, 1, 1, 1)}));
        EXPECT_EQ(slice(p, 198, 1), Bytes(B().hex(c.lengthByte))) << c.read;
        const TableData back = read(p);
        EXPECT_EQ(back.slots[0].fields[0].state, FieldState::Value);
        EXPECT_EQ(back.slots[0].fields[0].raw, c.read);
    }
}

TEST(DatapacketWriteTest, UnderAChangeLogEverySlotIsWrittenFreedOnesAsFlagsOnly) {
    // After a merge froze slots 2 and 3 as holes, an edit of slot 1 made slot 4.
    const TableData d = catalog({fileRow(0x01, "a", "", 16, 1, 9, 1), freedRow(0x25), freedRow(0x26),
                                 fileRow(0x08, "a", "", 25, 1, 9, 1)},
                                {{4, 1, logkind::kModify}});
    const Bytes p = datapacket::write(d);
    const size_t rows = 214 + 12;
    EXPECT_EQ(slice(p, 14, 4), Bytes(B().hex("04 00 00 00")));  // row count: every slot
    EXPECT_EQ(slice(p, 22, 2), Bytes(B().hex("E2 00")));        // row data offset
    const size_t fileRowSize = 3 + 2 + 2 + 4 + 24 + 8;
    EXPECT_EQ(slice(p, rows, 1), Bytes(B().hex("01")));
    EXPECT_EQ(slice(p, rows + fileRowSize, 6), Bytes(B().hex("25 55 55 26 55 55")));
    EXPECT_EQ(slice(p, rows + fileRowSize + 6, 3), Bytes(B().hex("08 00 20")));
    EXPECT_EQ(p.size(), rows + 2 * fileRowSize + 6);

    const TableData back = read(p);
    ASSERT_EQ(back.slots.size(), 4u);
    EXPECT_EQ(back.slots[1].status, 0x25);
    EXPECT_EQ(back.slots[2].fields[5].state, FieldState::Null);
    EXPECT_EQ(back.defaultOrder(), std::vector<uint32_t>{4});
    EXPECT_EQ(datapacket::write(back), p);
}

TEST(DatapacketWriteTest, AfterAMergeOnlyCurrentRowsAreWrittenInTheDefaultOrder) {
    // Slots 1 and 4 are current; slot 4 took slot 2's place in the default order by an edit.
    const TableData d = catalog({fileRow(0x00, "first", "", 16, 1, 9, 2), freedRow(0x25),
                                 freedRow(0x2D), fileRow(0x00, "second", "", 25, 1, 9, 1)});
    const Bytes p = datapacket::write(d);
    EXPECT_EQ(slice(p, 14, 4), Bytes(B().hex("02 00 00 00")));  // row count: current rows
    EXPECT_EQ(slice(p, 22, 2), Bytes(B().hex("C3 00")));
    EXPECT_EQ(slice(p, 193, 2), Bytes(B().hex("00 00")));       // no CHANGE_LOG
    EXPECT_EQ(slice(p, 195, 4), Bytes(B().hex("00 00 20 06")));
    EXPECT_EQ(slice(p, 199, 6), Bytes(B().hex("").str("second")));

    const TableData back = read(p);
    ASSERT_EQ(back.slots.size(), 2u);
    EXPECT_EQ(back.slots[0].fields[0].raw, "second");
    EXPECT_EQ(back.slots[1].fields[0].raw, "first");
    EXPECT_EQ(back.defaultOrder(), (std::vector<uint32_t>{1, 2}));
    EXPECT_EQ(datapacket::write(back), p);
}

TEST(DatapacketWriteTest, WithoutCurrentRowsOrLogEverySlotButTheFreedOnesIsWritten) {
    const TableData d = catalog({fileRow(0x02, "gone", "", 16, 1, 9, 1), freedRow(0x26),
                                 fileRow(0x01, "old", "", 16, 1, 9, 2)});
    const Bytes p = datapacket::write(d);
    EXPECT_EQ(slice(p, 14, 4), Bytes(B().hex("02 00 00 00")));
    const TableData back = read(p);
    ASSERT_EQ(back.slots.size(), 2u);
    EXPECT_EQ(back.slots[0].status, 0x02);
    EXPECT_EQ(back.slots[1].status, 0x01);
    EXPECT_EQ(datapacket::write(back), p);
}

TEST(DatapacketWriteTest, RowDataOffsetIsDroppedOnceItPassesSixteenBits) {
    struct Case {
        size_t entries;
        uint32_t flags;
        uint16_t rowDataOffset;
    } cases[] = {{5443, 3, 65530}, {5444, 1, 0}};
    for (const Case& c : cases) {
        TableData d = catalog();
        for (uint32_t s = 1; s <= c.entries; ++s) {
            d.slots.push_back(fileRow(0x04, "f", "", s, 1, 1, s));
            d.log.push_back({s, 0, logkind::kInsert});
        }
        const Bytes p = datapacket::write(d);
        EXPECT_EQ(u32At(p, 18), c.flags) << c.entries;
        EXPECT_EQ(p[22] | p[23] << 8, c.rowDataOffset) << c.entries;
        EXPECT_EQ(read(p).log.size(), c.entries);
    }
}

TEST(DatapacketWriteTest, RefusesATableWithoutColumns) {
    try {
        datapacket::write(TableData{});
        FAIL() << "wrote a table without columns";
    } catch (const Error& e) {
        EXPECT_EQ(e.status(), 0x4005);
        EXPECT_EQ(e.kind(), ErrorKind::CatalogStatus);
    }
}

TEST(DatapacketWriteTest, RefusesTablesItCouldNotReadBack) {
    // The writer checks what the reader checks, so an archive never gets a catalog it cannot open.
    TableData badLog = workedExample();
    badLog.log.push_back({2, 0, logkind::kInsert});
    TableData wideValue = workedExample();
    wideValue.slots[0].fields[2].raw = "12345678";
    TableData shortRow = workedExample();
    shortRow.slots[0].fields.pop_back();
    for (const TableData* d : {&badLog, &wideValue, &shortRow}) {
        EXPECT_THROW(datapacket::write(*d), Error);
    }
}

// --- Reading other packets ---------------------------------------------------------------------

TEST(DatapacketReadTest, UnknownPropertiesSurviveALoadAndASave) {
    TableData d = workedExample();
    d.extraTableProperties = {{"LCID", 0x00020004, std::string("\x04\x04\x00\x00", 4)},
                              {"NOTE", 0x00490001, std::string("\x02hi", 3)}};
    d.columns[0].extraProperties = {{"HINT", 0x00820002, std::string("\x01\x00\x00\x00\x07\x00", 6)}};
    const Bytes p = datapacket::write(d);
    const Bytes lcid = B().hex("04").str("LCID").hex("04 00 02 00 04 04 00 00");
    const Bytes note = B().hex("04").str("NOTE").hex("01 00 49 00 02").str("hi");
    const Bytes hint = B().hex("04").str("HINT").hex("02 00 82 00 01 00 00 00 07 00");
    EXPECT_EQ(slice(p, 39, 2), Bytes(B().hex("02 00")));                   // FileName: 2 properties
    EXPECT_EQ(slice(p, 24 + 29, hint.size()), hint);                       // after its WIDTH
    const size_t tableProps = 24 + 169 + hint.size();
    EXPECT_EQ(slice(p, tableProps, 2), Bytes(B().hex("03 00")));
    EXPECT_EQ(slice(p, tableProps + 2 + 31, lcid.size()), lcid);           // after CHANGE_LOG
    EXPECT_EQ(slice(p, tableProps + 2 + 31 + lcid.size(), note.size()), note);

    const TableData back = read(p);
    ASSERT_EQ(back.extraTableProperties.size(), 2u);
    EXPECT_EQ(back.extraTableProperties[1].name, "NOTE");
    EXPECT_EQ(back.extraTableProperties[1].value, std::string("\x02hi", 3));
    ASSERT_EQ(back.columns[0].extraProperties.size(), 1u);
    EXPECT_EQ(datapacket::write(back), p);
}

TEST(DatapacketReadTest, ColumnsOfOtherKindsKeepTheirValuesAndDescriptors) {
    // A foreign table: a 2-byte integer, a varying byte string, a 16-byte SQL date-time (class 17,
    // which makes the version 2), and a text with a subtype, decimals and a 40-byte name.
    TableData d;
    auto column = [](std::string name, uint32_t code, uint16_t width) {
        Column c;
        c.name = std::move(name);
        c.typeCode = code;
        c.width = width;
        return c;
    };
    d.columns = {column("Small", 0x00010002, 2), column("Blob", 0x004B0002, 0),
                 column("When", 0x00110010, 16), column(std::string(40, 'L'), 0x00490001, 12)};
    d.columns[3].hasSubtype = true;
    d.columns[3].subtype = std::string("Memo\0", 5);
    d.columns[3].decimals = 2;
    d.columns[3].calculated = true;
    d.columns[3].attributes = 0x0003;
    d.slots = {Slot{0x00, 1, {number<int16_t>(-2), text(std::string(300, 'b')), text(std::string(16, 'w')), text("x")}},
               Slot{0x00, 2, {null(), text(""), unassigned(), text("")}}};
    const Bytes p = datapacket::write(d);
    EXPECT_EQ(slice(p, 4, 2), Bytes(B().hex("02 00")));  // format version

    const TableData back = read(p);
    ASSERT_EQ(back.columns.size(), 4u);
    EXPECT_EQ(back.columns[0].kind, FieldKind::Other);
    EXPECT_EQ(back.columns[2].kind, FieldKind::Other);
    EXPECT_EQ(back.columns[3].kind, FieldKind::Text);
    EXPECT_EQ(back.columns[3].name, std::string(31, 'L'));   // names keep 31 bytes
    EXPECT_EQ(back.columns[3].subtype, std::string("Memo\0", 5));
    EXPECT_EQ(back.columns[3].decimals, 2);
    EXPECT_TRUE(back.columns[3].calculated);
    EXPECT_EQ(back.columns[3].attributes, 0x0003);
    EXPECT_EQ(back.slots[0].fields[1].raw, std::string(300, 'b'));
    EXPECT_EQ(back.slots[1].fields[1].state, FieldState::Value);   // an empty byte string
    EXPECT_EQ(back.slots[1].fields[1].raw, "");
    EXPECT_EQ(back.slots[1].fields[3].raw, "");
    // Written again, only the cut column name differs.
    const Bytes again = datapacket::write(back);
    EXPECT_EQ(again.size(), p.size() - 9);
    EXPECT_EQ(datapacket::write(read(again)), again);
}

TEST(DatapacketReadTest, BytesBehindThePacketAreIgnored) {
    Bytes longer = kWorkedExample;
    for (int i = 0; i < 100; ++i) longer.push_back(static_cast<uint8_t>(i * 37));
    EXPECT_EQ(datapacket::write(read(longer)), kWorkedExample);
}

TEST(DatapacketReadTest, OldSignatureIsAdmittedWithoutTheVersionTest) {
    Bytes p = kWorkedExample;
    const Bytes old = B().hex("CD AB 00 00 09 00 09 00");
    std::copy(old.begin(), old.end(), p.begin());
    const TableData back = read(p);
    EXPECT_EQ(back.slots.size(), 1u);
    EXPECT_EQ(datapacket::write(back), kWorkedExample);
}

// A good packet with one byte (or a few) changed, and the error the reader must raise.
struct Damage {
    const char* what;
    size_t at;
    std::string bytes;  // hex, written at `at`
    int status;
    std::string message;
};

class DatapacketDamageTest : public testing::TestWithParam<Damage> {};

TEST_P(DatapacketDamageTest, RaisesTheExactError) {
    const Damage& d = GetParam();
    Bytes p = kWorkedExample;
    const Bytes patch = B().hex(d.bytes);
    ASSERT_LE(d.at + patch.size(), p.size());
    std::copy(patch.begin(), patch.end(), p.begin() + static_cast<long>(d.at));
    const auto [status, message] = readFailure(p);
    EXPECT_EQ(status, d.status) << d.what;
    EXPECT_EQ(message, d.message) << d.what;
}

// Offsets in the 273-byte packet: FileName's descriptor at 24 (type code at 33, property count at
// 39), FileType's type code at 93, CHANGE_LOG's type code at 206 and its element count at 210,
// its entry at 214 (slot, other, kind), the row at 226.
const Damage kDamages[] = {
    {"flag bit 0 clear", 18, "02", 0x4003, ""},
    {"no column", 12, "00 00", 0x4005, ""},
    {"text column without WIDTH", 39, "00", 0x2702, ""},
    {"text column with the array bit", 35, "C9", 0x2710, ""},
    {"column of a composite class", 95, "0C", 0x2710, ""},
    {"column of an unknown class", 95, "20", 0x2710, ""},
    {"column of width 0", 93, "00", 0x2710, ""},
    {"CHANGE_LOG not an array", 208, "02", 0x2702, ""},
    {"CHANGE_LOG of 2-byte elements", 206, "02", 0x2702, ""},
    {"CHANGE_LOG with 2 elements", 210, "02", 0x2702, ""},
    {"property both array and varying", 208, "C2", 0x2710, ""},
    {"signature", 0, "97", 0, "Damaged catalog: the catalog is not a datapacket"},
    {"text form", 0, "3C 3F 78 6D", 0, "Damaged catalog: the catalog is not a datapacket"},
    {"format version 4", 4, "04", 0, "Damaged catalog: the datapacket's version is not supported"},
    {"minor version 4", 6, "04", 0, "Damaged catalog: the datapacket's version is not supported"},
    {"log names slot 2 of 1", 214, "02", 0, "Damaged catalog: the change log names a row that the catalog does not hold"},
    {"log names slot 0", 214, "00", 0, "Damaged catalog: the change log names a row that the catalog does not hold"},
    {"log's other slot is 9", 218, "09", 0, "Damaged catalog: the change log names a row that the catalog does not hold"},
    {"modify without the version it replaced", 222, "08", 0, "Damaged catalog: the change log names a row that the catalog does not hold"},
    {"log entry of kind 3", 222, "03", 0, "Damaged catalog: the change log holds an entry of an unknown kind"},
    {"4 billion rows", 14, "FF FF FF FF", 0, kEndsEarly},
    {"65535 columns", 12, "FF FF", 0, kEndsEarly},
    {"metadata offset past the end", 8, "00 10 00 00", 0, kEndsEarly},
    {"65535 column properties", 39, "FF FF", 0, kEndsEarly},
    {"65535 table properties", 193, "FF FF", 0, kEndsEarly},
    {"4 billion log elements", 210, "FF FF FF FF", 0, kEndsEarly},
    {"text longer than the packet", 229, "FF", 0, kEndsEarly},
};

INSTANTIATE_TEST_SUITE_P(OneDamagedField, DatapacketDamageTest, testing::ValuesIn(kDamages),
                         [](const testing::TestParamInfo<Damage>& info) {
                             std::string name;
                             for (const char* c = info.param.what; *c; ++c) {
                                 name += std::isalnum(static_cast<unsigned char>(*c)) ? *c : '_';
                             }
                             return name;
                         });

TEST(DatapacketReadTest, EveryTruncationFailsCleanly) {
    TableData d = workedExample();
    d.slots.push_back(folderRow(0x04, "docs", "", 2));
    d.slots.push_back(freedRow(0x26));
    d.log.push_back({2, 0, logkind::kInsert});
    d.extraTableProperties = {{"NOTE", 0x00490001, std::string("\x02hi", 3)}};
    const Bytes p = datapacket::write(d);
    for (size_t n = 0; n < p.size(); ++n) {
        // A copy of exactly n bytes, so that a read past them is caught by the sanitizers.
        const Bytes cut(p.begin(), p.begin() + static_cast<long>(n));
        EXPECT_EQ(readFailure(cut), std::make_pair(0, kEndsEarly)) << n << " bytes";
    }
    EXPECT_EQ(datapacket::write(read(p)), p);
}

// The reader does not know the archive; the kind keeps what it found, so the caller can name it.
TEST(DatapacketReadTest, DamageIsNamedWithTheArchiveTheCallerGives) {
    const Bytes cut(kWorkedExample.begin(), kWorkedExample.begin() + 100);
    try {
        read(cut);
        FAIL() << "read a cut packet";
    } catch (const Error& e) {
        EXPECT_EQ(e.kind(), ErrorKind::DamagedCatalog);
        EXPECT_STREQ(e.naming("x.oru").what(), "Damaged catalog: the datapacket ends early (x.oru)");
    }
}

// --- Through the catalog table ---------------------------------------------------------------------

class CatalogPacketTest : public testing::Test {
protected:
    void SetUp() override { collation::resetLocale("en_US"); }

    static void addFile(CatalogTable& t, const std::string& name, const std::string& parent, int offset) {
        t.Append();
        t.SetText("FileName", name);
        t.SetText("ParentName", parent);
        t.SetInteger("FileType", 1);
        t.SetInteger("Offset", offset);
        t.SetInteger("OriginalSize", 5);
        t.SetInteger("StoredSize", 13);
        t.SetDateTime("CheckinDate", 38412.5);  // 2005-03-01 12:00:00.000
        t.Post();
    }
    static Bytes save(CatalogTable& t, size_t at = 0) {
        MemoryStream s(Bytes(at, 0xEE));
        s.seek(static_cast<int64_t>(at));
        t.SavePacket(s);
        EXPECT_EQ(s.position(), static_cast<int64_t>(s.size()));
        return slice(s.bytes(), at, s.bytes().size() - at);
    }
    static void load(CatalogTable& t, const Bytes& packet, size_t at = 0, size_t trailing = 0) {
        Bytes bytes(at, 0xEE);
        bytes.insert(bytes.end(), packet.begin(), packet.end());
        bytes.insert(bytes.end(), trailing, 0x55);
        MemoryStream s(bytes);
        s.seek(static_cast<int64_t>(at));
        t.LoadPacket(s);
    }
};

TEST_F(CatalogPacketTest, AddedFileSavesAsTheWorkedExampleAndReloadsWithItsEmptyParent) {
    CatalogTable t;
    t.SetOrdering("FileType;FileName");  // the ordering of a cursor does not reach the packet
    addFile(t, "a.txt", "", 16);
    EXPECT_EQ(save(t, 16), kWorkedExample);  // written at the stream's position, ending there
    EXPECT_EQ(save(t), kWorkedExample);      // saving again without a change gives the same bytes
    EXPECT_EQ(t.PacketBytes(), kWorkedExample);

    CatalogTable back;
    load(back, kWorkedExample, 16, 40);
    back.SetFilterText(CatalogTable::parentFilter(""));
    back.SetFiltered(true);
    ASSERT_EQ(back.ViewSize(), 1);
    EXPECT_EQ(back.GetText("FileName"), "a.txt");
    EXPECT_EQ(back.GetInteger("StoredSize"), 13);
    EXPECT_EQ(back.GetDateTime("CheckinDate"), 38412.5);
    EXPECT_EQ(save(back), kWorkedExample);
}

TEST_F(CatalogPacketTest, A64BitOffsetReadsThroughThe32BitAccessorAsItsLow32Bits) {
    Bytes wide = kWorkedExample;
    wide[241] = 0x05;  // Offset: 0x0000000100000005, 4,294,967,301
    wide[241 + 4] = 0x01;
    CatalogTable loaded;
    load(loaded, wide);
    EXPECT_EQ(loaded.GetInt64("Offset"), 4294967301LL);
    EXPECT_EQ(loaded.GetInteger("Offset"), 5);
    EXPECT_DOUBLE_EQ(loaded.GetDateTime("CheckinDate"), 38412.5);
}

TEST_F(CatalogPacketTest, SaveAfterMergeListsCurrentRowsAndAnEditBringsBackEverySlot) {
    CatalogTable t;
    addFile(t, "a", "", 16);
    addFile(t, "b", "", 29);
    addFile(t, "c", "", 42);
    t.SetRecordNumber(2);
    t.DeleteCurrent();  // b
    t.MergeChanges();
    const Bytes merged = save(t);
    EXPECT_EQ(slice(merged, 14, 4), Bytes(B().hex("02 00 00 00")));  // row count: a and c
    EXPECT_EQ(slice(merged, 193, 2), Bytes(B().hex("00 00")));       // no CHANGE_LOG
    EXPECT_EQ(slice(merged, 195, 1), Bytes(B().hex("00")));          // status of a
    EXPECT_EQ(merged.size(), 195 + 2 * (3 + 2 + 2 + 4 + 24 + 8));

    // An edit after the merge: the log names slot 4, so the freed slot 2 is listed again.
    t.First();
    t.Next();
    t.Edit();
    t.SetInteger("Offset", 7);
    t.Post();
    const Bytes edited = save(t);
    EXPECT_EQ(slice(edited, 14, 4), Bytes(B().hex("04 00 00 00")));
    EXPECT_EQ(slice(edited, 226 + 43, 3), Bytes(B().hex("26 55 55")));  // b, freed

    CatalogTable back;
    load(back, merged);
    ASSERT_EQ(back.Data().slots.size(), 2u);
    EXPECT_EQ(back.Data().slots[0].status, 0x00);
    EXPECT_EQ(back.TextAt(0, "FileName"), "a");
    EXPECT_EQ(back.TextAt(1, "FileName"), "c");
    EXPECT_EQ(save(back), merged);
}

// A load that fails leaves the table closed: no rows, no fields, nothing to append to.
TEST_F(CatalogPacketTest, FailedLoadLeavesTheTableClosedWithoutFields) {
    Bytes noMetadata = kWorkedExample;
    noMetadata[18] = 0x02;  // packet flags without the metadata bit
    const Bytes text = B().str("not a packet");
    struct Case {
        const char* what;
        const Bytes& packet;
        ErrorKind kind;
        int status;
    } cases[] = {
        {"metadata flag cleared", noMetadata, ErrorKind::CatalogStatus, 0x4003},
        {"not a packet", text, ErrorKind::DamagedCatalog, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        CatalogTable t;
        addFile(t, "a", "", 16);
        try {
            load(t, c.packet);
            ADD_FAILURE() << "loaded";
        } catch (const Error& e) {
            EXPECT_EQ(e.kind(), c.kind);
            EXPECT_EQ(e.status(), c.status);
        }
        EXPECT_TRUE(t.IsEmpty());
        EXPECT_TRUE(t.Data().columns.empty());
        EXPECT_TRUE(t.Data().slots.empty());
        const Error noField = errorOf([&] { t.GetText("FileName"); });
        EXPECT_EQ(noField.kind(), ErrorKind::FieldNotFound);
        EXPECT_STREQ(noField.what(), "Field 'FileName' not found");
        const Error closed = errorOf([&] { t.Append(); });
        EXPECT_EQ(closed.kind(), ErrorKind::ClosedDataset);
        EXPECT_STREQ(closed.what(), "Cannot perform this operation on a closed dataset");
    }
}

}  // namespace
}  // namespace oru
