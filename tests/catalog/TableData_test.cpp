// SPDX-License-Identifier: GPL-3.0-or-later
// The compact row store: field values held inside the field up to 14 bytes and on the heap
// beyond, rows holding up to eight fields inside the slot and more on the heap. Values must come
// out exactly as they went in across copies, moves, self-assignment and resizing, and a table
// wider than eight columns must round-trip through a packet.
#include "catalog/TableData.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <utility>
#include <vector>

#include "catalog/Datapacket.h"

namespace oru {
namespace {

TEST(TableDataTest, FieldBytesKeepValuesOnBothSidesOfTheInlineLimit) {
    const std::string values[] = {
        "", std::string("a\0b", 3), std::string(14, 'i'), std::string(15, 'h'), std::string(40, 'n'),
        std::string(300, 'x'),
    };
    for (const std::string& v : values) {
        SCOPED_TRACE(v.size());
        FieldBytes b(v);
        EXPECT_EQ(b.size(), v.size());
        EXPECT_EQ(b, v);
        FieldBytes copy = b;
        FieldBytes assigned("other value, longer than fourteen");
        assigned = b;
        EXPECT_EQ(copy, v);
        EXPECT_EQ(assigned, v);
        FieldBytes moved = std::move(copy);
        EXPECT_EQ(moved, v);
        EXPECT_TRUE(copy.empty());  // NOLINT(bugprone-use-after-move): a moved-from value is empty
        // Assigning a part of its own bytes (the value is released only after the copy).
        const size_t cut = v.empty() ? 0 : 1;
        b = b.view().substr(cut);
        EXPECT_EQ(b, v.substr(cut));
        const FieldBytes& same = b;
        b = same;
        EXPECT_EQ(b, v.substr(cut));
        // Writable in place, as number fields are filled.
        FieldBytes filled(std::string(v.size(), '\0'));
        if (!v.empty()) std::memcpy(filled.data(), v.data(), v.size());
        EXPECT_EQ(filled, v);
    }
}

TEST(TableDataTest, FieldRowsGrowAndShrinkAcrossTheInlineLimitKeepingTheirFields) {
    auto field = [](int n) { return Field{FieldState::Value, "value " + std::to_string(n) + std::string(n, '.')}; };
    auto expectFields = [&](const FieldRow& row, size_t count) {
        ASSERT_EQ(row.size(), count);
        for (size_t i = 0; i < count; ++i) EXPECT_EQ(row[i].raw, field(static_cast<int>(i)).raw) << i;
    };
    FieldRow row;
    for (int i = 0; i < 11; ++i) row.push_back(field(i));  // inline, then on the heap
    expectFields(row, 11);
    FieldRow wide = row;
    row.resize(3);  // back inside the slot
    expectFields(row, 3);
    expectFields(wide, 11);
    row = wide;
    expectFields(row, 11);
    row.resize(12, Field{FieldState::Null, {}});
    EXPECT_EQ(row[11].state, FieldState::Null);
    row.pop_back();
    expectFields(row, 11);
    FieldRow taken = std::move(row);
    expectFields(taken, 11);
    taken = FieldRow{field(0), field(1)};
    expectFields(taken, 2);
    taken = FieldRow(std::vector<Field>{field(0), field(1), field(2)});
    expectFields(taken, 3);
}

TEST(TableDataTest, TableWiderThanEightColumnsRoundTripsThroughAPacket) {
    TableData d;
    d.columns = TableData::archiveSchema();
    for (int i = 0; i < 4; ++i) {
        Column extra = d.columns[0];
        extra.name = "Extra" + std::to_string(i);
        d.columns.push_back(extra);
    }
    for (uint32_t n = 1; n <= 3; ++n) {
        Slot s{status::kInserted, n, std::vector<Field>(d.columns.size(), Field{FieldState::Null, {}})};
        for (size_t j = 8; j < d.columns.size(); ++j) {
            s.fields[j] = Field{FieldState::Value, std::string(j + n, 'a' + static_cast<char>(j))};
        }
        s.fields[0] = Field{FieldState::Value, "row " + std::to_string(n)};
        d.slots.push_back(s);
        d.log.push_back({n, 0, logkind::kInsert});
    }
    const std::vector<uint8_t> p = datapacket::write(d);
    const TableData back = datapacket::read(p.data(), p.size());
    ASSERT_EQ(back.slots.size(), 3u);
    for (size_t r = 0; r < 3; ++r) {
        ASSERT_EQ(back.slots[r].fields.size(), d.columns.size());
        for (size_t j = 0; j < d.columns.size(); ++j) {
            EXPECT_EQ(back.slots[r].fields[j].state, d.slots[r].fields[j].state) << r << "," << j;
            EXPECT_EQ(back.slots[r].fields[j].raw, d.slots[r].fields[j].raw) << r << "," << j;
        }
    }
    EXPECT_EQ(datapacket::write(back), p);
}

}  // namespace
}  // namespace oru
