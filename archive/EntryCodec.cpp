#include "archive/EntryCodec.h"

#include <zlib.h>

#include <algorithm>
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

// Releases a compressor or decompressor on every way out.
struct DeflateGuard {
    z_stream* zs;
    ~DeflateGuard() { deflateEnd(zs); }
};
struct InflateGuard {
    z_stream* zs;
    ~InflateGuard() { inflateEnd(zs); }
};

}  // namespace

namespace codec {

uint64_t compress(Stream& source, Stream& destination, int64_t maxInput, const ProgressFn& progress) {
    z_stream zs{};
    if (deflateInit(&zs, kLevel) != Z_OK) throw Error(kZlibError);
    DeflateGuard guard{&zs};

    std::vector<uint8_t> in(kInputChunk);
    std::vector<uint8_t> out(kOutputChunk);
    uint64_t consumed = 0;
    uint64_t nextReport = kProgressStep;
    source.seek(0);
    for (;;) {
        size_t n = source.read(in.data(), in.size());
        consumed += n;
        if (maxInput >= 0 && consumed > static_cast<uint64_t>(maxInput)) return consumed;
        const int flush = n == 0 ? Z_FINISH : Z_NO_FLUSH;
        zs.next_in = in.data();
        zs.avail_in = static_cast<uInt>(n);
        int ret;
        do {
            zs.next_out = out.data();
            zs.avail_out = static_cast<uInt>(out.size());
            ret = deflate(&zs, flush);
            if (ret == Z_STREAM_ERROR) throw Error(kZlibError);
            size_t produced = out.size() - zs.avail_out;
            if (produced > 0) destination.write(out.data(), produced);
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

    std::vector<uint8_t> in(std::min<size_t>(kInputChunk, static_cast<size_t>(std::max<int64_t>(source.size(), 1))));
    uint8_t piece[kPieceSize];
    bool sourceEnded = false;
    uint64_t total = 0;
    source.seek(0);
    for (;;) {
        // One request: fill a whole piece unless the stream ends first.
        zs.next_out = piece;
        zs.avail_out = kPieceSize;
        int ret = Z_OK;
        while (zs.avail_out > 0) {
            if (zs.avail_in == 0 && !sourceEnded) {
                size_t n = source.read(in.data(), in.size());
                if (n == 0) {
                    sourceEnded = true;
                } else {
                    zs.next_in = in.data();
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
