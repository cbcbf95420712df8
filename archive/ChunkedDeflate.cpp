// SPDX-License-Identifier: GPL-3.0-or-later
#include "archive/ChunkedDeflate.h"

#include <isa-l/igzip_lib.h>
#include <zlib.h>

#include <algorithm>
#include <climits>
#include <cstring>
#include <memory>
#include <vector>

#include "platform/Error.h"

namespace oru::codec {
namespace {

// One chunk on its way through a worker: its input behind room for the dictionary, and the
// deflate data made of it.
struct Chunk {
    std::unique_ptr<uint8_t[]> in{new uint8_t[kDictionarySize + kChunkSize]};
    size_t dictionarySize = 0;  // bytes of dictionary right before the data
    size_t size = 0;            // bytes of data at in + kDictionarySize
    bool last = false;
    ByteBuffer out;
    uint32_t adler = 0;  // Adler-32 of the data alone

    uint8_t* data() { return in.get() + kDictionarySize; }
};
using ChunkPtr = std::shared_ptr<Chunk>;

// One ISA-L compressor per thread; its level buffer is reused for every chunk.
struct IsalDeflater {
    isal_zstream zs{};
    std::unique_ptr<uint8_t[]> levelBuffer{new uint8_t[ISAL_DEF_LVL1_DEFAULT]};
};
thread_local IsalDeflater isal;

// Raw deflate data of one chunk, level 1, primed with its dictionary.
void deflateChunk(Chunk& chunk) {
    isal_zstream& zs = isal.zs;
    isal_deflate_init(&zs);
    zs.level = 1;
    zs.level_buf = isal.levelBuffer.get();
    zs.level_buf_size = ISAL_DEF_LVL1_DEFAULT;
    zs.gzip_flag = IGZIP_DEFLATE;
    if (chunk.dictionarySize > 0 &&
        isal_deflate_set_dict(&zs, chunk.data() - chunk.dictionarySize, static_cast<uint32_t>(chunk.dictionarySize)) !=
            COMP_OK) {
        throw Error(ErrorKind::CodecFailed, {});
    }
    zs.next_in = chunk.data();
    zs.avail_in = static_cast<uint32_t>(chunk.size);
    zs.end_of_stream = chunk.last ? 1 : 0;
    zs.flush = chunk.last ? NO_FLUSH : SYNC_FLUSH;
    chunk.out.clear();
    // Room for incompressible data kept in stored blocks, with some to spare; should the data
    // need more, the compressor goes on where it stopped, making the same bytes.
    for (size_t want = chunk.size + chunk.size / 16 + 1024;; want = 64 << 10) {
        size_t available;
        uint8_t* out = chunk.out.room(want, available);
        available = std::min<size_t>(available, UINT32_MAX);
        zs.next_out = out;
        zs.avail_out = static_cast<uint32_t>(available);
        if (isal_deflate(&zs) != COMP_OK) throw Error(ErrorKind::CodecFailed, {});
        chunk.out.grow(available - zs.avail_out);
        // Done when all input is taken and the block is closed: the end of the stream for the
        // last chunk, the sync flush (which leaves room in the output) for the others.
        const bool done = chunk.last ? zs.internal_state.state == ZSTATE_END : zs.avail_in == 0 && zs.avail_out > 0;
        if (done) break;
    }
    chunk.adler = isal_adler32(1, chunk.data(), chunk.size);
}

// Reads until n bytes are in or the source ends.
size_t fill(Stream& source, uint8_t* to, size_t n) {
    size_t have = 0;
    while (have < n) {
        const size_t got = source.read(to + have, n - have);
        if (got == 0) break;
        have += got;
    }
    return have;
}

// Chunk buffers of this thread, kept for the next entry (thousands of small files each take one).
thread_local std::vector<ChunkPtr> spares;

ChunkPtr takeSpare() {
    if (spares.empty()) return std::make_shared<Chunk>();
    ChunkPtr chunk = std::move(spares.back());
    spares.pop_back();
    return chunk;
}

}  // namespace

uint64_t compressChunked(Stream& source, Sink& sink, int64_t maxInput, const ProgressFn& progress,
                         WorkerPool* pool) {
    static constexpr uint8_t kHeader[2] = {kStreamHeader[0], kStreamHeader[1]};
    sink.put(kHeader, sizeof kHeader);

    // Chunks in flight: enough that every worker has one while finished ones wait to be written.
    const size_t window = pool ? 2 * size_t{pool->size()} : 1;
    OrderedJobs<ChunkPtr> jobs(pool);
    uLong adler = ::adler32(0, nullptr, 0);
    const auto writeOut = [&](ChunkPtr chunk) {
        sink.put(chunk->out.data(), chunk->out.size());
        adler = ::adler32_combine(adler, chunk->adler, static_cast<z_off_t>(chunk->size));
        spares.push_back(std::move(chunk));
    };

    uint64_t consumed = 0;
    uint64_t nextReport = kProgressStep;
    source.seek(0);
    ChunkPtr current = takeSpare();
    current->dictionarySize = 0;
    current->size = fill(source, current->data(), kChunkSize);
    consumed += current->size;
    for (;;) {
        if (maxInput >= 0 && consumed > static_cast<uint64_t>(maxInput)) return consumed;
        // Reported before the next chunk is read, so that the caller hears of every megabyte.
        if (progress && consumed >= nextReport) {
            progress(consumed);
            nextReport = consumed + kProgressStep;
        }
        // Whether this chunk is the last is known once the next one is read.
        ChunkPtr next;
        if (current->size == kChunkSize) {
            next = takeSpare();
            next->dictionarySize = kDictionarySize;
            std::memcpy(next->data() - kDictionarySize, current->data() + kChunkSize - kDictionarySize,
                        kDictionarySize);
            next->size = fill(source, next->data(), kChunkSize);
            consumed += next->size;
        }
        current->last = !next || next->size == 0;
        if (current->last && jobs.pending() == 0) {
            // A small entry, or the one chunk of it: no hand-over to a worker.
            deflateChunk(*current);
            writeOut(std::move(current));
            if (next) spares.push_back(std::move(next));
            break;
        }
        while (jobs.pending() >= window) writeOut(jobs.take());
        jobs.submit([chunk = current] {
            deflateChunk(*chunk);
            return chunk;
        });
        while (jobs.ready()) writeOut(jobs.take());
        if (current->last) {
            if (next) spares.push_back(std::move(next));
            break;
        }
        current = std::move(next);
    }
    while (jobs.pending() > 0) writeOut(jobs.take());

    const uint8_t trailer[4] = {static_cast<uint8_t>(adler >> 24), static_cast<uint8_t>(adler >> 16),
                                static_cast<uint8_t>(adler >> 8), static_cast<uint8_t>(adler)};
    sink.put(trailer, sizeof trailer);
    return consumed;
}

}  // namespace oru::codec
