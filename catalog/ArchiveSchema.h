// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The names of the archive catalog's fields, the values of FileType and the listing's ordering:
// the one place every layer takes them from.

#include <cstddef>
#include <cstdint>

namespace oru::schema {

// The bytes a stored name (FileName, ParentName) keeps at most.
inline constexpr size_t kNameWidth = 40;


inline constexpr const char* kFileName = "FileName";          // text, CP950, up to kNameWidth bytes
inline constexpr const char* kParentName = "ParentName";      // name of the folder row holding it
inline constexpr const char* kFileType = "FileType";          // kFolder or kFile
inline constexpr const char* kOffset = "Offset";              // file rows: first stored byte
inline constexpr const char* kOriginalSize = "OriginalSize";  // file rows: content bytes
inline constexpr const char* kStoredSize = "StoredSize";      // file rows: stored bytes
inline constexpr const char* kFileDate = "FileDate";          // modification time (local), or unassigned
inline constexpr const char* kCheckinDate = "CheckinDate";    // when the row was added

// Extension columns: after the eight above, in this order, in archives written with them. Rows
// written without them (archives of other writers, plain mode) leave them unassigned, and every
// value is unassigned where the eight columns already say it.
inline constexpr const char* kTrueName = "TrueName";          // UTF-8 name, where FileName is not it
inline constexpr const char* kNameBytes = "NameBytes";        // name bytes on disk, where not TrueName's
inline constexpr const char* kMode = "Mode";                  // i4: file type and permission bits
inline constexpr const char* kLinkTarget = "LinkTarget";      // symbolic links: the target as read
inline constexpr const char* kModifiedNs = "ModifiedNs";      // i8: modification time, ns since 1970 UTC

inline constexpr size_t kTrueNameWidth = 1020;    // 255 bytes on disk, each shown as up to 4 bytes
inline constexpr size_t kNameBytesWidth = 255;    // the longest name a Linux file system keeps
inline constexpr size_t kLinkTargetWidth = 4095;  // the longest link target

// FileType values. Rows of any other type are neither folders nor files.
inline constexpr int32_t kFolder = 0;
inline constexpr int32_t kFile = 1;

// The listing's ordering: folders first, then by name.
inline constexpr const char* kListingOrdering = "FileType;FileName";

}  // namespace oru::schema
