// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// File-system queries and changes the engine needs, on native paths (UTF-8, "/" separated).

#include <cstdint>
#include <string>
#include <vector>

struct stat;

namespace oru::fs {

// stat succeeds and names a regular file (links followed).
bool fileExists(const std::string& path);
// stat succeeds and names a directory (links followed).
bool isDirectory(const std::string& path);
// stat succeeds at all (links followed); a dangling link does not exist.
bool exists(const std::string& path);
// The names in a directory, every kind and hidden ones included, without "." and "..", in the
// order the file system returns them. An unreadable directory gives an empty list.
std::vector<std::string> listDirectory(const std::string& path);
// The effective user may write path (faccessat W_OK with the effective ids); false also on
// read-only media.
bool mayWrite(const std::string& path);
// As above, but says when the directory could not be listed whole: false, with the system's
// error number in error (names then holds what was read before the failure).
bool listDirectory(const std::string& path, std::vector<std::string>& names, int& error);
// Creates the directory and every missing level; returns false when that failed.
bool forceDirectories(const std::string& path);
// Deletes a file; returns false when it failed.
bool deleteFile(const std::string& path);
// The text behind the last "/"; the whole path when there is none.
std::string lastComponent(const std::string& path);
// path + "/" + name, without doubling a trailing "/".
std::string join(const std::string& path, const std::string& name);
// Identity of a directory (device and inode) for loop detection; false when stat fails.
struct FileId {
    unsigned long long dev = 0, ino = 0;
    bool operator==(const FileId&) const = default;
};
bool fileId(const std::string& path, FileId& id);

// What a path names, and its identity, in one stat (a second one, lstat, only when the first
// fails): walking a tree of thousands of files asks this once per item. With followLinks false a
// symbolic link at path is described itself (link set, its target read), dangling or not.
struct PathInfo {
    int error = 0;            // 0, or the system's error number when nothing can be reached there
    bool brokenLink = false;  // error set, and a symbolic link stands at path itself
    bool directory = false;
    bool regular = false;
    bool link = false;        // a symbolic link, described itself (followLinks false)
    uint32_t mode = 0;        // st_mode: file type and permission bits
    int64_t modifiedNs = 0;   // modification time, nanoseconds since 1970-01-01 00:00 UTC
    std::string linkTarget;   // link: the target's bytes as stored in the link
    FileId id;
};
PathInfo inspect(const std::string& path, bool followLinks = true);

// Side files (the recovery file and compaction's temporary file) sit in the archive's folder,
// which others may write too (/tmp, a shared project folder). One is taken for this process's
// own only when it is a regular file (not a link) with one link, owned by the process's user,
// and not writable by group or others.
// OwnersOther: a file that would be Owned if this process ran as the archive's owner (someone
// else's archive, whose own interrupted add left it); it is not this process's to use either.
enum class SideFile { Missing, Owned, OwnersOther, Foreign };
// What lies at path, without following a link; archivePath's owner must be the process's user too.
SideFile sideFileAt(const std::string& path, const std::string& archivePath);
// The same checks on an open file's status (the owner checked against the process's user).
bool ownedSideFile(const struct ::stat& st);

// Puts the file open as replacementFd, named replacementPath in the same directory, in place of
// the file open as currentFd at path, by one rename, when the rename loses nothing the file had:
// path names that very file itself (no symbolic link to it), it has no second name (hard link),
// belongs to this process's user and has no extended attributes (ACLs, labels). The replacement
// first takes the file's permissions and group; the directory is flushed to the disk after the
// rename. Returns false, with nothing renamed, when any of this does not hold or fails; the
// caller then copies the content over the file instead.
bool replaceByRename(int replacementFd, const std::string& replacementPath, int currentFd, const std::string& path);

}  // namespace oru::fs
