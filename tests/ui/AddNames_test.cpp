// SPDX-License-Identifier: GPL-3.0-or-later
// The window's Add before and after the engine names things: the question for selected items the
// archive holds already, and the one dialog listing the items stored under another name.
#include <gtest/gtest.h>

#include "WindowTestSupport.h"
#include "archive/EntryMeta.h"
#include "ui/AddNames.h"

namespace oru::ui {
namespace {
using namespace testing;
using Action = ExistingChoice::Action;
using Mode = TKiv::AddMode;

// Paths a, b, c of which a and c are there already: the answers given, in order, and the plan.
TEST(AddNamesTest, AnswersDecideEachExistingItemUntilOneAppliesToAll) {
    const struct {
        const char* why;
        std::vector<ExistingChoice> answers;
        std::optional<std::vector<Mode>> plan;  // modes of a, b, c; nullopt: nothing added
        size_t asked;
    } cases[] = {
        {"each asked", {{Action::KeepBoth, false}, {Action::Replace, false}}, {{Mode::KeepBoth, Mode::Replace, Mode::Replace}}, 2},
        {"apply to all", {{Action::KeepBoth, true}}, {{Mode::KeepBoth, Mode::Replace, Mode::KeepBoth}}, 1},
        {"cancel at the first", {{Action::Cancel, false}}, std::nullopt, 1},
        {"cancel at the last", {{Action::Replace, false}, {Action::Cancel, false}}, std::nullopt, 2},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.why);
        std::vector<std::string> asked;
        const auto plan = planAdd({"a", "b", "c"}, {"c", "a"}, [&](const std::string& path) {
            asked.push_back(path);
            return c.answers.at(asked.size() - 1);
        });
        EXPECT_EQ(asked.size(), c.asked);
        EXPECT_EQ(asked.front(), "a");
        ASSERT_EQ(plan.has_value(), c.plan.has_value());
        if (!plan) continue;
        std::vector<Mode> modes;
        for (const auto& item : *plan) modes.push_back(item.mode);
        EXPECT_EQ(modes, *c.plan);
        EXPECT_EQ((*plan)[1].path, "b");
    }
}

TEST(AddNamesTest, AddAsksForItemsThereAlreadyAndListsTheRenamesOnce) {
    TempDir tmp;
    writeFile(tmp / "src/docs/a.txt", "one");
    writeFile(tmp / "src/new.txt", "new");
    writeFile(tmp / "src/docs/x/x/deep.txt", "deep");  // the inner x is stored as x~1
    const std::string path = tmp / "names.oru";
    makeArchive(path, {tmp / "src/docs"});
    TMainFrm w({path});
    w.FormCreate();
    std::vector<std::string> asked;
    Action answer = Action::Cancel;
    ExistingQuestion::answerWith([&](const std::string& p) {
        asked.push_back(p);
        return ExistingChoice{answer, false};
    });
    std::vector<std::vector<std::pair<std::string, std::string>>> dialogs;
    RenamesDialog::answerWith([&](const auto& renames) { dialogs.push_back(renames); });

    // Cancel: nothing is added, nothing listed.
    const std::string before = readFile(path);
    selectInFilePane(w, tmp / "src", {"[docs]", "new.txt"});
    w.BtnAddFileClick();
    EXPECT_EQ(asked, std::vector<std::string>{tmp / "src/docs"});
    EXPECT_TRUE(dialogs.empty());
    EXPECT_EQ(listing(w), (std::vector<std::string>{"docs"}));

    // Keep both: docs again as docs~1, its x/x as x~2/x~3; one dialog lists every rename.
    answer = Action::KeepBoth;
    w.BtnAddFileClick();
    EXPECT_EQ(listing(w), (std::vector<std::string>{"docs", "docs~1", "new.txt"}));
    ASSERT_EQ(dialogs.size(), 1u);
    EXPECT_EQ(dialogs[0], (std::vector<std::pair<std::string, std::string>>{
                              {tmp / "src/docs", "docs~1"}, {tmp / "src/docs/x", "x~2"}, {tmp / "src/docs/x/x", "x~3"}}));

    // Replace: the same rows take the new content; nothing renamed, no dialog.
    answer = Action::Replace;
    writeFile(tmp / "src/new.txt", "newer");
    dialogs.clear();
    selectInFilePane(w, tmp / "src", {"new.txt"});
    w.BtnAddFileClick();
    EXPECT_EQ(listing(w), (std::vector<std::string>{"docs", "docs~1", "new.txt"}));
    EXPECT_TRUE(dialogs.empty());
    CatalogTable& c = w.CurrentArchive()->Catalog();
    for (c.First(); c.GetText("FileName") != "new.txt"; c.Next()) {
    }
    MemoryStream content;
    w.CurrentArchive()->ReadEntry(c, content);
    EXPECT_EQ(std::string(content.bytes().begin(), content.bytes().end()), "newer");
}

// Outside plain mode the window stores true names beside the catalog names: its rename dialog
// lists only an item whose shown name changed (one kept beside another); the "Plain Archives"
// menu item, off unless ORU_PLAIN=1, makes Add write plain rows again.
TEST(AddNamesTest, WithoutPlainModeOnlyNamesShownChangeAreListed) {
    ::setenv("ORU_PLAIN", "0", 1);
    struct Restore {
        ~Restore() { ::setenv("ORU_PLAIN", "1", 1); }
    } restore;
    TempDir tmp;
    writeFile(tmp / "src/docs/x/x/deep.txt", "deep");  // the inner x has the catalog name x~1
    writeFile(tmp / "src/new.txt", "new");
    const std::string path = tmp / "names.oru";
    makeArchive(path, {tmp / "src/docs"});
    TMainFrm w({path});
    w.FormCreate();
    auto* plain = w.findChild<QAction*>(QStringLiteral("PlainArchives"));
    ASSERT_NE(plain, nullptr);
    EXPECT_TRUE(plain->isCheckable());
    EXPECT_FALSE(plain->isChecked());
    ExistingQuestion::answerWith([&](const std::string&) { return ExistingChoice{Action::KeepBoth, false}; });
    std::vector<std::vector<std::pair<std::string, std::string>>> dialogs;
    RenamesDialog::answerWith([&](const auto& renames) { dialogs.push_back(renames); });

    selectInFilePane(w, tmp / "src", {"[docs]"});
    w.BtnAddFileClick();
    EXPECT_EQ(listing(w), (std::vector<std::string>{"docs", "docs~1"}));
    ASSERT_EQ(dialogs.size(), 1u);
    EXPECT_EQ(dialogs[0], (std::vector<std::pair<std::string, std::string>>{{tmp / "src/docs", "docs~1"}}));

    // Checked: the new row holds no extension values, and FileDate stays unassigned.
    plain->setChecked(true);
    selectInFilePane(w, tmp / "src", {"new.txt"});
    w.BtnAddFileClick();
    CatalogTable& c = w.CurrentArchive()->Catalog();
    ASSERT_TRUE(entrymeta::hasColumns(c));
    bool found = false;
    for (int i = 0; i < c.ViewSize(); ++i) {
        const bool isNew = c.TextAt(i, schema::kFileName) == "new.txt";
        found |= isNew;
        EXPECT_EQ(entrymeta::readAt(c, i).mode.has_value(), !isNew) << c.TextAt(i, schema::kFileName);
        if (isNew) {
            EXPECT_FALSE(c.HasValueAt(i, schema::kFileDate));
        }
    }
    EXPECT_TRUE(found);
}

}  // namespace
}  // namespace oru::ui
