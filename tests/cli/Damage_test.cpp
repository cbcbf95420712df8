// SPDX-License-Identifier: GPL-3.0-or-later
// Damaged archives, and archives written before names were kept unique, through the `oru` tool:
// every command reports the damage, naming the archive, none passes it off as a healthy archive
// or throws stored bytes away, and none acts on rows the user did not name.

#include <gtest/gtest.h>

#include <algorithm>

#include "archive/zipUtil.h"
#include "tests/cli/OruRunner.h"

namespace oru::testing {
namespace {

class OruDamage : public OruTest {
protected:
    // a.oru holding in/one.txt (4000 bytes) and in/two.txt; returns its catalog offset.
    uint32_t makeArchive() {
        writeFile(path("in/one.txt"), sampleBytes(4000, 1));
        writeFile(path("in/two.txt"), "two\n");
        ok({"add", "a.oru", "in"});
        const std::string bytes = readFile(path("a.oru"));
        uint32_t offset = 0;
        for (int i = 3; i >= 0; --i) offset = offset << 8 | static_cast<uint8_t>(bytes[4 + i]);
        return offset;
    }
};

// An archive cut exactly where its catalog begins (a crash between data and catalog, a download
// cut at that byte) holds stored files but no catalog: no command calls it a healthy empty
// archive, each says so naming the archive and the way to save its files, and those that write
// leave it as it is.
TEST_F(OruDamage, ArchiveCutAtItsCatalogIsAMissingCatalogForEveryCommand) {
    const uint32_t offset = makeArchive();
    const std::string cut = readFile(path("a.oru")).substr(0, offset);
    writeFile(path("new.txt"), "new\n");
    const std::vector<std::vector<std::string>> commands = {
        {"test", "a.oru"},          {"list", "a.oru"},   {"info", "a.oru"},
        {"extract", "a.oru", "out"}, {"cat", "a.oru", "in/two.txt"},
        {"add", "a.oru", "new.txt"}, {"delete", "a.oru", "in/two.txt"},
        {"compact", "a.oru"},
    };
    english();
    for (const auto& args : commands) {
        SCOPED_TRACE(args[0]);
        writeFile(path("a.oru"), cut);
        const RunResult r = oru(args);
        EXPECT_EQ(r.status, 1);
        EXPECT_EQ(r.out, "");
        EXPECT_EQ(r.err, "oru: a.oru: the catalog is missing (the file ends where it should begin), so its stored "
                         "files cannot be listed or changed; save what can be saved with: oru recover a.oru "
                         "NEW.oru.\n");
        EXPECT_EQ(readFile(path("a.oru")), cut);
        EXPECT_FALSE(stdfs::exists(path("out/in")));
    }
    // A new archive is its header alone: that is no damage.
    ok({"new", "b.oru"});
    EXPECT_EQ(ok({"test", "b.oru"}), "0 stored files checked, 0 damaged\n");
}

// A row recording a size other than its stream decodes to is a damaged entry for extract and
// cat as for test: no file is left for it, the others are written, and the command names it and
// exits 1 once done.
TEST_F(OruDamage, StreamOfAnotherLengthThanRecordedIsADamagedEntryForExtractAndCat) {
    makeArchive();
    struct Case {
        const char* what;
        int64_t change;  // added to one.txt's recorded size
        const char* reason;
    } cases[] = {
        {"recorded larger", +1, "decodes to 4000 bytes, but the recorded size is 4001"},
        {"recorded much larger", 512 << 20, "decodes to 4000 bytes, but the recorded size is 536874912"},
        {"recorded smaller", -1, "decodes to more than the recorded size of 3999 bytes"},
    };
    const std::string good = readFile(path("a.oru"));
    english();
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        writeFile(path("a.oru"), good);
        stdfs::remove_all(path("out"));
        {
            auto kiv = TKiv::OpenExisting(path("a.oru").string());
            CatalogTable& cat = kiv->Catalog();
            for (cat.First(); cat.GetText("FileName") != "one.txt"; cat.Next()) {
            }
            cat.Edit();
            cat.SetInteger("OriginalSize", cat.GetInteger("OriginalSize") + c.change);
            cat.Post();
            kiv->SaveCatalog();
        }
        const RunResult x = oru({"extract", "a.oru", "out"});
        EXPECT_EQ(x.status, 1);
        EXPECT_EQ(x.err, "oru: a.oru: in/one.txt: error: " + std::string(c.reason) + ".\n");
        EXPECT_FALSE(stdfs::exists(path("out/in/one.txt")));
        EXPECT_EQ(readFile(path("out/in/two.txt")), "two\n");
        // Nothing but the two files and their folder is left in the destination.
        int left = 0;
        for (const auto& e : stdfs::recursive_directory_iterator(path("out"))) left += e.is_regular_file();
        EXPECT_EQ(left, 1);

        const RunResult cat = oru({"cat", "a.oru", "in/one.txt"});
        EXPECT_EQ(cat.status, 1);
        EXPECT_EQ(cat.err, "oru: error: a.oru: in/one.txt: " + std::string(c.reason) + ".\n");
        EXPECT_LE(cat.out.size(), 4000u);
        EXPECT_EQ(ok({"cat", "a.oru", "in/two.txt"}), "two\n");
    }
}

// `new` that cannot write its header (a full disk; here the file size limit of the process, which
// keeps its message from the standard error file too) fails and leaves no file behind, where an
// empty one would list as a healthy empty archive.
TEST_F(OruDamage, FailedNewLeavesNoFile) {
    const std::vector<std::string> noRoom = {"/bin/sh", "-c", "trap '' XFSZ; ulimit -f 0; exec \"$0\" \"$@\""};
    const RunResult r = oru({"new", "x.oru"}, noRoom);
    EXPECT_EQ(r.status, 1);
    EXPECT_FALSE(stdfs::exists(path("x.oru")));
    // An existing archive that new empties goes the same way.
    ok({"new", "y.oru"});
    EXPECT_EQ(oru({"new", "y.oru"}, noRoom).status, 1);
    EXPECT_FALSE(stdfs::exists(path("y.oru")));
}

// In an archive where a/src and b/src are both stored as "src" (and list the same files), deleting
// a takes a and its src row only; a path that names several file rows is refused as ambiguous,
// naming how many share it, and nothing is deleted.
TEST_F(OruDamage, DeletingInFoldersOfOneNameTakesOnlyWhatWasNamed) {
    writeFile(path("a/src/x.txt"), "a's\n");
    writeFile(path("b/src/x.txt"), "b's\n");
    EXPECT_EQ(oru({"add", "m.oru", "a", "b"}).status, 0);  // b/src is stored as src~1
    {
        auto kiv = TKiv::OpenExisting(path("m.oru").string());
        CatalogTable& cat = kiv->Catalog();
        cat.SetOrdering("");
        for (cat.First(); !cat.AtEnd(); cat.Next()) {
            for (const char* field : {"FileName", "ParentName"}) {
                if (cat.GetText(field) != "src~1") continue;
                cat.Edit();
                cat.SetText(field, "src");
                cat.Post();
            }
        }
        kiv->SaveCatalog();
    }
    english();
    const std::string before = readFile(path("m.oru"));
    const RunResult ambiguous = oru({"delete", "m.oru", "a/src/x.txt"});
    EXPECT_EQ(ambiguous.status, 1);
    EXPECT_EQ(ambiguous.err, "oru: \"a/src/x.txt\" is ambiguous in m.oru: 2 files share this path (the same name "
                             "in folders of one name), so none was deleted; delete the one meant in the window, "
                             "which shows each.\n");
    EXPECT_EQ(readFile(path("m.oru")), before);

    // -v names what goes: a and its src row, not the files b/src lists too.
    EXPECT_EQ(ok({"delete", "-v", "m.oru", "a"}), "a\na/src\n");
    std::string paths = ok({"list", "-0", "m.oru"});
    std::replace(paths.begin(), paths.end(), '\0', '\n');
    const std::vector<std::string> left = lines(paths);
    EXPECT_EQ(left, (std::vector<std::string>{"b", "b/src", "b/src/x.txt", "b/src/x.txt"}));
    EXPECT_EQ(ok({"test", "m.oru"}), "2 stored files checked, 0 damaged\n");
}

// Rows that no folder reaches from the top level (here a folder whose own folder is gone) are
// listed under the pseudo-folder "unreachable", with their folder's name, extracted there, and
// named by test; nothing hides them.
TEST_F(OruDamage, RowsNoFolderReachesAreListedAndExtractedUnderAPseudoFolder) {
    english();
    writeFile(path("src/d/f.txt"), "f\n");
    writeFile(path("src/t.txt"), "t\n");
    ok({"add", "u.oru", "src"});
    {
        auto kiv = TKiv::OpenExisting(path("u.oru").string());
        CatalogTable& cat = kiv->Catalog();
        for (cat.First(); cat.GetText("FileName") != "d"; cat.Next()) {
        }
        cat.Edit();
        cat.SetText("ParentName", "gone");
        cat.Post();
        kiv->SaveCatalog();
    }
    std::string paths = ok({"list", "-0", "u.oru"});
    std::replace(paths.begin(), paths.end(), '\0', '\n');
    EXPECT_EQ(lines(paths), (std::vector<std::string>{"src", "src/t.txt", "unreachable/gone/d", "unreachable/gone/d/f.txt"}));
    EXPECT_EQ(ok({"extract", "u.oru", "out"}), "");
    int files = 0;
    for (const auto& e : stdfs::recursive_directory_iterator(path("out"))) files += e.is_regular_file();
    EXPECT_EQ(files, 2);
    EXPECT_EQ(readFile(path("out/src/t.txt")), "t\n");
    EXPECT_EQ(readFile(path("out/unreachable/gone/d/f.txt")), "f\n");
    EXPECT_EQ(ok({"test", "u.oru"}), "not reachable from the top level: unreachable/gone/d\n"
                                     "not reachable from the top level: unreachable/gone/d/f.txt\n"
                                     "2 stored files checked, 0 damaged\n");
}

}  // namespace
}  // namespace oru::testing
