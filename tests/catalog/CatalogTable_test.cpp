// SPDX-License-Identifier: GPL-3.0-or-later
// The catalog table as its callers use it: fields, orderings, filters, cursors and clones kept
// up to date, bookmarks, the browse check and the notifications of a bound view.

#include "catalog/CatalogTable.h"

#include <gtest/gtest.h>

#include <climits>
#include <cstdint>
#include <cstring>
#include <random>
#include <string>
#include <vector>

#include "platform/CodePage.h"
#include "platform/Collation.h"
#include "platform/Error.h"
#include "platform/Stream.h"

namespace oru {
namespace {

// Appends one row through t; offset tags rows that share a name.
void addRow(CatalogTable& t, const std::string& name, const std::string& parent = "", int type = 1, int offset = 0) {
    t.Append();
    t.SetText("FileName", name);
    t.SetText("ParentName", parent);
    t.SetInteger("FileType", type);
    t.SetInteger("Offset", offset);
    t.Post();
}

std::vector<std::string> names(const CatalogTable& t) {
    std::vector<std::string> out;
    for (int i = 0; i < t.ViewSize(); ++i) out.push_back(t.TextAt(i, "FileName"));
    return out;
}

// "name/offset" of each row of the view.
std::vector<std::string> tagged(const CatalogTable& t) {
    std::vector<std::string> out;
    for (int i = 0; i < t.ViewSize(); ++i) {
        out.push_back(t.TextAt(i, "FileName") + "/" + std::to_string(t.IntegerAt(i, "Offset")));
    }
    return out;
}

std::string current(const CatalogTable& t) { return t.IsEmpty() ? "<none>" : t.GetText("FileName"); }

template <class F>
void expectFailure(F&& f, const std::string& message) {
    try {
        f();
        ADD_FAILURE() << "expected failure \"" << message << "\"";
    } catch (const Error& e) {
        EXPECT_EQ(std::string(e.what()), message);
    }
}

class CatalogTableTest : public testing::Test {
protected:
    void SetUp() override { collation::resetLocale("en_US"); }
    void TearDown() override { collation::resetLocale(nullptr); }
};

// --- fields

TEST_F(CatalogTableTest, SetTextCutsAtZeroByteAndFortyBytesAndTrimsTrailingSpaces) {
    const std::string big5Straddle = std::string(39, 'x') + cp950::fromUtf8("中");  // 41 bytes
    struct Case {
        const char* what;
        std::string input;
        std::string stored;
    } cases[] = {
        {"41 bytes", std::string(41, 'n'), std::string(40, 'n')},
        {"trailing spaces", "a  ", "a"},
        {"only spaces is the empty value", "   ", ""},
        {"inner and leading spaces stay", " a b", " a b"},
        {"tab is not trimmed", "a\t", "a\t"},
        {"zero byte", std::string("ab\0cd", 5), "ab"},
        {"cut, then trimmed", std::string(38, 'n') + "   x", std::string(38, 'n')},
        {"double-byte character keeps its lead byte", big5Straddle, big5Straddle.substr(0, 40)},
    };
    CatalogTable t;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        t.Append();
        t.SetText("FileName", c.input);
        t.Post();
        EXPECT_EQ(t.GetText("FileName"), c.stored);
        EXPECT_TRUE(t.HasValue("FileName"));
    }
    EXPECT_EQ(static_cast<unsigned char>(big5Straddle[39]), 0xA4u);
}

TEST_F(CatalogTableTest, FieldStatesAndNumericAccessors) {
    CatalogTable t;
    t.Append();
    t.SetText("ParentName", "");
    t.SetInteger("Offset", -1);
    t.SetInteger("StoredSize", 2147483647);
    t.SetInteger("FileType", -7);
    t.Post();
    // Never written: unassigned, read as nothing.
    EXPECT_FALSE(t.HasValue("FileName"));
    EXPECT_EQ(t.GetText("FileName"), "");
    EXPECT_FALSE(t.HasValue("OriginalSize"));
    EXPECT_EQ(t.GetInteger("OriginalSize"), 0);
    EXPECT_EQ(t.GetDateTime("CheckinDate"), 0.0);
    // The empty text is a value.
    EXPECT_TRUE(t.HasValue("ParentName"));
    // 32-bit writes are sign-extended into 64-bit fields.
    EXPECT_EQ(t.GetInt64("Offset"), -1);
    EXPECT_EQ(t.GetInteger("Offset"), -1);
    EXPECT_EQ(t.GetInt64("StoredSize"), 2147483647);
    EXPECT_EQ(t.GetInteger("FileType"), -7);
    EXPECT_EQ(t.GetInt64("FileType"), -7);
    const Slot& slot = t.Data().slots[0];
    EXPECT_EQ(slot.fields[0].state, FieldState::Unassigned);
    EXPECT_EQ(slot.fields[1].state, FieldState::Value);
    EXPECT_EQ(slot.fields[1].raw, "");
    EXPECT_EQ(slot.fields[3].raw, std::string(8, '\xFF'));
}

TEST_F(CatalogTableTest, DateTimesAreKeptToTheMillisecondAsMillisecondsSinceYearOne) {
    const double ms = 1.0 / 86400000.0;
    struct Case {
        double input;
        double read;
        double storedMs;
    } cases[] = {
        {0.0, 0.0, 59926521600000.0},
        {38412.5, 38412.5, 63245361600000.0},  // 2005-03-01 12:00
        {38412.0 + 0.4 * ms, 38412.0, 63245318400000.0},
        {38412.0 + 0.6 * ms, 38412.0 + ms, 63245318400001.0},
        {38412.0 + 999.0 * ms, 38412.0 + 999.0 * ms, 63245318400999.0},
    };
    CatalogTable t;
    for (const auto& c : cases) {
        t.Append();
        t.SetDateTime("CheckinDate", c.input);
        t.Post();
        EXPECT_DOUBLE_EQ(t.GetDateTime("CheckinDate"), c.read) << c.input;
        double stored = 0;
        const FieldBytes& raw = t.Data().slots.back().fields[7].raw;
        ASSERT_EQ(raw.size(), 8u);
        std::memcpy(&stored, raw.data(), 8);
        EXPECT_EQ(stored, c.storedMs) << c.input;
    }
    // The bytes of the 2005-03-01 12:00 value, as they go into a packet.
    EXPECT_EQ(t.Data().slots[1].fields[7].raw, std::string("\x00\x00\xEB\xA7\xBA\xC2\xCC\x42", 8));
    t.Append();
    expectFailure([&] { t.SetDateTime("CheckinDate", std::nan("")); },
                  "Invalid date-time value for field 'CheckinDate'");
}

TEST_F(CatalogTableTest, FailuresCarryTheirMessages) {
    CatalogTable t;
    expectFailure([&] { t.DeleteCurrent(); }, "Cannot perform this operation on an empty dataset");
    expectFailure([&] { t.SetText("FileName", "a"); }, "Dataset not in edit or insert mode");
    expectFailure([&] { t.SetInteger("FileType", 1); }, "Dataset not in edit or insert mode");
    expectFailure([&] { t.GetText("Nope"); }, "Field 'Nope' not found");
    expectFailure([&] { t.SetText("Nope", "a"); }, "Field 'Nope' not found");
    expectFailure([&] { t.SetOrdering("FileType;Nope"); }, "Field 'Nope' not found");
    EXPECT_EQ(t.Ordering(), "");
    t.SetFiltered(true);
    expectFailure([&] { t.SetFilterText("Nope='x'"); }, "Field 'Nope' not found");
    expectFailure([&] { t.SetFilterText("ParentName='it's'"); }, "Invalid filter: ParentName='it's'");
    expectFailure([&] { t.SetFilterText("ParentName=x"); }, "Invalid filter: ParentName=x");
    // Reading an empty view gives nothing; its record number is 0 and may be set to 0.
    EXPECT_EQ(t.GetText("FileName"), "");
    EXPECT_EQ(t.GetInteger("Offset"), 0);
    EXPECT_EQ(t.RecordNumber(), 0);
    EXPECT_NO_THROW(t.SetRecordNumber(0));
    try {
        t.SetRecordNumber(1);
        ADD_FAILURE() << "SetRecordNumber(1) on an empty view";
    } catch (const Error& e) {
        EXPECT_EQ(e.kind(), ErrorKind::CatalogStatus);
        EXPECT_EQ(e.status(), kRecordNumberOutOfRange);
    }
}

// --- orderings and collation

TEST_F(CatalogTableTest, OrderingsPlaceEqualKeysBehindTheirEquals) {
    CatalogTable t;
    t.SetOrdering("FileName");
    addRow(t, "b", "", 1, 1);
    addRow(t, "a", "", 1, 2);
    addRow(t, "c", "", 1, 3);
    addRow(t, "a", "", 1, 4);
    addRow(t, "a ", "", 1, 5);  // stored as "a": an equal key
    EXPECT_EQ(tagged(t), (std::vector<std::string>{"a/2", "a/4", "a/5", "b/1", "c/3"}));
    EXPECT_EQ(current(t), "a");
    EXPECT_EQ(t.RecordNumber(), 3);

    // An edit that keeps the sort fields keeps the row's place; one that changes them goes
    // behind every row equal to the new key.
    t.SetRecordNumber(1);
    t.Edit();
    t.SetInteger("Offset", 20);
    t.Post();
    EXPECT_EQ(tagged(t), (std::vector<std::string>{"a/20", "a/4", "a/5", "b/1", "c/3"}));
    t.Edit();
    t.SetText("FileName", "b");
    t.Post();
    EXPECT_EQ(tagged(t), (std::vector<std::string>{"a/4", "a/5", "b/1", "b/20", "c/3"}));
    EXPECT_EQ(t.RecordNumber(), 4);  // the posting cursor stays on the row

    // Folders first under FileType;FileName; the current row is kept across the change.
    t.SetRecordNumber(5);
    addRow(t, "z", "", 0, 6);
    addRow(t, "d", "", 0, 7);
    t.SetRecordNumber(1);
    t.SetOrdering("FileType;FileName");
    EXPECT_EQ(names(t), (std::vector<std::string>{"d", "z", "a", "a", "b", "b", "c"}));
    EXPECT_EQ(tagged(t)[t.RecordNumber() - 1], "a/4");
    // The default order is the order of appending; an edited row keeps its place in it.
    t.SetOrdering("");
    EXPECT_EQ(tagged(t), (std::vector<std::string>{"b/1", "b/20", "c/3", "a/4", "a/5", "z/6", "d/7"}));
}

TEST_F(CatalogTableTest, RowsWithoutValueSortFirstAndTypesSortSigned) {
    CatalogTable t;
    t.SetOrdering("FileType;FileName");
    addRow(t, "x", "", 1);
    addRow(t, "y", "", -1);
    t.Append();
    t.SetText("FileName", "w");  // FileType unassigned
    t.Post();
    t.Append();
    t.SetInteger("FileType", 0);  // FileName unassigned
    t.Post();
    addRow(t, "v", "", 0);
    EXPECT_EQ(names(t), (std::vector<std::string>{"w", "y", "", "v", "x"}));
}

TEST_F(CatalogTableTest, NumbersAndDateTimesSortBySignedValue) {
    struct Case {
        const char* ordering;
        std::vector<std::string> ordered;
    } cases[] = {
        {"Offset", {"none", "min", "minus1", "zero", "one", "max"}},
        {"CheckinDate", {"none", "before1899", "zero", "ms", "later"}},
    };
    CatalogTable t;
    const std::pair<const char*, int> offsets[] = {
        {"one", 1}, {"min", INT32_MIN}, {"max", INT32_MAX}, {"minus1", -1}, {"zero", 0}};
    for (const auto& [name, value] : offsets) {
        t.Append();
        t.SetText("FileName", name);
        t.SetInteger("Offset", value);
        t.Post();
    }
    t.Append();
    t.SetText("FileName", "none");
    t.Post();
    CatalogTable dates;
    const std::pair<const char*, double> times[] = {
        {"later", 40000.25}, {"before1899", -3.5}, {"ms", 1.0 / 86400000.0}, {"zero", 0.0}};
    for (const auto& [name, value] : times) {
        dates.Append();
        dates.SetText("FileName", name);
        dates.SetDateTime("CheckinDate", value);
        dates.Post();
    }
    dates.Append();
    dates.SetText("FileName", "none");
    dates.Post();
    for (const Case& c : cases) {
        CatalogTable& table = std::string(c.ordering) == "Offset" ? t : dates;
        table.SetOrdering(c.ordering);
        EXPECT_EQ(names(table), c.ordered) << c.ordering;
    }
}

TEST_F(CatalogTableTest, NamesCollateByLocaleNotByBytes) {
    struct Case {
        const char* locale;
        std::vector<std::string> appended;  // UTF-8, stored as CP950
        std::vector<std::string> ordered;
    } cases[] = {
        {"en_US", {"b", "B", "a", "A", "Ab", "ab", "10", "9"}, {"10", "9", "a", "A", "ab", "Ab", "b", "B"}},
        // Stroke order: 乂 (2 strokes) before 中 (4), though its Big5 code is larger; 一 (1)
        // first; this locale puts Han characters before Latin letters.
        {"zh_TW", {"中", "乂", "一", "a"}, {"一", "乂", "中", "a"}},
    };
    ASSERT_GT(cp950::fromUtf8("乂"), cp950::fromUtf8("中"));
    for (const Case& c : cases) {
        SCOPED_TRACE(c.locale);
        collation::resetLocale(c.locale);
        CatalogTable t;
        t.SetOrdering("FileName");
        for (const auto& n : c.appended) addRow(t, cp950::fromUtf8(n));
        std::vector<std::string> got;
        for (const auto& n : names(t)) got.push_back(cp950::toUtf8(n));
        EXPECT_EQ(got, c.ordered);
    }
    // Equal only when the collation says so: case matters for the filter too.
    collation::resetLocale("en_US");
    CatalogTable t;
    addRow(t, "x", "Docs");
    addRow(t, "y", "docs");
    t.SetFilterText(CatalogTable::parentFilter("docs"));
    t.SetFiltered(true);
    EXPECT_EQ(names(t), std::vector<std::string>{"y"});
}

// --- filters

TEST_F(CatalogTableTest, ParentFilterMatchesQuotedNamesAndTellsEmptyFromUnassigned) {
    EXPECT_EQ(CatalogTable::parentFilter("it's"), "ParentName='it''s'");
    EXPECT_EQ(CatalogTable::parentFilter(""), "ParentName=''");
    CatalogTable t;
    t.SetOrdering("FileName");
    addRow(t, "top1", "");
    addRow(t, "q1", "it's");
    addRow(t, "q2", "its");
    addRow(t, "q3", "'");
    addRow(t, "top2", "");
    t.Append();
    t.SetText("FileName", "orphan");  // ParentName never set
    t.Post();
    struct Case {
        std::string name;
        std::vector<std::string> rows;
    } cases[] = {
        {"", {"top1", "top2"}},
        {"it's", {"q1"}},
        {"its", {"q2"}},
        {"'", {"q3"}},
        {"none", {}},
    };
    t.SetFiltered(true);
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        t.SetFilterText(CatalogTable::parentFilter(c.name));
        EXPECT_EQ(names(t), c.rows);
        EXPECT_EQ(t.RecordNumber(), c.rows.empty() ? 0 : 1);
        EXPECT_EQ(t.AtEnd(), c.rows.empty());
    }
    // Off shows every row and keeps the text; on again gives the same view, on its first row.
    t.SetFilterText(CatalogTable::parentFilter(""));
    t.Next();
    t.SetFiltered(false);
    EXPECT_EQ(t.ViewSize(), 6);
    EXPECT_EQ(t.FilterText(), "ParentName=''");
    EXPECT_EQ(t.RecordNumber(), 1);
    t.SetFiltered(true);
    EXPECT_EQ(names(t), (std::vector<std::string>{"top1", "top2"}));
    EXPECT_EQ(current(t), "top1");
    // With the switch off a new text is only stored.
    t.SetFiltered(false);
    t.SetFilterText(CatalogTable::parentFilter("its"));
    EXPECT_EQ(t.ViewSize(), 6);
    t.SetFiltered(true);
    EXPECT_EQ(names(t), std::vector<std::string>{"q2"});
}

TEST_F(CatalogTableTest, RecordNumbersCountInsideTheFilteredView) {
    CatalogTable t;
    t.SetOrdering("FileType;FileName");
    for (const char* n : {"a", "b", "c"}) addRow(t, n, "other");
    addRow(t, "m", "docs");
    addRow(t, "n", "docs");
    t.SetFilterText(CatalogTable::parentFilter("docs"));
    t.SetFiltered(true);
    EXPECT_EQ(t.RecordNumber(), 1);
    t.Next();
    EXPECT_EQ(t.RecordNumber(), 2);
    t.SetRecordNumber(t.RecordNumber());
    EXPECT_EQ(current(t), "n");
    t.SetRecordNumber(1);
    EXPECT_EQ(current(t), "m");
    EXPECT_THROW(t.SetRecordNumber(3), Error);
}

// --- moving and deleting

TEST_F(CatalogTableTest, MovesAndDeletesWalkTheView) {
    CatalogTable t;
    t.SetOrdering("FileName");
    for (const char* n : {"d", "b", "a", "c"}) addRow(t, n);

    t.First();
    std::vector<std::string> walked;
    while (!t.AtEnd()) {
        walked.push_back(current(t));
        t.Next();
    }
    EXPECT_EQ(walked, (std::vector<std::string>{"a", "b", "c", "d"}));
    EXPECT_EQ(current(t), "d");  // Next from the last row stays there
    EXPECT_EQ(t.RecordNumber(), 4);

    struct Case {
        int recordNumber;
        std::string nowCurrent;
        std::vector<std::string> left;
    } cases[] = {
        {4, "c", {"a", "b", "c"}},  // the last row: the one before becomes current
        {1, "b", {"b", "c"}},       // otherwise the one that followed
        {1, "c", {"c"}},
        {1, "<none>", {}},
    };
    for (const Case& c : cases) {
        t.SetRecordNumber(c.recordNumber);
        t.DeleteCurrent();
        EXPECT_EQ(current(t), c.nowCurrent);
        EXPECT_EQ(names(t), c.left);
        EXPECT_EQ(t.AtEnd(), c.left.empty());
    }
    EXPECT_TRUE(t.IsEmpty());
}

TEST_F(CatalogTableTest, DeletingFromFirstUntilAtEndDeletesEveryRowInViewOrder) {
    CatalogTable t;
    t.SetOrdering("FileName");
    for (const char* n : {"e", "c", "a", "d", "b", "x"}) addRow(t, n, n == std::string("x") ? "keep" : "f");
    CatalogTable clone;
    clone.CloneFrom(t);
    clone.SetFilterText(CatalogTable::parentFilter("f"));
    clone.SetFiltered(true);
    clone.First();
    std::vector<std::string> deleted;
    while (!clone.AtEnd()) {
        deleted.push_back(current(clone));
        clone.DeleteCurrent();
    }
    EXPECT_EQ(deleted, (std::vector<std::string>{"a", "b", "c", "d", "e"}));
    EXPECT_TRUE(clone.IsEmpty());
    EXPECT_EQ(names(t), std::vector<std::string>{"x"});
}

// --- clones

TEST_F(CatalogTableTest, CloneOfFilteredCursorShowsEveryRowInItsOrdering) {
    CatalogTable t;
    t.SetOrdering("FileType;FileName");
    addRow(t, "f2", "docs", 1);
    addRow(t, "docs", "", 0);
    addRow(t, "f1", "", 1);
    addRow(t, "f0", "docs", 1);
    t.SetFilterText(CatalogTable::parentFilter("docs"));
    t.SetFiltered(true);
    t.Next();  // on f2

    CatalogTable clone;
    clone.CloneFrom(t);
    EXPECT_EQ(names(clone), (std::vector<std::string>{"docs", "f0", "f1", "f2"}));
    EXPECT_EQ(clone.Ordering(), "FileType;FileName");
    EXPECT_FALSE(clone.Filtered());
    EXPECT_EQ(clone.FilterText(), "");
    EXPECT_EQ(current(clone), "f2");

    // Filtering or reordering the clone leaves the source alone.
    clone.SetFilterText(CatalogTable::parentFilter(""));
    clone.SetFiltered(true);
    clone.SetOrdering("");
    EXPECT_EQ(names(clone), (std::vector<std::string>{"docs", "f1"}));
    EXPECT_EQ(names(t), (std::vector<std::string>{"f0", "f2"}));
    EXPECT_EQ(current(t), "f2");
    EXPECT_EQ(t.Ordering(), "FileType;FileName");

    // Changes through either cursor show in the other at once.
    addRow(clone, "f3", "docs", 1);
    EXPECT_EQ(names(t), (std::vector<std::string>{"f0", "f2", "f3"}));
    EXPECT_EQ(current(t), "f2");
    t.DeleteCurrent();  // f2: f3 follows it
    EXPECT_EQ(current(t), "f3");
    addRow(t, "f4", "", 1);
    EXPECT_EQ(names(clone), (std::vector<std::string>{"docs", "f1", "f4"}));
}

TEST_F(CatalogTableTest, DeleteThroughCloneMovesOtherCursorsOnlyWhenTheirRowGoes) {
    struct Case {
        const char* what;
        int sourceRow;    // record number the source stands on
        int deletedRow;   // record number deleted through the clone
        std::string sourceAfter;
    } cases[] = {
        {"another row", 2, 4, "b"},
        {"the source's row", 2, 2, "c"},
        {"the source's last row", 4, 4, "c"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        CatalogTable t;
        t.SetOrdering("FileName");
        for (const char* n : {"a", "b", "c", "d"}) addRow(t, n);
        t.SetRecordNumber(c.sourceRow);
        {
            CatalogTable clone;
            clone.CloneFrom(t);
            clone.SetRecordNumber(c.deletedRow);
            clone.DeleteCurrent();
        }
        EXPECT_EQ(t.ViewSize(), 3);
        EXPECT_EQ(current(t), c.sourceAfter);
        EXPECT_FALSE(t.AtEnd());
    }
}

TEST_F(CatalogTableTest, CloneKeepsTheSourceOrderOfEqualKeys) {
    CatalogTable t;
    for (int i = 0; i < 6; ++i) addRow(t, "same", i % 2 ? "odd" : "even", 1, i);
    // An edit that changes the key sends rows behind their equals: the view order of equal keys
    // now differs from the default order.
    t.SetOrdering("FileName");
    t.SetRecordNumber(1);
    t.Edit();
    t.SetText("FileName", "samf");
    t.Post();
    t.Edit();
    t.SetText("FileName", "same");
    t.Post();
    EXPECT_EQ(tagged(t).back(), "same/0");
    CatalogTable plain;
    plain.CloneFrom(t);
    EXPECT_EQ(tagged(plain), tagged(t));

    t.SetFilterText(CatalogTable::parentFilter("even"));
    t.SetFiltered(true);
    std::vector<std::string> before = tagged(t);
    CatalogTable clone;
    clone.CloneFrom(t);
    std::vector<std::string> evens;
    for (int i = 0; i < clone.ViewSize(); ++i) {
        if (clone.TextAt(i, "ParentName") == "even") evens.push_back(tagged(clone)[i]);
    }
    EXPECT_EQ(evens, before);
    EXPECT_EQ(clone.ViewSize(), 6);
}

// --- bookmarks

TEST_F(CatalogTableTest, BookmarksFailWhenTheirRowVersionLeftTheView) {
    CatalogTable t;
    t.SetOrdering("FileName");
    for (const char* n : {"a1", "a2", "b1", "b2"}) addRow(t, n, std::string(1, n[0]));
    t.SetFilterText(CatalogTable::parentFilter("a"));
    t.SetFiltered(true);
    t.Next();
    auto a2 = t.GetBookmark();
    ASSERT_TRUE(a2);
    EXPECT_EQ(a2->recordNumber, 2);
    t.First();
    auto a1 = t.GetBookmark();
    EXPECT_EQ(CatalogTable::CompareBookmarks(*a1, *a2), -1);
    EXPECT_EQ(CatalogTable::CompareBookmarks(*a2, *a1), 1);
    EXPECT_EQ(CatalogTable::CompareBookmarks(*a1, *a1), 0);
    t.GotoBookmark(a2);
    EXPECT_EQ(current(t), "a2");
    t.GotoBookmark(std::nullopt);
    EXPECT_EQ(current(t), "a2");

    // Another folder with as many rows: the bookmark's position exists, its row does not.
    t.SetFilterText(CatalogTable::parentFilter("b"));
    expectFailure([&] { t.GotoBookmark(a2); }, "Record not found");
    t.SetFilterText(CatalogTable::parentFilter("a"));
    t.GotoBookmark(a2);

    // Superseded by an edit.
    t.Edit();
    t.SetInteger("Offset", 9);
    t.Post();
    expectFailure([&] { t.GotoBookmark(a2); }, "Record not found");
    t.GotoBookmark(t.GetBookmark());

    // Deleted.
    t.GotoBookmark(a1);
    t.DeleteCurrent();
    expectFailure([&] { t.GotoBookmark(a1); }, "Record not found");

    // A merge gives the last slot's number back; a bookmark of the row that held it does not
    // reach the row that takes the number next.
    t.SetFiltered(false);
    t.First();
    auto last = t.GetBookmark();
    while (t.Data().slots.size() != last->slot) {
        t.Next();
        last = t.GetBookmark();
    }
    t.DeleteCurrent();
    t.MergeChanges();
    addRow(t, "new");
    ASSERT_EQ(t.Data().slots.size(), last->slot);
    expectFailure([&] { t.GotoBookmark(last); }, "Record not found");

    // No bookmark while appending or with an empty view.
    t.Append();
    EXPECT_FALSE(t.GetBookmark());
    t.Post();
    t.SetFilterText(CatalogTable::parentFilter("none"));
    t.SetFiltered(true);
    EXPECT_FALSE(t.GetBookmark());
}

// --- started rows and the browse check

TEST_F(CatalogTableTest, BrowseCheckPostsWrittenRowsAndDropsUntouchedOnes) {
    CatalogTable t;
    addRow(t, "a");
    const size_t logBefore = t.Data().log.size();

    struct Case {
        const char* what;
        bool edit;      // Edit instead of Append
        bool write;     // write a field
        bool same;      // the written value is the one stored
        size_t newLog;  // entries recorded
    } cases[] = {
        {"append untouched", false, false, false, 0},
        {"append written", false, true, false, 1},
        {"edit untouched", true, false, false, 0},
        {"edit to the same value", true, true, true, 0},
        {"edit changed", true, true, false, 1},
    };
    size_t log = logBefore;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        t.First();
        if (c.edit) {
            t.Edit();
            EXPECT_EQ(t.GetState(), CatalogTable::State::Editing);
        } else {
            t.Append();
            EXPECT_EQ(t.GetState(), CatalogTable::State::Appending);
        }
        if (c.write) t.SetText("FileName", c.same ? t.GetText("FileName") : "w" + std::to_string(log));
        t.First();  // any operation that starts with the browse check
        EXPECT_EQ(t.GetState(), CatalogTable::State::Browsing);
        log += c.newLog;
        EXPECT_EQ(t.Data().log.size(), log);
    }
    // An explicit Post stores an appended row even when nothing was written.
    t.Append();
    t.Post();
    EXPECT_EQ(t.Data().log.size(), log + 1);
    // DeleteCurrent while appending drops the started row and deletes nothing.
    const int size = t.ViewSize();
    t.Append();
    t.SetText("FileName", "dropped");
    t.DeleteCurrent();
    EXPECT_EQ(t.ViewSize(), size);
    EXPECT_EQ(t.GetState(), CatalogTable::State::Browsing);
    // DeleteCurrent while editing drops the changes and deletes the row.
    t.First();
    t.Edit();
    t.SetText("FileName", "changed");
    t.DeleteCurrent();
    EXPECT_EQ(t.ViewSize(), size - 1);
    EXPECT_EQ(t.Data().log.back().kind, logkind::kDelete);
    // Edit with an empty view acts as Append.
    CatalogTable empty;
    empty.Edit();
    EXPECT_EQ(empty.GetState(), CatalogTable::State::Appending);
}

TEST_F(CatalogTableTest, AnEditWhoseRowAnotherCursorRemovedIsNotStored) {
    CatalogTable t;
    t.SetOrdering("FileName");
    addRow(t, "a");
    addRow(t, "b");
    CatalogTable clone;
    clone.CloneFrom(t);
    clone.First();
    t.First();
    t.Edit();
    t.SetText("FileName", "a2");
    clone.DeleteCurrent();  // deletes a under t's started edit
    const size_t slots = t.Data().slots.size();
    expectFailure([&] { t.Post(); }, "Record not found");
    EXPECT_EQ(t.GetState(), CatalogTable::State::Browsing);
    EXPECT_EQ(t.Data().slots.size(), slots);
    EXPECT_EQ(names(t), std::vector<std::string>{"b"});
    // Deleting instead must not take the row that now stands there.
    t.First();
    clone.First();
    t.Edit();
    clone.Edit();
    clone.SetText("FileName", "b2");
    clone.Post();
    expectFailure([&] { t.DeleteCurrent(); }, "Record not found");
    EXPECT_EQ(names(t), std::vector<std::string>{"b2"});
}

// --- notifications

// A view that mirrors the cursor from its notices alone, the way the window's model does.
class MirrorView : public CatalogObserver {
public:
    explicit MirrorView(const CatalogTable& t) : t_(t) { viewReset(); }
    void viewReset() override {
        rows = names(t_);
        currentIndex = t_.IsEmpty() ? -1 : t_.RecordNumber() - 1;
        ++resets;
    }
    void rowInserted(int index) override {
        ASSERT_GE(index, 0);
        ASSERT_LE(index, static_cast<int>(rows.size()));
        rows.insert(rows.begin() + index, t_.TextAt(index, "FileName"));
        if (currentIndex >= index) ++currentIndex;  // as a persistent index follows its row
    }
    void rowRemoved(int index) override {
        ASSERT_GE(index, 0);
        ASSERT_LT(index, static_cast<int>(rows.size()));
        rows.erase(rows.begin() + index);
        if (currentIndex > index) --currentIndex;
        else if (currentIndex == index) currentIndex = -2;  // must be followed by currentChanged
    }
    void rowMoved(int from, int to) override {
        ASSERT_LT(from, static_cast<int>(rows.size()));
        std::string row = rows[from];
        rows.erase(rows.begin() + from);
        ASSERT_LE(to, static_cast<int>(rows.size()));
        rows.insert(rows.begin() + to, row);
        if (currentIndex == from) {
            currentIndex = to;
        } else {
            if (currentIndex > from) --currentIndex;
            if (currentIndex >= to) ++currentIndex;
        }
    }
    void rowChanged(int index) override {
        ASSERT_LT(index, static_cast<int>(rows.size()));
        rows[index] = t_.TextAt(index, "FileName");
    }
    void currentChanged(int index) override { currentIndex = index; }
    void stateChanged() override { ++stateChanges; }

    std::vector<std::string> rows;
    int currentIndex = -1;
    int resets = 0;
    int stateChanges = 0;

private:
    const CatalogTable& t_;
};

TEST_F(CatalogTableTest, BoundViewsFollowEveryChangeFromEveryCursor) {
    CatalogTable t;
    t.SetOrdering("FileType;FileName");
    CatalogTable filtered;
    filtered.CloneFrom(t);
    filtered.SetFilterText(CatalogTable::parentFilter("p1"));
    filtered.SetFiltered(true);
    CatalogTable worker;
    worker.CloneFrom(t);
    MirrorView mainView(t), filteredView(filtered);
    t.Bind(&mainView);
    filtered.Bind(&filteredView);

    std::mt19937 rng(7);
    auto pick = [&](int n) { return static_cast<int>(rng() % static_cast<unsigned>(n)); };
    for (int step = 0; step < 400; ++step) {
        CatalogTable& c = pick(3) == 0 ? worker : (pick(2) ? t : filtered);
        int op = pick(20);
        if (op == 19) {
            // Views built anew: a new ordering of the main cursor, a new folder for the other.
            const char* orderings[] = {"FileType;FileName", "FileName", ""};
            t.SetOrdering(orderings[pick(3)]);
            filtered.SetFilterText(CatalogTable::parentFilter("p" + std::to_string(pick(3))));
        } else if (op < 8 || c.IsEmpty()) {
            addRow(c, std::string(1, static_cast<char>('a' + pick(6))), "p" + std::to_string(pick(3)), pick(2));
        } else if (op < 14) {
            c.SetRecordNumber(1 + pick(c.ViewSize()));
            c.Edit();
            if (pick(2)) c.SetText("FileName", std::string(1, static_cast<char>('a' + pick(6))));
            if (pick(2)) c.SetText("ParentName", "p" + std::to_string(pick(3)));
            c.SetInteger("Offset", step);
            c.Post();
        } else {
            c.SetRecordNumber(1 + pick(c.ViewSize()));
            c.DeleteCurrent();
        }
        ASSERT_EQ(t.ViewSize(), static_cast<int>(t.Data().defaultOrder().size())) << "step " << step;
        ASSERT_EQ(worker.ViewSize(), t.ViewSize()) << "step " << step;
        ASSERT_EQ(mainView.rows, names(t)) << "step " << step;
        ASSERT_EQ(filteredView.rows, names(filtered)) << "step " << step;
        ASSERT_EQ(mainView.currentIndex, t.RecordNumber() - 1) << "step " << step;
        ASSERT_EQ(filteredView.currentIndex, filtered.RecordNumber() - 1) << "step " << step;
    }
    EXPECT_GT(mainView.resets, 1);
}

// Filtered views are built from the rows grouped by parent; whatever happened to the rows
// (appends, edits that move a row to another folder, deletes, merges, a reload, emptying), a
// filtered view must show exactly what a scan of all current rows selects.
TEST_F(CatalogTableTest, FilteredViewsMatchAScanOfTheRowsThroughEveryChange) {
    const std::vector<std::string> parents = {"", "p", "P", "it's", "\xE4\xA4"};  // P: another key than p
    CatalogTable t;
    CatalogTable worker;
    worker.CloneFrom(t);
    worker.SetFilterText(CatalogTable::parentFilter("p"));
    worker.SetFiltered(true);
    std::mt19937 rng(11);
    auto pick = [&](int n) { return static_cast<int>(rng() % static_cast<unsigned>(n)); };

    // The rows a scan selects: current rows in the default order whose parent collates equal to
    // parent (no value matches nothing), sorted by name when ordered.
    auto scan = [&](const std::string& parent, bool byName) {
        const TableData& d = t.Data();
        std::vector<std::pair<std::string, std::string>> rows;  // name, name/offset
        for (uint32_t slot : d.defaultOrder()) {
            const auto& f = d.slots[slot - 1].fields;
            if (f[1].state != FieldState::Value || collation::sortKey(f[1].raw) != collation::sortKey(parent)) continue;
            int64_t offset = 0;
            if (f[3].state == FieldState::Value) std::memcpy(&offset, f[3].raw.data(), 8);
            std::string name = f[0].state == FieldState::Value ? f[0].raw.str() : std::string();
            rows.emplace_back(name, name + "/" + std::to_string(offset));
        }
        if (byName) {
            std::stable_sort(rows.begin(), rows.end(), [](const auto& a, const auto& b) {
                return collation::compare(a.first, b.first) < 0;
            });
        }
        std::vector<std::string> out;
        for (const auto& r : rows) out.push_back(r.second);
        return out;
    };

    for (int step = 0; step < 300; ++step) {
        CatalogTable& c = pick(2) ? t : worker;
        const int op = pick(40);
        if (op == 0) {
            t.MergeChanges();
        } else if (op == 1) {
            const std::vector<uint8_t> bytes = t.PacketBytes();
            MemoryStream stream(bytes);
            t.LoadPacket(stream);
        } else if (step == 150) {
            t.EmptyTable();
        } else if (op < 20 || c.IsEmpty()) {
            c.Append();
            c.SetText("FileName", std::string(1, static_cast<char>('a' + pick(5))));
            if (pick(8) != 0) c.SetText("ParentName", parents[pick(static_cast<int>(parents.size()))]);
            c.SetInteger("Offset", step);
            c.Post();
        } else if (op < 30) {
            c.SetRecordNumber(1 + pick(c.ViewSize()));
            c.Edit();
            if (pick(2)) c.SetText("ParentName", parents[pick(static_cast<int>(parents.size()))]);
            c.SetInteger("Offset", step);
            c.Post();
        } else {
            c.SetRecordNumber(1 + pick(c.ViewSize()));
            c.DeleteCurrent();
        }
        if (step % 7 != 0) continue;
        for (const std::string& parent : parents) {
            SCOPED_TRACE("step " + std::to_string(step) + ", parent '" + parent + "'");
            CatalogTable view;
            view.CloneFrom(t);
            view.SetOrdering(step % 2 ? "FileName" : "");
            view.SetFilterText(CatalogTable::parentFilter(parent));
            view.SetFiltered(true);
            ASSERT_EQ(tagged(view), scan(parent, step % 2 != 0));
        }
        worker.SetFilterText(CatalogTable::parentFilter(parents[pick(static_cast<int>(parents.size()))]));
    }
}

TEST_F(CatalogTableTest, SuspendedNotificationsEndInOneReset) {
    CatalogTable t;
    MirrorView view(t);
    t.Bind(&view);
    t.SuspendNotifications();
    t.SuspendNotifications();
    addRow(t, "a");
    t.Append();
    t.ResumeNotifications();
    EXPECT_EQ(view.resets, 1);
    EXPECT_TRUE(view.rows.empty());  // nothing sent yet
    t.ResumeNotifications();
    EXPECT_EQ(view.stateChanges, 1);  // browsing at first suspension, appending now
    EXPECT_EQ(view.resets, 2);
    EXPECT_EQ(view.rows, std::vector<std::string>{"a"});
    t.ResumeNotifications();  // at 0: nothing
    EXPECT_EQ(view.resets, 2);

    t.Post();
    const int states = view.stateChanges;
    t.SuspendNotifications();
    t.Edit();
    t.Post();
    t.ResumeNotifications();
    EXPECT_EQ(view.stateChanges, states);  // the same state as at the first suspension
    t.Bind(nullptr);
    addRow(t, "b");
    EXPECT_EQ(view.rows.size(), 2u);  // the last notice was before unbinding
}

// --- the table's rows

TEST_F(CatalogTableTest, EmptyTableKeepsOrderingAndFilterAndEmptiesEveryView) {
    CatalogTable t;
    t.SetOrdering("FileName");
    addRow(t, "a", "p");
    addRow(t, "b", "p");
    CatalogTable clone;
    clone.CloneFrom(t);
    t.SetFilterText(CatalogTable::parentFilter("p"));
    t.SetFiltered(true);
    t.EmptyTable();
    EXPECT_TRUE(t.IsEmpty());
    EXPECT_TRUE(clone.IsEmpty());
    EXPECT_TRUE(t.AtEnd());
    EXPECT_TRUE(t.Data().slots.empty());
    EXPECT_TRUE(t.Data().log.empty());
    EXPECT_EQ(t.Ordering(), "FileName");
    EXPECT_TRUE(t.Filtered());
    addRow(t, "c", "p");
    EXPECT_EQ(t.Data().log.front(), (LogEntry{1, 0, logkind::kInsert}));
    EXPECT_EQ(names(clone), std::vector<std::string>{"c"});
}

TEST_F(CatalogTableTest, LoadThenSaveReproducesThePacketWithSlotsAndLog) {
    CatalogTable t;
    t.SetOrdering("FileType;FileName");
    addRow(t, "docs", "", 0);
    addRow(t, "b.txt", "docs", 1, 16);
    addRow(t, "a.txt", "", 1, 30);
    addRow(t, "c.txt", "docs", 1, 40);
    t.MergeChanges();
    t.First();
    t.Next();  // a.txt: its edited version goes to a new slot, the old one stays
    t.Edit();
    t.SetInteger("Offset", 17);
    t.Post();
    t.Next();
    t.DeleteCurrent();  // b.txt
    const std::vector<uint8_t> packet = t.PacketBytes();

    struct Case {
        const char* what;
        bool merged;  // merge before saving: only the current rows, in the default order
    } cases[] = {{"with log", false}, {"merged", true}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        if (c.merged) t.MergeChanges();
        const std::vector<uint8_t> bytes = t.PacketBytes();
        MemoryStream stream(std::vector<uint8_t>{9, 9});
        stream.seek(2);
        stream.write(bytes.data(), bytes.size());
        stream.seek(2);
        CatalogTable loaded;
        loaded.SetOrdering("FileType;FileName");
        loaded.SetFilterText(CatalogTable::parentFilter("docs"));
        loaded.SetFiltered(true);
        loaded.LoadPacket(stream);
        EXPECT_EQ(loaded.PacketBytes(), bytes);
        EXPECT_EQ(loaded.Data().log, c.merged ? std::vector<LogEntry>{} : t.Data().log);
        EXPECT_EQ(loaded.Data().slots.size(), c.merged ? 3u : t.Data().slots.size());
        // The cursor kept its ordering and filter and stands on the first row.
        EXPECT_EQ(loaded.Ordering(), "FileType;FileName");
        EXPECT_EQ(names(loaded), std::vector<std::string>{"c.txt"});
        EXPECT_EQ(loaded.RecordNumber(), 1);
        // The empty parent name is still a value after the round trip.
        loaded.SetFilterText(CatalogTable::parentFilter(""));
        EXPECT_EQ(names(loaded), (std::vector<std::string>{"docs", "a.txt"}));
        // Changes go on from the loaded slot count.
        addRow(loaded, "d.txt");
        EXPECT_EQ(loaded.Data().log.back().slot, loaded.Data().slots.size());
    }
    EXPECT_NE(packet, t.PacketBytes());
}

TEST_F(CatalogTableTest, LoadPacketWithNoBytesKeepsTheTable) {
    CatalogTable t;
    addRow(t, "a");
    addRow(t, "b");
    t.Next();
    MemoryStream stream(std::vector<uint8_t>{1, 2, 3});
    stream.seek(3);
    t.LoadPacket(stream);
    EXPECT_EQ(names(t), (std::vector<std::string>{"a", "b"}));
    EXPECT_EQ(t.RecordNumber(), 1);
    EXPECT_EQ(t.Data().log.size(), 2u);
}

}  // namespace
}  // namespace oru
