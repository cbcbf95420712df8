// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The one error type of the system. Every failure is raised as an Error carrying a kind and the
// values its message needs (archive, entry, path, sizes); the text the user is shown is made from
// them in one place (ErrorText.cpp), so that code deciding what to do asks kind(), never what(),
// and the texts can be given in another language without touching the code that raises them.
// Failures of the catalog's row store and datapacket reader carry kind CatalogStatus and a
// numeric status code.

#include <cstdint>
#include <stdexcept>
#include <string>
#include <vector>

namespace oru {

// What went wrong. The comment names the values the message uses.
enum class ErrorKind {
    // Files and folders (platform).
    NotFound,            // path: no such file
    CannotOpen,          // path; errnum when the system said why
    CannotCreate,        // path; errnum when the system said why
    InUse,               // path: another program holds the file's lock
    ReadError,           // path (the file read) or archive and entry (an entry read from it); errnum
    WriteError,          // path (the file written) or archive and entry; errnum
    DiskFull,            // path (else archive): the disk (or quota) holding it is full
    CannotCreateFolder,  // path (empty: the chosen folder has no name); errnum when the system said why
    LinkInTheWay,        // path: a symbolic link where extraction would have to go through it
    NotAFolder,          // path: a file where extraction needs a folder
    NoBig5Form,          // path: a name with characters code page 950 cannot hold
    MissingSupport,      // detail: the name of a library service that is not available (a converter)

    // The catalog (catalog).
    CatalogStatus,       // status: a status code of the catalog's row store
    DamagedCatalog,      // archive; detail: what the packet reader found
    CatalogTooLarge,     // archive; detail: what could not be written
    FieldNotFound,       // detail: the field's name
    FieldType,           // detail: the field's name
    InvalidValue,        // detail: the field's name
    InvalidFilter,       // detail: the filter text
    RowOutOfRange,       // count: the row index
    RecordNotFound,      // nothing: the row asked for was deleted or changed through another cursor
    EmptyDataset,        // nothing: a row operation on an empty view
    ClosedDataset,       // nothing: a change to a table that holds no columns (a failed load)
    NotEditing,          // nothing: a field set while no row is being edited or appended

    // Archives and entries (archive).
    NotAnArchive,        // path: a file that CreateNew refuses to replace
    BadFormat,           // archive: not an archive, or one whose header or catalog offset is wrong
    MissingCatalog,      // archive: stored files but no catalog (the file ends at the catalog offset)
    StoredOverlap,       // archive; count: entries whose stored data overlap unequally; items: some of them
    ReadOnly,            // archive: it may only be read
    ArchiveInUse,        // archive: another program has it open, so it cannot be written now
    NeedsRecoveryReadOnly,  // archive, path (the recovery file): interrupted add, archive read only
    NeedsRecoveryInUse,  // archive: interrupted add, archive in use elsewhere
    Unrecoverable,       // archive, path (the recovery file); detail: why
    SideFileTaken,       // path: a side file's name is held by a file or link of someone else's
    SourceTooLarge,      // path: a source file of 2 GiB or more
    ArchiveFull,         // path: adding it would carry the archive to 2 GiB
    NoName,              // path: an item that has no name to store
    DamagedEntry,        // archive, entry: a stored stream that does not decode
    SizeMismatch,        // archive, entry; count (decoded), total (recorded): sizes differ
    LongerThanRecorded,  // archive, entry; total (recorded): the stream decodes to more than that
    CodecFailed,         // archive, entry or path: the deflate library failed (no damage found)
    StoredOutsideFile,   // archive, entry: stored bytes lie outside the file
    StoredOutsideData,   // archive, entry: stored bytes lie outside the data area
    StoredShared,        // archive, entry: stored bytes overlap another row's
    IsAFolder,           // entry: a folder where a file was asked for
    UnknownEntryType,    // entry; count: the FileType value
    UnsafeName,          // detail: a stored name that cannot name a file (as shown)
    TooDeep,             // archive; count: the depth limit
    TooManyPaths,        // archive; count: the work limit of a folder walk
    EntriesFailed,       // archive; items: the entries an extraction left out, with their reasons
    SpecialFile,         // detail: the mode of an entry claiming to be a device, pipe or socket (octal)
    UnsafeLinkTarget,    // nothing: a link target that is empty, too long or holds a zero byte
    ModesNotKept,        // count: items extracted without their permission bits; path: the first
    TimesNotKept,        // count: items extracted without their modification time; path: the first
    LinksNotKept,        // count: symbolic links extracted as files holding their target; path: the first
    NoArchiveOpen,       // nothing: a command that needs an archive found none open
    TargetExists,        // path: salvage writes only a new file, and one is there

    // Front ends.
    ItemsSkipped,        // count: items an add left out
    FilesInTheWay,       // items: files that exist where an extraction would write
    EntriesDamaged,      // archive; count (damaged), total (checked)
    NoSuchEntry,         // archive, entry
    AmbiguousEntry,      // archive, entry; count: how many entries it names
    SharedPath,          // archive, entry; count: the file rows that share that one path
    SalvageIncomplete,   // archive, path (the new archive); count (rows lost), total (names made up)

    Cancelled,           // the user asked the work to stop
    Text,                // detail: a text made by the caller (for texts that have no kind yet)
};

// The values a message may name; each kind uses the ones its comment lists.
struct ErrorValues {
    std::string archive;              // the archive's path
    std::string entry;                // the entry's path or name inside the archive (UTF-8)
    std::string path;                 // a file or folder on disk
    std::string detail;               // a name, a cause or a text made elsewhere
    int64_t count = -1;               // a size, count or limit
    int64_t total = -1;               // a second one
    int errnum = 0;                   // the system's reason (errno), 0 when none
    int status = 0;                   // catalog status code
    std::vector<std::string> items;   // things listed
    std::string keptIn;               // a side file that holds the complete archive after a failure
    bool keptMaybe = false;           // keptIn only may hold it
};

class Error : public std::runtime_error {
public:
    Error(ErrorKind kind, ErrorValues values);

    ErrorKind kind() const noexcept { return kind_; }
    const ErrorValues& values() const noexcept { return values_; }
    // Status code of a catalog-table failure (0x4005, 0x2702, ...); 0 for every other failure.
    int status() const noexcept { return values_.status; }

    // The same failure naming what it lacked: the archive and the entry are filled in where they
    // are empty (a stream error met while reading an entry, say).
    Error naming(const std::string& archive, const std::string& entry = std::string()) const;
    // The same failure, saying that keptIn holds (or, maybe, may hold) the complete archive.
    Error keptIn(const std::string& sideFile, bool maybe = false) const;

private:
    ErrorKind kind_;
    ErrorValues values_;
};

// Raised when a front end asked the work to stop. The archive is left exactly as a failure at that
// point would leave it.
class Cancelled : public Error {
public:
    Cancelled() : Error(ErrorKind::Cancelled, {}) {}
};

// The text of a failure of kind with values, without the final "." (see displayText). The one place
// where messages are made.
std::string errorText(ErrorKind kind, const ErrorValues& values);

// The text the central handler shows for an error: the message, with "." appended when it is not
// empty and its last byte sorts after "." (unsigned).
std::string displayText(const std::string& message);

}  // namespace oru
