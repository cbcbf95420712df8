// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Names crossing the file-system boundary: disk names are UTF-8 paths, catalog names CP950.
//
// A catalog name is at most kNameWidth bytes of CP950 and names a folder's children by the
// folder's bare name, so a disk name is not always stored as it is: characters without a CP950
// form are converted (storableName), and a name that is too long or would clash gets a marker
// "~N" (markedName). The choice of N, where names must be unique, is NameIndex's.

#include <string>

#include "catalog/ArchiveSchema.h"

namespace oru {

// Width of FileName and ParentName in bytes.
using schema::kNameWidth;

// The disk name (UTF-8) of the file or folder at path: its last component. A path ending in
// "/", "." or ".." is named after the folder it resolves to. Fails when no name can be found.
std::string sourceName(const std::string& path);

// The CP950 form of a disk name, whole characters only and not yet cut to kNameWidth. Each
// character without a CP950 form is converted: Simplified to Traditional Chinese, else Latin to
// ASCII, else "_" (bytes that are not UTF-8 too). Trailing spaces are dropped (the catalog's
// text fields keep none); a name of spaces only becomes one "_" per space. Never fails.
std::string storableName(const std::string& utf8);

// name (CP950, any length) as a stored name of at most kNameWidth bytes. marker 0: name itself,
// which must fit. marker N > 0: "~N" before the extension (files: the part from the last dot,
// when short) or at the end (folders), the rest cut at a character boundary to make room.
std::string markedName(const std::string& name, unsigned marker, bool isFile);

// A stored name (CP950) as it may name a file on disk (UTF-8). Names that could reach outside
// the extraction directory (empty, ".", "..", holding "/" or a zero byte) are refused.
std::string diskName(const std::string& storedName);

// A disk name as UTF-8 text: itself when it is valid UTF-8, else each byte that does not begin a
// valid character replaced by U+FFFD.
std::string readableName(const std::string& bytes);

// name with the marker "~n" before its extension: "report.txt" -> "report~2.txt"; a name whose
// only dot leads it (".profile") or that has none gets the marker at its end.
std::string withMarker(const std::string& name, unsigned n);

}  // namespace oru
