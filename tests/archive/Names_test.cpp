// SPDX-License-Identifier: GPL-3.0-or-later
// How names go into the catalog: whole characters, converted where code page 950 has no form,
// shortened with a marker, unique where they land; adding the same path again replaces; every
// changed name reported; and trees full of such names coming back out with every content.

#include <gtest/gtest.h>

#include <map>
#include <set>

#include "ArchiveTestSupport.h"

namespace oru::test {
namespace {

// Collects what the engine reports as renamed.
struct RenameLog : Progress {
    void update(const Info&) override {}
    void renamed(const std::string& from, const std::string& to) override { seen.emplace_back(from, to); }
    std::vector<std::pair<std::string, std::string>> seen;
};

class NamesTest : public ArchiveTest {
protected:
    void SetUp() override {
        ArchiveTest::SetUp();
        kiv = TKiv::CreateNew(path("x.oru"));
        kiv->SetProgress(&log);
    }
    void TearDown() override {
        kiv.reset();
        ArchiveTest::TearDown();
    }
    void reopen() {
        kiv.reset();
        kiv = TKiv::OpenExisting(path("x.oru"));
        kiv->SetProgress(&log);
    }
    // Extracts every top-level row below out, as one extraction.
    void extractAll(const std::string& out) {
        CatalogTable& c = kiv->Catalog();
        c.SetFilterText(CatalogTable::parentFilter(""));
        c.SetFiltered(true);
        std::vector<Bookmark> rows;
        for (c.First(); !c.AtEnd(); c.Next()) rows.push_back(*c.GetBookmark());
        kiv->ExtractEntries(c, rows, path(out));
        c.SetFiltered(false);
    }
    // The contents of the files below root, as a multiset.
    std::multiset<std::string> contentsOf(const std::string& root) {
        std::multiset<std::string> contents;
        for (const auto& [name, content] : treeOf(path(root))) {
            if (content != "<dir>") contents.insert(content);
        }
        return contents;
    }
    std::unique_ptr<TKiv> kiv;
    RenameLog log;
};

const std::string kLong = "quarterly_financial_report_2024_version_";  // 40 bytes
const std::string kZhong = "\xE4\xB8\xAD";                           // 中 in UTF-8
const std::string kZhongBig5 = "\xA4\xA4";                           // 中 in CP950
std::string times(const std::string& s, int n) {
    std::string out;
    for (int i = 0; i < n; ++i) out += s;
    return out;
}

// Each file added on its own at the top level, in this order: the name it is stored under
// (CP950) and whether the change is reported.
TEST_F(NamesTest, EachRuleGivesAWholeUniqueName) {
    const struct {
        const char* why;
        std::string disk;    // UTF-8 (or not UTF-8 at all)
        std::string stored;  // CP950
    } cases[] = {
        {"fits as it is", "plain.txt", "plain.txt"},
        {"Big5 characters as they are", kZhong + ".txt", kZhongBig5 + ".txt"},
        {"Latin to ASCII", "r\xC3\xA9sum\xC3\xA9.txt", "resume.txt"},
        {"combining accent composed first", "cafe\xCC\x81.txt", "cafe.txt"},
        {"Simplified to Traditional", "\xE7\xAE\x80.txt", "\xC2\xB2.txt"},  // 简 -> 簡
        {"no form at all", "\xF0\x9F\x98\x80.txt", "_.txt"},
        {"not UTF-8", "\xFF" "a.txt", "_a.txt"},
        {"too long: cut, marker before the extension", kLong + "A.txt", "quarterly_financial_report_2024_ve~1.txt"},
        {"the next one that agrees in the kept part", kLong + "B.txt", "quarterly_financial_report_2024_ve~2.txt"},
        {"cut between double-byte characters", times(kZhong, 21) + ".txt", times(kZhongBig5, 17) + "~1.txt"},
        {"never inside one", "a" + times(kZhong, 20), "a" + times(kZhongBig5, 18) + "~1"},
        {"a leading dot is no extension", "." + kLong + "x", "." + kLong.substr(0, 37) + "~1"},
        {"a long tail is no extension", "a.very_long_extension_" + times("x", 20), "a.very_long_extension_" + times("x", 16) + "~1"},
        {"trailing blanks, which the catalog drops, do not land on the name without them", "plain.txt  ",
         "plain~1.txt"},
    };
    mkdir("src");
    for (const auto& c : cases) writeText(path("src/") + c.disk, c.why);
    for (const auto& c : cases) {
        SCOPED_TRACE(c.why);
        log.seen.clear();
        kiv->AddPath("", path("src/") + c.disk);
        EXPECT_EQ(rowsOf(kiv->Catalog()).back().name, c.stored);
        const bool changed = cp950::toUtf8(c.stored) != c.disk;
        ASSERT_EQ(log.seen.size(), changed ? 1u : 0u);
        if (changed) EXPECT_EQ(log.seen[0], std::make_pair(path("src/") + c.disk, cp950::toUtf8(c.stored)));
    }
    // Each name where it landed reads back the content it was added with.
    reopen();
    extractAll("out");
    std::multiset<std::string> whys;
    for (const auto& c : cases) whys.insert(c.why);
    EXPECT_EQ(contentsOf("out"), whys);
}

// Folder names link a folder's children, so no two folder rows anywhere share a name, and no
// folder is named like one on its own path; the names of one folder's entries differ.
TEST_F(NamesTest, FolderNamesAreUniqueInTheWholeArchive) {
    mkdir("t/a/sub");
    mkdir("t/b/sub");
    mkdir("t/x/x/x");
    writeText(path("t/a/sub/f"), "a");
    writeText(path("t/b/sub/f"), "b");
    writeText(path("t/x/x/x/f"), "x");
    kiv->AddPath("", path("t"));
    mkdir("u/sub");  // a later add meets the names already there
    writeText(path("u/sub/f"), "u");
    kiv->AddPath("", path("u"));

    std::multiset<std::string> folders;
    std::map<std::string, std::string> parentOf;
    for (const auto& r : rowsOf(kiv->Catalog())) {
        if (r.type == 0) {
            folders.insert(r.name);
            parentOf[r.name] = r.parent;
        }
    }
    EXPECT_EQ(folders, (std::multiset<std::string>{"a", "b", "sub", "sub~1", "sub~2", "t", "u", "x", "x~1", "x~2"}));
    EXPECT_EQ(parentOf["x~2"], "x~1");
    EXPECT_EQ(parentOf["x~1"], "x");
    EXPECT_EQ(log.seen.size(), 4u);  // sub~1, x~1, x~2, sub~2
    reopen();
    extractAll("out");
    EXPECT_EQ(contentsOf("out"), (std::multiset<std::string>{"a", "b", "x", "u"}));
}

// Names that differ only in trailing blanks, which the catalog drops, are made unique on the name
// as stored: two folders stored as "docs" would both list f1 and f2 (each extracted twice), and
// two "n.txt" rows would share one folder.
TEST_F(NamesTest, TrailingBlanksNeverMergeTwoNames) {
    mkdir("src/a/docs");
    mkdir("src/b/docs ");
    writeText(path("src/a/docs/f1"), "f1");
    writeText(path("src/b/docs /f2"), "f2");
    writeText(path("src/n.txt"), "n");
    writeText(path("src/n.txt "), "n blank");
    kiv->AddPath("", path("src"));
    std::multiset<std::string> folders;
    std::multiset<std::pair<std::string, std::string>> rows;  // (parent, name)
    for (const auto& r : rowsOf(kiv->Catalog())) {
        if (r.type == 0) folders.insert(r.name);
        rows.emplace(r.parent, r.name);
    }
    EXPECT_EQ(folders, (std::multiset<std::string>{"a", "b", "docs", "docs~1", "src"}));
    EXPECT_EQ(rows.count({"src", "n.txt"}), 1u);
    reopen();
    extractAll("out");
    EXPECT_EQ(contentsOf("out"), (std::multiset<std::string>{"f1", "f2", "n", "n blank"}));
}

// Adding an item again: the stored file of each path there is replaced (its old bytes become dead
// bytes), files no longer in the source stay, new ones are added; folders renamed for a clash
// are found again by their marked names. A name that had to be cut may stand for several
// source names, so such a file goes in beside the one there. Keep both puts the item beside
// the one there.
TEST_F(NamesTest, AddingAgainReplacesThePathsThereAndKeepsTheRest) {
    mkdir("d/sub");
    mkdir("d/deep/sub");  // stored as sub~1
    writeText(path("d/a.txt"), "a1");
    writeText(path("d/sub/b.txt"), "b1");
    writeText(path("d/deep/sub/c.txt"), "c1");
    writeText(path("d/" + kLong + "A.txt"), "long1");
    kiv->AddPath("", path("d"));
    const auto before = rowsOf(kiv->Catalog());
    const int32_t end = kiv->Header().CatalogOffset;

    writeText(path("d/a.txt"), "a2");
    std::filesystem::remove(path("d/sub/b.txt"));
    writeText(path("d/sub/new.txt"), "new");
    writeText(path("d/deep/sub/c.txt"), "c2");
    writeText(path("d/" + kLong + "A.txt"), "long2");
    EXPECT_EQ(kiv->AddedBefore("", {path("d"), path("d/a.txt"), path("d/sub")}),
              std::vector<std::string>{path("d")});
    log.seen.clear();
    kiv->AddPath("", path("d/"));
    auto rows = rowsOf(kiv->Catalog());
    ASSERT_EQ(rows.size(), before.size() + 2);
    for (size_t i = 0; i < before.size(); ++i) {
        EXPECT_EQ(rows[i].name, before[i].name);  // every row in its place
        EXPECT_EQ(rows[i].parent, before[i].parent);
    }
    std::set<std::pair<std::string, std::string>> added;
    for (size_t i = before.size(); i < rows.size(); ++i) added.emplace(rows[i].parent, rows[i].name);
    EXPECT_EQ(added, (std::set<std::pair<std::string, std::string>>{
                         {"sub", "new.txt"}, {"d", "quarterly_financial_report_2024_ve~2.txt"}}));
    EXPECT_EQ(log.seen.size(), 2u);  // sub~1 as before, the long name as ~2
    // The replaced bytes stay where they were, dead; the new ones go behind.
    int64_t live = 0;
    for (const auto& r : rows) live += r.type == 1 ? r.storedSize : 0;
    EXPECT_GT(kiv->Header().CatalogOffset - 16, live);
    EXPECT_GT(kiv->Header().CatalogOffset, end);
    expectFileMatches(*kiv);

    reopen();
    extractAll("out");
    EXPECT_EQ(treeOf(path("out")), (std::map<std::string, std::string>{
                                       {"d", "<dir>"},
                                       {"d/a.txt", "a2"},
                                       {"d/sub", "<dir>"},
                                       {"d/sub/b.txt", "b1"},
                                       {"d/sub/new.txt", "new"},
                                       {"d/deep", "<dir>"},
                                       {"d/deep/sub~1", "<dir>"},
                                       {"d/deep/sub~1/c.txt", "c2"},
                                       {"d/quarterly_financial_report_2024_ve~1.txt", "long1"},
                                       {"d/quarterly_financial_report_2024_ve~2.txt", "long2"}}));

    // Keep both: a new folder d~1 with its own copies; the names below it are new as well.
    writeText(path("d/a.txt"), "a3");
    log.seen.clear();
    kiv->AddPath("", path("d"), TKiv::AddMode::KeepBoth);
    EXPECT_EQ(rowsOf(kiv->Catalog()).size(), 2 * before.size() + 2);
    ASSERT_FALSE(log.seen.empty());
    EXPECT_EQ(log.seen[0], std::make_pair(path("d"), std::string("d~1")));
    extractAll("out2");
    EXPECT_EQ(treeOf(path("out2")).at("d/a.txt"), "a2");
    EXPECT_EQ(treeOf(path("out2")).at("d~1/a.txt"), "a3");
}

// Trees made to hold every kind of name trouble at once come back out with every file's content,
// through the catalog written to the file and read again; adding them again loses none either.
TEST_F(NamesTest, TreesOfTroublesomeNamesRoundTrip) {
    const std::vector<std::string> folders = {
        "r/src/bits", "r/lib/bits", "r/lib/bits/bits", "r/a/b/a/b",                       // clashes, cycles
        "r/" + kLong + "folder_one", "r/" + kLong + "folder_two",                       // long folders
        "r/\xE7\xAE\x80", "r/\xE7\xB0\xA1", "r/\xC3\xA9t\xC3\xA9", "r/ete",              // 简 and 簡, été and ete
        "r/\xF0\x9F\x98\x80", "r/\xF0\x9F\x98\x81", "r/__pycache__", "r/x/__pycache__"}; // emoji, common names
    int n = 0;
    for (const auto& folder : folders) {
        std::filesystem::create_directories(path(folder));
        for (const std::string& name : {std::string("util.py"), kLong + "A.txt", kLong + "B.txt",
                                        std::string("\xC3\xA9.txt"), std::string("e.txt"), times(kZhong, 25)}) {
            writeText(path(folder + "/" + name), "content " + std::to_string(n++));
        }
    }
    const std::multiset<std::string> expected = contentsOf("r");
    kiv->AddPath("", path("r"));
    reopen();
    extractAll("out");
    EXPECT_EQ(contentsOf("out"), expected);
    std::set<std::string> folderNames;
    for (const auto& r : rowsOf(kiv->Catalog())) {
        if (r.type == 0) EXPECT_TRUE(folderNames.insert(r.name).second) << "two folders named " << r.name;
    }

    // Again, with every content changed: the latest of each comes out, and nothing else is lost.
    std::multiset<std::string> changed;
    for (const auto& content : expected) changed.insert(content + " changed");
    for (const auto& [name, content] : treeOf(path("r"))) {
        if (content != "<dir>") writeText(path("r/" + name), content + " changed");
    }
    kiv->AddPath("", path("r"));
    extractAll("out2");
    const auto out = contentsOf("out2");
    for (const auto& content : changed) EXPECT_EQ(out.count(content), 1u) << content;
    for (const auto& content : out) EXPECT_TRUE(changed.count(content) || expected.count(content)) << content;
}

}  // namespace
}  // namespace oru::test
