// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/FileSystem.h"

#include "platform/Stream.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <sys/xattr.h>
#include <unistd.h>

#include <cerrno>

namespace oru::fs {

bool fileExists(const std::string& path) {
    struct stat st {};
    return !path.empty() && ::stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode);
}

bool isDirectory(const std::string& path) {
    struct stat st {};
    return !path.empty() && ::stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

bool exists(const std::string& path) {
    struct stat st {};
    return !path.empty() && ::stat(path.c_str(), &st) == 0;
}

std::vector<std::string> listDirectory(const std::string& path) {
    std::vector<std::string> names;
    int error = 0;
    listDirectory(path, names, error);
    return names;
}

bool listDirectory(const std::string& path, std::vector<std::string>& names, int& error) {
    names.clear();
    error = 0;
    DIR* dir = ::opendir(path.c_str());
    if (dir == nullptr) {
        error = errno;
        return false;
    }
    for (;;) {
        // readdir tells its end from a failure only through errno.
        errno = 0;
        const dirent* entry = ::readdir(dir);
        if (entry == nullptr) {
            error = errno;
            break;
        }
        std::string name = entry->d_name;
        if (name != "." && name != "..") names.push_back(std::move(name));
    }
    ::closedir(dir);
    return error == 0;
}

bool mayWrite(const std::string& path) { return ::faccessat(AT_FDCWD, path.c_str(), W_OK, AT_EACCESS) == 0; }

bool forceDirectories(const std::string& path) {
    if (path.empty()) return false;
    if (isDirectory(path)) return true;
    std::string trimmed = path;
    while (trimmed.size() > 1 && trimmed.back() == '/') trimmed.pop_back();
    auto slash = trimmed.rfind('/');
    if (slash != std::string::npos && slash > 0) {
        if (!forceDirectories(trimmed.substr(0, slash))) return false;
    }
    if (::mkdir(trimmed.c_str(), 0777) == 0) return true;
    return errno == EEXIST && isDirectory(trimmed);
}

bool deleteFile(const std::string& path) {
    FileStream::callWriteHook();
    return ::unlink(path.c_str()) == 0;
}

std::string lastComponent(const std::string& path) {
    auto slash = path.rfind('/');
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

std::string join(const std::string& path, const std::string& name) {
    if (path.empty()) return name;
    if (path.back() == '/') return path + name;
    return path + "/" + name;
}

PathInfo inspect(const std::string& path, bool followLinks) {
    PathInfo info;
    struct stat st {};
    if ((followLinks ? ::stat(path.c_str(), &st) : ::lstat(path.c_str(), &st)) != 0) {
        info.error = errno;
        struct stat link {};
        info.brokenLink = followLinks && ::lstat(path.c_str(), &link) == 0 && S_ISLNK(link.st_mode);
        return info;
    }
    info.directory = S_ISDIR(st.st_mode);
    info.regular = S_ISREG(st.st_mode);
    info.link = S_ISLNK(st.st_mode);
    info.mode = static_cast<uint32_t>(st.st_mode);
    info.modifiedNs = static_cast<int64_t>(st.st_mtim.tv_sec) * 1000000000 + st.st_mtim.tv_nsec;
    info.id.dev = st.st_dev;
    info.id.ino = st.st_ino;
    if (info.link) {
        // The target as the link holds it; st_size is its length, but a link may change meanwhile.
        std::string target(static_cast<size_t>(st.st_size > 0 ? st.st_size : 64) + 1, '\0');
        for (;;) {
            const ssize_t n = ::readlink(path.c_str(), target.data(), target.size());
            if (n < 0) {
                info.error = errno;
                return info;
            }
            if (static_cast<size_t>(n) < target.size()) {
                target.resize(static_cast<size_t>(n));
                break;
            }
            target.resize(target.size() * 2);
        }
        info.linkTarget = std::move(target);
    }
    return info;
}

bool fileId(const std::string& path, FileId& id) {
    struct stat st {};
    if (::stat(path.c_str(), &st) != 0) return false;
    id.dev = st.st_dev;
    id.ino = st.st_ino;
    return true;
}

namespace {
// A regular file (not a link) with one name, owned by owner, that nobody else may write.
bool soundSideFile(const struct ::stat& st, uid_t owner) {
    return S_ISREG(st.st_mode) && st.st_nlink == 1 && st.st_uid == owner && (st.st_mode & (S_IWGRP | S_IWOTH)) == 0;
}
}  // namespace

bool ownedSideFile(const struct ::stat& st) { return soundSideFile(st, ::geteuid()); }

SideFile sideFileAt(const std::string& path, const std::string& archivePath) {
    struct stat st {};
    if (::lstat(path.c_str(), &st) != 0) return errno == ENOENT ? SideFile::Missing : SideFile::Foreign;
    struct stat archive {};
    // An archive that belongs to someone else (root reading a user's archive, say) has side
    // files that are not this process's to replay either.
    if (::stat(archivePath.c_str(), &archive) != 0) return SideFile::Foreign;
    if (!soundSideFile(st, archive.st_uid)) return SideFile::Foreign;
    return archive.st_uid == ::geteuid() ? SideFile::Owned : SideFile::OwnersOther;
}

namespace {
std::string directoryOf(const std::string& path) {
    const size_t slash = path.rfind('/');
    if (slash == std::string::npos) return ".";
    return slash == 0 ? "/" : path.substr(0, slash);
}
}  // namespace

bool replaceByRename(int replacementFd, const std::string& replacementPath, int currentFd, const std::string& path) {
    struct stat named {}, open {};
    if (::lstat(path.c_str(), &named) != 0 || ::fstat(currentFd, &open) != 0) return false;
    const bool same = named.st_dev == open.st_dev && named.st_ino == open.st_ino;
    if (!same || !S_ISREG(named.st_mode) || named.st_nlink != 1 || named.st_uid != ::geteuid()) return false;
    // The list of attribute names is empty (0) for a plain file; -1 where the file system keeps
    // none at all.
    const ssize_t attributes = ::flistxattr(currentFd, nullptr, 0);
    if (attributes > 0 || (attributes < 0 && errno != ENOTSUP)) return false;
    if (directoryOf(path) != directoryOf(replacementPath)) return false;
    if (::fchown(replacementFd, static_cast<uid_t>(-1), named.st_gid) != 0) return false;
    if (::fchmod(replacementFd, named.st_mode & 07777) != 0) return false;
    FileStream::callWriteHook();
    if (::rename(replacementPath.c_str(), path.c_str()) != 0) return false;
    // The new name is on the disk only once the directory is; a failure here changes nothing
    // about which file the name gives now.
    const int dir = ::open(directoryOf(path).c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (dir >= 0) {
        ::fsync(dir);
        ::close(dir);
    }
    return true;
}

}  // namespace oru::fs
