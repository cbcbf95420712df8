// SPDX-License-Identifier: GPL-3.0-or-later
// Slots, status bytes and log entries recorded by posts and deletes, and the merge that frees
// what no cursor shows.

#include "catalog/ChangeLog.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "catalog/CatalogTable.h"
#include "platform/Collation.h"

namespace oru {
namespace {

void addRow(CatalogTable& t, const std::string& name, int offset = 0) {
    t.Append();
    t.SetText("FileName", name);
    t.SetText("ParentName", "");
    t.SetInteger("FileType", 1);
    t.SetInteger("Offset", offset);
    t.Post();
}

void editOffset(CatalogTable& t, const std::string& name, int offset) {
    t.First();
    while (!t.AtEnd() && t.GetText("FileName") != name) t.Next();
    ASSERT_EQ(t.GetText("FileName"), name);
    t.Edit();
    t.SetInteger("Offset", offset);
    t.Post();
}

void deleteRow(CatalogTable& t, const std::string& name) {
    t.First();
    while (!t.AtEnd() && t.GetText("FileName") != name) t.Next();
    ASSERT_EQ(t.GetText("FileName"), name);
    t.DeleteCurrent();
}

std::vector<int> statuses(const CatalogTable& t) {
    std::vector<int> out;
    for (const Slot& s : t.Data().slots) out.push_back(s.status);
    return out;
}

using Log = std::vector<LogEntry>;

class ChangeLogTest : public testing::Test {
protected:
    void SetUp() override { collation::resetLocale("en_US"); }
    void TearDown() override { collation::resetLocale(nullptr); }
};

TEST_F(ChangeLogTest, RecordsInsertsEditsAndDeletesThenMergeFreesTheOldVersions) {
    CatalogTable t;
    addRow(t, "a");
    addRow(t, "b");
    addRow(t, "c");
    EXPECT_EQ(statuses(t), (std::vector<int>{0x04, 0x04, 0x04}));
    EXPECT_EQ(t.Data().log, (Log{{1, 0, 4}, {2, 0, 4}, {3, 0, 4}}));

    editOffset(t, "b", 100);
    EXPECT_EQ(statuses(t), (std::vector<int>{0x04, 0x05, 0x04, 0x0C}));
    EXPECT_EQ(t.Data().log.back(), (LogEntry{4, 2, 8}));
    editOffset(t, "b", 200);
    EXPECT_EQ(statuses(t), (std::vector<int>{0x04, 0x05, 0x04, 0x0D, 0x0C}));
    EXPECT_EQ(t.Data().log.back(), (LogEntry{5, 4, 8}));
    deleteRow(t, "c");
    EXPECT_EQ(statuses(t), (std::vector<int>{0x04, 0x05, 0x06, 0x0D, 0x0C}));
    EXPECT_EQ(t.Data().log.back(), (LogEntry{3, 0, 2}));
    // The edited row keeps its place in the default order.
    EXPECT_EQ(t.Data().defaultOrder(), (std::vector<uint32_t>{1, 5}));

    t.MergeChanges();
    EXPECT_EQ(statuses(t), (std::vector<int>{0x00, 0x25, 0x26, 0x2D, 0x00}));
    EXPECT_TRUE(t.Data().log.empty());
    for (uint32_t freed : {2u, 3u, 4u}) {
        for (const Field& f : t.Data().slots[freed - 1].fields) EXPECT_EQ(f.state, FieldState::Null);
    }
    t.First();
    EXPECT_EQ(t.GetText("FileName"), "a");
    t.Next();
    EXPECT_EQ(t.GetInteger("Offset"), 200);

    // After a merge: edits make 0x08 / 0x09, a delete of such a version 0x0A; holes stay.
    editOffset(t, "a", 1);
    EXPECT_EQ(statuses(t), (std::vector<int>{0x01, 0x25, 0x26, 0x2D, 0x00, 0x08}));
    EXPECT_EQ(t.Data().log, (Log{{6, 1, 8}}));
    deleteRow(t, "a");
    EXPECT_EQ(statuses(t).back(), 0x0A);
    EXPECT_EQ(t.Data().log, (Log{{6, 1, 8}, {6, 0, 2}}));
    t.MergeChanges();
    // Slot 6, the last, is given back; slot 1 stays as a hole.
    EXPECT_EQ(statuses(t), (std::vector<int>{0x21, 0x25, 0x26, 0x2D, 0x00}));
    addRow(t, "d");
    EXPECT_EQ(t.Data().slots.size(), 6u);
    EXPECT_EQ(t.Data().log, (Log{{6, 0, 4}}));
}

// A freed version that is the last slot when the merge reaches it gives its number back, also
// when it was freed earlier in the same merge (a row inserted and deleted is named twice).
TEST_F(ChangeLogTest, MergeGivesBackTrailingSlots) {
    struct Case {
        const char* what;
        std::vector<std::string> deleted;  // rows deleted, in this order, of a, b, c
        size_t slotsAfterMerge;
        std::vector<int> statusesAfterMerge;
    } cases[] = {
        {"nothing deleted", {}, 3, {0, 0, 0}},
        {"the last", {"c"}, 2, {0, 0}},
        {"a middle one: a hole", {"b"}, 3, {0, 0x26, 0}},
        {"all but the first, last first", {"c", "b"}, 1, {0}},
        {"all but the first, middle first", {"b", "c"}, 1, {0}},
        {"all", {"a", "b", "c"}, 1, {0x26}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        CatalogTable t;
        for (const char* n : {"a", "b", "c"}) addRow(t, n);
        for (const auto& n : c.deleted) deleteRow(t, n);
        t.MergeChanges();
        EXPECT_EQ(t.Data().slots.size(), c.slotsAfterMerge);
        EXPECT_EQ(statuses(t), c.statusesAfterMerge);
        EXPECT_TRUE(t.Data().log.empty());
        // The next version takes the slot after the last one kept.
        addRow(t, "new");
        EXPECT_EQ(t.Data().log.back().slot, c.slotsAfterMerge + 1);
        EXPECT_EQ(t.ViewSize(), static_cast<int>(3 - c.deleted.size() + 1));
    }
}

TEST_F(ChangeLogTest, MergeOfHandMadeLogsPassesOverSlotsTheTableDoesNotHold) {
    auto slotWith = [](uint8_t status) {
        Slot s;
        s.status = status;
        s.fields.resize(2, Field{FieldState::Value, "x"});
        return s;
    };
    TableData data;
    data.slots = {slotWith(0x05), slotWith(0x0C)};
    data.log = {{1, 0, 4}, {7, 0, 2}, {0, 0, 4}, {2, 1, 8}, {9, 2, 8}, {2, 0, 64}};
    changelog::merge(data);
    ASSERT_EQ(data.slots.size(), 2u);
    EXPECT_EQ(data.slots[0].status, 0x25);
    EXPECT_EQ(data.slots[0].fields[0].state, FieldState::Null);
    EXPECT_EQ(data.slots[1].status, 0x00);
    EXPECT_TRUE(data.log.empty());
}

TEST_F(ChangeLogTest, ChainsFollowTheirEditsWhereverTheyStandInTheLog) {
    CatalogTable t;
    addRow(t, "a");
    addRow(t, "b");
    t.MergeChanges();
    // Edits of a and b interleave; b's chain ends with its delete.
    editOffset(t, "a", 1);  // 3 supersedes 1
    editOffset(t, "b", 1);  // 4 supersedes 2
    editOffset(t, "a", 2);  // 5 supersedes 3
    editOffset(t, "b", 2);  // 6 supersedes 4
    deleteRow(t, "b");
    EXPECT_EQ(t.Data().log, (Log{{3, 1, 8}, {4, 2, 8}, {5, 3, 8}, {6, 4, 8}, {6, 0, 2}}));
    EXPECT_EQ(statuses(t), (std::vector<int>{0x01, 0x01, 0x09, 0x09, 0x08, 0x0A}));
    t.MergeChanges();
    // a's chain (1, 3, 5): 1 and 3 freed as holes, 5 cleared; b's chain (2, 4, 6): 6 is given
    // back, 2 and 4 stay as holes.
    EXPECT_EQ(statuses(t), (std::vector<int>{0x21, 0x21, 0x29, 0x29, 0x00}));
    t.First();
    EXPECT_EQ(t.ViewSize(), 1);
    EXPECT_EQ(t.GetInteger("Offset"), 2);
}

}  // namespace
}  // namespace oru
