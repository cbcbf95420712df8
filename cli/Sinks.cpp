// SPDX-License-Identifier: GPL-3.0-or-later
#include "cli/Sinks.h"

#include <cerrno>
#include <string>
#include <unistd.h>

#include "platform/Error.h"

namespace oru {

DescriptorSink::~DescriptorSink() {
    try {
        flush();
    } catch (const Error&) {
        // Reported by the caller's own flush() on every path that matters; nothing to add here.
    }
}

void DescriptorSink::write(const void* buffer, size_t n) {
    const char* p = static_cast<const char*>(buffer);
    if (buffer_.size() + n > kBufferSize) flush();
    if (n >= kBufferSize) {
        buffer_.assign(p, p + n);
        flush();
    } else {
        buffer_.insert(buffer_.end(), p, p + n);
    }
    pos_ += static_cast<int64_t>(n);
}

void DescriptorSink::flush() {
    size_t done = 0;
    while (done < buffer_.size()) {
        ssize_t w = ::write(fd_, buffer_.data() + done, buffer_.size() - done);
        if (w < 0 && errno == EINTR) continue;
        if (w <= 0) {
            buffer_.clear();
            const int cause = w < 0 ? errno : 0;
            const std::string where = fd_ == STDOUT_FILENO ? "standard output" : "descriptor " + std::to_string(fd_);
            if (cause == ENOSPC || cause == EDQUOT) throw Error(ErrorKind::DiskFull, {.path = where});
            throw Error(ErrorKind::WriteError, {.path = where, .errnum = cause});
        }
        done += static_cast<size_t>(w);
    }
    buffer_.clear();
}

}  // namespace oru
