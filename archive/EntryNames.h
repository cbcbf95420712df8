#pragma once
// Names crossing the file-system boundary: disk names are UTF-8 paths, catalog names CP950.

#include <string>

namespace oru {

// The catalog name (CP950) of the file or folder at path: its last component. A path ending in
// "/", "." or ".." is named after the folder it resolves to. Fails when no name can be found or
// the name has characters without a CP950 form.
std::string catalogName(const std::string& path);

// A stored name (CP950) as it may name a file on disk (UTF-8). Names that could reach outside
// the extraction directory (empty, ".", "..", holding "/" or a zero byte) are refused.
std::string diskName(const std::string& storedName);

// name with the marker "~n" before its extension: "report.txt" -> "report~2.txt"; a name whose
// only dot leads it (".profile") or that has none gets the marker at its end.
std::string withMarker(const std::string& name, unsigned n);

}  // namespace oru
