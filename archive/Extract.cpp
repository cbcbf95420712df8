// Reading entries: one entry's content into a stream, or an entry (a folder with everything
// below it) onto the disk.
#include "archive/EntryCodec.h"
#include "archive/EntryNames.h"
#include "archive/ExtractTarget.h"
#include "archive/Operation.h"
#include "archive/StreamAdapters.h"

namespace oru {

namespace {
// Entries stored in up to this many bytes are read into memory whole and decoded there; bigger
// ones are decoded as they are read from the archive.
constexpr int32_t kInMemoryEntry = 4 << 20;
}  // namespace

void TKiv::seekStoredBytes(int32_t offset, int32_t storedSize, int64_t fileSize) {
    // A row's stored bytes lie within the file; a row reaching elsewhere is damaged, and nothing
    // is allocated or copied for it.
    if (fileSize < 0) fileSize = file_->size();
    if (offset < 0 || storedSize < 0 || int64_t{offset} + storedSize > fileSize) {
        throw Error(msg::kReadError);
    }
    file_->seek(offset);
}

void TKiv::readStoredBytes(int32_t offset, int32_t storedSize, MemoryStream& into) {
    seekStoredBytes(offset, storedSize);
    into.setSize(storedSize);
    file_->readExact(into.bytes().data(), static_cast<size_t>(storedSize));
    into.seek(0);
}

void TKiv::ReadEntry(CatalogTable& cursor, Stream& target) {
    if (cursor.GetInteger(schema::kFileType) == schema::kFolder) {
        throw Error(cp950::toUtf8(cursor.GetText(schema::kFileName)) + "是一個目錄");
    }
    const int32_t offset = cursor.GetInteger(schema::kOffset);
    const int32_t storedSize = cursor.GetInteger(schema::kStoredSize);
    // Content beyond the size the row gives is not produced: a stream that inflates past it is
    // damaged or hostile.
    const int32_t originalSize = cursor.GetInteger(schema::kOriginalSize);
    const int64_t limit = originalSize < 0 ? 0 : originalSize;
    if (storedSize <= kInMemoryEntry) {
        MemoryStream stored;
        readStoredBytes(offset, storedSize, stored);
        DecompressStream(stored, target, limit);
    } else {
        // A big entry is decoded as it is read, so that its stored bytes are never all in memory.
        seekStoredBytes(offset, storedSize);
        StreamRange stored(*file_, offset, storedSize);
        DecompressStream(stored, target, limit);
    }
    target.seek(0);
}

void TKiv::ExtractEntry(CatalogTable& cursor, const std::string& destination) {
    if (cursor.IsEmpty()) return;
    ExtractEntries(cursor, {*cursor.GetBookmark()}, destination);
}

void TKiv::ExtractEntries(CatalogTable& cursor, const std::vector<Bookmark>& rows, const std::string& destination) {
    if (rows.empty()) return;
    if (destination.empty()) throw Error(msg::kCreateDirError);
    ExtractTarget target(destination, path_, conflicts_, false);
    extractRows(cursor, rows, target);
    target.finish();
}

std::vector<std::string> TKiv::FindConflicts(CatalogTable& cursor, const std::vector<Bookmark>& rows,
                                             const std::string& destination) {
    if (rows.empty() || destination.empty()) return {};
    ExtractTarget target(destination, path_, nullptr, true);
    extractRows(cursor, rows, target);
    return target.conflicts();
}

void TKiv::extractRows(CatalogTable& cursor, const std::vector<Bookmark>& rows, ExtractTarget& target) {
    Run run;
    run.sink = progress_;
    CatalogTable row;
    row.CloneFrom(cursor);
    for (const Bookmark& b : rows) {
        row.GotoBookmark(b);
        extractAt(run, row, target);
    }
}

void TKiv::extractAt(Run& run, CatalogTable& cursor, ExtractTarget& target) {
    const std::string storedName = cursor.GetText(schema::kFileName);
    std::string name;
    try {
        name = diskName(storedName);
    } catch (const Error& e) {
        // A name that could leave the chosen directory: the entry (a folder with everything
        // below it) is not extracted, the others are.
        target.failed(cp950::toUtf8(storedName), e.what());
        return;
    }
    const int32_t type = cursor.GetInteger(schema::kFileType);
    if (type == schema::kFile) {
        extractFile(run, cursor, target, name);
    } else if (type == schema::kFolder) {
        // An empty folder gets its directory too.
        target.enter(name);
        // A folder whose name is already on the path would list the same children again.
        if (run.enterName(storedName)) {
            CatalogTable children;
            showChildren(children, cursor, storedName);
            while (!children.AtEnd()) {
                extractAt(run, children, target);
                children.Next();
            }
            run.openNames.pop_back();
        }
        target.leave();
    }
}

void TKiv::extractFile(Run& run, CatalogTable& cursor, ExtractTarget& target, const std::string& name) {
    run.checkCancelled();
    int64_t size = 0;
    const auto row = cursor.GetBookmark();
    const uint64_t entry = uint64_t{row->slot} << 32 ^ row->version;
    const std::string written = target.writeFile(name, entry, [&](Stream& file) {
        {
            BufferedWriter writer(file, cursor.GetInteger(schema::kOriginalSize));
            ReadEntry(cursor, writer);
        }
        size = file.size();
    });
    if (written.empty()) return;
    run.info.currentName = written;
    ++run.info.itemsDone;
    run.info.bytesDone += static_cast<uint64_t>(size);
    run.report();
}

}  // namespace oru
