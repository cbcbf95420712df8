#include "archive/EntryCodec.h"

#include <zlib.h>

#include <algorithm>
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

}  // namespace

uint64_t compress(Stream& source, Stream& destination, int64_t maxInput, const ProgressFn& progress) {
    thread_local Deflater deflater;
    z_stream& zs = deflater.start();
    uint8_t* in = deflater.in.get();
    uint8_t* out = deflater.out.get();

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
            zs.next_out = out;
            zs.avail_out = static_cast<uInt>(kOutputChunk);
            ret = deflate(&zs, flush);
            if (ret == Z_STREAM_ERROR) throw Error(kZlibError);
            size_t produced = kOutputChunk - zs.avail_out;
            if (produced > 0) destination.write(out, produced);
        } while (zs.avail_out == 0 || (flush == Z_FINISH && ret != Z_STREAM_END));
        if (flush == Z_FINISH) break;
        if (progress && consumed >= nextReport) {
            progress(consumed);
            nextReport = consumed + kProgressStep;
        }
    }
    return consumed;
}

uint64_t decompress(Stream& source, Stream& target, int64_t limit) {
    z_stream zs{};
    if (inflateInit(&zs) != Z_OK) throw Error(kZlibError);
    InflateGuard guard{&zs};

    uint8_t piece[kPieceSize];
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
    for (;;) {
        // One request: fill a whole piece unless the stream ends first.
        zs.next_out = piece;
        zs.avail_out = kPieceSize;
        int ret = Z_OK;
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
            if (ret == Z_BUF_ERROR && zs.avail_in == 0 && sourceEnded) throw Error(kZlibError);
            if (ret != Z_OK && ret != Z_BUF_ERROR) throw Error(kZlibError);
        }
        const size_t n = kPieceSize - zs.avail_out;
        if (n > 0) {
            // Content beyond the size the catalog gives is a damaged (or hostile) stream: stop
            // there instead of filling the target.
            if (limit >= 0 && total + n > static_cast<uint64_t>(limit)) {
                size_t allowed = static_cast<size_t>(static_cast<uint64_t>(limit) - total);
                if (allowed > 0) target.write(piece, allowed);
                throw Error(kZlibError);
            }
            target.write(piece, n);
            total += n;
        }
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
