// SPDX-License-Identifier: GPL-3.0-or-later
// An archive held with the shared lock may be written by another program while this one only
// reads it (or in the moment flock gives up the shared lock for the exclusive one). Taking the
// hold for writing reads header and catalog again when the file is not as this object left it,
// so nothing is written over the other program's work; a file left as it was is not read again.
#include <gtest/gtest.h>

#include <algorithm>
#include <fstream>

#include "archive/ArchiveTestSupport.h"
#include "archive/zipUtil.h"

namespace oru::test {
namespace {

class SharedWritingTest : public ArchiveTest {
protected:
    // The archive at name holding one file per (name, content), added in that order.
    void makeArchive(const std::string& name, const std::vector<std::pair<std::string, std::string>>& files) {
        mkdir("src");
        auto kiv = TKiv::CreateNew(path(name));
        for (const auto& [file, content] : files) {
            writeText(path("src/" + file), content);
            kiv->AddPath("", path("src/" + file));
        }
    }
    // Another program's write: the bytes of the archive at from over those at to (same inode).
    void writtenMeanwhile(const std::string& from, const std::string& to) {
        const Bytes bytes = readAll(path(from));
        std::ofstream(path(to), std::ios::binary | std::ios::trunc)
            .write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
    }
};

TEST_F(SharedWritingTest, TakingTheWriteHoldReadsAChangedArchiveAgain) {
    makeArchive("base.oru", {{"a.txt", "alpha"}});
    makeArchive("added.oru", {{"a.txt", "alpha"}, {"b.txt", "beta"}});
    // The same size and header, one name changed: only the catalog's bytes tell.
    makeArchive("renamed.oru", {{"z.txt", "alpha"}});
    const Bytes renamed = readAll(path("renamed.oru")), base = readAll(path("base.oru"));
    ASSERT_EQ(renamed.size(), base.size());
    ASSERT_TRUE(std::equal(base.begin(), base.begin() + 16, renamed.begin()));  // the header
    ASSERT_NE(renamed, base);
    const struct {
        const char* what;
        const char* meanwhile;  // the archive another program leaves; null: none
        std::vector<std::string> names;
        uint64_t reloads;
    } cases[] = {
        {"untouched", nullptr, {"a.txt"}, 0},
        {"an entry added", "added.oru", {"a.txt", "b.txt"}, 1},
        {"a name changed in place", "renamed.oru", {"z.txt"}, 1},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        writtenMeanwhile("base.oru", "shown.oru");
        auto kiv = TKiv::OpenExisting(path("shown.oru"), TKiv::Access::Shared);
        if (c.meanwhile) writtenMeanwhile(c.meanwhile, "shown.oru");
        {
            const TKiv::Writing writing(*kiv);
            EXPECT_EQ(kiv->Reloads(), c.reloads);
            EXPECT_EQ(namesOf(kiv->Catalog()), c.names);
        }
        // What this object wrote itself is what the next hold expects: no reading again.
        writeText(path("src/c.txt"), "gamma");
        kiv->AddPath("", path("src/c.txt"));
        {
            const TKiv::Writing again(*kiv);
            EXPECT_EQ(kiv->Reloads(), c.reloads);
        }
        // Every entry, the other program's included, reads back whole.
        auto fresh = TKiv::OpenExisting(path("shown.oru"), TKiv::Access::Shared);
        CatalogTable& catalog = fresh->Catalog();
        size_t files = 0;
        for (catalog.First(); !catalog.AtEnd(); catalog.Next(), ++files) {
            MemoryStream content;
            fresh->ReadEntry(catalog, content);
        }
        EXPECT_EQ(files, c.names.size() + 1);
    }
}

}  // namespace
}  // namespace oru::test
