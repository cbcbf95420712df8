// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The entry codec's internals shared by the archive object: one zlib stream per stored file.
// CompressStream and DecompressStream (archive/zipUtil.h) are the public face.
//
// Two compressors make the streams, and both make standard zlib streams (78 01, deflate data,
// Adler-32) that any zlib inflates:
// - zlib at level 1 over the whole content, the bytes zlib's deflate gives (Codec::Zlib);
// - ISA-L at level 1 in chunks of kChunkSize, each primed with the 32 KiB before it as its
//   dictionary and ended by a sync flush, the last by the final block (Codec::Isal, the default
//   where the build has ISA-L). The chunks of one entry are compressed on worker threads; the
//   stream is the same whatever the number of threads.
// Decoding uses the same library family: zlib for Codec::Zlib; for Codec::Isal, libdeflate on
// entries held whole in memory whose size is known, ISA-L on the others.

#include <cstdint>
#include <functional>

#include "platform/Stream.h"

namespace oru::codec {

// zlib stream header of every stored entry: deflate, 32 KiB window, fastest level.
inline constexpr uint8_t kStreamHeader[2] = {0x78, 0x01};
inline constexpr int kLevel = 1;
// Size of one decoded piece handed to the target.
inline constexpr size_t kPieceSize = 512;

enum class Codec { Zlib, Isal };

// The codec in use. On first use it is taken from the environment: ORU_CODEC=zlib selects
// zlib, ORU_CODEC=isal (or nothing) ISA-L where the build has it, zlib otherwise.
Codec currentCodec();
// Whether the build has the codec.
bool hasCodec(Codec codec);
// Selects the codec for every entry from now on; a codec the build lacks selects zlib.
void setCodec(Codec codec);

// Threads that compress the chunks of one big entry (1: the calling thread alone); 0 restores
// the default, one per core. The stream made does not depend on it.
void setThreads(unsigned threads);
unsigned threads();

// Called with the count of source bytes consumed so far, each time another kProgressStep bytes
// have been read; it may throw (Cancelled) to stop the compression there.
using ProgressFn = std::function<void(uint64_t consumed)>;
inline constexpr uint64_t kProgressStep = uint64_t{1} << 20;

// Compresses source from position 0 to its end into destination at its position. Stops with
// an error when the source holds more than maxInput bytes (-1: no limit), before producing the
// rest. Returns the number of source bytes compressed: the content size the stream describes.
uint64_t compress(Stream& source, Stream& destination, int64_t maxInput = -1,
                  const ProgressFn& progress = nullptr);

// A growable block of bytes that is not cleared when it grows: the compressor writes straight
// into it, and the pages never written are never touched.
class ByteBuffer {
public:
    ByteBuffer() = default;
    ~ByteBuffer();
    ByteBuffer(const ByteBuffer&) = delete;
    ByteBuffer& operator=(const ByteBuffer&) = delete;

    const uint8_t* data() const { return data_; }
    uint8_t* data() { return data_; }
    size_t size() const { return size_; }
    void clear() { size_ = 0; }
    // Room for at least n bytes in all; fails as memory allocation does.
    void reserve(size_t n);
    // The room behind the bytes held, at least minimum bytes of it.
    uint8_t* room(size_t minimum, size_t& available);
    void grow(size_t n) { size_ += n; }

private:
    uint8_t* data_ = nullptr;
    size_t size_ = 0;
    size_t capacity_ = 0;
};

// Where compress puts the stream as it is made: room() gives space behind what was committed,
// commit() takes the n bytes written there.
class Sink {
public:
    virtual ~Sink() = default;
    virtual uint8_t* room(size_t& available) = 0;
    virtual void commit(size_t n) = 0;
    // Copies n bytes made elsewhere in.
    void put(const uint8_t* data, size_t n);
};
uint64_t compress(Stream& source, Sink& destination, int64_t maxInput = -1, const ProgressFn& progress = nullptr);

// As compress, into a buffer reserved for the whole stream of a source of that size.
uint64_t compress(Stream& source, ByteBuffer& destination, int64_t maxInput = -1,
                  const ProgressFn& progress = nullptr);

// Decodes the stream in source (from position 0) into target, in pieces of kPieceSize bytes.
// Returns the content size written. See DecompressStream for the failures.
uint64_t decompress(Stream& source, Stream& target, int64_t limit = -1);

}  // namespace oru::codec
