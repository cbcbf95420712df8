// SPDX-License-Identifier: GPL-3.0-or-later
// What an entry keeps beyond the eight columns, written and read through the catalog.

#include "archive/EntryMeta.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <string>

#include "catalog/ArchiveSchema.h"
#include "catalog/CatalogTable.h"
#include "platform/Clock.h"
#include "platform/Stream.h"

namespace oru {
namespace {

void appendRow(CatalogTable& t, const std::string& name, const EntryMeta* meta) {
    t.Append();
    t.SetText(schema::kFileName, name);
    t.SetText(schema::kParentName, "");
    t.SetInteger(schema::kFileType, schema::kFile);
    if (meta) entrymeta::write(t, *meta);
    t.Post();
}

TEST(EntryMetaTest, ValuesTravelThroughAPacketAndFileDateIsTheLocalModificationTime) {
    ::setenv("TZ", "Asia/Taipei", 1);  // UTC+8, no daylight saving
    ::tzset();
    CatalogTable t;
    EXPECT_FALSE(entrymeta::hasColumns(t));
    entrymeta::addColumns(t);
    entrymeta::addColumns(t);  // a second time adds nothing
    EXPECT_TRUE(entrymeta::hasColumns(t));

    EntryMeta full;
    full.trueName = "한국어.txt";
    full.nameBytes = "\xe9t\xe9.txt";  // Latin-1 bytes on disk
    full.mode = 0120777;
    full.linkTarget = "../目標";
    full.modifiedNs = int64_t{946684800} * 1000000000 + 999999999;  // 2000-01-01 00:00:00.999999999 UTC
    appendRow(t, "___.txt", &full);
    appendRow(t, "plain.txt", nullptr);

    CatalogTable back;
    MemoryStream stream(t.PacketBytes());
    back.LoadPacket(stream);
    EXPECT_EQ(entrymeta::readAt(back, 0), full);
    EXPECT_EQ(entrymeta::readAt(back, 1), EntryMeta{});
    back.First();
    EXPECT_EQ(entrymeta::read(back), full);
    EXPECT_EQ(clock::formatIso(back.DateTimeAt(0, schema::kFileDate)), "2000-01-01 08:00:00");
    EXPECT_FALSE(back.HasValueAt(1, schema::kFileDate));
    EXPECT_EQ(entrymeta::trueNameAt(back, 0), "한국어.txt");
    EXPECT_EQ(entrymeta::trueNameAt(back, 1), "plain.txt");
    ::unsetenv("TZ");
    ::tzset();
}

TEST(EntryMetaTest, CatalogsWithoutTheColumnsOrWithForeignOnesGiveNothing) {
    CatalogTable plain;
    appendRow(plain, "\xa4\xa4.txt", nullptr);  // 中.txt in code page 950
    EXPECT_EQ(entrymeta::readAt(plain, 0), EntryMeta{});
    EXPECT_EQ(entrymeta::trueNameAt(plain, 0), "中.txt");

    // Another writer's column named Mode that holds text is not ours to read.
    CatalogTable foreign;
    Column mode;
    mode.name = schema::kMode;
    mode.typeCode = 0x00490001;
    mode.kind = FieldKind::Text;
    mode.width = 10;
    foreign.AddColumns({mode});
    foreign.Append();
    foreign.SetText(schema::kFileName, "f");
    foreign.SetText(schema::kMode, "rwx");
    foreign.Post();
    EXPECT_EQ(entrymeta::readAt(foreign, 0), EntryMeta{});
    EXPECT_FALSE(entrymeta::hasColumns(foreign));
}

}  // namespace
}  // namespace oru
