#include "archive/EntryCodec.h"

#include <zlib.h>

#include <algorithm>
#include <climits>
#include <cstdlib>
#include <new>
#include <cstdint>
#include <memory>
#include <vector>

#include "archive/zipUtil.h"
#include "platform/Error.h"

namespace oru {
namespace {

// Every zlib failure reaches the user as this one text.
constexpr const char* kZlibError = "error";

constexpr size_t kInputChunk = size_t{1} << 20;
constexpr size_t kOutputChunk = size_t{256} << 10;
constexpr uint64_t kProgressStep = uint64_t{4} << 20;

// Releases a decompressor on every way out.
struct InflateGuard {
    z_stream* zs;
    ~InflateGuard() { inflateEnd(zs); }
};

}  // namespace

namespace codec {

namespace {

// One compressor and its buffers per thread, reset for each entry: setting up zlib's tables and
// megabyte buffers for every one of thousands of small files cost more than compressing them.
struct Deflater {
    z_stream zs{};
    bool ready = false;
    std::unique_ptr<uint8_t[]> in{new uint8_t[kInputChunk]};
    std::unique_ptr<uint8_t[]> out{new uint8_t[kOutputChunk]};
    ~Deflater() {
        if (ready) deflateEnd(&zs);
    }
    z_stream& start() {
        if (!ready) {
            if (deflateInit(&zs, kLevel) != Z_OK) throw Error(kZlibError);
            ready = true;
        } else if (deflateReset(&zs) != Z_OK) {
            deflateEnd(&zs);
            ready = false;
            throw Error(kZlibError);
        }
        return zs;
    }
};

// Where the compressor's output goes: a stream, through the compressor's own buffer.
class StreamSink {
public:
    StreamSink(Stream& stream, uint8_t* buffer) : stream_(stream), buffer_(buffer) {}
    uint8_t* room(size_t& available) {
        available = kOutputChunk;
        return buffer_;
    }
    void commit(size_t n) {
        if (n > 0) stream_.write(buffer_, n);
    }

private:
    Stream& stream_;
    uint8_t* buffer_;
};

// Or a byte buffer, written in place.
class BufferSink {
public:
    explicit BufferSink(ByteBuffer& buffer) : buffer_(buffer) {}
    uint8_t* room(size_t& available) { return buffer_.room(4096, available); }
    void commit(size_t n) { buffer_.grow(n); }

private:
    ByteBuffer& buffer_;
};

template <class Sink>
uint64_t deflateAll(Stream& source, Sink& sink, int64_t maxInput, const ProgressFn& progress, Deflater& deflater) {
    z_stream& zs = deflater.start();
    uint8_t* in = deflater.in.get();

    uint64_t consumed = 0;
    uint64_t nextReport = kProgressStep;
    source.seek(0);
    for (;;) {
        size_t n = source.read(in, kInputChunk);
        consumed += n;
        if (maxInput >= 0 && consumed > static_cast<uint64_t>(maxInput)) return consumed;
        const int flush = n == 0 ? Z_FINISH : Z_NO_FLUSH;
        zs.next_in = in;
        zs.avail_in = static_cast<uInt>(n);
        int ret;
        do {
            size_t available;
            uint8_t* out = sink.room(available);
            available = std::min<size_t>(available, UINT32_MAX);
            zs.next_out = out;
            zs.avail_out = static_cast<uInt>(available);
            ret = deflate(&zs, flush);
            if (ret == Z_STREAM_ERROR) throw Error(kZlibError);
            sink.commit(available - zs.avail_out);
        } while (zs.avail_out == 0 || (flush == Z_FINISH && ret != Z_STREAM_END));
        if (flush == Z_FINISH) break;
        if (progress && consumed >= nextReport) {
            progress(consumed);
            nextReport = consumed + kProgressStep;
        }
    }
    return consumed;
}

thread_local Deflater deflater;

}  // namespace

uint64_t compress(Stream& source, Stream& destination, int64_t maxInput, const ProgressFn& progress) {
    StreamSink sink(destination, deflater.out.get());
    return deflateAll(source, sink, maxInput, progress, deflater);
}

uint64_t compress(Stream& source, ByteBuffer& destination, int64_t maxInput, const ProgressFn& progress) {
    // The whole stream fits in the bound zlib gives for the source's size; a source that grows
    // while it is read makes the buffer grow.
    const int64_t size = source.size();
    if (size >= 0 && size < (int64_t{1} << 40)) destination.reserve(compressBound(static_cast<uLong>(size)) + 64);
    BufferSink sink(destination);
    return deflateAll(source, sink, maxInput, progress, deflater);
}

uint64_t compress(Stream& source, Sink& destination, int64_t maxInput, const ProgressFn& progress) {
    return deflateAll(source, destination, maxInput, progress, deflater);
}

ByteBuffer::~ByteBuffer() { std::free(data_); }

void ByteBuffer::reserve(size_t n) {
    if (n <= capacity_) return;
    auto* grown = static_cast<uint8_t*>(std::realloc(data_, n));
    if (!grown) throw std::bad_alloc();
    data_ = grown;
    capacity_ = n;
}

uint8_t* ByteBuffer::room(size_t minimum, size_t& available) {
    if (capacity_ - size_ < minimum) reserve(std::max(size_ + minimum, capacity_ + capacity_ / 2));
    available = capacity_ - size_;
    return data_ + size_;
}

uint64_t decompress(Stream& source, Stream& target, int64_t limit) {
    z_stream zs{};
    if (inflateInit(&zs) != Z_OK) throw Error(kZlibError);
    InflateGuard guard{&zs};

    bool sourceEnded = false;
    uint64_t total = 0;
    source.seek(0);
    // An entry already in memory is decoded where it lies; any other source through a buffer.
    std::unique_ptr<uint8_t[]> in;
    size_t inSize = 0;
    auto* memory = dynamic_cast<MemoryStream*>(&source);
    if (memory && memory->bytes().size() <= UINT32_MAX) {
        zs.next_in = memory->bytes().data();
        zs.avail_in = static_cast<uInt>(memory->bytes().size());
        sourceEnded = true;
    } else {
        inSize = std::min<size_t>(kInputChunk, static_cast<size_t>(std::max<int64_t>(source.size(), 1)));
        in.reset(new uint8_t[inSize]);
    }
    // Decoded a block at a time (zlib is far faster with room to work in) and handed on in pieces
    // of kPieceSize, as if each piece were asked for in turn. A failure shows where the request
    // that met it would: the whole pieces before it are handed on, the partial one is not.
    constexpr size_t kBlock = 128 * kPieceSize;
    std::unique_ptr<uint8_t[]> block(new uint8_t[kBlock]);
    for (;;) {
        zs.next_out = block.get();
        zs.avail_out = kBlock;
        int ret = Z_OK;
        bool failed = false;
        while (zs.avail_out > 0) {
            if (zs.avail_in == 0 && !sourceEnded) {
                size_t n = source.read(in.get(), inSize);
                if (n == 0) {
                    sourceEnded = true;
                } else {
                    zs.next_in = in.get();
                    zs.avail_in = static_cast<uInt>(n);
                }
            }
            ret = inflate(&zs, Z_NO_FLUSH);
            if (ret == Z_STREAM_END) break;
            // No progress with all input used means the stream was cut short.
            const bool cutShort = ret == Z_BUF_ERROR && zs.avail_in == 0 && sourceEnded;
            if (cutShort || (ret != Z_OK && ret != Z_BUF_ERROR)) {
                failed = true;
                break;
            }
        }
        size_t produced = kBlock - zs.avail_out;
        if (failed) produced -= produced % kPieceSize;
        for (size_t at = 0; at < produced; at += kPieceSize) {
            const size_t n = std::min(kPieceSize, produced - at);
            // Content beyond the size the catalog gives is a damaged (or hostile) stream: stop
            // there instead of filling the target.
            if (limit >= 0 && total + n > static_cast<uint64_t>(limit)) {
                size_t allowed = static_cast<size_t>(static_cast<uint64_t>(limit) - total);
                if (allowed > 0) target.write(block.get() + at, allowed);
                throw Error(kZlibError);
            }
            target.write(block.get() + at, n);
            total += n;
        }
        if (failed) throw Error(kZlibError);
        // Bytes behind the end of the stream are ignored: the checksum has vouched for the content.
        if (ret == Z_STREAM_END) return total;
    }
}

}  // namespace codec

void CompressStream(Stream& source, Stream& destination) { codec::compress(source, destination); }

void DecompressStream(Stream& source, Stream& target, int64_t limit) {
    codec::decompress(source, target, limit);
}

}  // namespace oru
