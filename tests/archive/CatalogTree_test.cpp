// SPDX-License-Identifier: GPL-3.0-or-later
// The one folder walk over catalogs that would make a walk without bounds run for ever or run out
// of memory: each catalog is written by the test, then walked as the listing, the window's tree,
// extraction and deletion walk it.

#include <gtest/gtest.h>

#include <cstdio>

#include "ArchiveTestSupport.h"
#include "archive/CatalogTree.h"
#include "catalog/ArchiveSchema.h"

namespace oru::test {
namespace {

namespace stdfs = std::filesystem;

std::string numbered(const char* prefix, int n) {
    char text[16];
    std::snprintf(text, sizeof text, "%s%05d", prefix, n);
    return text;
}

struct FolderRow {
    std::string name, parent;
    bool file = false;
};

// Counts the visits of a walk and checks that every leave closes the folder last entered.
struct Counter : CatalogTree::Visitor {
    int64_t visits = 0;
    std::vector<int> open;
    void visit(int row, bool entered) override {
        ++visits;
        if (entered) open.push_back(row);
    }
    void leave(int row) override {
        ASSERT_FALSE(open.empty());
        EXPECT_EQ(open.back(), row);
        open.pop_back();
    }
};

class CatalogTreeTest : public ArchiveTest {
protected:
    void TearDown() override {
        kiv.reset();
        ArchiveTest::TearDown();
    }

    // A new archive x.oru whose catalog holds rows; each file row has its own copy of the stored
    // bytes of one file "v" (rows sharing stored bytes are damage), and v's own row lies in a
    // folder no row names, outside every walk.
    void makeArchive(const std::vector<FolderRow>& rows) {
        kiv.reset();
        stdfs::remove(path("x.oru"));
        writeText(path("v"), "v");
        kiv = TKiv::CreateNew(path("x.oru"));
        kiv->AddPath("nowhere", path("v"));
        CatalogTable& c = kiv->Catalog();
        c.First();
        const int32_t offset = c.GetInteger(schema::kOffset), original = c.GetInteger(schema::kOriginalSize),
                      stored = c.GetInteger(schema::kStoredSize);
        int32_t next = offset + stored;
        for (const FolderRow& r : rows) {
            c.Append();
            c.SetText(schema::kFileName, r.name);
            c.SetText(schema::kParentName, r.parent);
            c.SetInteger(schema::kFileType, r.file ? schema::kFile : schema::kFolder);
            if (r.file) {
                c.SetInteger(schema::kOffset, next);
                c.SetInteger(schema::kOriginalSize, original);
                c.SetInteger(schema::kStoredSize, stored);
                next += stored;
            }
            c.SetDateTime(schema::kCheckinDate, kNow);
            c.Post();
        }
        const std::vector<uint8_t> packet = c.PacketBytes();
        kiv.reset();
        // The file: the header, v's stored bytes once for its row and once for each file row,
        // then the catalog.
        const Bytes first = readAll(path("x.oru"));
        Bytes file(first.begin(), first.begin() + offset);
        while (static_cast<int32_t>(file.size()) < next) file.insert(file.end(), first.begin() + offset, first.begin() + offset + stored);
        putLe32(file, 4, static_cast<uint32_t>(next));
        file.insert(file.end(), packet.begin(), packet.end());
        writeAll(path("x.oru"), file);
        kiv = TKiv::OpenExisting(path("x.oru"));
        kiv->Catalog().SetOrdering(schema::kListingOrdering);
    }

    // Bookmarks of the top-level rows, as the command-line tool extracts and deletes them.
    std::vector<Bookmark> topLevel() {
        CatalogTable top;
        top.CloneFrom(kiv->Catalog());
        top.SetFilterText(CatalogTable::parentFilter(""));
        top.SetFiltered(true);
        std::vector<Bookmark> marks;
        for (top.First(); !top.AtEnd(); top.Next()) marks.push_back(*top.GetBookmark());
        return marks;
    }

    // The walk's visits from the top level, or its error's message.
    std::string walked(const CatalogTree::Options& options) {
        const CatalogTree tree(kiv->Catalog(), kiv->ArchivePath());
        Counter counter;
        try {
            tree.walkBelow("", options, counter);
        } catch (const Error& e) {
            EXPECT_EQ(counter.visits, 0) << "visited before the bounds were checked";
            return e.what();
        }
        EXPECT_TRUE(counter.open.empty());
        return std::to_string(counter.visits);
    }

    std::unique_ptr<TKiv> kiv;
};

// Folders with a file each, side by side: each row is visited once. (bench/ times this shape with
// 10,000 folders.)
std::vector<FolderRow> foldersWithAFileEach() {
    std::vector<FolderRow> rows;
    for (int k = 0; k < 300; ++k) {
        rows.push_back({numbered("d", k), ""});
        rows.push_back({"f", numbered("d", k), true});
    }
    return rows;
}

// Two folder rows of one name on each of 40 levels: 2^40 paths when each row is walked.
std::vector<FolderRow> doubledLevels() {
    std::vector<FolderRow> rows;
    for (int k = 0; k < 40; ++k) {
        const std::string parent = k == 0 ? "" : numbered("L", k - 1);
        rows.push_back({numbered("L", k), parent});
        rows.push_back({numbered("L", k), parent});
    }
    rows.push_back({"f", numbered("L", 39), true});
    return rows;
}

// 20,000 folders, each inside the one before.
std::vector<FolderRow> chain() {
    std::vector<FolderRow> rows;
    for (int k = 0; k < 20000; ++k) rows.push_back({numbered("c", k), k == 0 ? "" : numbered("c", k - 1)});
    return rows;
}

// Two folder names on each of 40 levels, each inside both names of the level above: 2^40
// distinct paths, none of them repeated.
std::vector<FolderRow> crossLinkedLevels() {
    std::vector<FolderRow> rows;
    for (int k = 0; k < 40; ++k) {
        for (const char* name : {"a", "b"}) {
            if (k == 0) {
                rows.push_back({numbered(name, 0), ""});
                continue;
            }
            for (const char* parent : {"a", "b"}) rows.push_back({numbered(name, k), numbered(parent, k - 1)});
        }
    }
    return rows;
}

TEST_F(CatalogTreeTest, HostileCatalogsEndQuicklyWithAClearResult) {
    const std::string tooDeep = "資料夾超過 2048 層";
    const std::string tooMuch = "路徑太多";
    const struct Case {
        const char* what;
        std::vector<FolderRow> (*rows)();
        std::string listing;    // the listing's visits, or a part of its error
        std::string tree;       // the window tree's visits (folders, each path once), or error
        std::string extracted;  // files written, or a part of the error
        std::string deleted;    // rows left after deleting the top level, or a part of the error
    } cases[] = {
        {"300 folders with a file each", foldersWithAFileEach, "600", "300", "300", "1"},
        // Of two same-named folder rows in one folder the second is listed but not walked.
        {"two same-named folders on each of 40 levels", doubledLevels, "81", "40", "1", "1"},
        {"a chain of 20,000 folders", chain, tooDeep, tooDeep, tooDeep, tooDeep},
        // Deleting enters each name once, so it ends without reaching the bound.
        {"folders cross-linked by name over 40 levels", crossLinkedLevels, tooMuch, tooMuch, tooMuch, "1"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        makeArchive(c.rows());
        const int64_t memoryBefore = peakMemory();
        const auto expect = [&](const std::string& got, const std::string& expected, const char* walk) {
            if (expected.find_first_not_of("0123456789") == std::string::npos) {
                EXPECT_EQ(got, expected) << walk;
            } else {
                EXPECT_EQ(got.rfind(path("x.oru") + ": ", 0), 0u) << walk << ": " << got;
                EXPECT_NE(got.find(expected), std::string::npos) << walk << ": " << got;
            }
        };

        CatalogTree::Options listing;
        listing.foldersFirst = true;
        expect(walked(listing), c.listing, "listing");
        CatalogTree::Options tree;
        tree.foldersOnly = true;
        expect(walked(tree), c.tree, "tree");

        stdfs::remove_all(path("out"));
        std::string extracted;
        try {
            kiv->ExtractEntries(kiv->Catalog(), topLevel(), path("out"));
            int files = 0;
            for (const auto& e : stdfs::recursive_directory_iterator(path("out"))) files += e.is_regular_file();
            extracted = std::to_string(files);
        } catch (const Error& e) {
            extracted = e.what();
            EXPECT_TRUE(!stdfs::exists(path("out")) || stdfs::is_empty(path("out"))) << "written before the walk failed";
        }
        expect(extracted, c.extracted, "extract");

        const size_t rowsBefore = rowsOf(kiv->Catalog()).size();
        std::string deleted;
        try {
            kiv->DeleteEntries(kiv->Catalog(), topLevel());
            deleted = std::to_string(rowsOf(kiv->Catalog()).size());
        } catch (const Error& e) {
            deleted = e.what();
            EXPECT_EQ(rowsOf(kiv->Catalog()).size(), rowsBefore) << "deleted before the walk failed";
        }
        expect(deleted, c.deleted, "delete");
        EXPECT_LT(peakMemory() - memoryBefore, int64_t{64} << 20) << "memory grew beyond the rows";
    }
}

}  // namespace
}  // namespace oru::test
