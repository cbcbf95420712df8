#include "cli/CatalogTree.h"

#include <algorithm>
#include <unordered_set>

#include "catalog/CatalogTable.h"
#include "platform/CodePage.h"
#include "platform/Collation.h"

namespace oru {

namespace {
constexpr size_t kTextWidth = 40;  // bytes a stored name keeps
}

std::string CatalogTree::storedForm(const std::string& name) {
    std::string s = name.substr(0, name.find('\0'));
    if (s.size() > kTextWidth) s.resize(kTextWidth);
    while (!s.empty() && s.back() == ' ') s.pop_back();
    return s;
}

CatalogTree::CatalogTree(const CatalogTable& catalog) : catalog_(catalog) {
    const int n = catalog.ViewSize();
    folder_.resize(n);
    nameKey_.resize(n);
    std::unordered_map<std::string, std::vector<int>> files;
    // Many rows share a parent name (and files their names): key each text once.
    std::unordered_map<std::string, std::string> keys;
    auto keyOf = [&keys](const std::string& text) -> const std::string& {
        auto it = keys.find(text);
        if (it == keys.end()) it = keys.emplace(text, collation::sortKey(text)).first;
        return it->second;
    };
    for (int i = 0; i < n; ++i) {
        folder_[i] = catalog.IntegerAt(i, "FileType") == 0;
        nameKey_[i] = keyOf(catalog.TextAt(i, "FileName"));
        // A row whose ParentName has no value belongs to no folder, not even the top level.
        if (!catalog.HasValueAt(i, "ParentName")) continue;
        (folder_[i] ? children_ : files)[keyOf(catalog.TextAt(i, "ParentName"))].push_back(i);
    }
    for (auto& [parent, list] : files) {
        auto& kids = children_[parent];
        kids.insert(kids.end(), list.begin(), list.end());
    }
}

const std::vector<int>& CatalogTree::childrenOf(const std::string& parentKey) const {
    static const std::vector<int> none;
    auto it = children_.find(parentKey);
    return it == children_.end() ? none : it->second;
}

void CatalogTree::walk(const std::function<void(int, const std::string&)>& visit) const {
    // An explicit stack: a hostile archive may chain thousands of distinct folder names.
    struct Frame {
        const std::vector<int>* kids;
        size_t next;
        std::string key;   // the folder name this frame lists
        std::string path;  // its path, "" at the top level
    };
    const std::string top = collation::sortKey("");
    std::unordered_set<std::string> onPath{top};
    std::vector<Frame> stack{{&childrenOf(top), 0, top, ""}};
    while (!stack.empty()) {
        Frame& f = stack.back();
        if (f.next == f.kids->size()) {
            onPath.erase(f.key);
            stack.pop_back();
            continue;
        }
        const int i = (*f.kids)[f.next++];
        std::string name = cp950::toUtf8(catalog_.TextAt(i, "FileName"));
        std::string path = f.path.empty() ? name : f.path + "/" + name;
        visit(i, path);
        if (folder_[i] && !onPath.count(nameKey_[i])) {
            const auto& kids = childrenOf(nameKey_[i]);
            if (!kids.empty()) {
                onPath.insert(nameKey_[i]);
                stack.push_back({&kids, 0, nameKey_[i], std::move(path)});  // f may dangle now
            }
        }
    }
}

std::vector<int> CatalogTree::resolve(const std::vector<std::string>& names) const {
    std::string parentKey = collation::sortKey("");
    std::vector<int> found;
    for (size_t k = 0; k < names.size(); ++k) {
        const std::string key = collation::sortKey(storedForm(names[k]));
        const bool last = k + 1 == names.size();
        found.clear();
        for (int i : childrenOf(parentKey)) {
            if (nameKey_[i] == key && (last || folder_[i])) found.push_back(i);
        }
        if (found.empty()) return {};
        parentKey = key;
    }
    // Folders and files were kept apart; hand the rows back in view order.
    std::sort(found.begin(), found.end());
    return found;
}

}  // namespace oru
