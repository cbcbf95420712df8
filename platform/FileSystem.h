#pragma once
// File-system queries and changes the engine needs, on native paths (UTF-8, "/" separated).

#include <string>
#include <vector>

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

// What a path names (links followed), and its identity, in one stat (a second one, lstat, only
// when the first fails): walking a tree of thousands of files asks this once per item.
struct PathInfo {
    int error = 0;            // 0, or the system's error number when nothing can be reached there
    bool brokenLink = false;  // error set, and a symbolic link stands at path itself
    bool directory = false;
    bool regular = false;
    FileId id;
};
PathInfo inspect(const std::string& path);

}  // namespace oru::fs
