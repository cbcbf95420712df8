// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Byte streams: the archive file, source and target files, and in-memory buffers. Positions and
// sizes are 64-bit; the archive layer narrows them where the format does.

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace oru {

class Stream {
public:
    virtual ~Stream() = default;

    // Reads up to n bytes at the position; returns the count read (0 at the end). Fails with
    // ErrorKind::ReadError when the device reports an error.
    virtual size_t read(void* buffer, size_t n) = 0;
    // Writes all n bytes at the position or fails with ErrorKind::WriteError (ErrorKind::DiskFull
    // when the disk or the quota is full).
    virtual void write(const void* buffer, size_t n) = 0;
    virtual int64_t position() const = 0;
    virtual void seek(int64_t position) = 0;
    virtual int64_t size() const = 0;
    // Cuts or extends the stream to n bytes; the position is left where it was, clamped to n.
    virtual void setSize(int64_t n) = 0;

    // The file the stream reads or writes, for messages; empty for a stream that is no file.
    virtual std::string fileName() const { return std::string(); }

    // Reads exactly n bytes or fails with ErrorKind::ReadError naming fileName().
    void readExact(void* buffer, size_t n);
    // Copies exactly count bytes from source's position to this stream's position; fails with
    // ErrorKind::ReadError when source ends first. Both positions end behind the copied bytes.
    // Between two files the kernel copies (FileStream::copyInKernel).
    void copyFrom(Stream& source, int64_t count);
};

// A growable in-memory stream.
class MemoryStream : public Stream {
public:
    MemoryStream() = default;
    explicit MemoryStream(std::vector<uint8_t> bytes) : data_(std::move(bytes)) {}

    size_t read(void* buffer, size_t n) override;
    void write(const void* buffer, size_t n) override;
    int64_t position() const override { return pos_; }
    void seek(int64_t position) override;
    int64_t size() const override { return static_cast<int64_t>(data_.size()); }
    void setSize(int64_t n) override;

    const std::vector<uint8_t>& bytes() const { return data_; }
    std::vector<uint8_t>& bytes() { return data_; }
    void reserve(size_t n) { data_.reserve(n); }

private:
    std::vector<uint8_t> data_;
    int64_t pos_ = 0;
};

// A file opened exclusively: flock(LOCK_EX | LOCK_NB) right after open, so that a second open of
// the same file, by this process or another, is refused while this object lives. Shared opens
// take LOCK_SH instead: any number of them at once, but none beside an exclusive one.
class FileStream : public Stream {
public:
    enum class Mode {
        Read,        // existing file, read only, shared lock (readers of one file share it,
                     // a writer's lock keeps them out);   fails CannotOpen
        ReadWrite,   // existing file, not truncated;       fails CannotOpen
        Truncate,    // existing file, cut to 0, read-write; fails CannotOpen
        Create,      // created (or emptied), read-write;   fails CannotCreate
        Shared,      // existing file, shared lock, read-write when the user may write it (else
                     // read only, see writable());     fails CannotOpen
        // Side files beside an archive (the recovery file, compaction's temporary file), which
        // anyone who may write the folder could have planted:
        CreateSide,  // a new file only: O_EXCL|O_NOFOLLOW, mode 0600; fails CannotCreate when the
                     // name is taken (by a file or a link)
        OpenSide,    // existing file, read-write, no link followed, and only when fs::ownedSideFile
                     // holds for the open file;           fails CannotOpen
    };
    // path is native (UTF-8 on Linux). Errors name the path exactly as given and carry the
    // system's reason (errnum) where it gave one; a lock held by another open fails with
    // ErrorKind::InUse instead.
    FileStream(const std::string& path, Mode mode);
    // Takes over fd, an open regular file, and locks it (unless lock is false: a file nobody else
    // can open): shared when fd is open for reading only, so that any number of readers (two adds
    // of one tree) share the file while a writer's lock keeps them out; exclusive otherwise. path
    // names it in messages. Fails with ErrorKind::InUse (fd is closed) when the lock is refused.
    FileStream(int fd, const std::string& path, bool lock = true);
    ~FileStream() override;
    FileStream(const FileStream&) = delete;
    FileStream& operator=(const FileStream&) = delete;

    size_t read(void* buffer, size_t n) override;
    void write(const void* buffer, size_t n) override;
    int64_t position() const override { return pos_; }
    void seek(int64_t position) override;
    int64_t size() const override;
    void setSize(int64_t n) override;

    // Flushes the file's data to the disk (fsync); fails with WriteError or DiskFull.
    void sync();
    // Copies up to count bytes from source's position to this file's position inside the kernel
    // (copy_file_range: no trip through user memory, and a file system may share the blocks).
    // Returns the count copied, both positions moved behind them; less than count when the
    // kernel cannot copy between the two files, the rest being left to the caller. Fails with
    // ReadError when source ends first, DiskFull (or WriteError) when the disk is full.
    int64_t copyInKernel(FileStream& source, int64_t count);
    // Tests of crash safety: hook is called before every write and every cut (setSize) of any
    // FileStream, and before every fs::deleteFile; nullptr for none.
    static void setWriteHookForTesting(void (*hook)());
    static void callWriteHook();
    // Tests of read failures: fault is asked before every read of any FileStream, and the read
    // fails with ErrorKind::ReadError when it says so; nullptr for none.
    static void setReadFaultForTesting(bool (*fault)(const std::string& path, int64_t position));
    const std::string& path() const { return path_; }
    std::string fileName() const override { return path_; }
    // The file was renamed: messages name it by its new path.
    void setPath(const std::string& path) { path_ = path; }
    int fd() const { return fd_; }

    // False when the file was opened read only (Mode::Read, or Mode::Shared without write access).
    bool writable() const { return writable_; }
    // Changes the lock to exclusive or back to shared, without waiting. Returns false when an
    // exclusive lock is refused; the shared lock is then taken again where it can be.
    bool relock(bool exclusive);

private:
    std::string path_;
    int fd_ = -1;
    int64_t pos_ = 0;
    bool writable_ = true;
};

}  // namespace oru
