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
inline constexpr const char* kFileDate = "FileDate";          // never written by the engine
inline constexpr const char* kCheckinDate = "CheckinDate";    // when the row was added

// FileType values. Rows of any other type are neither folders nor files.
inline constexpr int32_t kFolder = 0;
inline constexpr int32_t kFile = 1;

// The listing's ordering: folders first, then by name.
inline constexpr const char* kListingOrdering = "FileType;FileName";

}  // namespace oru::schema
