// SPDX-License-Identifier: GPL-3.0-or-later
// What adding stores beside the eight columns: true names, name bytes, modes, link targets and
// modification times; links stored as links or followed; plain rows; archives of other writers;
// the values kept through adding again, deleting, compaction and recovery.

#include <fcntl.h>
#include <sys/stat.h>
#include <time.h>
#include <unistd.h>

#include "ArchiveTestSupport.h"
#include "archive/EntryMeta.h"
#include "platform/FileSystem.h"

namespace oru::test {
namespace {

constexpr int64_t kSecond = 1000000000;

// Sets the modification time of path itself (a link too), to the nanosecond.
void setTime(const std::string& path, int64_t ns) {
    const timespec times[2] = {{ns / kSecond, ns % kSecond}, {ns / kSecond, ns % kSecond}};
    ASSERT_EQ(::utimensat(AT_FDCWD, path.c_str(), times, AT_SYMLINK_NOFOLLOW), 0) << path;
}

// Records the names the progress sink is told of.
class Reports : public Progress {
public:
    void update(const Info&) override {}
    void renamed(const std::string& from, const std::string& to) override { renames.push_back(from + " -> " + to); }
    void skipped(const std::string& path, SkipReason) override { skips.push_back(path); }
    std::vector<std::string> renames, skips;
};

class AddMetaTest : public ArchiveTest {
protected:
    // The row of the current view whose shown name (true name, else FileName) is name.
    static int rowShowing(CatalogTable& catalog, const std::string& name) {
        for (int i = 0; i < catalog.ViewSize(); ++i) {
            if (entrymeta::trueNameAt(catalog, i) == name) return i;
        }
        return -1;
    }
    static std::string contentAt(TKiv& kiv, int index) {
        CatalogTable cursor;
        cursor.CloneFrom(kiv.Catalog());
        cursor.SetRecordNumber(index + 1);
        MemoryStream out;
        kiv.ReadEntry(cursor, out);
        return std::string(out.bytes().begin(), out.bytes().end());
    }
    PlainScope extended{false};
};

// The whole catalog of an archive of a file, a link and a folder, with fixed clock, modes and
// times, byte for byte: thirteen columns, the values after the eight, FileDate the local date-time
// of the modification time (here UTC).
TEST_F(AddMetaTest, ExtendedLayoutMatchesByteForByte) {
    const char* savedTz = std::getenv("TZ");
    const std::string tz = savedTz ? savedTz : "";
    ::setenv("TZ", "UTC0", 1);
    ::tzset();
    writeText(path("a.txt"), "hi\n");
    ASSERT_EQ(::chmod(path("a.txt").c_str(), 0640), 0);
    setTime(path("a.txt"), 1577934245 * kSecond + 123456789);  // 2020-01-02 03:04:05.123456789
    ASSERT_EQ(::symlink("a.txt", path("ln").c_str()), 0);
    setTime(path("ln"), 1000000000 * kSecond);                 // 2001-09-09 01:46:40
    mkdir("d");
    ASSERT_EQ(::chmod(path("d").c_str(), 0750), 0);
    setTime(path("d"), 946684800 * kSecond);                   // 2000-01-01 00:00:00
    {
        auto kiv = TKiv::CreateNew(path("x.oru"));
        kiv->AddPath("", path("a.txt"));
        kiv->AddPath("", path("ln"));
        kiv->AddPath("", path("d"));
    }
    if (savedTz) ::setenv("TZ", tz.c_str(), 1); else ::unsetenv("TZ");
    ::tzset();

    const Bytes got = readAll(path("x.oru"));
    const uint32_t catalogAt = le32(got, 4);
    ASSERT_LT(catalogAt, got.size());
    // a.txt's stream from 16, the link's content (its target) right behind it.
    const uint32_t aStored = 11;  // 78 01, deflate of "hi\n", Adler-32
    const Bytes linkStream(got.begin() + 16 + aStored, got.begin() + catalogAt);
    MemoryStream inflated;
    MemoryStream source(linkStream);
    DecompressStream(source, inflated);
    EXPECT_EQ(std::string(inflated.bytes().begin(), inflated.bytes().end()), "a.txt") << "link content";
    const auto linkStored = static_cast<uint32_t>(linkStream.size());

    const Bytes extensionColumns = hexBytes(
        "08 54 72 75 65 4E 61 6D 65 02 00 49 00 00 00 01 00 05 57 49 44 54 48 02 00 02 00 FC 03"     // TrueName: long text, 1020
        "09 4E 61 6D 65 42 79 74 65 73 02 00 49 00 00 00 01 00 05 57 49 44 54 48 02 00 02 00 FF 00"  // NameBytes: long text, 255
        "04 4D 6F 64 65 04 00 01 00 00 00 00 00"                                                      // Mode: i4
        "0A 4C 69 6E 6B 54 61 72 67 65 74 02 00 49 00 00 00 01 00 05 57 49 44 54 48 02 00 02 00 FF 0F"  // LinkTarget: 4095
        "0A 4D 6F 64 69 66 69 65 64 4E 73 08 00 01 00 00 00 00 00");                                 // ModifiedNs: i8
    const Bytes properties = hexBytes(
        "01 00  0A 43 48 41 4E 47 45 5F 4C 4F 47  04 00 82 00  09 00 00 00"
        "01 00 00 00 00 00 00 00 04 00 00 00  02 00 00 00 00 00 00 00 04 00 00 00"
        "03 00 00 00 00 00 00 00 04 00 00 00");
    const size_t rowsAt = 24 + packet::kColumns.size() + extensionColumns.size() + properties.size();
    const Bytes checkin = hexBytes("00 00 b3 3b fe 04 cd 42");
    const Bytes packetBytes = packet::concat({
        hexBytes("96 19 E0 BD 01 00 00 00 18 00 00 00 0D 00"),  // thirteen columns
        hexBytes("03 00 00 00  03 00 00 00"), {static_cast<uint8_t>(rowsAt), static_cast<uint8_t>(rowsAt >> 8)},
        packet::kColumns, extensionColumns, properties,
        // a.txt: TrueName, NameBytes and LinkTarget unassigned.
        hexBytes("04  00 00 8A 00  05 61 2E 74 78 74  01 00  01 00 00 00"), packet::le64(16), packet::le64(3),
        packet::le64(aStored), hexBytes("80 81 80 c4 3d f9 cc 42"), checkin,  // FileDate 2020-01-02 03:04:05.123
        hexBytes("A0 81 00 00"), packet::le64(1577934245123456789),             // Mode 0100640, ModifiedNs
        // ln: a file row holding the target; TrueName and NameBytes unassigned.
        hexBytes("04  00 00 0A 00  02 6C 6E  01 00  01 00 00 00"), packet::le64(16 + aStored), packet::le64(5),
        packet::le64(linkStored), hexBytes("00 00 22 fc f5 b5 cc 42"), checkin,
        hexBytes("FF A1 00 00  05 00 61 2E 74 78 74"), packet::le64(1000000000 * kSecond),  // 0120777, "a.txt"
        // d: a folder; Offset and sizes unassigned too.
        hexBytes("04  80 0A 8A 00  01 64  01 00  00 00 00 00"), hexBytes("00 00 70 11 c1 af cc 42"), checkin,
        hexBytes("E8 41 00 00"), packet::le64(946684800 * kSecond),  // 040750
    });
    const Bytes catalog(got.begin() + catalogAt, got.end());
    ASSERT_EQ(catalog.size(), packetBytes.size());
    for (size_t i = 0; i < catalog.size(); ++i) {
        ASSERT_EQ(catalog[i], packetBytes[i]) << "first difference at packet byte " << i;
    }
}

// Each kind of item with the values it gets: the true name only where the catalog name is not
// it, the name bytes only where they are not UTF-8, the mode and time always, the target of
// links (relative, absolute, dangling), the content of a link its target.
TEST_F(AddMetaTest, EachItemKeepsItsNameModeTimeAndLink) {
    mkdir("t/empty");
    mkdir("t/x/lib");
    mkdir("t/y/lib");
    const std::string longName = std::string(196, 'n') + ".txt";  // 200 bytes
    struct Item {
        const char* what;
        std::string name;      // below t
        std::string shown;     // the true name expected
        bool trueNameSet;
        std::optional<std::string> nameBytes;
        uint32_t mode;         // 0: not checked
        std::optional<std::string> link;
        int64_t modifiedNs;
    } items[] = {
        {"a 755 script", "run.sh", "run.sh", false, {}, S_IFREG | 0755, {}, 915148800 * kSecond + 1},  // 1999
        {"a 600 file", "secret", "secret", false, {}, S_IFREG | 0600, {}, 2208988800 * kSecond + 999999999},  // 2040
        {"a trailing space", "notes ", "notes ", true, {}, S_IFREG | 0644, {}, kSecond},
        {"Korean", "한국어.txt", "한국어.txt", true, {}, S_IFREG | 0644, {}, 2 * kSecond},
        {"emoji", "😀.txt", "😀.txt", true, {}, S_IFREG | 0644, {}, 3 * kSecond},
        {"Japanese", "日本語ひらがな.txt", "日本語ひらがな.txt", true, {}, S_IFREG | 0644, {}, 13 * kSecond},
        {"simplified Chinese", "简体.txt", "简体.txt", true, {}, S_IFREG | 0644, {}, 4 * kSecond},
        {"accented", "résumé.txt", "résumé.txt", true, {}, S_IFREG | 0644, {}, 5 * kSecond},
        {"200 bytes", longName, longName, true, {}, S_IFREG | 0644, {}, 6 * kSecond},
        {"not UTF-8", "\xff\xfe.txt", "\xEF\xBF\xBD\xEF\xBF\xBD.txt", true, "\xff\xfe.txt", S_IFREG | 0644, {}, 7 * kSecond},
        {"relative link", "rel", "rel", false, {}, 0, "run.sh", 8 * kSecond},
        {"absolute link", "abs", "abs", false, {}, 0, "/etc/hostname", 9 * kSecond},
        {"dangling link", "gone", "gone", false, {}, 0, "no/such/file", 10 * kSecond},
        {"empty folder", "empty", "empty", false, {}, S_IFDIR | 0700, {}, 11 * kSecond},
    };
    for (const Item& item : items) {
        const std::string p = path("t/" + item.name);
        if (item.link) {
            ASSERT_EQ(::symlink(item.link->c_str(), p.c_str()), 0) << item.what;
        } else if ((item.mode & S_IFMT) == S_IFREG) {
            writeText(p, item.what);
        }
        if (item.mode) ASSERT_EQ(::chmod(p.c_str(), item.mode & 07777), 0) << item.what;
        setTime(p, item.modifiedNs);
    }
    auto kiv = TKiv::CreateNew(path("x.oru"));
    Reports reports;
    kiv->SetProgress(&reports);
    kiv->AddPath("", path("t"));
    EXPECT_EQ(reports.renames, std::vector<std::string>{}) << "no rename is visible";
    EXPECT_EQ(reports.skips, std::vector<std::string>{}) << "a dangling link is stored, not left out";

    CatalogTable& c = kiv->Catalog();
    for (const Item& item : items) {
        SCOPED_TRACE(item.what);
        const int i = rowShowing(c, item.shown);
        ASSERT_GE(i, 0);
        const EntryMeta m = entrymeta::readAt(c, i);
        EXPECT_EQ(m.trueName.has_value(), item.trueNameSet);
        EXPECT_EQ(m.nameBytes, item.nameBytes);
        EXPECT_EQ(m.modifiedNs, item.modifiedNs);
        EXPECT_TRUE(c.HasValueAt(i, schema::kFileDate)) << "FileDate";
        EXPECT_EQ(m.linkTarget, item.link);
        if (item.link) {
            EXPECT_EQ(m.mode.value_or(0) & S_IFMT, uint32_t{S_IFLNK});
            EXPECT_EQ(c.IntegerAt(i, schema::kFileType), schema::kFile);
            EXPECT_EQ(contentAt(*kiv, i), *item.link) << "a link's content is its target";
        } else {
            EXPECT_EQ(m.mode, item.mode);
        }
    }
    // Two folders named lib: the catalog names differ (folder names are unique in the whole
    // archive), both show "lib".
    std::vector<std::string> libs;
    for (int i = 0; i < c.ViewSize(); ++i) {
        if (entrymeta::trueNameAt(c, i) == "lib") libs.push_back(c.TextAt(i, schema::kFileName));
    }
    std::sort(libs.begin(), libs.end());
    EXPECT_EQ(libs, (std::vector<std::string>{"lib", "lib~1"}));
}

// -L stores what links point to, with the target's mode and time; a dangling link is then left
// out as a broken link, as before.
TEST_F(AddMetaTest, DereferenceStoresWhatLinksPointTo) {
    mkdir("t");
    writeText(path("t/real"), "content");
    ASSERT_EQ(::chmod(path("t/real").c_str(), 0751), 0);
    setTime(path("t/real"), 42 * kSecond);
    ASSERT_EQ(::symlink("real", path("t/ln").c_str()), 0);
    ASSERT_EQ(::symlink("none", path("t/gone").c_str()), 0);
    auto kiv = TKiv::CreateNew(path("x.oru"));
    kiv->SetDereference(true);
    Reports reports;
    kiv->SetProgress(&reports);
    kiv->AddPath("", path("t"));
    EXPECT_EQ(reports.skips, std::vector<std::string>{path("t/gone")});
    const int i = rowShowing(kiv->Catalog(), "ln");
    ASSERT_GE(i, 0);
    const EntryMeta m = entrymeta::readAt(kiv->Catalog(), i);
    EXPECT_EQ(m.mode, uint32_t{S_IFREG | 0751});
    EXPECT_EQ(m.modifiedNs, 42 * kSecond);
    EXPECT_EQ(m.linkTarget, std::nullopt);
    EXPECT_EQ(contentAt(*kiv, i), "content");
}

// Items whose names share a catalog name stay apart across adds: adding the second does not
// replace the first; adding the same path again replaces its own row, with the new values.
TEST_F(AddMetaTest, AddingAgainMatchesTheTrueName) {
    writeText(path("a😀.txt"), "first");
    writeText(path("a🎉.txt"), "second");
    auto kiv = TKiv::CreateNew(path("x.oru"));
    kiv->AddPath("", path("a😀.txt"));
    kiv->AddPath("", path("a🎉.txt"));
    CatalogTable& c = kiv->Catalog();
    ASSERT_EQ(c.ViewSize(), 2);
    EXPECT_EQ(contentAt(*kiv, rowShowing(c, "a😀.txt")), "first");
    EXPECT_EQ(contentAt(*kiv, rowShowing(c, "a🎉.txt")), "second");

    writeText(path("a😀.txt"), "first, changed");
    setTime(path("a😀.txt"), 77 * kSecond);
    kiv->AddPath("", path("a😀.txt"));
    ASSERT_EQ(c.ViewSize(), 2);
    const int i = rowShowing(c, "a😀.txt");
    EXPECT_EQ(contentAt(*kiv, i), "first, changed");
    EXPECT_EQ(entrymeta::readAt(c, i).modifiedNs, 77 * kSecond);

    // Kept beside the one there, the item shows a name of its own, reported as a rename.
    Reports reports;
    kiv->SetProgress(&reports);
    kiv->AddPath("", path("a😀.txt"), TKiv::AddMode::KeepBoth);
    EXPECT_EQ(reports.renames, std::vector<std::string>{path("a😀.txt") + " -> a😀~1.txt"});
    EXPECT_GE(rowShowing(c, "a😀~1.txt"), 0);

    // A folder beside a file of its name is shown under a name of its own too.
    mkdir("d/a😀.txt");
    reports.renames.clear();
    kiv->AddPath("", path("d/a😀.txt"));
    EXPECT_EQ(reports.renames, std::vector<std::string>{path("d/a😀.txt") + " -> a😀~2.txt"});
}

// Plain mode writes the eight columns only and reports every catalog rename; rows it adds to an
// archive with the extension columns leave them empty, FileDate too.
TEST_F(AddMetaTest, PlainRowsHaveNoValuesAndReportRenames) {
    writeText(path("résumé.txt"), "r");
    writeText(path("b.txt"), "b");
    {
        auto kiv = TKiv::CreateNew(path("plain.oru"));
        kiv->SetPlain(true);
        Reports reports;
        kiv->SetProgress(&reports);
        kiv->AddPath("", path("résumé.txt"));
        EXPECT_EQ(reports.renames, std::vector<std::string>{path("résumé.txt") + " -> resume.txt"});
        EXPECT_FALSE(entrymeta::hasColumns(kiv->Catalog()));
        EXPECT_EQ(kiv->Catalog().Data().columns.size(), 8u);
        EXPECT_FALSE(kiv->Catalog().HasValueAt(0, schema::kFileDate));
    }
    auto kiv = TKiv::CreateNew(path("x.oru"));
    kiv->AddPath("", path("résumé.txt"));
    kiv->SetPlain(true);
    kiv->AddPath("", path("b.txt"));
    kiv.reset();
    kiv = TKiv::OpenExisting(path("x.oru"));
    CatalogTable& c = kiv->Catalog();
    ASSERT_TRUE(entrymeta::hasColumns(c));
    const int b = rowShowing(c, "b.txt");
    ASSERT_GE(b, 0);
    EXPECT_EQ(entrymeta::readAt(c, b), EntryMeta{});
    EXPECT_FALSE(c.HasValueAt(b, schema::kFileDate));
    EXPECT_TRUE(entrymeta::readAt(c, rowShowing(c, "résumé.txt")).mode.has_value());
}

// Adding to an archive of eight columns (written elsewhere, or plain) appends the extension
// columns: its rows keep every field as it was and leave the new ones unassigned.
TEST_F(AddMetaTest, AddingToAnArchiveOfEightColumnsKeepsItsRows) {
    writeText(path("old.txt"), "old");
    writeText(path("new.txt"), "new");
    std::vector<Row> before;
    {
        PlainScope plain(true);
        auto kiv = TKiv::CreateNew(path("x.oru"));
        kiv->AddPath("", path("old.txt"));
        before = rowsOf(kiv->Catalog());
    }
    auto kiv = TKiv::OpenExisting(path("x.oru"));
    kiv->AddPath("", path("new.txt"));
    kiv.reset();
    kiv = TKiv::OpenExisting(path("x.oru"));
    CatalogTable& c = kiv->Catalog();
    ASSERT_TRUE(entrymeta::hasColumns(c));
    const std::vector<Row> after = rowsOf(c);
    ASSERT_EQ(after.size(), 2u);
    EXPECT_TRUE(std::find(after.begin(), after.end(), before[0]) != after.end()) << "the old row changed";
    EXPECT_EQ(entrymeta::readAt(c, rowShowing(c, "old.txt")), EntryMeta{});
    EXPECT_TRUE(entrymeta::readAt(c, rowShowing(c, "new.txt")).modifiedNs.has_value());
}

// The values of every row survive deleting, compaction and adding more (recovery after a crash:
// CrashSafetyTest).
TEST_F(AddMetaTest, ValuesSurviveDeleteCompactionAndRecovery) {
    mkdir("t/sub");
    writeText(path("t/한.txt"), "one");
    writeText(path("t/sub/two"), "two");
    ASSERT_EQ(::symlink("../한.txt", path("t/sub/ln").c_str()), 0);
    writeText(path("t/gone.txt"), "deleted later");
    writeText(path("later.txt"), "added later");
    ASSERT_EQ(::chmod(path("later.txt").c_str(), 0604), 0);
    setTime(path("later.txt"), 123 * kSecond + 456);
    // Every row's shown name with its values, whatever the order.
    const auto valuesOf = [](CatalogTable& c) {
        std::map<std::string, EntryMeta> values;
        for (int i = 0; i < c.ViewSize(); ++i) values[entrymeta::trueNameAt(c, i)] = entrymeta::readAt(c, i);
        return values;
    };
    auto kiv = TKiv::CreateNew(path("x.oru"));
    kiv->AddPath("", path("t"));
    auto expected = valuesOf(kiv->Catalog());
    ASSERT_EQ(expected.size(), 6u);
    EXPECT_EQ(expected["한.txt"].trueName, "한.txt");
    EXPECT_EQ(expected["ln"].linkTarget, "../한.txt");

    CatalogTable cursor;
    cursor.CloneFrom(kiv->Catalog());
    cursor.SetRecordNumber(rowShowing(cursor, "gone.txt") + 1);
    kiv->DeleteEntry(cursor);
    expected.erase("gone.txt");
    kiv->Compact();
    kiv.reset();
    kiv = TKiv::OpenExisting(path("x.oru"));
    EXPECT_EQ(valuesOf(kiv->Catalog()), expected) << "after delete and compaction";

    // Added in another call, after the deletion and compaction.
    kiv->AddPath("", path("later.txt"));
    kiv.reset();
    kiv = TKiv::OpenExisting(path("x.oru"));
    auto now = valuesOf(kiv->Catalog());
    EXPECT_EQ(now["later.txt"].mode, uint32_t{S_IFREG | 0604});
    EXPECT_EQ(now["later.txt"].modifiedNs, 123 * kSecond + 456);
    now.erase("later.txt");
    EXPECT_EQ(now, expected) << "after another add";
}

}  // namespace
}  // namespace oru::test
