#pragma once
// Which rows of an archive the ENTRY arguments of `oru` name: exact paths through the folder
// walk, or shell-style patterns matched against the paths it lists.

#include <string>
#include <vector>

#include "archive/CatalogTree.h"

namespace oru::cli {

// A row and one path by which the folder walk reaches it.
struct Reached {
    int index;
    std::string path;
};

// Every row the folder walk reaches, with its path, in listing order (a row once per path).
std::vector<Reached> reachedRows(const CatalogTree& tree);

// The view indexes of every row the entries name, entry by entry, each entry's rows in catalog
// order, each row once. An entry that names no row exactly is taken as a pattern; with
// singlePath, a pattern must match one path only. Fails, before anything is done, naming the
// first entry that matches nothing: "no entry "%s" in %s", or ""%s" matches N entries in %s".
std::vector<int> resolveEntries(const CatalogTree& tree, const std::vector<std::string>& entries,
                                const std::string& archive, bool singlePath = false);

// The paths of the given rows and of everything below them, each once, in listing order.
std::vector<std::string> pathsAtOrBelow(const CatalogTree& tree, const std::vector<int>& rows);

}  // namespace oru::cli
