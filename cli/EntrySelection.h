// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Which rows of an archive the ENTRY arguments of `oru` name: exact paths through the folder
// walk, or shell-style patterns matched against the paths it lists.

#include <string>
#include <vector>

#include "archive/CatalogTree.h"

namespace oru::cli {

// The view indexes of every row the entries name, entry by entry, each entry's rows in catalog
// order, each row once. An entry that names no row exactly is taken as a pattern; with
// singlePath, a pattern must match one path only. Fails, before anything is done, naming the
// first entry that matches nothing (ErrorKind::NoSuchEntry) or, with singlePath, more than one
// path (ErrorKind::AmbiguousEntry, count: the paths).
// With oneFilePerPath, an exact path naming several file rows (the same name in folders of one
// name, as archives written before names were kept unique hold) fails with
// ErrorKind::SharedPath (count: those rows): deleting by path would take rows not meant.
std::vector<int> resolveEntries(const CatalogTree& tree, const std::vector<std::string>& entries,
                                const std::string& archive, bool singlePath = false, bool oneFilePerPath = false);

// The paths under which the listing shows the given rows, each once, in listing order. Only
// these paths are kept, never every path of the archive.
std::vector<std::string> pathsOf(const CatalogTree& tree, const std::vector<int>& rows);

}  // namespace oru::cli
