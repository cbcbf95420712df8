// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Compressing an entry with ISA-L in independent chunks that still make one zlib stream, as pigz
// does: every chunk but the first is primed with the 32 KiB before it as its dictionary, every
// chunk but the last ends with a sync flush (an empty stored block that byte-aligns it), the
// last with the final block; the Adler-32 of each chunk is combined into the trailer. Chunks do
// not depend on each other's output, so workers compress them side by side while the calling
// thread reads ahead and writes the finished ones in order. The stream depends only on the
// content: the same bytes come out with any number of workers, or none.

#include <cstddef>
#include <cstdint>

#include "archive/EntryCodec.h"
#include "platform/Stream.h"
#include "platform/WorkerPool.h"

namespace oru::codec {

inline constexpr size_t kChunkSize = size_t{1} << 20;
inline constexpr size_t kDictionarySize = size_t{32} << 10;

// Compresses source from position 0 to its end into sink as one zlib stream. pool: the workers
// for the chunks (nullptr: all on the calling thread). Stops when more than maxInput bytes were
// read (-1: no limit), returning the count read; the stream is then incomplete. progress is
// called on the calling thread. Fails with "error" when ISA-L refuses, or as source and sink do.
uint64_t compressChunked(Stream& source, Sink& sink, int64_t maxInput, const ProgressFn& progress,
                         WorkerPool* pool);

}  // namespace oru::codec
