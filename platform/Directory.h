// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// An open directory in which names are looked up, made, written and renamed relative to it
// (openat and friends), so that nothing below it is reached through a symbolic link: a link
// where a directory is expected is refused, a link where a file goes is only ever replaced.

#include <cstdint>
#include <memory>
#include <string>

#include "platform/FileSystem.h"

namespace oru {

class FileStream;

namespace fs {

// What a name in a directory is, links not followed.
enum class EntryKind { None, File, Directory, Link, Other };

class Directory {
public:
    // A directory that is not there (fd -1): every name in it is EntryKind::None. Extraction
    // uses it to look ahead below directories it has not made yet.
    Directory() = default;
    Directory(Directory&& other) noexcept;
    Directory& operator=(Directory&& other) noexcept;
    Directory(const Directory&) = delete;
    Directory& operator=(const Directory&) = delete;
    ~Directory();

    // Opens path, links on the way followed (the user chose it), making it and every missing
    // level when create is true. Fails with CannotCreateFolder when it is not, or
    // cannot be made into, a directory; with create false a missing path gives an absent one.
    static Directory open(const std::string& path, bool create);

    bool present() const { return fd_ >= 0; }
    // The path as opened, joined with the names of the levels below it (for messages).
    const std::string& path() const { return path_; }
    std::string pathOf(const std::string& name) const;

    EntryKind kind(const std::string& name) const;
    // Device and inode of the directory; zeros when it is absent.
    FileId id() const;

    // The directory name inside this one, made when create is true and it is missing, opened
    // with O_NOFOLLOW | O_DIRECTORY. Fails, naming the path, with LinkInTheWay for a symbolic
    // link, NotAFolder for anything else but a directory, CannotCreateFolder when it cannot be
    // made or opened; with create false a missing name gives an absent directory.
    Directory child(const std::string& name, bool create) const;

    // Makes a new, empty file of a name unique to this process here (created with O_EXCL and
    // O_NOFOLLOW, hidden: its name begins with "."), for writing; name receives its name.
    // Fails with CannotCreate naming the path of forName.
    std::unique_ptr<FileStream> createTemporary(const std::string& forName, std::string& name) const;
    // Makes a new file here that has no name yet (O_TMPFILE), for writing: should the writing
    // fail, or the process end first, it vanishes with its last descriptor. nullptr where the
    // file system cannot make one, or the system could not name it later (no /proc); the caller
    // then uses createTemporary. Fails with CannotCreate naming the path of forName.
    std::unique_ptr<FileStream> createUnnamed(const std::string& forName) const;
    // Tests of the other way: with false, createUnnamed makes no file (as where the file system
    // cannot).
    static void setUnnamedFilesForTesting(bool allowed);
    // Gives a file made by createUnnamed the name; false when that failed: something (a file, a
    // link, which is not followed) has the name, or the directory cannot take it.
    bool nameFile(const FileStream& file, const std::string& name) const;
    // Gives the file from the name to: with replace, whatever is at to (a file, or a link
    // itself, never its target) is replaced; without, an existing to fails the call.
    // Returns false when the rename failed.
    bool rename(const std::string& from, const std::string& to, bool replace) const;
    // Removes the name (a file or a link itself); returns false when it failed.
    bool remove(const std::string& name) const;
    // Opens the existing regular file name for writing with the exclusive lock every written file
    // takes, without following a link, to check that it may be replaced; the lock is held as long
    // as the returned stream lives. Fails with CannotOpen (read-only, ...) or InUse (held open).
    std::unique_ptr<FileStream> lockExisting(const std::string& name) const;

    // Makes a symbolic link name here holding target; an existing name is never replaced.
    // Returns 0, or the system's reason (errno) when it failed.
    int makeLink(const std::string& target, const std::string& name) const;
    // Sets the modification time (ns since 1970 UTC) of the name here without following a link,
    // the access time too; returns 0 or errno.
    int setTimeOf(const std::string& name, int64_t modifiedNs) const;
    // Sets the permission bits, or the modification and access time, of this directory itself;
    // return 0 or errno.
    int setOwnMode(uint32_t mode) const;
    int setOwnTime(int64_t modifiedNs) const;
    // The same for an open file, through its descriptor (a file made by createUnnamed has no
    // name yet); return 0 or errno.
    static int setFileMode(const FileStream& file, uint32_t mode);
    static int setFileTime(const FileStream& file, int64_t modifiedNs);

private:
    Directory(int fd, std::string path) : fd_(fd), path_(std::move(path)) {}
    int fd_ = -1;
    std::string path_;
};

}  // namespace fs
}  // namespace oru
