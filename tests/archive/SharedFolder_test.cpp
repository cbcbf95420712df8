// SPDX-License-Identifier: GPL-3.0-or-later
// Archives in folders others may write (/tmp, shared project folders): files planted under the
// names of the recovery file and of compaction's temporary file are never replayed, written or
// deleted; and a hostile catalog's claims about stored bytes and row types are not trusted.
#include <gtest/gtest.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>
#include <zlib.h>

#include <cmath>

#include "archive/ArchiveFormat.h"
#include "archive/ArchiveTestSupport.h"
#include "archive/zipUtil.h"
#include "platform/Coding.h"

namespace oru::test {
namespace {

namespace stdfs = std::filesystem;

// A recovery file as an interrupted add would leave it, naming header as the archive's header
// when the add began and an empty catalog: replaying it empties the archive.
Bytes recoveryEmptying(const Bytes& archive) {
    Bytes journal = {'O', 'R', 'U', 'J', 1, 0, 0, 0};
    journal.insert(journal.end(), archive.begin(), archive.begin() + 16);
    putLe32(journal, 8 + 4, 16);  // the catalog then began right behind the header
    journal.insert(journal.end(), {0, 0, 0, 0});  // packet size 0
    const uint32_t crc = static_cast<uint32_t>(::crc32(0, journal.data(), static_cast<uInt>(journal.size())));
    journal.insert(journal.end(), {0, 0, 0, 0});
    putLe32(journal, journal.size() - 4, crc);
    return journal;
}

int64_t peakMemory() {
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return static_cast<int64_t>(usage.ru_maxrss) * 1024;
}

class SharedFolderTest : public ArchiveTest {
protected:
    void SetUp() override {
        ArchiveTest::SetUp();
        writeText(path("a.txt"), "alpha");
        writeText(path("b.txt"), "bravo");
        {
            auto kiv = TKiv::CreateNew(archive());
            kiv->AddPath("", path("a.txt"));
            kiv->AddPath("", path("b.txt"));
        }
        good = readAll(archive());
    }
    std::string archive() const { return path("v.oru"); }

public:
    enum class Plant { OtherUsers, WritableByOthers, Symlink, HardLink };
    static constexpr Plant kPlants[] = {Plant::OtherUsers, Plant::WritableByOthers, Plant::Symlink, Plant::HardLink};

protected:
    // Plants a file at name in the way given; false when this process cannot plant it so.
    bool plant(Plant how, const std::string& name, const Bytes& content) {
        switch (how) {
            case Plant::OtherUsers:
                writeAll(name, content);
                ::chmod(name.c_str(), 0600);
                return ::geteuid() == 0 && ::chown(name.c_str(), 65534, 65534) == 0;
            case Plant::WritableByOthers:
                writeAll(name, content);
                return ::chmod(name.c_str(), 0666) == 0;
            case Plant::Symlink:
                writeAll(path("elsewhere"), content);
                return ::symlink(path("elsewhere").c_str(), name.c_str()) == 0;
            case Plant::HardLink:
                writeAll(path("elsewhere"), content);
                ::chmod(path("elsewhere").c_str(), 0600);
                return ::link(path("elsewhere").c_str(), name.c_str()) == 0;
        }
        return false;
    }
    static const char* nameOf(Plant how) {
        switch (how) {
            case Plant::OtherUsers: return "another user's file";
            case Plant::WritableByOthers: return "a file others may write";
            case Plant::Symlink: return "a symbolic link";
            case Plant::HardLink: return "a file with a second link";
        }
        return "";
    }
    Bytes good;
};

// The fixture is meaningful: the user's own recovery file of that content is replayed.
TEST_F(SharedFolderTest, OwnRecoveryFileIsReplayed) {
    const std::string recovery = TKiv::RecoveryPathFor(archive());
    writeAll(recovery, recoveryEmptying(good));
    ::chmod(recovery.c_str(), 0600);
    auto kiv = TKiv::OpenExisting(archive(), TKiv::Access::Shared);
    EXPECT_TRUE(kiv->Catalog().IsEmpty());
    EXPECT_TRUE(kiv->Warnings().empty());
    EXPECT_FALSE(stdfs::exists(recovery));
}

// The ways a file may be planted, one test each: a way this process cannot plant (another
// user's file needs root) is skipped, and says so.
class PlantedFileTest : public SharedFolderTest, public ::testing::WithParamInterface<SharedFolderTest::Plant> {};

std::string plantName(const ::testing::TestParamInfo<SharedFolderTest::Plant>& info) {
    using P = SharedFolderTest::Plant;
    switch (info.param) {
        case P::OtherUsers: return "OtherUsers";
        case P::WritableByOthers: return "WritableByOthers";
        case P::Symlink: return "Symlink";
        case P::HardLink: return "HardLink";
    }
    return "Unknown";
}

// A planted recovery file is not replayed by a reader (nor by a writer), is left as it is, and
// is reported once as a warning; the archive keeps every byte.
TEST_P(PlantedFileTest, PlantedRecoveryFileIsNeverReplayedWrittenOrDeleted) {
    const Plant how = GetParam();
    const std::string recovery = TKiv::RecoveryPathFor(archive());
    for (auto access : {TKiv::Access::Shared, TKiv::Access::Exclusive}) {
        SCOPED_TRACE(std::string(nameOf(how)) + (access == TKiv::Access::Shared ? ", reading" : ", writing"));
        stdfs::remove(recovery);
        stdfs::remove(path("elsewhere"));
        const Bytes planted = recoveryEmptying(good);
        if (!plant(how, recovery, planted)) GTEST_SKIP() << "cannot plant " << nameOf(how) << " here (needs root)";
        {
            auto kiv = TKiv::OpenExisting(archive(), access);
            EXPECT_EQ(kiv->Catalog().ViewSize(), 2);
            ASSERT_EQ(kiv->Warnings().size(), 1u);
            EXPECT_NE(kiv->Warnings()[0].find(recovery), std::string::npos);
            if (access == TKiv::Access::Exclusive) {
                // The add goes on without crash protection and leaves the planted file alone.
                writeText(path("c.txt"), "charlie");
                kiv->AddPath("", path("c.txt"));
                EXPECT_EQ(kiv->Catalog().ViewSize(), 3);
            }
        }
        EXPECT_TRUE(stdfs::is_symlink(recovery) || stdfs::exists(recovery));
        EXPECT_EQ(readAll(how == Plant::Symlink || how == Plant::HardLink ? path("elsewhere") : recovery), planted);
        if (access == TKiv::Access::Shared) {
            EXPECT_EQ(readAll(archive()), good);
        }
        auto again = TKiv::OpenExisting(archive(), TKiv::Access::Shared);
        EXPECT_EQ(again->Catalog().ViewSize(), access == TKiv::Access::Shared ? 2 : 3);
        again.reset();
        writeAll(archive(), good);
    }
}

// An empty recovery file others may write: the add's journal never goes into it (a planter
// could read the names), and it is never replayed later.
TEST_F(SharedFolderTest, AddWritesNothingIntoAPlantedEmptyRecoveryFile) {
    const std::string recovery = TKiv::RecoveryPathFor(archive());
    ASSERT_TRUE(plant(Plant::WritableByOthers, recovery, {}));
    {
        auto kiv = TKiv::OpenExisting(archive());
        writeText(path("c.txt"), "charlie");
        kiv->AddPath("", path("c.txt"));
        ASSERT_FALSE(kiv->Warnings().empty());
        EXPECT_NE(kiv->Warnings().back().find("沒有當機保護"), std::string::npos) << kiv->Warnings().back();
    }
    EXPECT_EQ(stdfs::file_size(recovery), 0u);
    EXPECT_EQ(TKiv::OpenExisting(archive())->Catalog().ViewSize(), 3);
}

// A link planted at the temporary file's name: compaction refuses to run and writes nothing
// through it; the link's target keeps its bytes.
TEST_F(SharedFolderTest, CompactionNeverWritesThroughAPlantedLink) {
    const std::string temp = TKiv::TempPathFor(archive());
    ASSERT_TRUE(plant(Plant::Symlink, temp, {'k', 'e', 'e', 'p'}));
    auto kiv = TKiv::OpenExisting(archive());
    const std::string message = errorOf([&] { kiv->Compact(); });
    EXPECT_NE(message.find(temp), std::string::npos) << message;
    EXPECT_EQ(readAll(path("elsewhere")), (Bytes{'k', 'e', 'e', 'p'}));
    EXPECT_TRUE(stdfs::is_symlink(temp));
    kiv.reset();
    EXPECT_EQ(readAll(archive()), good);
}

// A temporary file whose first bytes equal the archive (here a fresh one) would "finish an
// interrupted compaction" and inject its entries: a planted one is ignored; the user's own is
// copied back (the control, below).
class TemporaryFileTest : public SharedFolderTest {
protected:
    void SetUp() override {
        SharedFolderTest::SetUp();
        { TKiv::CreateNew(archive()); }
        fresh = readAll(archive());
        injected = fresh;
        writeText(path("run-me.sh"), "echo owned");
        auto other = TKiv::CreateNew(path("other.oru"));
        other->AddPath("", path("run-me.sh"));
        const std::vector<uint8_t> packet = other->Catalog().PacketBytes();
        injected.insert(injected.end(), packet.begin(), packet.end());
    }
    Bytes fresh, injected;
};
class PlantedTemporaryFileTest : public TemporaryFileTest, public ::testing::WithParamInterface<SharedFolderTest::Plant> {};

TEST_P(PlantedTemporaryFileTest, PlantedTemporaryFileNeverFinishesACompaction) {
    const Plant how = GetParam();
    const std::string temp = TKiv::TempPathFor(archive());
    if (!plant(how, temp, injected)) GTEST_SKIP() << "cannot plant " << nameOf(how) << " here (needs root)";
    auto kiv = TKiv::OpenExisting(archive(), TKiv::Access::Shared);
    EXPECT_TRUE(kiv->Catalog().IsEmpty());
    EXPECT_EQ(kiv->Warnings().size(), 1u);
    kiv.reset();
    EXPECT_EQ(readAll(archive()), fresh);
    EXPECT_TRUE(stdfs::is_symlink(temp) || stdfs::exists(temp));
}

// The control: the same file of the user's own is taken for the rest of the archive.
TEST_F(TemporaryFileTest, OwnTemporaryFileFinishesACompaction) {
    const std::string temp = TKiv::TempPathFor(archive());
    writeAll(temp, injected);
    ::chmod(temp.c_str(), 0600);
    EXPECT_EQ(TKiv::OpenExisting(archive())->Catalog().ViewSize(), 1);
}

INSTANTIATE_TEST_SUITE_P(Plants, PlantedFileTest, ::testing::ValuesIn(SharedFolderTest::kPlants), plantName);
INSTANTIATE_TEST_SUITE_P(Plants, PlantedTemporaryFileTest, ::testing::ValuesIn(SharedFolderTest::kPlants), plantName);

// A recovery file of the user's own that claims a catalog larger than the archive (a sparse
// 2.5 GB file starting with the right magic) is not read into memory, and the archive opens.
TEST_F(SharedFolderTest, HugeRecoveryFileIsNotReadWhole) {
    const std::string recovery = TKiv::RecoveryPathFor(archive());
    Bytes head = recoveryEmptying(good);
    putLe32(head, 24, 0x7FFFFFF0u);  // the packet's size
    writeAll(recovery, head);
    ::chmod(recovery.c_str(), 0600);
    ASSERT_EQ(::truncate(recovery.c_str(), (int64_t{5} << 29)), 0);
    const int64_t before = peakMemory();
    auto kiv = TKiv::OpenExisting(archive());
    EXPECT_EQ(kiv->Catalog().ViewSize(), 2);
    EXPECT_LT(peakMemory() - before, int64_t{64} << 20);
}

// Rows that share stored bytes (fifty rows over one stream, each claiming its content: the
// overlap bomb) or reach outside the data area are damage: reading refuses each, and rows with
// bytes of their own still read.
TEST_F(SharedFolderTest, RowsSharingStoredBytesAreRefused) {
    auto kiv = TKiv::OpenExisting(archive());
    CatalogTable& c = kiv->Catalog();
    moveTo(c, "a.txt");
    const int32_t offset = c.GetInteger("Offset"), stored = c.GetInteger("StoredSize");
    for (int i = 0; i < 50; ++i) {
        c.Append();
        c.SetText("FileName", "bomb" + std::to_string(i));
        c.SetText("ParentName", "");
        c.SetInteger("FileType", 1);
        c.SetInteger("Offset", offset);
        c.SetInteger("OriginalSize", 5);
        c.SetInteger("StoredSize", stored);
        c.Post();
    }
    kiv->SaveCatalog();
    kiv.reset();
    kiv = TKiv::OpenExisting(archive(), TKiv::Access::Shared);
    CatalogTable& r = kiv->Catalog();
    for (const char* name : {"a.txt", "bomb0", "bomb49"}) {
        SCOPED_TRACE(name);
        moveTo(r, name);
        MemoryStream target;
        EXPECT_NE(errorOf([&] { kiv->ReadEntry(r, target); }).find("重疊"), std::string::npos);
        EXPECT_EQ(target.size(), 0);
    }
    moveTo(r, "b.txt");
    MemoryStream target;
    kiv->ReadEntry(r, target);
    EXPECT_EQ(target.size(), 5);
}

// A row of a type other than folder (0) and file (1): never read as a file, and compaction
// leaves it consistent: its bytes carried along when they are in the data area, its offset
// dropped when they are not, never pointing into another entry's bytes.
TEST_F(SharedFolderTest, RowsOfUnknownTypeAreNeverReadAsFiles) {
    auto kiv = TKiv::OpenExisting(archive());
    CatalogTable& c = kiv->Catalog();
    moveTo(c, "a.txt");
    const int32_t stored = c.GetInteger("StoredSize");
    c.Edit();
    c.SetInteger("FileType", 2);
    c.Post();
    c.Append();
    c.SetText("FileName", "nowhere");
    c.SetText("ParentName", "");
    c.SetInteger("FileType", 7);
    c.SetInteger("Offset", 1 << 30);
    c.SetInteger("StoredSize", 100);
    c.Post();
    kiv->SaveCatalog();
    for (int pass = 0; pass < 2; ++pass) {
        SCOPED_TRACE(pass == 0 ? "before compaction" : "after compaction");
        for (const char* name : {"a.txt", "nowhere"}) {
            moveTo(c, name);
            MemoryStream target;
            EXPECT_NE(errorOf([&] { kiv->ReadEntry(c, target); }).find("不明的項目類型"), std::string::npos) << name;
            EXPECT_EQ(target.size(), 0);
        }
        moveTo(c, "b.txt");
        MemoryStream b;
        kiv->ReadEntry(c, b);
        EXPECT_EQ(std::string(b.bytes().begin(), b.bytes().end()), "bravo");
        kiv->Compact();
    }
    moveTo(c, "a.txt");
    EXPECT_EQ(c.GetInteger("StoredSize"), stored);
    // a's bytes stay first in the data area, right behind the 16-byte header, and b's follow them.
    EXPECT_EQ(c.GetInteger("Offset"), 16);
    moveTo(c, "nowhere");
    EXPECT_EQ(c.GetInteger("Offset"), 0);
    EXPECT_EQ(c.GetInteger("StoredSize"), 0);
    // The kept bytes are a's own, not b's.
    moveTo(c, "b.txt");
    const int32_t bOffset = c.GetInteger("Offset");
    EXPECT_EQ(bOffset, 16 + stored);
    moveTo(c, "a.txt");
    EXPECT_NE(c.GetInteger("Offset"), bOffset);
}

}  // namespace
}  // namespace oru::test
