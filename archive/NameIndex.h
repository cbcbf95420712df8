// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Where adding puts a name: the names of an archive's rows by folder, compared as the catalog's
// collation compares them, and every folder name of the archive (folders link their children
// by bare name, so a folder name may stand only once in the whole archive).

#include <cstdint>
#include <string>
#include <unordered_map>
#include <unordered_set>

namespace oru {

class CatalogTable;

class NameIndex {
public:
    // Indexes every current row of catalog; row numbers are 0-based places in its default order.
    explicit NameIndex(CatalogTable& catalog);

    // Where an item named name (CP950, any length) of type goes below the folder parent: the
    // first of name (when it fits) and its marked forms "~1", "~2"... that is free. With reuse,
    // an entry of the same type standing at one of the taken ones before it is given instead
    // (adding the same path again), unless name had to be cut: different long names share their
    // cut forms, so such an entry may be another item's. An entry is given once: after
    // claim(row) (and for appended rows) its name counts as taken.
    struct Place {
        int row = -1;      // the entry there, or -1 for a new one
        std::string name;  // CP950, at most kNameWidth bytes
    };
    Place locate(const std::string& parent, const std::string& name, int32_t type, bool reuse,
                 const std::string& trueName = {}) const;
    // The first of name (UTF-8) and its forms with "~1", "~2"... (withMarker) that no entry below
    // parent shows as its name: the true name of an item kept beside one of the same name.
    std::string freeTrueName(const std::string& parent, const std::string& name) const;

    void claim(int row) { claimed_.insert(row); }
    // Records a row appended to the catalog, claimed; returns its row number. shown: the name
    // the row shows (its TrueName, else FileName in UTF-8) when it was stored with its own
    // values, empty for a plain row.
    int append(const std::string& parent, const std::string& name, int32_t type, const std::string& shown = {});

private:
    void insert(const std::string& parent, const std::string& name, int32_t type, int row, const std::string& shown);

    struct Child {
        int row;
        int32_t type;
        std::string shown;  // the name it shows when stored with its own values; empty for a plain row
    };
    using Children = std::unordered_map<std::string, Child>;  // by sort key of the name
    const std::string& keyOf(const std::string& text) const;

    std::unordered_map<std::string, Children> children_;  // by sort key of the folder's name
    // The names the rows below each folder show (TrueName, else FileName in UTF-8), by the
    // folder's sort key.
    std::unordered_map<std::string, std::unordered_set<std::string>> shown_;
    std::unordered_set<std::string> folders_;            // sort keys of every folder name
    mutable std::unordered_map<std::string, std::string> keys_;  // text -> sort key
    std::unordered_set<int> claimed_;  // rows given out or appended since the index was made
    int rows_ = 0;
};

}  // namespace oru
