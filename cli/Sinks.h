// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// A write-only stream for ReadEntry that passes the content to a file descriptor (standard
// output for `oru cat`).

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

}  // namespace oru
