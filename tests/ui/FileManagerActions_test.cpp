// SPDX-License-Identifier: GPL-3.0-or-later
// "Extract here" and "add to archive" as the file managers run them: where the items come out,
// that nothing already beside the archive is touched, and what a failure reports.

#include "ui/FileManagerActions.h"

#include <map>

#include "archive/ArchiveTestSupport.h"
#include "ui/Application.h"
#include "WindowTestSupport.h"

namespace oru::ui {
namespace {

using namespace testing;
using Tree = std::map<std::string, std::string>;

// Makes path the working directory for the test's lifetime, then the test temp folder (the one
// before may be gone: other tests' windows change the working directory too).
class WorkingDirectory {
public:
    explicit WorkingDirectory(const std::string& path) { std::filesystem::current_path(path); }
    ~WorkingDirectory() { std::filesystem::current_path(::testing::TempDir()); }
};

// Writes each file of tree below root (folders are made on the way).
void plant(const std::string& root, const Tree& tree) {
    for (const auto& [path, content] : tree) writeFile(root + "/" + path, content);
}

struct ExtractHereCase {
    const char* scenario;
    const char* archiveName;
    Tree archived;  // files whose top-level items the archive holds
    Tree before;    // files beside the archive before the extraction
    Tree after;     // everything beside the archive afterwards, the archive left out
};

const ExtractHereCase kExtractHereCases[] = {
    {"a single file comes out beside the archive", "pack.oru", {{"a.txt", "A"}}, {}, {{"a.txt", "A"}}},
    {"a single folder comes out beside the archive", "pack.oru", {{"docs/x.txt", "X"}}, {},
     {{"docs", "<dir>"}, {"docs/x.txt", "X"}}},
    {"several items go into a folder named after the archive", "pack.oru",
     {{"a.txt", "A"}, {"docs/x.txt", "X"}}, {},
     {{"pack", "<dir>"}, {"pack/a.txt", "A"}, {"pack/docs", "<dir>"}, {"pack/docs/x.txt", "X"}}},
    {"a single item whose name is taken goes into a new folder", "pack.oru", {{"a.txt", "A"}},
     {{"a.txt", "mine"}}, {{"a.txt", "mine"}, {"pack", "<dir>"}, {"pack/a.txt", "A"}}},
    {"a taken folder name is left alone for the next free one", "pack.oru",
     {{"a.txt", "A"}, {"b.txt", "B"}}, {{"pack/a.txt", "mine"}, {"pack (2)", "a file"}},
     {{"pack", "<dir>"}, {"pack/a.txt", "mine"}, {"pack (2)", "a file"}, {"pack (3)", "<dir>"},
      {"pack (3)/a.txt", "A"}, {"pack (3)/b.txt", "B"}}},
    {"an archive without extension does not clash with its own name", "bundle",
     {{"a.txt", "A"}, {"b.txt", "B"}}, {},
     {{"bundle (2)", "<dir>"}, {"bundle (2)/a.txt", "A"}, {"bundle (2)/b.txt", "B"}}},
    {"an empty archive makes nothing", "pack.oru", {}, {}, {}},
};

TEST(FileManagerActionsTest, ExtractHerePlacesTheTopLevelAndTouchesNothingThere) {
    for (const ExtractHereCase& c : kExtractHereCases) {
        SCOPED_TRACE(c.scenario);
        TempDir tmp;
        plant(tmp / "src", c.archived);
        std::filesystem::create_directories(tmp / "src");
        std::vector<std::string> sources;
        for (const auto& entry : std::filesystem::directory_iterator(tmp / "src"))
            sources.push_back(entry.path().string());
        std::sort(sources.begin(), sources.end());
        const std::string out = tmp / "out";
        const std::string archive = out + "/" + c.archiveName;
        std::filesystem::create_directories(out);
        makeArchive(archive, sources);
        plant(out, c.before);

        ShownErrors shown;
        EXPECT_TRUE(extractHere({archive}));
        EXPECT_EQ(shown.texts, std::vector<std::string>());
        Tree after = oru::test::treeOf(out);
        after.erase(c.archiveName);
        EXPECT_EQ(after, c.after);
    }
}

TEST(FileManagerActionsTest, ExtractHereGoesOnPastAnArchiveThatFailsAndReportsIt) {
    TempDir tmp;
    writeFile(tmp / "src/a.txt", "A");
    makeArchive(tmp / "good.oru", {tmp / "src/a.txt"});
    writeFile(tmp / "bad.oru", "not an archive at all");
    // Relative names are taken from the working directory at the start, which the window's
    // panes change on the way.
    WorkingDirectory cwd(tmp.path());

    ShownErrors shown;
    const bool ok = extractHere({"bad.oru", "missing.oru", "good.oru"});

    EXPECT_FALSE(ok);
    EXPECT_EQ(shown.texts, (std::vector<std::string>{tmp.path() + "/bad.oru檔案格式不符.",
                                                    tmp.path() + "/missing.oru找不到這個檔案."}));
    EXPECT_EQ(readFile(tmp / "a.txt"), "A");
}

TEST(FileManagerActionsTest, AddToCreatesOrExtendsTheArchiveAndGoesOnPastAMissingPath) {
    TempDir tmp;
    plant(tmp / "src", {{"a.txt", "A"}, {"docs/x.txt", "X"}, {"later.txt", "L"}});
    WorkingDirectory cwd(tmp / "src");

    ShownErrors shown;
    // A trailing "/" and a relative name still name the item itself.
    EXPECT_TRUE(addTo(tmp / "new.oru", {"a.txt", "docs/"}));
    EXPECT_FALSE(addTo("../new.oru", {"gone.txt", "./later.txt"}));

    EXPECT_EQ(shown.texts, std::vector<std::string>{"1 個項目無法加入，其餘的都已加入：\n" + tmp / "src/gone.txt" +
                                                    "：找不到（可能已被移走或刪除）."});
    ASSERT_TRUE(extractHere({tmp / "new.oru"}));
    EXPECT_EQ(oru::test::treeOf(tmp / "new"),
              (Tree{{"a.txt", "A"}, {"docs", "<dir>"}, {"docs/x.txt", "X"}, {"later.txt", "L"}}));
}

// --add-to asks as the window's Add does about items the archive holds already, and lists the
// items stored under another name.
TEST(FileManagerActionsTest, AddToAsksAboutItemsThereAndListsTheRenamed) {
    using Action = ExistingChoice::Action;
    const struct {
        const char* what;
        Action answer;
        bool ok;
        Tree after;
        size_t renamesShown;
    } cases[] = {
        {"replace", Action::Replace, true, {{"a.txt", "new"}}, 0},
        {"keep both", Action::KeepBoth, true, {{"a.txt", "old"}, {"a~1.txt", "new"}}, 1},
        {"cancel", Action::Cancel, false, {{"a.txt", "old"}}, 0},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        TempDir tmp;
        plant(tmp / "old", {{"a.txt", "old"}});
        plant(tmp / "new", {{"a.txt", "new"}});
        ASSERT_TRUE(addTo(tmp / "x.oru", {tmp / "old/a.txt"}));
        std::vector<std::string> asked;
        ExistingQuestion::answerWith([&](const std::string& path) {
            asked.push_back(path);
            return ExistingChoice{c.answer, false};
        });
        size_t renamesShown = 0;
        RenamesDialog::answerWith([&](const Renames&) { ++renamesShown; });
        EXPECT_EQ(addTo(tmp / "x.oru", {tmp / "new/a.txt"}), c.ok);
        EXPECT_EQ(asked, std::vector<std::string>{tmp / "new/a.txt"});
        EXPECT_EQ(renamesShown, c.renamesShown);
        ASSERT_TRUE(extractHere({tmp / "x.oru"}));
        const std::string out = c.after.size() == 1 ? tmp.path() : tmp / "x";
        Tree after;
        for (const auto& [name, content] : c.after) after[name] = readFile(out + "/" + name);
        EXPECT_EQ(after, c.after);
        resetDialogAnswers();
    }
}

// The names of every row of the archive, in the order the archive lists them.
std::vector<std::string> rowNames(const std::string& archive) {
    auto kiv = oru::TKiv::OpenExisting(archive);
    std::vector<std::string> names;
    oru::CatalogTable& catalog = kiv->Catalog();
    for (catalog.First(); !catalog.AtEnd(); catalog.Next()) names.push_back(catalog.GetText("FileName"));
    return names;
}

TEST(FileManagerActionsTest, AddHereNamesANewArchiveAfterWhatItHoldsAndReplacesNothing) {
    const struct {
        const char* scenario;
        std::vector<std::string> items;
        Tree before;
        const char* archive;
        std::vector<std::string> rows;
    } cases[] = {
        {"one file: its name without extension", {"photo.jpg"}, {}, "photo.oru", {"photo.jpg"}},
        {"one folder: its whole name", {"my.docs"}, {}, "my.docs.oru", {"my.docs", "x.txt"}},
        {"several items: the folder holding them", {"photo.jpg", "my.docs"}, {}, "src.oru",
         {"my.docs", "photo.jpg", "x.txt"}},
        {"a taken name is left alone", {"photo.jpg"}, {{"photo.oru", "mine"}}, "photo (2).oru", {"photo.jpg"}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.scenario);
        TempDir tmp;
        const std::string src = tmp / "src";
        plant(src, {{"photo.jpg", "P"}, {"my.docs/x.txt", "X"}});
        plant(src, c.before);
        std::vector<std::string> items;
        for (const std::string& item : c.items) items.push_back(src + "/" + item);

        ShownErrors shown;
        EXPECT_TRUE(addHere(items));
        EXPECT_EQ(shown.texts, std::vector<std::string>());
        EXPECT_EQ(rowNames(src + "/" + c.archive), c.rows);
        for (const auto& [path, content] : c.before) EXPECT_EQ(readFile(src + "/" + path), content);
    }
}

}  // namespace
}  // namespace oru::ui
