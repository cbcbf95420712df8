// SPDX-License-Identifier: GPL-3.0-or-later
#include "archive/EntryCodec.h"

#include <zlib.h>

#include <algorithm>
#include <atomic>
#include <climits>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <new>
#include <vector>

#include "archive/zipUtil.h"
#include "platform/Error.h"
#include "platform/WorkerPool.h"

#ifdef ORU_WITH_ISAL
#include <isa-l/igzip_lib.h>

#include "archive/ChunkedDeflate.h"
#endif
#ifdef ORU_WITH_LIBDEFLATE
#include <libdeflate.h>
#endif

namespace oru {
namespace {

constexpr size_t kInputChunk = size_t{1} << 20;
constexpr size_t kOutputChunk = size_t{256} << 10;

}  // namespace

namespace codec {

// ---------------------------------------------------------------- choosing the codec

namespace {

constexpr int kUnset = -1;
std::atomic<int> selected{kUnset};
std::atomic<unsigned> threadSetting{0};

Codec fromEnvironment() {
    const char* name = std::getenv("ORU_CODEC");
    if (name && std::strcmp(name, "zlib") == 0) return Codec::Zlib;
    return hasCodec(Codec::Isal) ? Codec::Isal : Codec::Zlib;
}

}  // namespace

bool hasCodec(Codec codec) {
#ifdef ORU_WITH_ISAL
    (void)codec;
    return true;
#else
    return codec == Codec::Zlib;
#endif
}

Codec currentCodec() {
    int codec = selected.load();
    if (codec == kUnset) {
        codec = static_cast<int>(fromEnvironment());
        selected.store(codec);
    }
    return static_cast<Codec>(codec);
}

void setCodec(Codec codec) { selected.store(static_cast<int>(hasCodec(codec) ? codec : Codec::Zlib)); }

void setThreads(unsigned n) { threadSetting.store(n); }

unsigned threads() {
    const unsigned n = threadSetting.load();
    return n == 0 ? WorkerPool::cores() : n;
}

// ---------------------------------------------------------------- compressing with zlib

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
            if (deflateInit(&zs, kLevel) != Z_OK) throw Error(ErrorKind::CodecFailed, {});
            ready = true;
        } else if (deflateReset(&zs) != Z_OK) {
            deflateEnd(&zs);
            ready = false;
            throw Error(ErrorKind::CodecFailed, {});
        }
        return zs;
    }
};

thread_local Deflater deflater;

// Where the compressor's output goes: a stream, through a buffer of the compressor's.
class StreamSink : public Sink {
public:
    explicit StreamSink(Stream& stream) : stream_(stream), buffer_(new uint8_t[kOutputChunk]) {}
    uint8_t* room(size_t& available) override {
        if (used_ == kOutputChunk) flush();
        available = kOutputChunk - used_;
        return buffer_.get() + used_;
    }
    void commit(size_t n) override { used_ += n; }
    void flush() {
        if (used_ > 0) stream_.write(buffer_.get(), used_);
        used_ = 0;
    }

private:
    Stream& stream_;
    std::unique_ptr<uint8_t[]> buffer_;
    size_t used_ = 0;
};

// Or a byte buffer, written in place.
class BufferSink : public Sink {
public:
    explicit BufferSink(ByteBuffer& buffer) : buffer_(buffer) {}
    uint8_t* room(size_t& available) override { return buffer_.room(4096, available); }
    void commit(size_t n) override { buffer_.grow(n); }

private:
    ByteBuffer& buffer_;
};

uint64_t deflateWithZlib(Stream& source, Sink& sink, int64_t maxInput, const ProgressFn& progress) {
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
            if (ret == Z_STREAM_ERROR) throw Error(ErrorKind::CodecFailed, {});
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

}  // namespace

uint64_t compress(Stream& source, Sink& destination, int64_t maxInput, const ProgressFn& progress) {
#ifdef ORU_WITH_ISAL
    if (currentCodec() == Codec::Isal) {
        // A worker compresses alone: it must not wait for jobs queued behind its own.
        WorkerPool* pool = threads() > 1 && !WorkerPool::onWorkerThread() ? &WorkerPool::shared() : nullptr;
        return compressChunked(source, destination, maxInput, progress, pool);
    }
#endif
    return deflateWithZlib(source, destination, maxInput, progress);
}

uint64_t compress(Stream& source, Stream& destination, int64_t maxInput, const ProgressFn& progress) {
    StreamSink sink(destination);
    const uint64_t consumed = compress(source, static_cast<Sink&>(sink), maxInput, progress);
    sink.flush();
    return consumed;
}

uint64_t compress(Stream& source, ByteBuffer& destination, int64_t maxInput, const ProgressFn& progress) {
    // The whole stream fits in the bound zlib gives for the source's size; a source that grows
    // while it is read makes the buffer grow.
    const int64_t size = source.size();
    if (size >= 0 && size < (int64_t{1} << 40)) destination.reserve(compressBound(static_cast<uLong>(size)) + 64);
    BufferSink sink(destination);
    return compress(source, static_cast<Sink&>(sink), maxInput, progress);
}

void Sink::put(const uint8_t* data, size_t n) {
    while (n > 0) {
        size_t available;
        uint8_t* to = room(available);
        const size_t take = std::min(n, available);
        std::memcpy(to, data, take);
        commit(take);
        data += take;
        n -= take;
    }
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

// ---------------------------------------------------------------- decoding

namespace {

// The decoders behind one interface: input given with setInput, decoded into out by run.
enum class Step { Going, End, Failed };

class ZlibInflater {
public:
    ZlibInflater() {
        if (inflateInit(&zs_) != Z_OK) throw Error(ErrorKind::CodecFailed, {});
    }
    ~ZlibInflater() { inflateEnd(&zs_); }
    ZlibInflater(const ZlibInflater&) = delete;
    ZlibInflater& operator=(const ZlibInflater&) = delete;

    void setInput(const uint8_t* in, size_t n) {
        zs_.next_in = const_cast<uint8_t*>(in);
        zs_.avail_in = static_cast<uInt>(n);
    }
    size_t availableIn() const { return zs_.avail_in; }
    // Decodes into out[0..n); produced tells how much was written.
    Step run(uint8_t* out, size_t n, size_t& produced) {
        zs_.next_out = out;
        zs_.avail_out = static_cast<uInt>(n);
        const int ret = inflate(&zs_, Z_NO_FLUSH);
        produced = n - zs_.avail_out;
        if (ret == Z_STREAM_END) return Step::End;
        if (ret == Z_OK || ret == Z_BUF_ERROR) return Step::Going;
        return Step::Failed;
    }

private:
    z_stream zs_{};
};

#ifdef ORU_WITH_ISAL
// ISA-L's decoder. The two header bytes are checked here with zlib's rules (deflate, a window of
// at most 32 KiB, the check bits, no preset dictionary), so that ISA-L refuses what zlib
// refuses; ISA-L decodes the deflate data and checks the Adler-32 behind it.
class IsalInflater {
public:
    IsalInflater() : state_(reusedState()) {
        isal_inflate_init(state_);
        state_->crc_flag = ISAL_ZLIB_NO_HDR_VER;
    }
    IsalInflater(const IsalInflater&) = delete;
    IsalInflater& operator=(const IsalInflater&) = delete;
    void setInput(const uint8_t* in, size_t n) {
        // The header bytes are taken from the input as they come, one read or two.
        while (headerHave_ < 2 && n > 0) {
            header_[headerHave_++] = *in++;
            --n;
        }
        state_->next_in = const_cast<uint8_t*>(in);
        state_->avail_in = static_cast<uint32_t>(n);
    }
    size_t availableIn() const { return state_->avail_in; }
    Step run(uint8_t* out, size_t n, size_t& produced) {
        produced = 0;
        if (headerHave_ < 2) return Step::Going;
        if (!headerChecked_) {
            const unsigned cmf = header_[0], flg = header_[1];
            const bool valid = (cmf & 0x0F) == 8 && (cmf >> 4) <= 7 && ((cmf << 8) | flg) % 31 == 0 && (flg & 0x20) == 0;
            if (!valid) return Step::Failed;
            headerChecked_ = true;
        }
        state_->next_out = out;
        state_->avail_out = static_cast<uint32_t>(n);
        const int ret = isal_inflate(state_);
        produced = n - state_->avail_out;
        if (ret != ISAL_DECOMP_OK && ret != ISAL_END_INPUT && ret != ISAL_OUT_OVERFLOW) return Step::Failed;
        return state_->block_state == ISAL_BLOCK_FINISH ? Step::End : Step::Going;
    }

private:
    // The state is large (some 85 KiB): one per thread, set up again for each entry.
    static inflate_state* reusedState() {
        thread_local std::unique_ptr<inflate_state> state(new inflate_state);
        return state.get();
    }

    inflate_state* state_;
    uint8_t header_[2] = {};
    size_t headerHave_ = 0;
    bool headerChecked_ = false;
};
#endif

// Decodes a block at a time (the decoders are far faster with room to work in) and hands the
// content on in pieces of kPieceSize, as if each piece were asked for in turn. A failure shows
// where the request that met it would: the whole pieces before it are handed on, the partial
// one is not.
template <class Inflater>
uint64_t decodeStream(Inflater& inflater, Stream& source, Stream& target, int64_t limit) {
    bool sourceEnded = false;
    uint64_t total = 0;
    source.seek(0);
    // An entry already in memory is decoded where it lies; any other source through a buffer.
    std::unique_ptr<uint8_t[]> in;
    size_t inSize = 0;
    auto* memory = dynamic_cast<MemoryStream*>(&source);
    if (memory && memory->bytes().size() <= UINT32_MAX) {
        inflater.setInput(memory->bytes().data(), memory->bytes().size());
        sourceEnded = true;
    } else {
        inSize = std::min<size_t>(kInputChunk, static_cast<size_t>(std::max<int64_t>(source.size(), 1)));
        in.reset(new uint8_t[inSize]);
    }
    constexpr size_t kBlock = 128 * kPieceSize;
    std::unique_ptr<uint8_t[]> block(new uint8_t[kBlock]);
    for (;;) {
        size_t filled = 0;
        Step step = Step::Going;
        bool failed = false;
        while (filled < kBlock) {
            if (inflater.availableIn() == 0 && !sourceEnded) {
                const size_t n = source.read(in.get(), inSize);
                if (n == 0) {
                    sourceEnded = true;
                } else {
                    inflater.setInput(in.get(), n);
                }
            }
            size_t produced = 0;
            step = inflater.run(block.get() + filled, kBlock - filled, produced);
            filled += produced;
            if (step == Step::End) break;
            // No progress with all input used means the stream was cut short.
            const bool cutShort = produced == 0 && inflater.availableIn() == 0 && sourceEnded;
            if (step == Step::Failed || cutShort) {
                failed = true;
                break;
            }
        }
        size_t produced = filled;
        if (failed) produced -= produced % kPieceSize;
        for (size_t at = 0; at < produced; at += kPieceSize) {
            const size_t n = std::min(kPieceSize, produced - at);
            // Content beyond the size the catalog gives is a damaged (or hostile) stream: stop
            // there instead of filling the target.
            if (limit >= 0 && total + n > static_cast<uint64_t>(limit)) {
                size_t allowed = static_cast<size_t>(static_cast<uint64_t>(limit) - total);
                if (allowed > 0) target.write(block.get() + at, allowed);
                throw Error(ErrorKind::LongerThanRecorded, {.total = limit});
            }
            target.write(block.get() + at, n);
            total += n;
        }
        if (failed) throw Error(ErrorKind::DamagedEntry, {});
        // Bytes behind the end of the stream are ignored: the checksum has vouched for the content.
        if (step == Step::End) return total;
    }
}

#ifdef ORU_WITH_LIBDEFLATE
// Entries held whole in memory whose content is at most this big are decoded in one call.
constexpr int64_t kWholeDecodeLimit = int64_t{16} << 20;

struct WholeDecoder {
    libdeflate_decompressor* d = libdeflate_alloc_decompressor();
    ByteBuffer out;
    ~WholeDecoder() { libdeflate_free_decompressor(d); }
};
thread_local WholeDecoder wholeDecoder;

// Decodes an entry in memory in one call and hands it on in pieces. Returns false, with nothing
// written, when the stream does not decode whole within limit bytes: the streaming decoder then
// shows how far it goes.
bool decodeWhole(const std::vector<uint8_t>& stored, Stream& target, int64_t limit, uint64_t& total) {
    if (!wholeDecoder.d) return false;
    ByteBuffer& out = wholeDecoder.out;
    out.reserve(static_cast<size_t>(std::max<int64_t>(limit, 1)));
    size_t used = 0, produced = 0;
    if (libdeflate_zlib_decompress_ex(wholeDecoder.d, stored.data(), stored.size(), out.data(),
                                      static_cast<size_t>(limit), &used, &produced) != LIBDEFLATE_SUCCESS) {
        return false;
    }
    for (size_t at = 0; at < produced; at += kPieceSize) target.write(out.data() + at, std::min(kPieceSize, produced - at));
    total = produced;
    return true;
}
#endif

}  // namespace

uint64_t decompress(Stream& source, Stream& target, int64_t limit) {
#ifdef ORU_WITH_ISAL
    if (currentCodec() == Codec::Isal) {
#ifdef ORU_WITH_LIBDEFLATE
        auto* memory = dynamic_cast<MemoryStream*>(&source);
        uint64_t total = 0;
        if (memory && limit >= 0 && limit <= kWholeDecodeLimit && decodeWhole(memory->bytes(), target, limit, total)) {
            return total;
        }
#endif
        IsalInflater inflater;
        return decodeStream(inflater, source, target, limit);
    }
#endif
    ZlibInflater inflater;
    return decodeStream(inflater, source, target, limit);
}

}  // namespace codec

void CompressStream(Stream& source, Stream& destination) { codec::compress(source, destination); }

void DecompressStream(Stream& source, Stream& target, int64_t limit) {
    codec::decompress(source, target, limit);
}

}  // namespace oru
