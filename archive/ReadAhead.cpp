// SPDX-License-Identifier: GPL-3.0-or-later
#include "archive/ReadAhead.h"

#include <algorithm>

#include "platform/Error.h"
#include "platform/FileSystem.h"
#include "platform/Stream.h"

namespace oru {
namespace {

std::unique_ptr<PackedFile> pack(const std::string& path) {
    // Only regular files: opening a pipe would wait for a writer.
    if (!fs::fileExists(path)) return nullptr;
    FileStream source(path, FileStream::Mode::Read);
    if (source.size() > ReadAhead::kMaxSize) return nullptr;
    auto packed = std::make_unique<PackedFile>();
    // A file that grew past the limit meanwhile is left to the adding thread.
    packed->originalSize = codec::compress(source, packed->stored, ReadAhead::kMaxSize);
    if (packed->originalSize > static_cast<uint64_t>(ReadAhead::kMaxSize)) return nullptr;
    return packed;
}

}  // namespace

ReadAhead::ReadAhead(std::vector<std::string> paths, WorkerPool& pool)
    : paths_(std::move(paths)), window_(2 * size_t{pool.size()}), jobs_(&pool) {
    topUp();
}

ReadAhead::~ReadAhead() = default;

void ReadAhead::topUp() {
    while (submitted_ < paths_.size() && jobs_.pending() < window_) {
        const size_t end = std::min(paths_.size(), submitted_ + kBatch);
        std::vector<std::string> batch(paths_.begin() + static_cast<std::ptrdiff_t>(submitted_),
                                       paths_.begin() + static_cast<std::ptrdiff_t>(end));
        jobs_.submit([batch = std::move(batch)] {
            Batch packed;
            for (const auto& path : batch) {
                try {
                    packed.push_back(pack(path));
                } catch (const std::exception&) {
                    // Left to the adding thread, which reports the failure where it belongs.
                    packed.push_back(nullptr);
                }
            }
            return packed;
        });
        submitted_ = end;
    }
}

std::unique_ptr<PackedFile> ReadAhead::take(const std::string& path) {
    while (taken_ < paths_.size()) {
        if (taken_ == batchStart_ + batch_.size()) {
            // The next batch: the workers are given another as this one is taken.
            if (jobs_.pending() == 0) return nullptr;
            batchStart_ = taken_;
            batch_ = jobs_.take();
            topUp();
        }
        const size_t index = taken_++;
        if (paths_[index] == path) return std::move(batch_[index - batchStart_]);
    }
    return nullptr;
}

}  // namespace oru
