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
    // "Stream read error" when the device reports an error.
    virtual size_t read(void* buffer, size_t n) = 0;
    // Writes all n bytes at the position or fails with "Stream write error".
    virtual void write(const void* buffer, size_t n) = 0;
    virtual int64_t position() const = 0;
    virtual void seek(int64_t position) = 0;
    virtual int64_t size() const = 0;
    // Cuts or extends the stream to n bytes; the position is left where it was, clamped to n.
    virtual void setSize(int64_t n) = 0;

    // Reads exactly n bytes or fails with "Stream read error".
    void readExact(void* buffer, size_t n);
    // Copies exactly count bytes from source's position to this stream's position; fails with
    // "Stream read error" when source ends first. Both positions end behind the copied bytes.
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
        Read,        // existing file, read only;           fails "Cannot open file %s"
        ReadWrite,   // existing file, not truncated;       fails "Cannot open file %s"
        Truncate,    // existing file, cut to 0, read-write; fails "Cannot open file %s"
        Create,      // created (or emptied), read-write;   fails "Cannot create file %s"
        Shared,      // existing file, shared lock, read-write when the user may write it (else
                     // read only, see writable());     fails "Cannot open file %s"
        // Side files beside an archive (the recovery file, compaction's temporary file), which
        // anyone who may write the folder could have planted:
        CreateSide,  // a new file only: O_EXCL|O_NOFOLLOW, mode 0600; fails "Cannot create file %s"
                     // when the name is taken (by a file or a link)
        OpenSide,    // existing file, read-write, no link followed, and only when fs::ownedSideFile
                     // holds for the open file;           fails "Cannot open file %s"
    };
    // path is native (UTF-8 on Linux). The message names the path exactly as given.
    FileStream(const std::string& path, Mode mode);
    // Takes over fd, an open regular file, and locks it exclusively (unless lock is false: a
    // file nobody else can open); path names it in messages. Fails with "Cannot open file %s"
    // (fd is closed) when the lock is refused.
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

    // Flushes the file's data to the disk (fsync); fails with "Stream write error".
    void sync();
    // Copies up to count bytes from source's position to this file's position inside the kernel
    // (copy_file_range: no trip through user memory, and a file system may share the blocks).
    // Returns the count copied, both positions moved behind them; less than count when the
    // kernel cannot copy between the two files, the rest being left to the caller. Fails with
    // "Stream read error" when source ends first, "Stream write error" on a full disk.
    int64_t copyInKernel(FileStream& source, int64_t count);
    // Tests of crash safety: hook is called before every write and every cut (setSize) of any
    // FileStream, and before every fs::deleteFile; nullptr for none.
    static void setWriteHookForTesting(void (*hook)());
    static void callWriteHook();
    // Tests of read failures: fault is asked before every read of any FileStream, and the read
    // fails with "Stream read error" when it says so; nullptr for none.
    static void setReadFaultForTesting(bool (*fault)(const std::string& path, int64_t position));
    const std::string& path() const { return path_; }
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
