// SPDX-License-Identifier: GPL-3.0-or-later
#include "archive/AddJournal.h"

#include <fcntl.h>
#include <unistd.h>
#include <zlib.h>

#include <algorithm>
#include <cstring>

#include "platform/Coding.h"
#include "platform/Error.h"
#include "platform/FileSystem.h"

namespace oru {
namespace {

// "ORUJ", then the version. Version 1 records end after the names (and a replaced row's place);
// version 2 records always hold the place (-1: none), then the extension values.
constexpr uint8_t kJournalMagic[4] = {'O', 'R', 'U', 'J'};
constexpr uint32_t kJournalVersion = 2;
constexpr uint32_t kJournalVersionWithoutMeta = 1;
// A record's payload is small (two names and the extension values: a true name, name bytes and a
// link target, together under 6 KiB); anything larger is a damaged length.
constexpr uint32_t kMaxRecord = 16384;
// Which extension values a version 2 record holds, one bit each, in the order they follow.
constexpr uint32_t kHasTrueName = 1, kHasNameBytes = 2, kHasMode = 4, kHasLinkTarget = 8, kHasModifiedNs = 16;
// The catalog of an archive below 2^31 bytes.
constexpr uint32_t kMaxPacket = 0x7FFFFFFF;

using coding::appendFixed32;
using coding::appendFixed64;

void putText(std::vector<uint8_t>& out, const std::string& text) {
    appendFixed32(out, static_cast<uint32_t>(text.size()));
    out.insert(out.end(), text.begin(), text.end());
}

uint32_t crcOf(const uint8_t* data, size_t n) {
    return static_cast<uint32_t>(::crc32(::crc32(0, nullptr, 0), data, static_cast<uInt>(n)));
}

// Reads little-endian values from a byte range, failing softly at its end.
struct Reader {
    const uint8_t* at;
    const uint8_t* end;
    bool get32(uint32_t& v) {
        if (end - at < 4) return false;
        v = coding::decodeFixed32(at);
        at += 4;
        return true;
    }
    bool get64(uint64_t& v) {
        uint32_t lo, hi;
        if (!get32(lo) || !get32(hi)) return false;
        v = (uint64_t{hi} << 32) | lo;
        return true;
    }
    bool getText(std::string& text) {
        uint32_t n;
        if (!get32(n) || static_cast<uint64_t>(end - at) < n) return false;
        text.assign(reinterpret_cast<const char*>(at), n);
        at += n;
        return true;
    }
};

// Flushes the directory entry of a new or deleted file, so that it survives a power loss.
void syncFolderOf(const std::string& path) {
    const auto slash = path.rfind('/');
    const std::string folder = slash == std::string::npos ? "." : slash == 0 ? "/" : path.substr(0, slash);
    int fd = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0) return;
    ::fsync(fd);
    ::close(fd);
}

}  // namespace

uint32_t storedCheck(const uint8_t* data, size_t n) {
    constexpr size_t kStep = 4096, kRun = 32;
    uLong check = ::adler32(0, nullptr, 0);
    for (size_t at = 0; at < n; at += kStep) check = ::adler32(check, data + at, static_cast<uInt>(std::min(kRun, n - at)));
    const size_t tail = std::min(kRun, n);
    check = ::adler32(check, data + n - tail, static_cast<uInt>(tail));
    return static_cast<uint32_t>(check);
}

std::string AddJournal::PathFor(const std::string& archivePath) { return archivePath + ".recover"; }

AddJournal::AddJournal(const std::string& path, const uint8_t (&header)[16], const std::vector<uint8_t>& packet)
    : path_(path) {
    file_ = std::make_unique<FileStream>(path, FileStream::Mode::CreateSide);
    try {
        std::vector<uint8_t> head;
        head.reserve(32 + packet.size());
        head.insert(head.end(), kJournalMagic, kJournalMagic + 4);
        appendFixed32(head, kJournalVersion);
        head.insert(head.end(), header, header + 16);
        appendFixed32(head, static_cast<uint32_t>(packet.size()));
        head.insert(head.end(), packet.begin(), packet.end());
        appendFixed32(head, crcOf(head.data(), head.size()));
        file_->write(head.data(), head.size());
        file_->sync();
        syncFolderOf(path_);
    } catch (...) {
        file_.reset();
        fs::deleteFile(path_);
        throw;
    }
}

AddJournal::~AddJournal() = default;

void AddJournal::append(const JournalRow& row) {
    std::vector<uint8_t> payload;
    payload.reserve(64 + row.name.size() + row.parent.size());
    appendFixed32(payload, static_cast<uint32_t>(row.type));
    appendFixed32(payload, static_cast<uint32_t>(row.offset));
    appendFixed32(payload, static_cast<uint32_t>(row.originalSize));
    appendFixed32(payload, static_cast<uint32_t>(row.storedSize));
    uint64_t checkin;
    std::memcpy(&checkin, &row.checkin, 8);
    appendFixed64(payload, checkin);
    appendFixed32(payload, row.check);
    putText(payload, row.name);
    putText(payload, row.parent);
    appendFixed32(payload, static_cast<uint32_t>(row.replaces));
    const EntryMeta& m = row.meta;
    const uint32_t bits = (m.trueName ? kHasTrueName : 0) | (m.nameBytes ? kHasNameBytes : 0) | (m.mode ? kHasMode : 0) |
                          (m.linkTarget ? kHasLinkTarget : 0) | (m.modifiedNs ? kHasModifiedNs : 0);
    appendFixed32(payload, bits);
    if (m.trueName) putText(payload, *m.trueName);
    if (m.nameBytes) putText(payload, *m.nameBytes);
    if (m.mode) appendFixed32(payload, *m.mode);
    if (m.linkTarget) putText(payload, *m.linkTarget);
    if (m.modifiedNs) appendFixed64(payload, static_cast<uint64_t>(*m.modifiedNs));

    std::vector<uint8_t> record;
    record.reserve(8 + payload.size());
    appendFixed32(record, static_cast<uint32_t>(payload.size()));
    appendFixed32(record, crcOf(payload.data(), payload.size()));
    record.insert(record.end(), payload.begin(), payload.end());
    // Only this object writes the file: its position is the end, and no stat is needed per row.
    file_->write(record.data(), record.size());
}

void AddJournal::sync() { file_->sync(); }

void AddJournal::remove() {
    file_.reset();
    fs::deleteFile(path_);
    syncFolderOf(path_);
}

namespace {
// Reads a stream front to back through a small buffer, so that a recovery file of any size is
// read a record at a time and never whole into memory.
class BufferedReader {
public:
    explicit BufferedReader(Stream& file) : file_(file) { file_.seek(0); }
    // Exactly n bytes into out, or false at the end of the file.
    bool take(uint8_t* out, size_t n) {
        while (n > 0) {
            if (at_ == have_) {
                have_ = file_.read(buffer_, sizeof buffer_);
                at_ = 0;
                if (have_ == 0) return false;
            }
            const size_t step = std::min(n, have_ - at_);
            std::memcpy(out, buffer_ + at_, step);
            at_ += step;
            out += step;
            n -= step;
        }
        return true;
    }
    bool take(std::vector<uint8_t>& out, size_t n) {
        out.resize(n);
        return take(out.data(), n);
    }

private:
    Stream& file_;
    uint8_t buffer_[64 * 1024];
    size_t at_ = 0, have_ = 0;
};
}  // namespace

bool AddJournal::read(Stream& file, int64_t archiveSize, Contents& out) {
    const int64_t size = file.size();
    if (size < 32) return false;
    BufferedReader in(file);
    // The fixed part: magic, version, the archive's header, the packet's size.
    std::vector<uint8_t> head;
    if (!in.take(head, 28)) return false;
    Reader r{head.data(), head.data() + head.size()};
    uint32_t version, packetSize;
    if (std::memcmp(r.at, kJournalMagic, 4) != 0) return false;
    r.at += 4;
    if (!r.get32(version) || (version != kJournalVersion && version != kJournalVersionWithoutMeta)) return false;
    std::memcpy(out.header, r.at, 16);
    r.at += 16;
    // The packet is the catalog the archive held when the add began: it lay inside the archive,
    // which adding only makes longer, and inside this file.
    if (!r.get32(packetSize) || packetSize > kMaxPacket || int64_t{packetSize} > archiveSize ||
        int64_t{packetSize} > size - 32) {
        return false;
    }
    std::vector<uint8_t> packet;
    uint8_t crcBytes[4];
    if (!in.take(packet, packetSize) || !in.take(crcBytes, 4)) return false;
    uint32_t headCrc = crcOf(head.data(), head.size());
    // (zlib's crc32 of a null buffer is its initial value, not the running one.)
    if (!packet.empty()) headCrc = static_cast<uint32_t>(::crc32(headCrc, packet.data(), static_cast<uInt>(packet.size())));
    if (coding::decodeFixed32(crcBytes) != headCrc) return false;
    out.packet = std::move(packet);

    // Records: each whole one whose checksum holds; the first torn or damaged one ends the list.
    std::vector<uint8_t> payload;
    for (;;) {
        uint8_t prefix[8];
        if (!in.take(prefix, 8)) break;
        const uint32_t length = coding::decodeFixed32(prefix);
        const uint32_t recordCrc = coding::decodeFixed32(prefix + 4);
        if (length > kMaxRecord || !in.take(payload, length)) break;
        if (crcOf(payload.data(), length) != recordCrc) break;
        Reader p{payload.data(), payload.data() + length};
        JournalRow row;
        uint32_t type, offset, originalSize, storedSize;
        uint64_t checkin;
        if (!p.get32(type) || !p.get32(offset) || !p.get32(originalSize) || !p.get32(storedSize) ||
            !p.get64(checkin) || !p.get32(row.check) || !p.getText(row.name) || !p.getText(row.parent)) {
            break;
        }
        uint32_t replaces;
        if (version == kJournalVersionWithoutMeta) {
            // Only records of a replacement carry its place.
            if (p.get32(replaces)) row.replaces = static_cast<int32_t>(replaces);
        } else {
            uint32_t bits, mode;
            uint64_t modifiedNs;
            std::string text;
            if (!p.get32(replaces)) break;
            row.replaces = static_cast<int32_t>(replaces);
            if (!p.get32(bits)) break;
            EntryMeta& m = row.meta;
            if ((bits & kHasTrueName) && p.getText(text)) m.trueName = text;
            if ((bits & kHasNameBytes) && p.getText(text)) m.nameBytes = text;
            if ((bits & kHasMode) && p.get32(mode)) m.mode = mode;
            if ((bits & kHasLinkTarget) && p.getText(text)) m.linkTarget = text;
            if ((bits & kHasModifiedNs) && p.get64(modifiedNs)) m.modifiedNs = static_cast<int64_t>(modifiedNs);
            // A record must hold every value its bits announce, and nothing more.
            const uint32_t got = (m.trueName ? kHasTrueName : 0) | (m.nameBytes ? kHasNameBytes : 0) |
                                 (m.mode ? kHasMode : 0) | (m.linkTarget ? kHasLinkTarget : 0) |
                                 (m.modifiedNs ? kHasModifiedNs : 0);
            if (got != bits || p.at != p.end) break;
        }
        row.type = static_cast<int32_t>(type);
        row.offset = static_cast<int32_t>(offset);
        row.originalSize = static_cast<int32_t>(originalSize);
        row.storedSize = static_cast<int32_t>(storedSize);
        std::memcpy(&row.checkin, &checkin, 8);
        out.rows.push_back(std::move(row));
    }
    return true;
}

}  // namespace oru
