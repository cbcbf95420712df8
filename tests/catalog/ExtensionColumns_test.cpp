// SPDX-License-Identifier: GPL-3.0-or-later
// Columns after the eight of the archive schema: exact texts, 64-bit values, long texts with a
// 2-byte length prefix, and columns appended to a table that already holds rows and cursors.

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <string>
#include <vector>

#include "ErrorOf.h"
#include "catalog/ArchiveSchema.h"
#include "catalog/CatalogTable.h"
#include "catalog/DatapacketFormat.h"
#include "platform/Error.h"
#include "platform/Stream.h"

namespace oru {
namespace {

void addRow(CatalogTable& t, const std::string& name) {
    t.Append();
    t.SetText(schema::kFileName, name);
    t.SetText(schema::kParentName, "");
    t.SetInteger(schema::kFileType, schema::kFile);
    t.Post();
}

// The table as a packet, loaded again into a new table.
void reload(CatalogTable& from, CatalogTable& into) {
    MemoryStream stream(from.PacketBytes());
    into.LoadPacket(stream);
}

TEST(ExtensionColumnsTest, ValuesComeBackExactlyThroughAPacket) {
    CatalogTable t;
    t.AddColumns(TableData::extensionColumns());
    const std::string trailingSpace = "notes ";
    const std::string longest(schema::kNameBytesWidth, 'n');
    const std::string target(schema::kLinkTargetWidth, 't');
    const int64_t beyond2038 = int64_t{4102444800} * 1000000000 + 123456789;  // 2100-01-01, ns

    t.Append();
    t.SetText(schema::kFileName, "x");
    t.SetBytes(schema::kTrueName, trailingSpace);
    t.SetBytes(schema::kNameBytes, "\xff\xfe raw");
    t.SetInt64(schema::kMode, 0100755);
    t.SetBytes(schema::kLinkTarget, target);
    t.SetInt64(schema::kModifiedNs, beyond2038);
    t.Post();
    addRow(t, "plain");
    t.Append();
    t.SetText(schema::kFileName, "y");
    t.SetBytes(schema::kNameBytes, longest);
    t.SetInt64(schema::kModifiedNs, -1);
    t.Post();

    CatalogTable back;
    reload(t, back);
    ASSERT_EQ(back.ViewSize(), 3);
    EXPECT_EQ(back.TextAt(0, schema::kTrueName), trailingSpace);
    EXPECT_EQ(back.TextAt(0, schema::kNameBytes), "\xff\xfe raw");
    EXPECT_EQ(back.IntegerAt(0, schema::kMode), 0100755);
    EXPECT_EQ(back.TextAt(0, schema::kLinkTarget), target);
    EXPECT_EQ(back.IntegerAt(0, schema::kModifiedNs), beyond2038);
    for (const char* f : {schema::kTrueName, schema::kNameBytes, schema::kMode, schema::kLinkTarget,
                          schema::kModifiedNs, schema::kFileDate}) {
        EXPECT_FALSE(back.HasValueAt(1, f)) << f;
    }
    EXPECT_EQ(back.TextAt(2, schema::kNameBytes), longest);
    EXPECT_EQ(back.IntegerAt(2, schema::kModifiedNs), -1);

    // The long texts count their length in two bytes, the eight columns keep their types.
    const auto& columns = back.Data().columns;
    ASSERT_EQ(columns.size(), 13u);
    for (const char* f : {schema::kTrueName, schema::kNameBytes, schema::kLinkTarget}) {
        for (const Column& c : columns) {
            if (c.name == f) {
                EXPECT_EQ(c.typeCode, 0x00490002u) << f;
            }
        }
    }
    EXPECT_EQ(columns[0].typeCode, datapacket::format::kTypeString1);
}

TEST(ExtensionColumnsTest, ExactSettersRefuseWhatTheColumnCannotHold) {
    CatalogTable t;
    t.AddColumns(TableData::extensionColumns());
    t.Append();
    // Too long, or a zero byte, which ends a text in a packet.
    EXPECT_EQ(errorOf([&] { t.SetBytes(schema::kNameBytes, std::string(256, 'n')); }).kind(), ErrorKind::InvalidValue);
    EXPECT_EQ(errorOf([&] { t.SetBytes(schema::kLinkTarget, std::string("a\0b", 3)); }).kind(), ErrorKind::InvalidValue);
    EXPECT_EQ(errorOf([&] { t.SetInt64(schema::kMode, int64_t{1} << 40); }).kind(), ErrorKind::InvalidValue);
    EXPECT_EQ(errorOf([&] { t.SetBytes(schema::kMode, "x"); }).kind(), ErrorKind::FieldType);
    EXPECT_EQ(errorOf([&] { t.SetInt64(schema::kTrueName, 1); }).kind(), ErrorKind::FieldType);
    t.SetInt64(schema::kOffset, int64_t{5} << 32);  // 64 bits into an i8 column of the eight
    t.Post();
    EXPECT_EQ(t.GetInt64(schema::kOffset), int64_t{5} << 32);
}

TEST(ExtensionColumnsTest, ColumnsAppendedToATableInUseReachEveryRowAndCursor) {
    CatalogTable t;
    addRow(t, "b");
    addRow(t, "a");
    t.SetOrdering(schema::kListingOrdering);
    CatalogTable clone;
    clone.CloneFrom(t);
    clone.SetFilterText(CatalogTable::parentFilter(""));
    clone.SetFiltered(true);
    const auto bookmark = t.GetBookmark();
    clone.Append();  // a row being appended while the columns arrive
    clone.SetText(schema::kFileName, "c");
    clone.SetText(schema::kParentName, "");

    t.AddColumns(TableData::extensionColumns());

    EXPECT_TRUE(t.HasField(schema::kModifiedNs));
    EXPECT_FALSE(t.HasValueAt(0, schema::kModifiedNs));
    clone.SetInt64(schema::kModifiedNs, 42);
    clone.Post();
    EXPECT_EQ(clone.ViewSize(), 3);
    t.GotoBookmark(bookmark);  // row versions survive the new columns
    EXPECT_EQ(t.GetText(schema::kFileName), "a");
    t.Edit();
    t.SetBytes(schema::kTrueName, "A ");
    t.Post();
    CatalogTable back;
    reload(t, back);
    std::vector<std::string> seen;
    for (int i = 0; i < back.ViewSize(); ++i) {
        seen.push_back(back.TextAt(i, schema::kFileName) + "|" + back.TextAt(i, schema::kTrueName) + "|" +
                       std::to_string(back.IntegerAt(i, schema::kModifiedNs)));
    }
    std::sort(seen.begin(), seen.end());
    EXPECT_EQ(seen, (std::vector<std::string>{"a|A |0", "b||0", "c||42"}));

    EXPECT_EQ(errorOf([&] { t.AddColumns(TableData::extensionColumns()); }).kind(), ErrorKind::InvalidValue);
}

}  // namespace
}  // namespace oru
