// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Rows that no chain of folders reaches from the top level: their folder's name was changed or
// lost, their folders name each other in a circle, or their ParentName holds no value. They are
// listed under a pseudo-folder and extracted below it, so that no stored file is hidden.

#include <functional>
#include <string>
#include <vector>

#include "archive/CatalogTree.h"

namespace oru {

class CatalogTable;

// The pseudo-folder's name, in listings and below an extraction's directory.
inline constexpr const char* kUnreachableFolder = "unreachable";

class UnreachableRows {
public:
    // Finds them in tree, made over catalog's unfiltered view; both must outlive this object.
    UnreachableRows(const CatalogTable& catalog, const CatalogTree& tree);

    bool empty() const { return tops_.empty(); }
    // The unreachable rows below none of the others (a row of a circle of folders stands for
    // its circle), in view order. Walked from these, every unreachable row is met, each below
    // one top only.
    const std::vector<int>& tops() const { return tops_; }
    // The folder an extraction writes a top into, below its directory: the pseudo-folder, then
    // the top's ParentName when it has one that can name a folder on disk (UTF-8).
    std::string folderOf(int top) const;
    // Calls each(row, path) for every unreachable row, top by top, each top followed by the
    // rows below it in the listing's order; path: folderOf(top), then the names from the top down,
    // joined by "/" (UTF-8).
    void walk(const std::function<void(int row, const std::string& path)>& each) const;

private:
    const CatalogTable& catalog_;
    const CatalogTree& tree_;
    std::vector<int> tops_;
};

}  // namespace oru
