// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Streams over other streams, used when reading entries out of the archive.

#include <algorithm>
#include <cstdint>
#include <optional>
#include <vector>

#include "archive/Progress.h"
#include "platform/Error.h"
#include "platform/Stream.h"
#include "platform/WorkerPool.h"

namespace oru {

// Collects small writes (the decoder's 512-byte pieces) into large ones for a file target. The
// buffer is no larger than the content expected, so that extracting thousands of small files
// does not take and give back a megabyte from the system for each. For a big entry, a full
// buffer is written by a worker thread while the decoder fills the next one; a failed write
// shows at the next write, flush or seek.
class BufferedWriter : public Stream {
public:
    BufferedWriter(Stream& target, int64_t expected)
        : target_(target), capacity_(static_cast<size_t>(std::clamp<int64_t>(expected, 512, kMaxCapacity))) {
        buffer_.reserve(capacity_);
        if (expected >= kWriteBehind && WorkerPool::cores() > 1 && !WorkerPool::onWorkerThread()) {
            writes_.emplace(&WorkerPool::shared());
        }
    }
    ~BufferedWriter() override {
        // What was decoded before a failure stays written, as far as it goes.
        try {
            flush();
        } catch (const Error&) {
        }
    }
    size_t read(void*, size_t) override { throw Error(ErrorKind::ReadError, {}); }
    void write(const void* data, size_t n) override {
        if (buffer_.size() + n > capacity_) flushBehind();
        if (n >= capacity_) {
            flush();
            target_.write(data, n);
            return;
        }
        const auto* bytes = static_cast<const uint8_t*>(data);
        buffer_.insert(buffer_.end(), bytes, bytes + n);
    }
    int64_t position() const override {
        const_cast<BufferedWriter*>(this)->waitForWrite();
        return target_.position() + static_cast<int64_t>(buffer_.size());
    }
    void seek(int64_t position) override {
        flush();
        target_.seek(position);
    }
    int64_t size() const override {
        const_cast<BufferedWriter*>(this)->waitForWrite();
        return std::max(target_.size(), target_.position() + static_cast<int64_t>(buffer_.size()));
    }
    void setSize(int64_t n) override {
        flush();
        target_.setSize(n);
    }
    // Writes everything held, and waits for the write behind.
    void flush() {
        waitForWrite();
        if (buffer_.empty()) return;
        // Emptied also when the write fails: it is not tried again by the destructor.
        struct Empty {
            std::vector<uint8_t>& bytes;
            ~Empty() { bytes.clear(); }
        } empty{buffer_};
        target_.write(buffer_.data(), buffer_.size());
    }

private:
    static constexpr int64_t kMaxCapacity = int64_t{1} << 20;
    // Entries from this size on are written behind the decoder.
    static constexpr int64_t kWriteBehind = int64_t{8} << 20;

    // The buffer goes to the worker (the one before it must be written by then).
    void flushBehind() {
        if (!writes_) {
            flush();
            return;
        }
        waitForWrite();
        if (buffer_.empty()) return;
        std::swap(buffer_, behind_);
        buffer_.clear();
        buffer_.reserve(capacity_);
        writes_->submit([this] {
            struct Empty {
                std::vector<uint8_t>& bytes;
                ~Empty() { bytes.clear(); }
            } empty{behind_};
            target_.write(behind_.data(), behind_.size());
            return true;
        });
    }
    void waitForWrite() {
        if (writes_ && writes_->pending() > 0) writes_->take();
    }

    Stream& target_;
    size_t capacity_;
    std::vector<uint8_t> buffer_;
    std::vector<uint8_t> behind_;  // being written by the worker
    std::optional<OrderedJobs<bool>> writes_;
};

// A read-only window on a stretch of another stream: a big entry's stored bytes are decoded as
// they are read from the archive, instead of being copied into memory first.
class StreamRange : public Stream {
public:
    StreamRange(Stream& base, int64_t offset, int64_t length) : base_(base), offset_(offset), length_(length) {}
    size_t read(void* buffer, size_t n) override {
        if (pos_ >= length_) return 0;
        n = static_cast<size_t>(std::min<int64_t>(static_cast<int64_t>(n), length_ - pos_));
        base_.seek(offset_ + pos_);
        const size_t got = base_.read(buffer, n);
        pos_ += static_cast<int64_t>(got);
        return got;
    }
    void write(const void*, size_t) override { throw Error(ErrorKind::WriteError, {}); }
    int64_t position() const override { return pos_; }
    void seek(int64_t position) override { pos_ = position; }
    int64_t size() const override { return length_; }
    void setSize(int64_t) override { throw Error(ErrorKind::WriteError, {}); }

private:
    Stream& base_;
    int64_t offset_;
    int64_t length_;
    int64_t pos_ = 0;
};

// Passes writes on to a target and asks the front end after every megabyte whether to stop, so
// that decoding a big entry ends with Cancelled soon after the user asked for it.
class CancelPoints : public Stream {
public:
    static constexpr int64_t kInterval = int64_t{1} << 20;
    // progress: may be nullptr (nothing is asked).
    CancelPoints(Stream& target, Progress* progress) : target_(target), progress_(progress) {}
    size_t read(void* buffer, size_t n) override { return target_.read(buffer, n); }
    void write(const void* data, size_t n) override {
        target_.write(data, n);
        sinceCheck_ += static_cast<int64_t>(n);
        if (sinceCheck_ >= kInterval) {
            sinceCheck_ = 0;
            if (progress_ && progress_->cancelled()) throw Cancelled();
        }
    }
    int64_t position() const override { return target_.position(); }
    void seek(int64_t position) override { target_.seek(position); }
    int64_t size() const override { return target_.size(); }
    void setSize(int64_t n) override { target_.setSize(n); }

private:
    Stream& target_;
    Progress* progress_;
    int64_t sinceCheck_ = 0;
};

}  // namespace oru
