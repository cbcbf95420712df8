#include <gtest/gtest.h>
#include <zlib.h>

#include "ArchiveTestSupport.h"
#include "archive/EntryCodec.h"
#include "archive/zipUtil.h"

namespace oru::test {
namespace {

// Records the size of every write it takes.
class RecordingStream : public MemoryStream {
public:
    void write(const void* buffer, size_t n) override {
        writes.push_back(n);
        MemoryStream::write(buffer, n);
    }
    std::vector<size_t> writes;
};

Bytes compressed(const Bytes& content) {
    MemoryStream source(content), stored;
    CompressStream(source, stored);
    return stored.bytes();
}

TEST(EntryCodecTest, EmptyContentIsTheEightByteStream) {
    Bytes stored = compressed({});
    EXPECT_EQ(stored, (Bytes{0x78, 0x01, 0x03, 0x00, 0x00, 0x00, 0x00, 0x01}));

    MemoryStream source(stored);
    RecordingStream target;
    DecompressStream(source, target);
    EXPECT_TRUE(target.writes.empty());
}

TEST(EntryCodecTest, ContentComesBackInPiecesOf512) {
    const Bytes content(1000, 'x');
    Bytes stored = compressed(content);
    ASSERT_GE(stored.size(), 2u);
    EXPECT_EQ(stored[0], 0x78);
    EXPECT_EQ(stored[1], 0x01);

    MemoryStream source(stored);
    RecordingStream target;
    DecompressStream(source, target);
    EXPECT_EQ(target.bytes(), content);
    EXPECT_EQ(target.writes, (std::vector<size_t>{512, 488}));
}

TEST(EntryCodecTest, RoundTripsLargeAndIncompressibleContent) {
    // Larger than the codec's input and output chunks, half of it random.
    Bytes content = randomBytes(1500000, 7);
    content.insert(content.end(), 1500000, 'a');
    Bytes stored = compressed(content);

    // A standard RFC 1950 stream: zlib's own one-call decoder reads it.
    Bytes plain(content.size());
    uLongf plainSize = plain.size();
    ASSERT_EQ(uncompress(plain.data(), &plainSize, stored.data(), stored.size()), Z_OK);
    EXPECT_EQ(plainSize, content.size());
    EXPECT_TRUE(plain == content);

    MemoryStream source(stored), target;
    DecompressStream(source, target);
    EXPECT_TRUE(target.bytes() == content);
}

TEST(EntryCodecTest, CompressesTheWholeSourceWhateverItsPosition) {
    const Bytes content = randomBytes(3000, 1);
    MemoryStream source(content), stored;
    source.seek(2000);
    CompressStream(source, stored);
    EXPECT_EQ(stored.position(), stored.size());

    MemoryStream target;
    DecompressStream(stored, target);
    EXPECT_EQ(target.bytes(), content);
}

TEST(EntryCodecTest, DamagedStreamsFailWithError) {
    const Bytes content = randomBytes(2000, 3);
    const Bytes good = compressed(content);
    struct Case {
        const char* what;
        std::function<Bytes()> make;
        size_t writtenAtMost;  // content bytes that may reach the target before the failure
    };
    const Case cases[] = {
        {"empty source", [] { return Bytes{}; }, 0},
        {"bad header", [&] { Bytes b = good; b[0] = 0x79; return b; }, 0},
        {"preset dictionary flag", [&] { Bytes b = good; b[1] = 0x20 | 0x1F; return b; }, 0},
        {"garbage", [] { return randomBytes(600, 9); }, 600},
        {"cut in the middle", [&] { return Bytes(good.begin(), good.begin() + good.size() / 2); }, 2000},
        {"cut before the checksum", [&] { return Bytes(good.begin(), good.end() - 4); }, 1536},
        {"wrong checksum", [&] { Bytes b = good; b.back() ^= 0xFF; return b; }, 1536},
        {"invalid block type", [] { return Bytes{0x78, 0x01, 0x07, 0x00}; }, 0},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        MemoryStream source(c.make()), target;
        EXPECT_EQ(errorOf([&] { DecompressStream(source, target); }), "error");
        EXPECT_LE(target.bytes().size(), c.writtenAtMost);
        // What was written before the failure is the content's beginning.
        EXPECT_TRUE(std::equal(target.bytes().begin(), target.bytes().end(), content.begin()));
    }
}

TEST(EntryCodecTest, WrongChecksumKeepsThePiecesBeforeIt) {
    const Bytes content(1000, 'z');
    Bytes stored = compressed(content);
    stored.back() ^= 0x01;
    MemoryStream source(stored);
    RecordingStream target;
    EXPECT_EQ(errorOf([&] { DecompressStream(source, target); }), "error");
    // The first request fills a whole piece; the one that reaches the trailer fails.
    EXPECT_EQ(target.writes, std::vector<size_t>{512});

    // The same far into a long entry: every whole piece before the failing request is handed on.
    const Bytes longContent = randomBytes(100000, 11);
    Bytes longStored = compressed(longContent);
    longStored.back() ^= 0x01;
    MemoryStream longSource(longStored);
    RecordingStream longTarget;
    EXPECT_EQ(errorOf([&] { DecompressStream(longSource, longTarget); }), "error");
    EXPECT_EQ(longTarget.writes, std::vector<size_t>(100000 / 512, 512));
    EXPECT_TRUE(std::equal(longTarget.bytes().begin(), longTarget.bytes().end(), longContent.begin()));
}

TEST(EntryCodecTest, BytesBehindTheStreamAreIgnored) {
    const Bytes content = randomBytes(700, 5);
    Bytes stored = compressed(content);
    stored.insert(stored.end(), {1, 2, 3, 4, 5});
    MemoryStream source(stored), target;
    DecompressStream(source, target);
    EXPECT_EQ(target.bytes(), content);
}

TEST(EntryCodecTest, LimitStopsAStreamThatInflatesPastIt) {
    // 16 MiB of zeros make a stream of a few kilobytes.
    MemoryStream source(compressed(Bytes(16 << 20, 0)));

    MemoryStream capped;
    EXPECT_EQ(errorOf([&] { DecompressStream(source, capped, 1000); }), "error");
    EXPECT_EQ(capped.size(), 1000);

    MemoryStream exact;
    DecompressStream(source, exact, 16 << 20);
    EXPECT_EQ(exact.size(), 16 << 20);

    MemoryStream none;
    EXPECT_EQ(errorOf([&] { DecompressStream(source, none, 0); }), "error");
    EXPECT_EQ(none.size(), 0);
}

TEST(EntryCodecTest, CompressStopsReadingPastTheInputLimit) {
    MemoryStream source(Bytes(5000, 'q')), stored;
    EXPECT_GT(codec::compress(source, stored, 4000), 4000u);
    MemoryStream source2(Bytes(4000, 'q')), stored2;
    EXPECT_EQ(codec::compress(source2, stored2, 4000), 4000u);
}

// A source that claims a size smaller than what it gives, as a file growing while it is read.
class GrowingSource : public Stream {
public:
    GrowingSource(Bytes bytes, int64_t claimed) : bytes_(std::move(bytes)), claimed_(claimed) {}
    size_t read(void* buffer, size_t n) override { return bytes_.read(buffer, n); }
    void write(const void* buffer, size_t n) override { bytes_.write(buffer, n); }
    int64_t position() const override { return bytes_.position(); }
    void seek(int64_t position) override { bytes_.seek(position); }
    int64_t size() const override { return claimed_; }
    void setSize(int64_t n) override { bytes_.setSize(n); }

private:
    MemoryStream bytes_;
    int64_t claimed_;
};

// Adding compresses into a buffer written in place: the stream is the same as through a stream,
// also when the source gives far more than its size said and the buffer has to grow.
TEST(EntryCodecTest, BufferOutputEqualsStreamOutput) {
    struct Case {
        const char* what;
        Bytes content;
        int64_t claimed;
    } cases[] = {
        {"empty", {}, 0},
        {"compressible", Bytes(3 << 20, 'x'), 3 << 20},
        {"incompressible", randomBytes(700000, 5), 700000},
        {"grows while read", randomBytes(1500000, 6), 1000},
        {"shrinks while read", randomBytes(1000, 7), 500000},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        MemoryStream plain(c.content), viaStream;
        codec::compress(plain, viaStream);
        GrowingSource source(c.content, c.claimed);
        codec::ByteBuffer viaBuffer;
        EXPECT_EQ(codec::compress(source, viaBuffer), c.content.size());
        EXPECT_EQ(Bytes(viaBuffer.data(), viaBuffer.data() + viaBuffer.size()), viaStream.bytes());
    }
}

}  // namespace
}  // namespace oru::test
