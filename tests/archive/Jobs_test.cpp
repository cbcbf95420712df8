// SPDX-License-Identifier: GPL-3.0-or-later
// The jobs both front ends run: Test, the archive's figures and Delete, on one damaged archive.
// The window's Test and Properties and `oru test` / `oru info` show what these return.
#include <gtest/gtest.h>

#include <map>

#include "archive/ArchiveFigures.h"
#include "archive/ArchiveTestSupport.h"
#include "archive/DeleteJob.h"
#include "archive/TestJob.h"
#include "catalog/ArchiveSchema.h"

namespace oru::test {
namespace {

class JobsTest : public ArchiveTest {
protected:
    std::string damagedArchive() { return writeDamagedArchive(dir); }
};

// Every file row is checked once; a length other than the recorded size is damage as much as a
// stream that does not decode; the row of unknown type is neither checked nor counted.
TEST_F(JobsTest, TestFindsEachDamageOnceAndPassesOverUnknownRows) {
    const std::string archive = damagedArchive();
    auto kiv = TKiv::OpenExisting(archive, TKiv::Access::Shared);
    std::map<std::string, EntryCheck> found;
    const TestSummary summary = TestJob(*kiv, nullptr, [&](const EntryCheck& c) { found[c.name] = c; }).Run();
    EXPECT_EQ(summary.checked, 3);
    EXPECT_EQ(summary.damaged, 2);
    ASSERT_EQ(found.size(), 3u);
    EXPECT_FALSE(found["docs/sound.txt"].damage);
    EXPECT_EQ(found["docs/sound.txt"].decoded, 3000);

    ASSERT_TRUE(found["docs/short.txt"].damage);
    const Error& mismatch = *found["docs/short.txt"].damage;
    EXPECT_EQ(mismatch.kind(), ErrorKind::SizeMismatch);
    EXPECT_EQ(mismatch.values().count, 2000);
    EXPECT_EQ(mismatch.values().total, 2001);
    EXPECT_EQ(found["docs/short.txt"].decoded, 2000);

    ASSERT_TRUE(found["docs/flipped.txt"].damage);
    const Error& damaged = *found["docs/flipped.txt"].damage;
    EXPECT_EQ(damaged.kind(), ErrorKind::DamagedEntry);
    // Each finding names the archive and the entry; the reason alone names neither.
    for (const Error* e : {&mismatch, &damaged}) {
        EXPECT_EQ(e->values().archive, archive);
        EXPECT_NE(std::string(e->what()).find(archive), std::string::npos) << e->what();
        EXPECT_EQ(TestJob::ReasonText(*e).find(archive), std::string::npos);
        EXPECT_EQ(TestJob::ReasonText(*e).find("docs/"), std::string::npos);
    }
    EXPECT_EQ(found["docs/flipped.txt"].damage->values().entry, "docs/flipped.txt");
}

// Properties and `oru info`: a row of unknown type is neither a file nor a folder, and its
// stored bytes are not counted as data.
TEST_F(JobsTest, FiguresCountUnknownRowsApart) {
    const std::string archive = damagedArchive();
    auto kiv = TKiv::OpenExisting(archive, TKiv::Access::Shared);
    // The cursor shows one folder: the figures count every row all the same.
    kiv->Catalog().SetFilterText(CatalogTable::parentFilter("docs"));
    kiv->Catalog().SetFiltered(true);
    const ArchiveFigures f = ArchiveFigures::Of(*kiv);
    EXPECT_EQ(f.folders, 1);
    EXPECT_EQ(f.files, 3);
    EXPECT_EQ(f.others, 1);
    EXPECT_EQ(f.entries(), 5);
    EXPECT_EQ(f.originalBytes, 3000 + 2001 + 5000);
    EXPECT_EQ(f.fileSize, static_cast<int64_t>(std::filesystem::file_size(archive)));
    EXPECT_EQ(kHeaderSize + f.storedBytes + f.deadBytes, f.catalogOffset);
    EXPECT_EQ(f.deadBytes, 0);
    EXPECT_EQ(f.catalogOffset + f.catalogBytes, f.fileSize);
}

// Delete as one job: the rows go, the change is merged and the file holds no dead bytes.
TEST_F(JobsTest, DeleteJobDeletesMergesAndCompacts) {
    const std::string archive = damagedArchive();
    auto kiv = TKiv::OpenExisting(archive);
    CatalogTable& c = kiv->Catalog();
    moveTo(c, "docs");
    const auto before = std::filesystem::file_size(archive);
    const Bookmark docs = *c.GetBookmark();
    DeleteJob(*kiv, c, {docs}).Run();
    EXPECT_EQ(namesOf(c), std::vector<std::string>{"odd"});
    EXPECT_LT(std::filesystem::file_size(archive), before);
    // A row gone before the job is refused, and nothing changes.
    EXPECT_THROW(DeleteJob(*kiv, c, {docs}).Run(), Error);
    EXPECT_EQ(namesOf(c), std::vector<std::string>{"odd"});
    kiv.reset();
    auto again = TKiv::OpenExisting(archive);
    EXPECT_EQ(namesOf(again->Catalog()), std::vector<std::string>{"odd"});
    EXPECT_EQ(ArchiveFigures::Of(*again).deadBytes, 0);
}

}  // namespace
}  // namespace oru::test
