#pragma once
// Write-only streams for ReadEntry: one that passes the content to a file descriptor (standard
// output for `oru cat`), and one that only counts it (`oru test`).

#include <cstdint>
#include <vector>

#include "platform/Stream.h"

namespace oru {

// Appends everything written to fd, buffered; seeking only moves the reported position, so that
// several entries written one after the other come out back to back. Fails "Stream write error".
class DescriptorSink : public Stream {
public:
    explicit DescriptorSink(int fd) : fd_(fd) { buffer_.reserve(kBufferSize); }
    ~DescriptorSink() override;

    size_t read(void*, size_t) override { return 0; }
    void write(const void* buffer, size_t n) override;
    int64_t position() const override { return pos_; }
    void seek(int64_t position) override { pos_ = position; }
    int64_t size() const override { return pos_; }
    void setSize(int64_t) override {}
    // Writes what is buffered; call before the end so that a failure is reported.
    void flush();

private:
    static constexpr size_t kBufferSize = 1 << 16;
    int fd_;
    int64_t pos_ = 0;
    std::vector<char> buffer_;
};

// Counts the bytes written and keeps none. Fails once more than limit bytes arrive, so that a
// stored stream that decodes to far more than its row says cannot run on.
class CountingSink : public Stream {
public:
    explicit CountingSink(int64_t limit) : limit_(limit) {}

    size_t read(void*, size_t) override { return 0; }
    void write(const void* buffer, size_t n) override;
    int64_t position() const override { return pos_; }
    void seek(int64_t position) override { pos_ = position; }
    int64_t size() const override { return count_; }
    void setSize(int64_t) override {}
    int64_t count() const { return count_; }

private:
    int64_t limit_;
    int64_t count_ = 0;
    int64_t pos_ = 0;
};

}  // namespace oru
