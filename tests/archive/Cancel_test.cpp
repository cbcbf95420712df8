// SPDX-License-Identifier: GPL-3.0-or-later
// Cancel inside one big file: adding keeps the archive as it was before that file, reading and
// extracting stop within a megabyte, and nothing cut short is left behind.

#include <gtest/gtest.h>

#include "ArchiveTestSupport.h"
#include "platform/FileSystem.h"

namespace oru::test {
namespace {

constexpr uint64_t kMiB = uint64_t{1} << 20;

// Says stop once the reports reach a number of bytes, or once it was asked a number of times;
// keeps every report.
class StopAt : public Progress {
public:
    StopAt(uint64_t bytes, int asks) : bytes_(bytes), asks_(asks) {}
    void update(const Info& info) override { reports.push_back(info.bytesDone); }
    bool cancelled() override {
        ++asked;
        return asked >= asks_ || (!reports.empty() && reports.back() >= bytes_);
    }
    std::vector<uint64_t> reports;
    int asked = 0;

private:
    uint64_t bytes_;
    int asks_;
};

class CancelTest : public ArchiveTest, public ::testing::WithParamInterface<codec::Codec> {
protected:
    CodecScope codec{GetParam()};
};

// Sizes of a file that is held in memory until it is complete, and of one whose stored bytes
// reach the archive as they are made.
const size_t kSizes[] = {6 * kMiB, 24 * kMiB};

TEST_P(CancelTest, AddCancelledInsideAFileLeavesTheArchiveAsBeforeIt) {
    writeText(path("a.txt"), "before");
    auto kiv = TKiv::CreateNew(path("x.oru"));
    kiv->AddPath("", path("a.txt"));
    const Bytes before = readAll(path("x.oru"));
    for (const size_t size : kSizes) {
        SCOPED_TRACE(size);
        writeAll(path("big.bin"), randomBytes(size, 9));
        StopAt sink(3 * kMiB, 1 << 30);
        kiv->SetProgress(&sink);
        EXPECT_THROW(kiv->AddPath("", path("big.bin")), Cancelled);
        kiv->SetProgress(nullptr);
        // Reports (and the question that goes with each) come every megabyte read, and the file
        // stopped within a megabyte of the request.
        ASSERT_FALSE(sink.reports.empty());
        uint64_t last = 0;
        for (const uint64_t done : sink.reports) {
            EXPECT_LE(done - last, kMiB);
            last = done;
        }
        EXPECT_GE(sink.asked, static_cast<int>(sink.reports.size()));
        EXPECT_LT(sink.reports.back(), 4 * kMiB + 1);
        // No row, none of its bytes, no recovery file: the archive is what it was.
        EXPECT_EQ(namesOf(kiv->Catalog()), std::vector<std::string>{"a.txt"});
        EXPECT_EQ(readAll(path("x.oru")), before);
        EXPECT_FALSE(fs::fileExists(TKiv::RecoveryPathFor(path("x.oru"))));
    }
    kiv.reset();
    kiv = TKiv::OpenExisting(path("x.oru"));
    expectFileMatches(*kiv);
}

TEST_P(CancelTest, ReadingAndExtractingStopInsideAFile) {
    auto kiv = TKiv::CreateNew(path("x.oru"));
    for (const size_t size : kSizes) {
        writeAll(path("f" + std::to_string(size)), randomBytes(size, 4));
        kiv->AddPath("", path("f" + std::to_string(size)));
    }
    CatalogTable& c = kiv->Catalog();
    for (c.First(); !c.AtEnd(); c.Next()) {
        const std::string name = c.GetText("FileName");
        SCOPED_TRACE(name);
        StopAt sink(UINT64_MAX, 3);  // Cancel pressed during the third megabyte
        kiv->SetProgress(&sink);
        MemoryStream content;
        EXPECT_THROW(kiv->ReadEntry(c, content), Cancelled);
        EXPECT_EQ(sink.asked, 3);
        EXPECT_LT(content.size(), static_cast<int64_t>(4 * kMiB));

        sink.asked = 0;
        EXPECT_THROW(kiv->ExtractEntry(c, path("out")), Cancelled);
        kiv->SetProgress(nullptr);
        // The file cut short is not left on the disk.
        EXPECT_FALSE(fs::exists(path("out/" + name)));
    }
}

INSTANTIATE_TEST_SUITE_P(Codecs, CancelTest, ::testing::ValuesIn(builtCodecs()), codecName);

}  // namespace
}  // namespace oru::test
