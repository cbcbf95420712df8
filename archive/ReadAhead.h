// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Adding a folder: its small files are read and compressed on worker threads ahead of the one
// thread that adds them. That thread still does everything in the order it always did (the
// checks, the writing, the rows, the recovery records, progress, cancel); from a file read
// ahead it only takes the stored stream, the very bytes it would have made itself.

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "archive/EntryCodec.h"
#include "platform/WorkerPool.h"

namespace oru {

// A small file read and compressed ahead.
struct PackedFile {
    uint64_t originalSize = 0;   // bytes read
    codec::ByteBuffer stored;    // the stored stream of those bytes
};

class ReadAhead {
public:
    // Files of at most this many bytes are read ahead; bigger ones are compressed by the adding
    // thread, whose chunks go to the workers.
    static constexpr int64_t kMaxSize = int64_t{1} << 20;

    // paths: a folder's entries in the order they will be added. Starts on the first few.
    ReadAhead(std::vector<std::string> paths, WorkerPool& pool);
    // Waits for the files still being read.
    ~ReadAhead();
    ReadAhead(const ReadAhead&) = delete;
    ReadAhead& operator=(const ReadAhead&) = delete;

    // The file at path, packed ahead; nullptr when it was not (no small regular file, or it
    // could not be opened, read or compressed: the adding thread does it itself and meets any
    // failure as it would have). Paths are asked for in the order given; those passed over
    // are dropped.
    std::unique_ptr<PackedFile> take(const std::string& path);

private:
    // Files are handed to the workers in batches of this many consecutive paths: one hand-over
    // (and one wake-up of the adding thread) per batch instead of per file.
    static constexpr size_t kBatch = 8;
    using Batch = std::vector<std::unique_ptr<PackedFile>>;

    void topUp();

    std::vector<std::string> paths_;
    size_t submitted_ = 0;  // paths_[0, submitted_) were handed to the workers
    size_t taken_ = 0;      // paths_[0, taken_) were passed by take()
    size_t window_;         // batches in flight at most
    OrderedJobs<Batch> jobs_;
    Batch batch_;           // the results of the batch being taken from
    size_t batchStart_ = 0; // the index in paths_ of batch_'s first file
};

}  // namespace oru
