// SPDX-License-Identifier: GPL-3.0-or-later
#include <gtest/gtest.h>
#include <zlib.h>

#include "ArchiveTestSupport.h"
#include "archive/EntryCodec.h"
#include "archive/zipUtil.h"
#ifdef ORU_TEST_ISAL
#include "archive/ChunkedDeflate.h"
#endif

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

// Gives its bytes a few at a time, as a file read in odd pieces would: the decoders must take a
// header, block or checksum split across reads.
class TrickleSource : public Stream {
public:
    explicit TrickleSource(Bytes bytes) : bytes_(std::move(bytes)) {}
    size_t read(void* buffer, size_t n) override { return bytes_.read(buffer, std::min<size_t>(n, 7)); }
    void write(const void*, size_t) override { throw Error(ErrorKind::WriteError, {}); }
    int64_t position() const override { return bytes_.position(); }
    void seek(int64_t position) override { bytes_.seek(position); }
    int64_t size() const override { return bytes_.size(); }
    void setSize(int64_t) override { throw Error(ErrorKind::WriteError, {}); }

private:
    MemoryStream bytes_;
};

// The ways an entry reaches the decoder: in memory with or without the content size it should
// have (the row's OriginalSize), or from a stream read in pieces.
struct Route {
    const char* what;
    bool inMemory;
    bool sizeKnown;
};
constexpr Route kRoutes[] = {{"in memory", true, false}, {"in memory, size known", true, true}, {"read in pieces", false, false}};

void decodeBy(const Route& route, const Bytes& stored, size_t contentSize, Stream& target) {
    const int64_t limit = route.sizeKnown ? static_cast<int64_t>(contentSize) : -1;
    if (route.inMemory) {
        MemoryStream source(stored);
        DecompressStream(source, target, limit);
    } else {
        TrickleSource source(stored);
        DecompressStream(source, target, limit);
    }
}

// Each test runs under each codec the build has: it compresses and decodes with that codec.
class EntryCodecTest : public ::testing::TestWithParam<codec::Codec> {
protected:
    CodecScope codec_{GetParam()};
};

TEST_P(EntryCodecTest, EmptyContentIsTheEightByteStream) {
    Bytes stored = compressed({});
    EXPECT_EQ(stored, (Bytes{0x78, 0x01, 0x03, 0x00, 0x00, 0x00, 0x00, 0x01}));

    MemoryStream source(stored);
    RecordingStream target;
    DecompressStream(source, target);
    EXPECT_TRUE(target.writes.empty());
}

TEST_P(EntryCodecTest, ContentComesBackInPiecesOf512) {
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

TEST_P(EntryCodecTest, RoundTripsLargeAndIncompressibleContent) {
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

TEST_P(EntryCodecTest, CompressesTheWholeSourceWhateverItsPosition) {
    const Bytes content = randomBytes(3000, 1);
    MemoryStream source(content), stored;
    source.seek(2000);
    CompressStream(source, stored);
    EXPECT_EQ(stored.position(), stored.size());

    MemoryStream target;
    DecompressStream(stored, target);
    EXPECT_EQ(target.bytes(), content);
}

TEST_P(EntryCodecTest, DamagedStreamsFailWithError) {
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
        for (const auto& route : kRoutes) {
            SCOPED_TRACE(std::string(c.what) + ", " + route.what);
            MemoryStream target;
            EXPECT_EQ(kindOf([&] { decodeBy(route, c.make(), content.size(), target); }), ErrorKind::DamagedEntry);
            EXPECT_LE(target.bytes().size(), c.writtenAtMost);
            // What was written before the failure is the content's beginning.
            EXPECT_TRUE(std::equal(target.bytes().begin(), target.bytes().end(), content.begin()));
        }
    }
}

TEST_P(EntryCodecTest, WrongChecksumKeepsThePiecesBeforeIt) {
    const Bytes content(1000, 'z');
    Bytes stored = compressed(content);
    stored.back() ^= 0x01;
    MemoryStream source(stored);
    RecordingStream target;
    EXPECT_EQ(kindOf([&] { DecompressStream(source, target); }), ErrorKind::DamagedEntry);
    // The first request fills a whole piece; the one that reaches the trailer fails.
    EXPECT_EQ(target.writes, std::vector<size_t>{512});

    // The same far into a long entry: every whole piece before the failing request is handed on.
    const Bytes longContent = randomBytes(100000, 11);
    Bytes longStored = compressed(longContent);
    longStored.back() ^= 0x01;
    for (const auto& route : kRoutes) {
        SCOPED_TRACE(route.what);
        RecordingStream longTarget;
        EXPECT_EQ(kindOf([&] { decodeBy(route, longStored, longContent.size(), longTarget); }), ErrorKind::DamagedEntry);
        EXPECT_EQ(longTarget.writes, std::vector<size_t>(100000 / 512, 512));
        EXPECT_TRUE(std::equal(longTarget.bytes().begin(), longTarget.bytes().end(), longContent.begin()));
    }
}

TEST_P(EntryCodecTest, BytesBehindTheStreamAreIgnored) {
    const Bytes content = randomBytes(700, 5);
    Bytes stored = compressed(content);
    stored.insert(stored.end(), {1, 2, 3, 4, 5});
    for (const auto& route : kRoutes) {
        SCOPED_TRACE(route.what);
        MemoryStream target;
        decodeBy(route, stored, content.size(), target);
        EXPECT_EQ(target.bytes(), content);
    }
}

TEST_P(EntryCodecTest, LimitStopsAStreamThatInflatesPastIt) {
    // 16 MiB of zeros make a stream of a few kilobytes.
    MemoryStream source(compressed(Bytes(16 << 20, 0)));

    MemoryStream capped;
    EXPECT_EQ(kindOf([&] { DecompressStream(source, capped, 1000); }), ErrorKind::LongerThanRecorded);
    EXPECT_EQ(capped.size(), 1000);

    MemoryStream exact;
    DecompressStream(source, exact, 16 << 20);
    EXPECT_EQ(exact.size(), 16 << 20);

    MemoryStream none;
    EXPECT_EQ(kindOf([&] { DecompressStream(source, none, 0); }), ErrorKind::LongerThanRecorded);
    EXPECT_EQ(none.size(), 0);
}

// A source past the limit is reported by a count above it, and reading stops within one read
// (kChunkSize) past the limit rather than running to the source's end.
TEST_P(EntryCodecTest, CompressStopsReadingPastTheInputLimit) {
    struct Case {
        size_t size, limit;
        bool stops;
    } cases[] = {{5000, 4000, true},
                 {4000, 4000, false},
                 {(3 << 20) + 5, (3 << 20) / 2, true},
                 {3 << 20, 3 << 20, false},
                 {5 << 20, (1 << 20) + 1, true}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.size);
        MemoryStream source(Bytes(c.size, 'q')), stored;
        const uint64_t read = codec::compress(source, stored, static_cast<int64_t>(c.limit));
        if (c.stops) {
            EXPECT_GT(read, c.limit);
            EXPECT_LE(read, c.limit + codec::kChunkSize);
            EXPECT_LE(static_cast<uint64_t>(source.position()), c.limit + codec::kChunkSize) << "read on past the limit";
        } else {
            EXPECT_EQ(read, c.size);
        }
    }
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
TEST_P(EntryCodecTest, BufferOutputEqualsStreamOutput) {
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

INSTANTIATE_TEST_SUITE_P(Codecs, EntryCodecTest, ::testing::ValuesIn(builtCodecs()), codecName);

// Content of n bytes mixing runs of text, random bytes and zeros, so that chunks of a stream
// reach back into the ones before them.
Bytes mixedContent(size_t n, unsigned seed) {
    Bytes content;
    content.reserve(n);
    const Bytes noise = randomBytes(40000, seed);
    const std::string text = "stored entry, catalog row, folder name; ";
    for (size_t i = 0; content.size() < n; ++i) {
        switch (i % 3) {
            case 0:
                for (size_t k = 0; k < 3000 && content.size() < n; ++k) content.push_back(text[(k + i) % text.size()]);
                break;
            case 1: content.insert(content.end(), noise.begin(), noise.begin() + std::min(noise.size(), n - content.size())); break;
            default: content.insert(content.end(), std::min<size_t>(5000, n - content.size()), 0); break;
        }
    }
    return content;
}

TEST(ZlibCodecTest, MakesZlibsOwnLevelOneStream) {
    CodecScope zlib(codec::Codec::Zlib);
    // Past the compressor's input and output buffers.
    const Bytes content = mixedContent((3 << 20) + 123, 4);
    Bytes expected(compressBound(content.size()));
    uLongf expectedSize = expected.size();
    ASSERT_EQ(compress2(expected.data(), &expectedSize, content.data(), content.size(), 1), Z_OK);
    expected.resize(expectedSize);
    EXPECT_TRUE(compressed(content) == expected);
}

#ifdef ORU_TEST_ISAL
// A big entry is compressed in chunks on worker threads. The stream is the one the calling
// thread alone makes, and plain zlib inflates it, at every size around the chunk boundaries.
TEST(ChunkedCodecTest, SameStreamWithAnyNumberOfThreadsAndPlainZlibInflatesIt) {
    CodecScope isal(codec::Codec::Isal);
    constexpr size_t kChunk = codec::kChunkSize;
    const size_t sizes[] = {1, codec::kDictionarySize, kChunk - 1, kChunk, kChunk + 1, 2 * kChunk,
                            3 * kChunk + 4567, 9 * kChunk + 1};
    for (size_t size : sizes) {
        SCOPED_TRACE(size);
        const Bytes content = mixedContent(size, static_cast<unsigned>(size));
        Bytes oneThread;
        for (unsigned threads : {1u, 2u, 3u, 8u}) {
            SCOPED_TRACE(threads);
            codec::setThreads(threads);
            const Bytes stored = compressed(content);
            if (threads == 1) {
                oneThread = stored;
                EXPECT_TRUE(inflatedByZlib(stored, content.size()) == content);
                // And the engine's own decoders, each way an entry reaches them.
                for (const auto& route : kRoutes) {
                    SCOPED_TRACE(route.what);
                    MemoryStream target;
                    decodeBy(route, stored, content.size(), target);
                    EXPECT_TRUE(target.bytes() == content);
                }
            } else {
                EXPECT_TRUE(stored == oneThread);
            }
        }
        codec::setThreads(0);
    }
}

#endif

}  // namespace
}  // namespace oru::test
