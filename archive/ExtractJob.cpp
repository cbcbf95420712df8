// SPDX-License-Identifier: GPL-3.0-or-later
// Reading entries: one entry's content into a stream, or an entry (a folder with everything
// below it) onto the disk.
#include <optional>

#include "archive/ExtractJob.h"

#include "archive/CatalogTree.h"
#include "archive/EntryCodec.h"
#include "archive/EntryMeta.h"
#include "archive/EntryNames.h"
#include "archive/ExtractTarget.h"
#include "archive/Operation.h"
#include "archive/StoredRanges.h"
#include "archive/StreamAdapters.h"

namespace oru {

namespace {
// Entries stored in up to this many bytes are read into memory whole and decoded there; bigger
// ones are decoded as they are read from the archive.
constexpr int32_t kInMemoryEntry = 4 << 20;
// Files stored in up to this many bytes (and not more than eight times as big) are written by
// workers beside the walk when extracting.
constexpr int32_t kBehindEntry = 1 << 20;

// The longest name and link target a Linux file system keeps.
constexpr size_t kMaxNameBytes = 255;
constexpr size_t kMaxLinkBytes = 4095;

// Mode bits of the file types (as st_mode has them).
constexpr uint32_t kTypeBits = 0170000;
constexpr uint32_t kTypeFolder = 0040000;
constexpr uint32_t kTypeFile = 0100000;
constexpr uint32_t kTypeLink = 0120000;

// How one row comes out, from its extension values (all optional).
struct RowPlan {
    std::string name;                       // the name's bytes on disk
    ItemMeta meta;
    std::optional<std::string> linkTarget;  // a symbolic link: its target
};

// The name a row's extension values give, as it may name a file on disk: the name's bytes when
// stored, else the true name. Names that could reach outside the extraction directory (empty,
// ".", "..", holding "/" or a zero byte) or that no file system keeps (over 255 bytes) fail with
// UnsafeName.
std::string checkedName(const std::string& name) {
    const bool unsafe = name.empty() || name == "." || name == ".." || name.size() > kMaxNameBytes ||
                        name.find('/') != std::string::npos || name.find('\0') != std::string::npos;
    if (unsafe) {
        std::string shown;
        for (char c : name.substr(0, kMaxNameBytes)) shown += c == '\0' ? std::string("\\0") : std::string(1, c);
        if (name.size() > kMaxNameBytes) shown += "...";
        throw Error(ErrorKind::UnsafeName, {.detail = shown});
    }
    return name;
}

// The plan of the row at the cursor. Fails, naming nothing (the caller names the entry), with
// UnsafeName, SpecialFile (a device, pipe or socket is never made) or UnsafeLinkTarget.
RowPlan planOf(const CatalogTable& cursor, const std::string& storedName, int32_t type) {
    const EntryMeta meta = entrymeta::read(cursor);
    RowPlan plan;
    if (meta.nameBytes) {
        plan.name = checkedName(*meta.nameBytes);
    } else if (meta.trueName) {
        plan.name = checkedName(*meta.trueName);
    } else {
        plan.name = diskName(storedName);
    }
    if (meta.mode) {
        const uint32_t kind = *meta.mode & kTypeBits;
        if (kind != 0 && kind != kTypeFolder && kind != kTypeFile && kind != kTypeLink) {
            char octal[16];
            std::snprintf(octal, sizeof octal, "%o", *meta.mode);
            throw Error(ErrorKind::SpecialFile, {.detail = octal});
        }
        // A link has no permissions of its own; a folder's and a file's come from the mode,
        // whatever type the mode claims beside the row's.
        if (!(type == schema::kFile && kind == kTypeLink)) plan.meta.permissions = ExtractTarget::permissionsFor(*meta.mode);
        if (type == schema::kFile && kind == kTypeLink && meta.linkTarget) {
            const std::string& target = *meta.linkTarget;
            if (target.empty() || target.size() > kMaxLinkBytes || target.find('\0') != std::string::npos) {
                throw Error(ErrorKind::UnsafeLinkTarget, {});
            }
            plan.linkTarget = target;
        }
    }
    plan.meta.modifiedNs = meta.modifiedNs;
    return plan;
}
}  // namespace

void TKiv::seekStoredBytes(int32_t offset, int32_t storedSize, int64_t fileSize) {
    // A row's stored bytes lie within the file; a row reaching elsewhere is damaged, and nothing
    // is allocated or copied for it.
    if (fileSize < 0) fileSize = file_->size();
    if (offset < 0 || storedSize < 0 || int64_t{offset} + storedSize > fileSize) {
        throw Error(ErrorKind::StoredOutsideFile, {.archive = path_, .count = offset, .total = storedSize});
    }
    file_->seek(offset);
}

void TKiv::readStoredBytes(int32_t offset, int32_t storedSize, MemoryStream& into) {
    seekStoredBytes(offset, storedSize);
    into.setSize(storedSize);
    file_->readExact(into.bytes().data(), static_cast<size_t>(storedSize));
    into.seek(0);
}

const StoredRanges& TKiv::storedRanges() {
    if (!ranges_ || rangesDataEnd_ != header_.CatalogOffset) {
        ranges_ = std::make_unique<StoredRanges>(*catalog_, header_.CatalogOffset);
        rangesDataEnd_ = header_.CatalogOffset;
    }
    return *ranges_;
}

int64_t TKiv::checkFileRow(CatalogTable& cursor) {
    const int32_t type = cursor.GetInteger(schema::kFileType);
    if (type == schema::kFolder) {
        throw Error(ErrorKind::IsAFolder, {.archive = path_, .entry = cp950::toUtf8(cursor.GetText(schema::kFileName))});
    }
    // A row of another type is neither folder nor file: its bytes are never read as a file's.
    if (type != schema::kFile) {
        throw Error(ErrorKind::UnknownEntryType, {.archive = path_, .entry = entryLabel(cursor), .count = type});
    }
    const int32_t offset = cursor.GetInteger(schema::kOffset);
    const int32_t storedSize = cursor.GetInteger(schema::kStoredSize);
    // Bytes outside the file fail as a read would; bytes in the file but outside the data area,
    // or shared with another row, are damage too.
    seekStoredBytes(offset, storedSize);
    if (const auto problem = storedRanges().problemOf(offset, storedSize)) {
        throw Error(*problem, {.archive = path_, .entry = entryLabel(cursor), .count = offset, .total = storedSize});
    }
    // Content beyond the size the row gives is not produced: a stream that inflates past it is
    // damaged or hostile.
    const int32_t originalSize = cursor.GetInteger(schema::kOriginalSize);
    return originalSize < 0 ? 0 : originalSize;
}

namespace {
// Decodes stored into target and checks that the content has the size the row records: a stream
// that ends early is as damaged as one with a bad checksum (a longer one fails at limit).
void decodeRecorded(Stream& stored, Stream& target, int64_t limit, int64_t recorded) {
    const auto decoded = static_cast<int64_t>(codec::decompress(stored, target, limit));
    if (decoded != recorded) throw Error(ErrorKind::SizeMismatch, {.count = decoded, .total = recorded});
}
}  // namespace

void TKiv::ReadEntry(CatalogTable& cursor, Stream& target) {
    try {
        readEntry(cursor, target);
    } catch (const Cancelled&) {
        throw;
    } catch (const Error& e) {
        // The codec's and the file's failures know neither the archive nor the entry.
        throw e.naming(path_, entryLabel(cursor));
    }
}

void TKiv::readEntry(CatalogTable& cursor, Stream& target) {
    const int64_t limit = checkFileRow(cursor);
    const int32_t offset = cursor.GetInteger(schema::kOffset);
    const int32_t storedSize = cursor.GetInteger(schema::kStoredSize);
    const int64_t recorded = cursor.GetInteger(schema::kOriginalSize);
    CancelPoints out(target, progress_);
    if (storedSize <= kInMemoryEntry) {
        MemoryStream stored;
        readStoredBytes(offset, storedSize, stored);
        decodeRecorded(stored, out, limit, recorded);
    } else {
        // A big entry is decoded as it is read, so that its stored bytes are never all in memory.
        seekStoredBytes(offset, storedSize);
        StreamRange stored(*file_, offset, storedSize);
        decodeRecorded(stored, out, limit, recorded);
    }
    target.seek(0);
}

void TKiv::ExtractEntry(CatalogTable& cursor, const std::string& destination) {
    if (cursor.IsEmpty()) return;
    ExtractEntries(cursor, {*cursor.GetBookmark()}, destination);
}

void TKiv::ExtractEntries(CatalogTable& cursor, const std::vector<Bookmark>& rows, const std::string& destination) {
    ExtractJob(*this, cursor, rows, destination).Run();
}

std::vector<std::string> TKiv::FindConflicts(CatalogTable& cursor, const std::vector<Bookmark>& rows,
                                             const std::string& destination) {
    return ExtractJob(*this, cursor, rows, destination).FindConflicts();
}

ExtractJob::ExtractJob(TKiv& archive, CatalogTable& cursor, std::vector<Bookmark> rows, std::string destination)
    : kiv_(archive), cursor_(cursor), rows_(std::move(rows)), destination_(std::move(destination)) {
    progress_.sink = kiv_.progress_;
}

void ExtractJob::Run() {
    if (rows_.empty()) return;
    if (destination_.empty()) throw Error(ErrorKind::CannotCreateFolder, {});
    ExtractTarget target(destination_, kiv_.path_, kiv_.conflicts_, false);
    extractRows(target);
    target.finish();
}

std::vector<std::string> ExtractJob::FindConflicts() {
    if (rows_.empty() || destination_.empty()) return {};
    ExtractTarget target(destination_, kiv_.path_, nullptr, true);
    extractRows(target);
    return target.conflicts();
}

void ExtractJob::extractRows(ExtractTarget& target) {
    // Every row of the table, in the cursor's ordering; indexed once, for the first folder of
    // rows (files need no index).
    CatalogTable all;
    all.CloneFrom(cursor_);
    std::optional<CatalogTree> tree;
    // Each row the walk visits, extracted below the directory of its folder; below a folder
    // whose name is refused, nothing. A file row is written once: folders linked by names that
    // collate alike may list one row twice, and so may a selection holding a folder and a file
    // below it.
    struct Extraction : CatalogTree::Visitor {
        Extraction(ExtractJob& extract, CatalogTable& table, ExtractTarget& to)
            : job(extract), all(table), target(to), written(static_cast<size_t>(table.ViewSize())) {}
        ExtractJob& job;
        CatalogTable& all;
        ExtractTarget& target;
        std::vector<bool> written;  // by row: a file row extracted already
        int refused = 0;  // levels entered below a refused folder
        void visit(int row, bool entered) override {
            if (refused > 0) {
                refused += entered;
                return;
            }
            if (!entered && all.IntegerAt(row, schema::kFileType) == schema::kFile) {
                if (written[static_cast<size_t>(row)]) return;
                written[static_cast<size_t>(row)] = true;
            }
            all.SetRecordNumber(row + 1);
            if (!job.extractAt(all, target, entered) && entered) refused = 1;
        }
        void leave(int) override {
            if (refused > 0) {
                --refused;
            } else {
                target.leave();
            }
        }
    } extraction(*this, all, target);
    for (const Bookmark& b : rows_) {
        all.GotoBookmark(b);
        const int row = all.RecordNumber() - 1;
        if (all.IntegerAt(row, schema::kFileType) != schema::kFolder) {
            extraction.visit(row, false);
            continue;
        }
        if (!tree) tree.emplace(all, kiv_.path_);
        tree->walkFrom(row, {}, extraction);
    }
}

bool ExtractJob::extractAt(CatalogTable& cursor, ExtractTarget& target, bool entered) {
    const std::string storedName = cursor.GetText(schema::kFileName);
    const int32_t type = cursor.GetInteger(schema::kFileType);
    RowPlan plan;
    try {
        plan = planOf(cursor, storedName, type);
    } catch (const Error& e) {
        // A name that could leave the chosen directory, or an item extraction never makes: the
        // entry (a folder with everything below it) is not extracted, the others are.
        std::string shown;
        for (char c : entrymeta::trueNameAt(cursor, cursor.RecordNumber() - 1)) {
            shown += c == '\0' ? std::string("\\0") : std::string(1, c);
        }
        target.failed(shown, e);
        return false;
    }
    if (type == schema::kFile) {
        extractFile(cursor, target, plan.name, plan.meta, plan.linkTarget);
    } else if (type == schema::kFolder) {
        // An empty folder gets its directory too; the walk leaves an entered one after its rows.
        target.enter(plan.name, plan.meta);
        if (!entered) target.leave();
    }
    return true;
}

void ExtractJob::extractFile(CatalogTable& cursor, ExtractTarget& target, const std::string& name, const ItemMeta& meta,
                             const std::optional<std::string>& linkTarget) {
    progress_.checkCancelled();
    int64_t size = 0;
    const auto row = cursor.GetBookmark();
    const uint64_t entry = uint64_t{row->slot} << 32 ^ row->version;
    const int32_t storedSize = cursor.GetInteger(schema::kStoredSize);
    const int32_t originalSize = cursor.GetInteger(schema::kOriginalSize);
    std::string written;
    if (linkTarget) {
        written = target.writeLink(name, entry, *linkTarget, meta, [&](Stream& file) {
            BufferedWriter writer(file, originalSize);
            kiv_.ReadEntry(cursor, writer);
        });
        size = originalSize;
    } else if (storedSize >= 0 && storedSize <= kBehindEntry && originalSize >= 0 && originalSize <= kBehindEntry * 8) {
        // A small file: its stored bytes are read and checked here, decoded and written by a
        // worker while the walk goes on.
        written = target.writeFileBehind(name, entry, [&]() -> ExtractTarget::ContentWriter {
            const int64_t limit = kiv_.checkFileRow(cursor);
            auto stored = std::make_shared<MemoryStream>();
            kiv_.readStoredBytes(cursor.GetInteger(schema::kOffset), storedSize, *stored);
            return [stored, limit, originalSize](Stream& file) {
                BufferedWriter writer(file, limit);
                decodeRecorded(*stored, writer, limit, originalSize);
                writer.flush();
            };
        }, meta);
        size = originalSize;
    } else {
        written = target.writeFile(name, entry, [&](Stream& file) {
            {
                BufferedWriter writer(file, originalSize);
                kiv_.ReadEntry(cursor, writer);
            }
            size = file.size();
        }, meta);
    }
    if (written.empty()) return;
    // Written under another name (a file this extraction wrote, or one kept, was in the way).
    const std::string intended = written.substr(0, written.size() - fs::lastComponent(written).size()) + name;
    if (intended != written) progress_.reportRenamed(intended, written);
    progress_.info.currentName = written;
    ++progress_.info.itemsDone;
    progress_.info.bytesDone += static_cast<uint64_t>(size);
    progress_.report();
}

}  // namespace oru
