// SPDX-License-Identifier: GPL-3.0-or-later
// The texts of every failure, made from its kind and values: one tr() call per kind, in English;
// po/zh_TW.po holds their Traditional Chinese form. The texts the design fixes stand first as they
// are ("Cannot open file %s", "Stream write error" in both languages, "%s找不到這個檔案" in Chinese);
// the object (the archive, the entry, the file) and the cause follow them.
//
// A new kind: its English text in one tr("... %1$s ...", {values}) here, its Chinese text in
// po/zh_TW.po. The test po_zh_TW_complete fails while the catalog lacks it, and ErrorTextTest
// walks every kind in both languages.

#include <cstdio>
#include <cstring>
#include <string>

#include "platform/Error.h"
#include "platform/Messages.h"

namespace oru {
namespace {

std::string n(int64_t value) { return std::to_string(value); }

// ": " and the system's reason, when it gave one.
std::string cause(const ErrorValues& v) {
    if (v.errnum == 0) return std::string();
    return std::string(": ") + std::strerror(v.errnum);
}

// What a failure happened to: "ARCHIVE: ENTRY", "ARCHIVE", "PATH", or nothing.
std::string object(const ErrorValues& v) {
    std::string text = v.archive.empty() ? v.path : v.archive;
    if (!v.entry.empty()) text += (text.empty() ? "" : ": ") + v.entry;
    return text;
}

// ": " and text, or nothing for an empty text.
std::string after(const std::string& text) { return text.empty() ? text : ": " + text; }

// text and ": ", or nothing for an empty text.
std::string before(const std::string& text) { return text.empty() ? text : text + ": "; }

// " (" text ")", or nothing for an empty text.
std::string inParentheses(const std::string& text) { return text.empty() ? text : " (" + text + ")"; }

// ": " and the object, when there is one.
std::string named(const ErrorValues& v) { return after(object(v)); }

// What a file error happened to: the file itself (a file being extracted or added, which is not
// the archive), else the archive and the entry read from it. "PATH", "ARCHIVE: ENTRY", or nothing.
std::string fileObject(const ErrorValues& v) {
    if (!v.path.empty() && v.path != v.archive) return v.path;
    return object(v);
}

std::string text(ErrorKind kind, const ErrorValues& v) {
    switch (kind) {
        // Files and folders.
        case ErrorKind::NotFound: return tr("%1$s: no such file", {v.path});
        case ErrorKind::CannotOpen: return tr("Cannot open file %1$s%2$s", {v.path, cause(v)});
        case ErrorKind::CannotCreate: return tr("Cannot create file %1$s%2$s", {v.path, cause(v)});
        case ErrorKind::InUse: return tr("Cannot open file %1$s: another program is using it", {v.path});
        case ErrorKind::ReadError: return tr("Stream read error%1$s%2$s", {after(fileObject(v)), cause(v)});
        case ErrorKind::WriteError: return tr("Stream write error%1$s%2$s", {after(fileObject(v)), cause(v)});
        case ErrorKind::DiskFull:
            return tr("Stream write error: the disk holding %1$s is full", {v.path.empty() ? v.archive : v.path});
        case ErrorKind::CannotCreateFolder: return tr("Unable to create directory%1$s%2$s", {after(v.path), cause(v)});
        case ErrorKind::LinkInTheWay:
            return tr("%1$s is a symbolic link; extraction never writes elsewhere through a link", {v.path});
        case ErrorKind::NotAFolder:
            return tr("%1$s exists and is not a folder; nothing can be extracted into it", {v.path});
        case ErrorKind::NoBig5Form: return tr("%1$s: the name has characters that Big5 cannot represent", {v.path});
        case ErrorKind::MissingSupport: return tr("The %1$s is not available", {v.detail});

        // The catalog.
        case ErrorKind::CatalogStatus: {
            char code[16];
            std::snprintf(code, sizeof code, "0x%04X", static_cast<unsigned>(v.status));
            if (v.archive.empty()) return tr("Catalog data error, code %1$s", {code});
            return tr("%1$s: catalog data error, code %2$s", {v.archive, code});
        }
        case ErrorKind::DamagedCatalog: return tr("Damaged catalog: %1$s%2$s", {v.detail, inParentheses(v.archive)});
        case ErrorKind::CatalogTooLarge:
            return tr("Cannot write the catalog: %1$s%2$s", {v.detail, inParentheses(v.archive)});
        case ErrorKind::FieldNotFound: return tr("Field '%1$s' not found%2$s", {v.detail, named(v)});
        case ErrorKind::FieldType: return tr("Field '%1$s' does not hold this kind of value", {v.detail});
        case ErrorKind::InvalidValue: return tr("Invalid date-time value for field '%1$s'", {v.detail});
        case ErrorKind::InvalidFilter: return tr("Invalid filter: %1$s", {v.detail});
        case ErrorKind::RowOutOfRange: return tr("Row %1$s is outside the view", {n(v.count)});
        case ErrorKind::RecordNotFound: return tr("Record not found");
        case ErrorKind::EmptyDataset: return tr("Cannot perform this operation on an empty dataset");
        case ErrorKind::ClosedDataset: return tr("Cannot perform this operation on a closed dataset");
        case ErrorKind::NotEditing: return tr("Dataset not in edit or insert mode");

        // Archives and entries.
        case ErrorKind::NotAnArchive:
            return tr("%1$s: this file is not an archive, so no new archive replaces it", {v.path});
        case ErrorKind::BadFormat: return tr("%1$s: not an archive of this format%2$s", {v.archive, after(v.detail)});
        case ErrorKind::MissingCatalog:
            return tr("%1$s: the catalog is missing (the file ends where it should begin), so its stored files cannot "
                      "be listed or changed; save what can be saved with: oru recover %1$s NEW.oru",
                      {v.archive});
        case ErrorKind::StoredOverlap: {
            // The first three are named; the count says how many there are.
            constexpr size_t kNamed = 3;
            std::string named;
            for (size_t i = 0; i < v.items.size() && i < kNamed; ++i) named += (i ? ", " : "") + v.items[i];
            return tr("%1$s: cannot compact: the stored data of %2$s entries overlap (%3$s); save what can be saved "
                      "with: oru recover %1$s NEW.oru",
                      {v.archive, n(v.count), named});
        }
        case ErrorKind::ReadOnly:
            return tr("%1$s: this archive is read-only (no write permission, or on read-only media); it can be "
                      "viewed and extracted, but nothing can be added, deleted or compacted",
                      {v.archive});
        case ErrorKind::ArchiveInUse:
            return tr("%1$s: another program is using this archive, so it cannot be written now", {v.archive});
        case ErrorKind::NeedsRecoveryReadOnly:
            return tr("%1$s: adding files was interrupted last time and this archive must be repaired before it "
                      "opens, but it is read-only and cannot be written; open it once as a user who may write it",
                      {v.archive});
        case ErrorKind::NeedsRecoveryInUse:
            return tr("%1$s: adding files was interrupted last time and this archive must be repaired, but another "
                      "program is using it",
                      {v.archive});
        case ErrorKind::Unrecoverable:
            return tr("%1$s: adding files was interrupted last time and cannot be undone (%2$s); the recovery "
                      "data is kept in %3$s",
                      {v.archive, v.detail, v.path});
        case ErrorKind::SideFileTaken:
            return tr("Cannot create file %1$s: another file or link holds this name; move it away and compact "
                      "again",
                      {v.path});
        case ErrorKind::SourceTooLarge: return tr("%1$s: the file is 2 GB or larger and cannot be added", {v.path});
        case ErrorKind::ArchiveFull:
            return tr("%1$s: adding it would take the archive to its 2 GB limit; not added", {v.path});
        case ErrorKind::NoName: return tr("%1$s: this item has no name to store", {v.path});
        case ErrorKind::DamagedEntry: return tr("error%1$s: the compressed data is damaged", {named(v)});
        case ErrorKind::SizeMismatch:
            return tr("error%1$s: decodes to %2$s bytes, but the recorded size is %3$s",
                      {named(v), n(v.count), n(v.total)});
        case ErrorKind::LongerThanRecorded:
            return tr("error%1$s: decodes to more than the recorded size of %2$s bytes", {named(v), n(v.total)});
        case ErrorKind::CodecFailed: return tr("error%1$s: the compression library failed", {named(v)});
        case ErrorKind::StoredOutsideFile:
            return tr("Stream read error%1$s: the stored data lies outside the file", {named(v)});
        case ErrorKind::StoredOutsideData:
            return tr("%1$sthe stored data lies outside the data area (offset %2$s, %3$s bytes)",
                      {before(object(v)), n(v.count), n(v.total)});
        case ErrorKind::StoredShared:
            return tr("%1$sthe stored data overlaps another entry's (offset %2$s, %3$s bytes)",
                      {before(object(v)), n(v.count), n(v.total)});
        case ErrorKind::IsAFolder: return tr("%1$s is a folder", {v.entry});
        case ErrorKind::UnknownEntryType:
            return tr("%1$sunknown entry type (FileType %2$s), not a file", {before(v.entry), n(v.count)});
        case ErrorKind::UnsafeName:
            return tr("The name \"%1$s\" in the archive cannot be a file name, so it is not extracted", {v.detail});
        case ErrorKind::TooDeep:
            return tr("%1$s: folders nest more than %2$s levels deep; cannot go on", {v.archive, n(v.count)});
        case ErrorKind::TooManyPaths:
            return tr("%1$s: folders linked by name make too many paths (more than %2$s steps); cannot go on",
                      {v.archive, n(v.count)});
        case ErrorKind::SpecialFile:
            return tr("the entry claims to be a device, pipe or socket (mode %1$s), which extraction never makes",
                      {v.detail});
        case ErrorKind::UnsafeLinkTarget:
            return tr("the entry is a symbolic link whose target is empty, too long or holds a zero byte");
        case ErrorKind::ModesNotKept:
            return trn("The file system kept no permissions for %1$s extracted item (first: %2$s); it came out "
                       "with the folder's defaults",
                       "The file system kept no permissions for %1$s extracted items (first: %2$s); they came "
                       "out with the folder's defaults",
                       v.count, {n(v.count), v.path});
        case ErrorKind::TimesNotKept:
            return trn("The file system kept no modification time for %1$s extracted item (first: %2$s); it is "
                       "dated now",
                       "The file system kept no modification time for %1$s extracted items (first: %2$s); they "
                       "are dated now",
                       v.count, {n(v.count), v.path});
        case ErrorKind::LinksNotKept:
            return trn("The file system refused %1$s symbolic link (first: %2$s); it came out as a file holding "
                       "its target",
                       "The file system refused %1$s symbolic links (first: %2$s); they came out as files "
                       "holding their targets",
                       v.count, {n(v.count), v.path});
        case ErrorKind::EntriesFailed: {
            if (v.items.size() == 1) return v.items.front();
            constexpr size_t kListed = 20;
            std::string t = tr("%1$s entries could not be extracted; the others were extracted:",
                               {n(static_cast<int64_t>(v.items.size()))});
            for (size_t i = 0; i < v.items.size() && i < kListed; ++i) t += "\n" + v.items[i];
            if (v.items.size() > kListed) {
                t += "\n" + tr("... and %1$s more", {n(static_cast<int64_t>(v.items.size() - kListed))});
            }
            return t;
        }
        case ErrorKind::NoArchiveOpen: return tr("No archive is open");
        case ErrorKind::TargetExists:
            return tr("%1$s: a file of that name exists; salvage writes only a new archive", {v.path});

        // Front ends.
        case ErrorKind::ItemsSkipped:
            return trn("%1$s item could not be added", "%1$s items could not be added", v.count, {n(v.count)});
        case ErrorKind::FilesInTheWay: {
            // The first three are named, so that a long list does not bury the advice.
            constexpr size_t kNamed = 3;
            std::string named;
            for (size_t i = 0; i < v.items.size() && i < kNamed; ++i) named += (i ? ", " : "") + v.items[i];
            if (v.items.size() > kNamed) named += tr(", and %1$s more", {n(static_cast<int64_t>(v.items.size() - kNamed))});
            return trn("%1$s file exists where entries would go: %2$s; nothing was extracted (-o overwrites it, -n "
                       "keeps it)",
                       "%1$s files exist where entries would go: %2$s; nothing was extracted (-o overwrites them, -n "
                       "keeps them)",
                       static_cast<int64_t>(v.items.size()), {n(static_cast<int64_t>(v.items.size())), named});
        }
        case ErrorKind::EntriesDamaged:
            if (v.archive.empty()) return tr("%1$s of %2$s stored files are damaged", {n(v.count), n(v.total)});
            return tr("%1$s of %2$s stored files are damaged in %3$s", {n(v.count), n(v.total), v.archive});
        case ErrorKind::NoSuchEntry: return tr("no entry \"%1$s\" in %2$s", {v.entry, v.archive});
        case ErrorKind::AmbiguousEntry:
            return tr("\"%1$s\" matches %2$s entries in %3$s", {v.entry, n(v.count), v.archive});
        case ErrorKind::SharedPath:
            return tr("\"%1$s\" is ambiguous in %2$s: %3$s files share this path (the same name in folders of "
                      "one name), so none was deleted; delete the one meant in the window, which shows each",
                      {v.entry, v.archive, n(v.count)});
        case ErrorKind::SalvageIncomplete:
            return tr("%1$s could not be salvaged whole: %2$s rows lost, %3$s files stored under made-up names in %4$s",
                      {v.archive, n(v.count), n(v.total), v.path});

        case ErrorKind::Cancelled: return tr("The operation was cancelled");
        case ErrorKind::Text: return v.detail;
    }
    return v.detail;
}

}  // namespace

std::string errorText(ErrorKind kind, const ErrorValues& values) {
    std::string t = text(kind, values);
    if (!values.keptIn.empty()) {
        t += values.keptMaybe ? tr("; %1$s may hold the complete archive", {values.keptIn})
                              : tr(": the complete archive is kept in %1$s", {values.keptIn});
    }
    return t;
}

}  // namespace oru
