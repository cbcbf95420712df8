// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// A stream that counts the content written to it and keeps none: what Test decodes entries into.

#include <cstdint>

#include "platform/Stream.h"

namespace oru {

// Counts the bytes written; seeking only moves the reported position.
class CountingSink : public Stream {
public:
    size_t read(void*, size_t) override { return 0; }
    void write(const void*, size_t n) override {
        count_ += static_cast<int64_t>(n);
        pos_ += static_cast<int64_t>(n);
    }
    int64_t position() const override { return pos_; }
    void seek(int64_t position) override { pos_ = position; }
    int64_t size() const override { return count_; }
    void setSize(int64_t) override {}
    int64_t count() const { return count_; }

private:
    int64_t count_ = 0;
    int64_t pos_ = 0;
};

}  // namespace oru
