// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/Directory.h"

#include <fcntl.h>
#include <stdio.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstdio>

#include "platform/Error.h"
#include "platform/FileSystem.h"
#include "platform/Stream.h"

namespace oru::fs {

Directory::Directory(Directory&& other) noexcept : fd_(other.fd_), path_(std::move(other.path_)) { other.fd_ = -1; }

Directory& Directory::operator=(Directory&& other) noexcept {
    if (this != &other) {
        if (fd_ >= 0) ::close(fd_);
        fd_ = other.fd_;
        path_ = std::move(other.path_);
        other.fd_ = -1;
    }
    return *this;
}

Directory::~Directory() {
    if (fd_ >= 0) ::close(fd_);
}

Directory Directory::open(const std::string& path, bool create) {
    if (path.empty()) throw Error(ErrorKind::CannotCreateFolder, {});
    if (create) forceDirectories(path);
    const int fd = ::open(path.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0) {
        if (!create && errno == ENOENT) return Directory(-1, path);
        throw Error(ErrorKind::CannotCreateFolder, {.path = path, .errnum = errno});
    }
    return Directory(fd, path);
}

std::string Directory::pathOf(const std::string& name) const { return join(path_, name); }

EntryKind Directory::kind(const std::string& name) const {
    if (fd_ < 0) return EntryKind::None;
    struct stat st {};
    if (::fstatat(fd_, name.c_str(), &st, AT_SYMLINK_NOFOLLOW) != 0) return EntryKind::None;
    if (S_ISLNK(st.st_mode)) return EntryKind::Link;
    if (S_ISDIR(st.st_mode)) return EntryKind::Directory;
    if (S_ISREG(st.st_mode)) return EntryKind::File;
    return EntryKind::Other;
}

FileId Directory::id() const {
    FileId id;
    struct stat st {};
    if (fd_ >= 0 && ::fstat(fd_, &st) == 0) {
        id.dev = st.st_dev;
        id.ino = st.st_ino;
    }
    return id;
}

Directory Directory::child(const std::string& name, bool create) const {
    const std::string path = pathOf(name);
    if (fd_ < 0) {
        if (create) throw Error(ErrorKind::CannotCreateFolder, {.path = path});
        return Directory(-1, path);
    }
    if (create && ::mkdirat(fd_, name.c_str(), 0777) != 0 && errno != EEXIST) {
        throw Error(ErrorKind::CannotCreateFolder, {.path = path, .errnum = errno});
    }
    const int fd = ::openat(fd_, name.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
    if (fd >= 0) return Directory(fd, path);
    const int error = errno;
    if (error == ENOENT && !create) return Directory(-1, path);
    switch (kind(name)) {
        case EntryKind::Link: throw Error(ErrorKind::LinkInTheWay, {.path = path});
        case EntryKind::None:
        case EntryKind::Directory: throw Error(ErrorKind::CannotCreateFolder, {.path = path, .errnum = error});
        default: throw Error(ErrorKind::NotAFolder, {.path = path});
    }
}

std::unique_ptr<FileStream> Directory::createTemporary(const std::string& forName, std::string& name) const {
    static std::atomic<unsigned> counter{0};
    if (fd_ < 0) throw Error(ErrorKind::CannotCreate, {.path = pathOf(forName)});
    int errnum = 0;
    for (int attempt = 0; attempt < 100; ++attempt) {
        char text[64];
        std::snprintf(text, sizeof text, ".oru-%ld-%u.part", static_cast<long>(::getpid()), counter++);
        const int fd = ::openat(fd_, text, O_RDWR | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0666);
        if (fd >= 0) {
            name = text;
            return std::make_unique<FileStream>(fd, pathOf(forName));
        }
        errnum = errno;
        if (errnum != EEXIST) break;
    }
    throw Error(ErrorKind::CannotCreate, {.path = pathOf(forName), .errnum = errnum});
}

namespace {
std::atomic<bool> unnamedFiles{true};
}  // namespace

void Directory::setUnnamedFilesForTesting(bool allowed) { unnamedFiles = allowed; }

std::unique_ptr<FileStream> Directory::createUnnamed(const std::string& forName) const {
    // A file without a name is named through its descriptor's entry in /proc.
    static const bool canName = ::access("/proc/self/fd", X_OK) == 0;
    if (fd_ < 0) throw Error(ErrorKind::CannotCreate, {.path = pathOf(forName)});
    if (!canName || !unnamedFiles) return nullptr;
    const int fd = ::openat(fd_, ".", O_TMPFILE | O_RDWR | O_CLOEXEC, 0666);
    if (fd >= 0) return std::make_unique<FileStream>(fd, pathOf(forName), false);
    // Kernels and file systems without unnamed files say so in several ways.
    if (errno == EOPNOTSUPP || errno == EISDIR || errno == EINVAL || errno == ENOENT) return nullptr;
    throw Error(ErrorKind::CannotCreate, {.path = pathOf(forName), .errnum = errno});
}

bool Directory::nameFile(const FileStream& file, const std::string& name) const {
    if (fd_ < 0) return false;
    FileStream::callWriteHook();
    char link[64];
    std::snprintf(link, sizeof link, "/proc/self/fd/%d", file.fd());
    return ::linkat(AT_FDCWD, link, fd_, name.c_str(), AT_SYMLINK_FOLLOW) == 0;
}

bool Directory::rename(const std::string& from, const std::string& to, bool replace) const {
    if (fd_ < 0) return false;
    FileStream::callWriteHook();
    if (replace) return ::renameat(fd_, from.c_str(), fd_, to.c_str()) == 0;
    if (::renameat2(fd_, from.c_str(), fd_, to.c_str(), RENAME_NOREPLACE) == 0) return true;
    if (errno != EINVAL && errno != ENOSYS) return false;
    // A file system without the no-replace rename: a hard link fails as well when to exists.
    if (::linkat(fd_, from.c_str(), fd_, to.c_str(), 0) != 0) return false;
    ::unlinkat(fd_, from.c_str(), 0);
    return true;
}

bool Directory::remove(const std::string& name) const {
    if (fd_ < 0) return false;
    FileStream::callWriteHook();
    return ::unlinkat(fd_, name.c_str(), 0) == 0;
}

std::unique_ptr<FileStream> Directory::lockExisting(const std::string& name) const {
    const std::string path = pathOf(name);
    if (fd_ < 0) throw Error(ErrorKind::CannotOpen, {.path = path});
    // O_NONBLOCK: should the name have become a fifo meanwhile, the open does not wait on it.
    const int fd = ::openat(fd_, name.c_str(), O_WRONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) throw Error(ErrorKind::CannotOpen, {.path = path, .errnum = errno});
    return std::make_unique<FileStream>(fd, path);
}

int Directory::makeLink(const std::string& target, const std::string& name) const {
    if (fd_ < 0) return EBADF;
    FileStream::callWriteHook();
    return ::symlinkat(target.c_str(), fd_, name.c_str()) == 0 ? 0 : errno;
}

namespace {
// The same time for access and modification: the access time of an extracted file is of no use.
void toTimes(int64_t ns, struct timespec (&times)[2]) {
    int64_t seconds = ns / 1000000000;
    int64_t nanos = ns % 1000000000;
    if (nanos < 0) {
        nanos += 1000000000;
        --seconds;
    }
    times[0].tv_sec = static_cast<time_t>(seconds);
    times[0].tv_nsec = static_cast<long>(nanos);
    times[1] = times[0];
}
}  // namespace

int Directory::setTimeOf(const std::string& name, int64_t modifiedNs) const {
    if (fd_ < 0) return EBADF;
    struct timespec times[2];
    toTimes(modifiedNs, times);
    return ::utimensat(fd_, name.c_str(), times, AT_SYMLINK_NOFOLLOW) == 0 ? 0 : errno;
}

int Directory::setOwnMode(uint32_t mode) const {
    if (fd_ < 0) return EBADF;
    return ::fchmod(fd_, static_cast<mode_t>(mode & 07777)) == 0 ? 0 : errno;
}

int Directory::setOwnTime(int64_t modifiedNs) const {
    if (fd_ < 0) return EBADF;
    struct timespec times[2];
    toTimes(modifiedNs, times);
    return ::futimens(fd_, times) == 0 ? 0 : errno;
}

int Directory::setFileMode(const FileStream& file, uint32_t mode) {
    return ::fchmod(file.fd(), static_cast<mode_t>(mode & 07777)) == 0 ? 0 : errno;
}

int Directory::setFileTime(const FileStream& file, int64_t modifiedNs) {
    struct timespec times[2];
    toTimes(modifiedNs, times);
    return ::futimens(file.fd(), times) == 0 ? 0 : errno;
}

}  // namespace oru::fs
