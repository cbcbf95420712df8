// SPDX-License-Identifier: GPL-3.0-or-later
// The folder hierarchy of a catalog and its one walk: an index by parent name, built once.
#include "archive/CatalogTree.h"

#include <algorithm>
#include <utility>

#include "archive/EntryMeta.h"
#include "catalog/ArchiveSchema.h"
#include "catalog/CatalogTable.h"
#include "platform/CodePage.h"
#include "platform/Collation.h"
#include "platform/Error.h"

namespace oru {

std::string CatalogTree::storedForm(const std::string& name) {
    std::string s = name.substr(0, name.find('\0'));
    if (s.size() > schema::kNameWidth) s.resize(schema::kNameWidth);
    while (!s.empty() && s.back() == ' ') s.pop_back();
    return s;
}

CatalogTree::CatalogTree(const CatalogTable& catalog, std::string archive)
    : catalog_(catalog), archive_(std::move(archive)) {
    const int n = catalog.ViewSize();
    folder_.resize(n);
    repeated_.assign(n, 0);
    nameId_.resize(n);
    std::vector<int32_t> parentId(n, -1);
    // Many rows share a parent name (and files their names): each distinct text is keyed once.
    std::unordered_map<std::string, int32_t> idOfText;
    const auto idFor = [&](const std::string& text) {
        auto it = idOfText.find(text);
        if (it == idOfText.end()) {
            const auto key = idOfKey_.emplace(collation::sortKey(text), static_cast<int32_t>(idOfKey_.size())).first;
            it = idOfText.emplace(text, key->second).first;
        }
        return it->second;
    };
    idFor("");  // the top level has an id even when the table is empty
    // Whether rows may keep true names: a TrueName column of the kind this system writes.
    for (const Column& c : catalog.Data().columns) {
        if (c.name != schema::kTrueName) continue;
        for (const Column& ours : TableData::extensionColumns()) {
            if (ours.name == c.name) trueNames_ = ours.kind == c.kind;
        }
    }
    for (int i = 0; i < n; ++i) {
        folder_[i] = catalog.IntegerAt(i, schema::kFileType) == schema::kFolder;
        nameId_[i] = idFor(catalog.TextAt(i, schema::kFileName));
        // A row whose ParentName has no value belongs to no folder, not even the top level.
        if (catalog.HasValueAt(i, schema::kParentName)) parentId[i] = idFor(catalog.TextAt(i, schema::kParentName));
    }

    // Rows grouped by parent id, in view order within a group (a counting sort).
    const size_t ids = idOfKey_.size();
    childStart_.assign(ids + 1, 0);
    for (int i = 0; i < n; ++i) {
        if (parentId[i] >= 0) ++childStart_[static_cast<size_t>(parentId[i]) + 1];
    }
    for (size_t id = 0; id < ids; ++id) childStart_[id + 1] += childStart_[id];
    children_.resize(static_cast<size_t>(childStart_[ids]));
    std::vector<int32_t> fill(childStart_.begin(), childStart_.end() - 1);
    for (int i = 0; i < n; ++i) {
        if (parentId[i] >= 0) children_[static_cast<size_t>(fill[static_cast<size_t>(parentId[i])]++)] = i;
    }

    // Of the folder rows of one name in one folder, all but the first lead to the same path.
    std::vector<int32_t> seenIn(ids, -1);
    for (size_t parent = 0; parent < ids; ++parent) {
        for (int32_t at = childStart_[parent]; at < childStart_[parent + 1]; ++at) {
            const int row = children_[static_cast<size_t>(at)];
            if (!folder_[row]) continue;
            int32_t& seen = seenIn[static_cast<size_t>(nameId_[row])];
            if (seen == static_cast<int32_t>(parent)) {
                repeated_[row] = 1;
            } else {
                seen = static_cast<int32_t>(parent);
            }
        }
    }
}

int CatalogTree::idOf(const std::string& key) const {
    const auto it = idOfKey_.find(key);
    return it == idOfKey_.end() ? -1 : it->second;
}

struct CatalogTree::Walk {
    const Options& options;
    Visitor* visitor;              // nullptr: the pass that only checks the bounds
    std::vector<uint8_t> onPath;   // by name id: a folder of that name is on the current path
    std::vector<uint8_t> entered;  // by name id: entered already in this walk
    uint64_t work = 0;
    uint64_t limit = 0;
};

void CatalogTree::walkBelow(const std::string& parentName, const Options& options, Visitor& visitor) const {
    const int id = idOf(collation::sortKey(parentName));
    if (id < 0) return;
    // The bounds are checked by a pass that visits nothing, so that a walk past them fails
    // before anything is done.
    Walk check{options, nullptr, {}, {}};
    run(check, -1, id);
    Walk walk{options, &visitor, {}, {}};
    run(walk, -1, id);
}

void CatalogTree::walkFrom(int row, const Options& options, Visitor& visitor) const {
    Walk check{options, nullptr, {}, {}};
    run(check, row, -1);
    Walk walk{options, &visitor, {}, {}};
    run(walk, row, -1);
}

void CatalogTree::run(Walk& walk, int startRow, int parentId) const {
    const size_t ids = idOfKey_.size();
    walk.onPath.assign(ids, 0);
    if (walk.options.enterNameOnce) walk.entered.assign(ids, 0);
    walk.limit = kWorkPerRow * std::max<uint64_t>(folder_.size(), 1);

    struct Frame {
        int row;       // the folder row entered; -1 for the folder named by walkBelow
        int32_t id;    // its name id
        int32_t next;  // the next of its children to look at
        bool others;   // folders first: the second pass, over the rows that are not folders
    };
    std::vector<Frame> stack;
    // A folder's depth is the number of folders entered above it, the start folder included.
    const size_t baseFrames = startRow < 0 ? 1 : 0;

    // A repeated folder row is passed over only among its siblings: as the start of a walk it
    // leads to its path as the first one does.
    const auto canEnter = [&](int row, bool start) {
        const auto id = static_cast<size_t>(nameId_[row]);
        return folder_[row] && (start || !repeated_[row]) && !walk.onPath[id] &&
               !(walk.options.enterNameOnce && walk.entered[id]) && childStart_[id + 1] > childStart_[id];
    };
    const auto enter = [&](int row) {
        if (stack.size() - baseFrames >= kMaxDepth) {
            throw Error(ErrorKind::TooDeep, {.archive = archive_, .count = static_cast<int64_t>(kMaxDepth)});
        }
        const auto id = static_cast<size_t>(nameId_[row]);
        walk.onPath[id] = 1;
        if (walk.options.enterNameOnce) walk.entered[id] = 1;
        stack.push_back({row, nameId_[row], childStart_[id], false});
    };

    if (startRow >= 0) {
        const bool entering = canEnter(startRow, true);
        if (walk.visitor) walk.visitor->visit(startRow, entering);
        if (entering) enter(startRow);
    } else {
        walk.onPath[static_cast<size_t>(parentId)] = 1;
        stack.push_back({-1, parentId, childStart_[static_cast<size_t>(parentId)], false});
    }

    while (!stack.empty()) {
        Frame& f = stack.back();
        const auto id = static_cast<size_t>(f.id);
        if (f.next == childStart_[id + 1]) {
            if (walk.options.foldersFirst && !f.others) {
                f.others = true;
                f.next = childStart_[id];
                continue;
            }
            const int row = f.row;
            walk.onPath[id] = 0;
            stack.pop_back();
            if (row >= 0 && walk.visitor) walk.visitor->leave(row);
            continue;
        }
        const int row = children_[static_cast<size_t>(f.next++)];
        if (++walk.work > walk.limit) {
            throw Error(ErrorKind::TooManyPaths, {.archive = archive_, .count = static_cast<int64_t>(walk.limit)});
        }
        const bool folder = folder_[row] != 0;
        if (walk.options.foldersFirst && folder == f.others) continue;
        if (walk.options.foldersOnly && (!folder || repeated_[row])) continue;
        const bool entering = canEnter(row, false);
        if (walk.visitor) walk.visitor->visit(row, entering);  // f may dangle from here on
        if (entering) enter(row);
    }
}

namespace {

// The listing's walk with each row's path: the current folder's path kept in one buffer, the
// visited name behind it.
struct PathVisitor : CatalogTree::Visitor {
    PathVisitor(const CatalogTree& names, const std::function<void(int, const std::string&)>& f, std::string prefix)
        : tree(names), each(f), path(std::move(prefix)) {}
    const CatalogTree& tree;
    const std::function<void(int, const std::string&)>& each;
    std::string path;
    std::vector<size_t> ends;  // the path's length at each folder above
    void visit(int row, bool entered) override {
        const size_t end = path.size();
        if (!path.empty()) path += '/';
        path += tree.nameOf(row);
        each(row, path);
        if (entered) {
            ends.push_back(end);
        } else {
            path.resize(end);
        }
    }
    void leave(int) override {
        path.resize(ends.back());
        ends.pop_back();
    }
};

}  // namespace

void CatalogTree::walk(const std::function<void(int, const std::string&)>& each) const {
    PathVisitor paths(*this, each, "");
    walkBelow("", listing(), paths);
}

void CatalogTree::walkWithPaths(int row, const std::string& prefix,
                                const std::function<void(int, const std::string&)>& each) const {
    PathVisitor paths(*this, each, prefix);
    walkFrom(row, listing(), paths);
}

std::string CatalogTree::nameOf(int row) const {
    if (trueNames_ && catalog_.HasValueAt(row, schema::kTrueName)) return catalog_.TextAt(row, schema::kTrueName);
    return cp950::toUtf8(catalog_.TextAt(row, schema::kFileName));
}

std::vector<int> CatalogTree::resolve(const std::vector<std::string>& names) const {
    // The name ids of the folders reached so far: several when folders of one true name are
    // stored under different catalog names.
    std::vector<int> parents{idOf(collation::sortKey(""))};
    std::vector<int> found;
    for (size_t k = 0; k < names.size(); ++k) {
        const std::string& name = names[k];
        // How a row without a true name of its own would store the name: none when it has
        // characters a catalog name cannot hold.
        int id = -1;
        try {
            id = idOf(collation::sortKey(storedForm(cp950::fromUtf8(name))));
        } catch (const Error&) {
        }
        const bool last = k + 1 == names.size();
        found.clear();
        std::vector<int> next;
        for (const int parent : parents) {
            if (parent < 0) continue;
            for (int32_t at = childStart_[static_cast<size_t>(parent)]; at < childStart_[static_cast<size_t>(parent) + 1]; ++at) {
                const int row = children_[static_cast<size_t>(at)];
                if (!last && !folder_[row]) continue;
                const bool own = trueNames_ && catalog_.HasValueAt(row, schema::kTrueName);
                const bool match = own ? catalog_.TextAt(row, schema::kTrueName) == name : id >= 0 && nameId_[row] == id;
                if (!match) continue;
                found.push_back(row);
                if (folder_[row] && std::find(next.begin(), next.end(), nameId_[row]) == next.end()) {
                    next.push_back(nameId_[row]);
                }
            }
        }
        if (found.empty()) return {};
        parents = std::move(next);
    }
    // Children are kept in view order within one folder; rows of several folders are merged.
    std::sort(found.begin(), found.end());
    return found;
}

}  // namespace oru
