// SPDX-License-Identifier: GPL-3.0-or-later
#include "cli/EntrySelection.h"

#include <algorithm>
#include <unordered_set>

#include "cli/PathPattern.h"
#include "platform/CodePage.h"
#include "platform/Error.h"

namespace oru::cli {

namespace {

// An ENTRY argument as names; empty components ("a//b", a leading or trailing "/") drop out.
std::vector<std::string> entryNames(const std::string& entry) {
    std::vector<std::string> names;
    size_t start = 0;
    while (start <= entry.size()) {
        size_t end = entry.find('/', start);
        if (end == std::string::npos) end = entry.size();
        if (end > start) names.push_back(entry.substr(start, end - start));
        start = end + 1;
    }
    return names;
}

// The rows whose paths match an ENTRY pattern, in listing order, and how many different paths
// they have. Paths are matched as the walk makes them; only matching ones are kept.
std::vector<int> matchingRows(const CatalogTree& tree, const std::string& entry, size_t& paths) {
    const std::string pattern = joinedNames(entry);
    std::vector<int> rows;
    std::unordered_set<std::string> matchedPaths;
    tree.walk([&](int row, const std::string& path) {
        if (matchesPattern(pattern, path)) {
            rows.push_back(row);
            matchedPaths.insert(path);
        }
    });
    paths = matchedPaths.size();
    return rows;
}

}  // namespace

std::vector<int> resolveEntries(const CatalogTree& tree, const std::vector<std::string>& entries,
                                const std::string& archive, bool singlePath, bool oneFilePerPath) {
    std::vector<int> rows;
    std::unordered_set<int> seen;
    for (const auto& entry : entries) {
        auto found = tree.resolve(entryNames(entry));
        const auto files = std::count_if(found.begin(), found.end(), [&](int row) { return !tree.isFolder(row); });
        if (oneFilePerPath && files > 1) {
            throw Error(ErrorKind::SharedPath, {.archive = archive, .entry = entry, .count = files});
        }
        if (found.empty() && hasWildcards(entry)) {
            size_t paths = 0;
            found = matchingRows(tree, entry, paths);
            if (singlePath && paths > 1) {
                throw Error(ErrorKind::AmbiguousEntry,
                            {.archive = archive, .entry = entry, .count = static_cast<int64_t>(paths)});
            }
        }
        if (found.empty()) throw Error(ErrorKind::NoSuchEntry, {.archive = archive, .entry = entry});
        for (int i : found) {
            if (seen.insert(i).second) rows.push_back(i);
        }
    }
    return rows;
}

std::vector<std::string> pathsOf(const CatalogTree& tree, const std::vector<int>& rows) {
    const std::unordered_set<int> wanted(rows.begin(), rows.end());
    std::unordered_set<std::string> seen;
    std::vector<std::string> result;
    tree.walk([&](int row, const std::string& path) {
        if (wanted.count(row) && seen.insert(path).second) result.push_back(path);
    });
    return result;
}

}  // namespace oru::cli
