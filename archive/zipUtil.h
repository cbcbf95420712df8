// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The archive engine: the archive object TKiv over one ".oru" file, and the entry codec.
// Layout of the file: archive/FORMAT.md; how the parts work together: docs/design.md.
//
// Names: paths are native (UTF-8). Catalog texts (FileName, ParentName) are CP950 bytes; names
// are converted at the file-system boundary (adding converts to CP950, extracting back).

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "archive/ArchiveFormat.h"
#include "archive/ConflictHandler.h"
#include "archive/Progress.h"
#include "catalog/CatalogTable.h"
#include "platform/FileSystem.h"
#include "platform/Stream.h"

namespace oru {

class StoredRanges;
struct JournalRow;

// zlib level 1 (78 01) of the whole of source, from position 0, written at destination's
// position. Fails with CodecFailed when the deflate library fails.
void CompressStream(Stream& source, Stream& destination);
// Decodes the one stored entry in source (from position 0) into target at its position, in
// pieces of 512 bytes. Fails with DamagedEntry on a damaged stream, never loops without end.
// limit: content beyond this many bytes fails with LongerThanRecorded (the row's OriginalSize);
// -1 = none.
void DecompressStream(Stream& source, Stream& target, int64_t limit = -1);

class TKiv {
public:
    // Creates the archive and writes the 16-byte header. An existing archive (or empty file) is
    // emptied; any other existing file is refused untouched (NotAnArchive). Also fails with the
    // file's CannotCreate / CannotOpen / InUse.
    static std::unique_ptr<TKiv> CreateNew(const std::string& path);
    // Whether the file at path is one CreateNew would replace: an archive by its magic, or an
    // empty file. False for a missing file or one that cannot be read.
    static bool IsReplaceable(const std::string& path);
    // The text of CreateNew's refusal of a file that is no archive (kind NotAnArchive).
    static std::string NotAnArchiveMessage(const std::string& path);
    // How an archive is held open. Exclusive: read-write, no other open beside it. Shared: any
    // number of shared opens at once (readers, windows viewing it), read-write when the user may
    // write the file and read only otherwise; writing takes the exclusive lock for its duration
    // (BeginWriting).
    enum class Access { Exclusive, Shared };
    // Opens an existing archive. Fails with NotFound, the file's CannotOpen / InUse, ReadOnly,
    // BadFormat, the catalog loader's errors, or, when an interrupted add must be finished first
    // and cannot be, NeedsRecoveryReadOnly, NeedsRecoveryInUse or Unrecoverable.
    static std::unique_ptr<TKiv> OpenExisting(const std::string& path, Access access = Access::Exclusive);
    virtual ~TKiv();

    CatalogTable& Catalog() { return *catalog_; }
    // True when the archive was opened read only: the user may not write the file, or it lies on
    // read-only media. Adding, deleting and compacting then fail with a message that says so.
    bool ReadOnly() const;

    // Holds the archive for writing while it lives (nested holds are fine). Adding and compacting
    // take one themselves; a front end takes one around a command that deletes and then compacts,
    // so that the deletions never meet a refusal half way. Fails with a message naming the
    // archive when it is read only, or when another program has it open (Access::Shared:
    // ArchiveInUse). Access::Shared: the shared lock is given up before the exclusive one is
    // taken, so another program may write in between; when the file's header, size or catalog
    // bytes are not the ones this object last read or wrote, the header and catalog are read
    // again (Reloads() counts it) before anything is written, and the read's errors pass on.
    class Writing {
    public:
        explicit Writing(TKiv& kiv);
        ~Writing();
        Writing(const Writing&) = delete;
        Writing& operator=(const Writing&) = delete;

    private:
        TKiv& kiv_;
    };
    // How many times taking the exclusive hold found the archive changed by another program and
    // read its header and catalog again: a front end compares it before and after a Writing to
    // know that the rows it showed may no longer be the archive's.
    uint64_t Reloads() const { return reloads_; }
    const ArchiveHeader& Header() const { return header_; }
    const std::string& ArchivePath() const { return path_; }

    // What AddPath does with an item whose path is in the archive already.
    enum class AddMode {
        Replace,   // the stored file of each path there is replaced, missing ones are added
        KeepBoth,  // the item goes in again beside the one there, under a new name
    };
    // Adds a file, or a folder with everything below it, under the folder row named parentName
    // (CP950; empty for the top level). path is native. What cannot be read (no permission,
    // vanished, a broken link, a read error, a folder that cannot be listed, a file held open
    // elsewhere) is left out, reported through the progress sink's skipped(), and the add goes on;
    // the archive and its side files met in an added folder are passed over without a report.
    // Names are stored as the catalog can hold them, each one unique where it lands; every item
    // stored under another name is reported (renamed); replaced stored bytes become dead bytes.
    // Fails with WriteError or DiskFull naming the archive, CodecFailed, a refusal
    // of sources of 2 GiB or archives that would reach 2 GiB, or Cancelled (checked at least
    // every megabyte of a file; the file then leaves no row and none of its bytes). Every file
    // completed before a failure stays listed in the catalog in the file.
    void AddPath(const std::string& parentName, const std::string& path, AddMode mode = AddMode::Replace);
    // The paths among paths whose item AddPath(parentName, path) would find in the archive
    // already (and replace, or keep beside).
    std::vector<std::string> AddedBefore(const std::string& parentName, const std::vector<std::string>& paths);
    // What AddPath leaves out: asked for every path it meets (the one it was given included)
    // before the item is read; true leaves the item out, a folder with everything below it.
    // Empty: nothing is left out.
    using AddFilter = std::function<bool(const std::string& path)>;
    void SetAddFilter(AddFilter leaveOut) { addFilter_ = std::move(leaveOut); }
    // How AddPath stores items. Not plain (the default unless PlainByDefault()): the archive is
    // given the extension columns (archive/FORMAT.md) when it lacks them, and each row its true
    // name, name bytes, mode, link target and modification time (FileDate too); symbolic links
    // are stored as links (a file row whose content is the target) unless dereference is set,
    // which stores what they point to. Plain: exactly the eight columns as before, FileDate
    // unassigned, links followed; an archive that has the extension columns keeps them, and the
    // rows added leave them unassigned.
    void SetPlain(bool plain) { plain_ = plain; }
    bool Plain() const { return plain_; }
    void SetDereference(bool dereference) { dereference_ = dereference; }
    // Whether ORU_PLAIN=1 is set in the environment: both front ends then write plain archives.
    static bool PlainByDefault();
    // Writes the content of cursor's current row into target; target's position ends at 0.
    // Fails with IsAFolder, UnknownEntryType, StoredOutsideFile, StoredOutsideData, StoredShared,
    // DamagedEntry, LongerThanRecorded (a stream inflating past OriginalSize) or SizeMismatch (a
    // stream ending before it; target then holds what it decoded to), or a read error, each
    // naming the archive and the entry; or with Cancelled when the progress sink asks (it is
    // asked after every megabyte of content).
    void ReadEntry(CatalogTable& cursor, Stream& target);
    // Writes cursor's current row (a folder with everything below it, empty folders included)
    // below destination, as ExtractEntries does for one row; an empty view writes nothing.
    void ExtractEntry(CatalogTable& cursor, const std::string& destination);
    // Writes each of rows (bookmarks of cursor's rows; folders with everything below them) below
    // destination, which is made when missing (CannotCreateFolder when it cannot be).
    // No symbolic link below destination is followed, and a file is renamed into place only once
    // complete. A file that exists where one goes is put to the conflict handler (none:
    // replaced); what this call wrote itself is never replaced (the later gets name~N.ext). An
    // entry that fails (damaged, a name that could leave destination, a link or a file in the
    // way, a target that cannot be written) leaves no file; the others go on, and the call then
    // fails with EntriesFailed naming the archive and each failed entry with its reason. Fails
    // with Cancelled when asked to stop
    // (the file being written is left out). Does not move cursor.
    void ExtractEntries(CatalogTable& cursor, const std::vector<Bookmark>& rows, const std::string& destination);
    // The paths of the files that ExtractEntries with the same arguments would find in its way,
    // found without writing anything.
    std::vector<std::string> FindConflicts(CatalogTable& cursor, const std::vector<Bookmark>& rows,
                                           const std::string& destination);
    // What extraction does with files in its way, and whom it tells of failed entries; nullptr
    // for none (files in the way are replaced). Must outlive the extractions it is used for.
    void SetConflictHandler(ConflictHandler* handler) { conflicts_ = handler; }
    // Deletes cursor's current row (a folder with every row below it) from the catalog.
    void DeleteEntry(CatalogTable& cursor);
    // DeleteEntry for each of rows (bookmarks of cursor's rows), the catalog indexed once for
    // all; a row already deleted as part of another is passed over (DeleteJob). Fails with the
    // catalog's "Record not found" status
    // for a bookmark of a row deleted before the call, or with the folder walk's errors
    // (CatalogTree.h) before anything is deleted.
    void DeleteEntries(CatalogTable& cursor, const std::vector<Bookmark>& rows);
    // Rewrites the archive without dead bytes through the temporary file; Catalog's filter switch
    // and record number are kept. Fails with SideFileTaken (temporary file), StoredOutsideFile
    // naming the entry, a read or write error or DiskFull naming the archive, or Cancelled: before
    // the archive is cut, the file is unchanged and Catalog is read from it again; after, the
    // error's keptIn names the temporary file, which holds the complete archive.
    void Compact();

    // Reads Catalog from CatalogOffset to the end of the file (none there, right behind the
    // header: no entries). Fails with BadFormat when the offset lies outside 16..file size or the
    // packet is refused, with MissingCatalog when the file ends at an offset above 16, and with
    // FieldNotFound when the packet lacks one of the schema's eight fields.
    void LoadCatalog();
    // Writes Catalog at CatalogOffset; the header at position 0.
    void SaveCatalog();
    void WriteHeader();

    // The front end's progress sink for the following operations; nullptr for none.
    void SetProgress(Progress* progress) { progress_ = progress; }

    // The temporary file of compaction: path with ".$$$" appended, so that archives sharing a
    // stem (a.oru, a.old) never share one.
    static std::string TempPathFor(const std::string& archivePath);
    // The recovery file of adding: path with ".recover" appended. It exists only while an add
    // runs, or after one was interrupted; opening the archive then rebuilds its catalog from it.
    static std::string RecoveryPathFor(const std::string& archivePath);
    // Both side files are created only as new files of this user's (mode 0600, no link
    // followed), and used only when they are this user's own (fs::sideFileAt). Anything else
    // found under their names is left alone and said once here (UTF-8), for the front end to
    // show as a warning: opening, adding and compacting go on without it.
    const std::vector<std::string>& Warnings() const { return warnings_; }

    // Adding writes the header and catalog after a file only once this many seconds have passed
    // since the last such write (and always at the end of AddPath and on every failure); 0
    // writes them after every file. The archive left behind is the same byte for byte.
    static void SetCheckpointInterval(double seconds);
    static double CheckpointInterval();

    // Fault injection for tests: replaces the archive file by wrap(file), which must forward to
    // the stream it is given (a stream standing for a full disk, say).
    using FileWrapper = std::function<std::unique_ptr<Stream>(std::unique_ptr<Stream> file)>;
    void WrapFileForTesting(const FileWrapper& wrap);

private:
    // The jobs work on the archive's file, header and catalog directly.
    friend class AddJob;
    friend class ExtractJob;
    friend class CompactJob;
    friend class Recovery;
    friend class SalvageJob;

    TKiv();
    // Shared by the jobs: rows appended or given new stored bytes (adding, recovery).
    // Gives the file row at place entry.replaces of rowsInOrder (a clone in the default order)
    // the stored bytes, sizes and check-in date of entry.
    void replaceFileRow(CatalogTable& rowsInOrder, const JournalRow& entry);
    void AppendEntry(const JournalRow& entry);
    void saveHeaderAndCatalog();
    void readHeaderAndCatalog();
    // Reading.
    // fileSize: the archive file's size, when the caller knows it (-1: asks the file).
    void seekStoredBytes(int32_t offset, int32_t storedSize, int64_t fileSize = -1);
    // The checks of the current row before its stored bytes are read as a file's content: a file
    // row whose bytes lie in the data area, shared with no other row. Returns the content size
    // the row allows; fails naming the problem.
    int64_t checkFileRow(CatalogTable& cursor);
    void readEntry(CatalogTable& cursor, Stream& target);  // ReadEntry without naming its failures
    void readStoredBytes(int32_t offset, int32_t storedSize, MemoryStream& into);
    // Reads the catalog again after a failure, keeping the first error.
    void reloadQuietly() noexcept;
    void syncFile();

    void finishInterruptedWork();

    std::unique_ptr<Stream> file_;         // ArchiveFile
    FileStream* lockable_ = nullptr;       // file_ itself when opened Shared (its lock changes)
    bool readOnly_ = false;
    std::vector<std::string> warnings_;    // see Warnings()
    // Whether the side file at path may be used; a foreign one is said once in warnings_.
    bool ownSideFile(const std::string& path);
    void warnOnce(const std::string& text);
    // The range checks of the catalog as loaded, made on first use after each load.
    const StoredRanges& storedRanges();
    std::unique_ptr<StoredRanges> ranges_;
    int32_t rangesDataEnd_ = -1;  // the CatalogOffset ranges_ was made for
    int writers_ = 0;                      // Writing objects alive
    // Shared opens: the file as this object last left it (header bytes, size, catalog bytes'
    // hash), to find another program's writes between two holds; empty before the first read.
    std::string fileStamp();
    std::string stamp_;
    uint64_t reloads_ = 0;
    std::unique_ptr<CatalogTable> catalog_;
    ArchiveHeader header_{};
    std::string path_;
    Progress* progress_ = nullptr;
    ConflictHandler* conflicts_ = nullptr;
    AddFilter addFilter_;
    bool plain_ = PlainByDefault();
    bool dereference_ = false;
    int64_t catalogBytes_ = 0;  // size of the catalog packet last written or read
    int64_t rowsSinceSave_ = 0; // rows appended since then (to bound the next packet's size)
};

}  // namespace oru
