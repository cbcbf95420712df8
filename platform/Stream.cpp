// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/Stream.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>

#include "platform/Error.h"
#include "platform/FileSystem.h"

namespace oru {

void Stream::readExact(void* buffer, size_t n) {
    auto* out = static_cast<uint8_t*>(buffer);
    while (n > 0) {
        size_t got = read(out, n);
        if (got == 0) throw Error(ErrorKind::ReadError, {.path = fileName()});
        out += got;
        n -= got;
    }
}

void Stream::copyFrom(Stream& source, int64_t count) {
    if (count < 0) throw Error(ErrorKind::ReadError, {.path = source.fileName()});
    auto* fromFile = dynamic_cast<FileStream*>(&source);
    auto* toFile = dynamic_cast<FileStream*>(this);
    if (fromFile && toFile) count -= toFile->copyInKernel(*fromFile, count);
    if (count == 0) return;
    constexpr size_t kChunk = 1 << 20;
    std::vector<uint8_t> buffer(static_cast<size_t>(std::min<int64_t>(count, kChunk)));
    while (count > 0) {
        size_t n = static_cast<size_t>(std::min<int64_t>(count, kChunk));
        source.readExact(buffer.data(), n);
        write(buffer.data(), n);
        count -= static_cast<int64_t>(n);
    }
}

// ---- MemoryStream

size_t MemoryStream::read(void* buffer, size_t n) {
    if (pos_ >= size()) return 0;
    size_t avail = static_cast<size_t>(size() - pos_);
    n = std::min(n, avail);
    std::memcpy(buffer, data_.data() + pos_, n);
    pos_ += static_cast<int64_t>(n);
    return n;
}

void MemoryStream::write(const void* buffer, size_t n) {
    if (n == 0) return;
    size_t end = static_cast<size_t>(pos_) + n;
    if (end > data_.size()) data_.resize(end);
    std::memcpy(data_.data() + pos_, buffer, n);
    pos_ = static_cast<int64_t>(end);
}

void MemoryStream::seek(int64_t position) {
    if (position < 0) throw Error(ErrorKind::ReadError, {});
    pos_ = position;
}

void MemoryStream::setSize(int64_t n) {
    if (n < 0) throw Error(ErrorKind::WriteError, {});
    data_.resize(static_cast<size_t>(n));
    pos_ = std::min(pos_, n);
}

// ---- FileStream

namespace {
void (*writeHook)() = nullptr;
bool (*readFault)(const std::string& path, int64_t position) = nullptr;
}  // namespace

void FileStream::setWriteHookForTesting(void (*hook)()) { writeHook = hook; }

void FileStream::setReadFaultForTesting(bool (*fault)(const std::string& path, int64_t position)) { readFault = fault; }

void FileStream::callWriteHook() {
    if (writeHook) writeHook();
}

namespace {
// A failed write: a full disk (or quota) is said as such, anything else with the system's reason.
Error writeError(const std::string& path, int errnum) {
    if (errnum == ENOSPC || errnum == EDQUOT) return Error(ErrorKind::DiskFull, {.path = path, .errnum = errnum});
    return Error(ErrorKind::WriteError, {.path = path, .errnum = errnum});
}

// Opens path for mode; for Mode::Shared, read-write when permitted and read only otherwise.
int openFor(const std::string& path, FileStream::Mode mode, bool& writable) {
    using Mode = FileStream::Mode;
    int flags = O_CLOEXEC;
    writable = true;
    switch (mode) {
        case Mode::Read: flags |= O_RDONLY; writable = false; break;
        case Mode::ReadWrite: flags |= O_RDWR; break;
        case Mode::Truncate: flags |= O_RDWR; break;
        case Mode::Create: flags |= O_RDWR | O_CREAT; break;
        case Mode::Shared: flags |= O_RDWR; break;
        case Mode::CreateSide: flags |= O_RDWR | O_CREAT | O_EXCL | O_NOFOLLOW; break;
        case Mode::OpenSide: flags |= O_RDWR | O_NOFOLLOW | O_NONBLOCK; break;
    }
    int fd = ::open(path.c_str(), flags, mode == Mode::CreateSide ? 0600 : 0666);
    if (fd < 0 && mode == Mode::Shared && (errno == EACCES || errno == EROFS || errno == EPERM)) {
        // An archive the user may only read, or one on read-only media.
        writable = false;
        fd = ::open(path.c_str(), O_CLOEXEC | O_RDONLY);
    }
    return fd;
}
}  // namespace

FileStream::FileStream(const std::string& path, Mode mode) : path_(path) {
    const bool creating = mode == Mode::Create || mode == Mode::CreateSide;
    // errnum: the system's reason, 0 when there is none; a refused lock says the file is in use.
    const auto fail = [&](int errnum, bool inUse = false) {
        if (fd_ >= 0) ::close(fd_);
        fd_ = -1;
        if (inUse) throw Error(ErrorKind::InUse, {.path = path});
        throw Error(creating ? ErrorKind::CannotCreate : ErrorKind::CannotOpen, {.path = path, .errnum = errnum});
    };
    // Only an open that may write must hold the file its path names now: see below. A reader
    // (a source file being added, above all) is spared the second look at the path.
    const bool recheck = mode != Mode::Read && mode != Mode::CreateSide && mode != Mode::OpenSide;
    struct stat st {};
    for (int attempt = 0;; ++attempt) {
        fd_ = openFor(path, mode, writable_);
        if (fd_ < 0) fail(errno);
        if (::fstat(fd_, &st) != 0) fail(errno);
        if (S_ISDIR(st.st_mode)) fail(EISDIR);
        // The checks hold for the file now open, not for whatever the name pointed at a moment ago.
        if (mode == Mode::OpenSide && !fs::ownedSideFile(st)) fail(0);
        // The lock is what makes the open exclusive (a reader's is shared with other readers):
        // refused, another program holds the file.
        const bool reader = mode == Mode::Shared || mode == Mode::Read;
        if (::flock(fd_, (reader ? LOCK_SH : LOCK_EX) | LOCK_NB) != 0) {
            if (errno == EWOULDBLOCK) fail(0, true);
            fail(errno);
        }
        // A compaction puts a new file in the archive's place by a rename and then lets go of
        // the old one: a lock won on the old file while that happened guards a file nobody sees
        // any more, and what was written to it would be lost. The name is opened again then.
        struct stat named {};
        if (!recheck || attempt >= 10 || ::stat(path.c_str(), &named) != 0 ||
            (named.st_dev == st.st_dev && named.st_ino == st.st_ino)) {
            break;
        }
        ::close(fd_);
        fd_ = -1;
    }
    // Emptying happens only once the lock is held, so a refused open never cuts another's file.
    // A file that is empty already is not cut: on ext4 cutting a file to 0 marks it for a flush
    // at close, which would make extracting many small files wait on the disk.
    if ((mode == Mode::Truncate || mode == Mode::Create) && st.st_size > 0) {
        if (::ftruncate(fd_, 0) != 0) fail(errno);
    }
}

FileStream::FileStream(int fd, const std::string& path, bool lock) : path_(path), fd_(fd) {
    const int access = ::fcntl(fd_, F_GETFL) & O_ACCMODE;
    writable_ = access == O_WRONLY || access == O_RDWR;
    if (lock && ::flock(fd_, (access == O_RDONLY ? LOCK_SH : LOCK_EX) | LOCK_NB) != 0) {
        const int errnum = errno;
        ::close(fd_);
        fd_ = -1;
        if (errnum == EWOULDBLOCK) throw Error(ErrorKind::InUse, {.path = path});
        throw Error(ErrorKind::CannotOpen, {.path = path, .errnum = errnum});
    }
}

bool FileStream::relock(bool exclusive) {
    if (::flock(fd_, (exclusive ? LOCK_EX : LOCK_SH) | LOCK_NB) == 0) return true;
    // A refused conversion has dropped the lock held before it.
    ::flock(fd_, LOCK_SH | LOCK_NB);
    return false;
}

FileStream::~FileStream() {
    if (fd_ >= 0) ::close(fd_);
}

size_t FileStream::read(void* buffer, size_t n) {
    if (readFault && readFault(path_, pos_)) throw Error(ErrorKind::ReadError, {.path = path_});
    while (true) {
        ssize_t got = ::pread(fd_, buffer, n, pos_);
        if (got >= 0) {
            pos_ += got;
            return static_cast<size_t>(got);
        }
        if (errno != EINTR) throw Error(ErrorKind::ReadError, {.path = path_, .errnum = errno});
    }
}

void FileStream::write(const void* buffer, size_t n) {
    callWriteHook();
    const auto* in = static_cast<const uint8_t*>(buffer);
    while (n > 0) {
        ssize_t put = ::pwrite(fd_, in, n, pos_);
        if (put < 0) {
            if (errno == EINTR) continue;
            throw writeError(path_, errno);
        }
        if (put == 0) throw writeError(path_, 0);
        in += put;
        n -= static_cast<size_t>(put);
        pos_ += put;
    }
}

void FileStream::seek(int64_t position) {
    if (position < 0) throw Error(ErrorKind::ReadError, {.path = path_});
    pos_ = position;
}

int64_t FileStream::size() const {
    struct stat st {};
    if (::fstat(fd_, &st) != 0) throw Error(ErrorKind::ReadError, {.path = path_, .errnum = errno});
    return st.st_size;
}

void FileStream::setSize(int64_t n) {
    callWriteHook();
    if (n < 0) throw Error(ErrorKind::WriteError, {.path = path_});
    if (::ftruncate(fd_, n) != 0) throw writeError(path_, errno);
    pos_ = std::min(pos_, n);
}

int64_t FileStream::copyInKernel(FileStream& source, int64_t count) {
    int64_t done = 0;
    while (done < count) {
        callWriteHook();
        loff_t from = source.pos_, to = pos_;
        const auto n = static_cast<size_t>(std::min<int64_t>(count - done, int64_t{1} << 30));
        const ssize_t copied = ::copy_file_range(source.fd_, &from, fd_, &to, n, 0);
        if (copied < 0) {
            if (errno == EINTR) continue;
            if (errno == ENOSPC || errno == EDQUOT || errno == EFBIG) throw writeError(path_, errno);
            // Files the kernel cannot copy between (other file systems, kernels without the
            // call), and failures of either side, which the caller's reads and writes then
            // meet and name.
            return done;
        }
        if (copied == 0) throw Error(ErrorKind::ReadError, {.path = source.path_});
        source.pos_ += copied;
        pos_ += copied;
        done += copied;
    }
    return done;
}

void FileStream::sync() {
    if (::fsync(fd_) != 0) throw writeError(path_, errno);
}

}  // namespace oru
