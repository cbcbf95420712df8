#include "cli/EntrySelection.h"

#include <unordered_set>

#include "cli/PathPattern.h"
#include "platform/CodePage.h"
#include "platform/Error.h"

namespace oru::cli {

namespace {

// An ENTRY argument as CP950 names; empty components ("a//b", a leading or trailing "/") drop out.
std::vector<std::string> entryNames(const std::string& entry) {
    std::vector<std::string> names;
    size_t start = 0;
    while (start <= entry.size()) {
        size_t end = entry.find('/', start);
        if (end == std::string::npos) end = entry.size();
        if (end > start) names.push_back(cp950::fromUtf8(entry.substr(start, end - start)));
        start = end + 1;
    }
    return names;
}

// The rows whose paths match an ENTRY pattern, in listing order, and how many different paths
// they have.
std::vector<int> matchingRows(const std::vector<Reached>& reached, const std::string& entry, size_t& paths) {
    const std::string pattern = joinedNames(entry);
    std::vector<int> rows;
    std::unordered_set<std::string> matchedPaths;
    for (const Reached& r : reached) {
        if (matchesPattern(pattern, r.path)) {
            rows.push_back(r.index);
            matchedPaths.insert(r.path);
        }
    }
    paths = matchedPaths.size();
    return rows;
}

}  // namespace

std::vector<Reached> reachedRows(const CatalogTree& tree) {
    std::vector<Reached> reached;
    tree.walk([&](int i, const std::string& path) { reached.push_back({i, path}); });
    return reached;
}

std::vector<int> resolveEntries(const CatalogTree& tree, const std::vector<std::string>& entries,
                                const std::string& archive, bool singlePath) {
    std::vector<int> rows;
    std::unordered_set<int> seen;
    std::vector<Reached> reached;
    for (const auto& entry : entries) {
        auto found = tree.resolve(entryNames(entry));
        if (found.empty() && hasWildcards(entry)) {
            if (reached.empty()) reached = reachedRows(tree);
            size_t paths = 0;
            found = matchingRows(reached, entry, paths);
            if (singlePath && paths > 1) {
                throw Error("\"" + entry + "\" matches " + std::to_string(paths) + " entries in " + archive);
            }
        }
        if (found.empty()) throw Error("no entry \"" + entry + "\" in " + archive);
        for (int i : found) {
            if (seen.insert(i).second) rows.push_back(i);
        }
    }
    return rows;
}

std::vector<std::string> pathsAtOrBelow(const CatalogTree& tree, const std::vector<int>& rows) {
    const std::vector<Reached> reached = reachedRows(tree);
    const std::unordered_set<int> wanted(rows.begin(), rows.end());
    std::unordered_set<std::string> tops, seen;
    for (const Reached& r : reached) {
        if (wanted.count(r.index)) tops.insert(r.path);
    }
    std::vector<std::string> result;
    for (const Reached& r : reached) {
        bool below = tops.count(r.path) > 0;
        for (size_t slash = r.path.find('/'); !below && slash != std::string::npos; slash = r.path.find('/', slash + 1)) {
            below = tops.count(r.path.substr(0, slash)) > 0;
        }
        if (below && seen.insert(r.path).second) result.push_back(r.path);
    }
    return result;
}

}  // namespace oru::cli
