#include "archive/ReadAhead.h"

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
    : paths_(std::move(paths)), window_(4 * size_t{pool.size()}), jobs_(&pool) {
    topUp();
}

ReadAhead::~ReadAhead() = default;

void ReadAhead::topUp() {
    while (submitted_ < paths_.size() && submitted_ - taken_ < window_) {
        jobs_.submit([path = paths_[submitted_]] { return pack(path); });
        ++submitted_;
    }
}

std::unique_ptr<PackedFile> ReadAhead::take(const std::string& path) {
    while (taken_ < submitted_) {
        const bool wanted = paths_[taken_] == path;
        std::unique_ptr<PackedFile> packed;
        try {
            packed = jobs_.take();
        } catch (const std::exception&) {
            // Left to the adding thread, which reports the failure where it belongs.
        }
        ++taken_;
        topUp();
        if (wanted) return packed;
    }
    return nullptr;
}

}  // namespace oru
