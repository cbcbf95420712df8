// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The shared row store of a catalog table: the rows, the change log, the sort keys and key
// groups that orderings and filters use, and the registry of the cursors on them. Every
// CatalogTable cursor forwards its changes here, which brings every cursor's view up to date.
// Private to the catalog.

#include <cstdint>
#include <memory>
#include <span>
#include <string>
#include <string_view>
#include <unordered_map>
#include <unordered_set>
#include <utility>
#include <vector>

#include "catalog/CatalogTable.h"
#include "catalog/TableData.h"
#include "catalog/ViewIndex.h"

namespace oru {

class Error;

Error fieldNotFound(const std::string& name);

// A stored integer of width 4 or 8, and a stored date-time, as their values.
int64_t readSigned(std::string_view raw, size_t width);
double readDouble(std::string_view raw);

// One change seen by a bound view, queued while a change is applied to every cursor and sent
// once all cursors are up to date (an observer may read any cursor).
struct Notice {
    enum Kind { Reset, Inserted, Removed, Moved, Changed, Current, StateChanged } kind;
    int a = 0, b = 0;
};

// A cursor's view, shared by a clone with its source until either of them changes it: cloning
// takes no time in the size of the table, and a clone that is filtered right away never copies
// the source's view at all.
class SharedView {
public:
    int size() const { return p_->size(); }
    bool empty() const { return p_->empty(); }
    uint32_t at(int index) const { return p_->at(index); }
    bool contains(uint32_t slot) const { return p_->contains(slot); }
    int indexOf(uint32_t slot) const { return p_->indexOf(slot); }
    std::vector<uint32_t> toVector() const { return p_->toVector(); }

    void assign(const std::vector<uint32_t>& slots) {
        if (p_.use_count() > 1) p_ = std::make_shared<ViewIndex>();
        p_->assign(slots);
    }
    template <class Less>
    int insertSorted(uint32_t slot, Less&& less) {
        return own().insertSorted(slot, std::forward<Less>(less));
    }
    int erase(uint32_t slot) { return contains(slot) ? own().erase(slot) : -1; }
    void replace(uint32_t oldSlot, uint32_t newSlot) { own().replace(oldSlot, newSlot); }

private:
    ViewIndex& own() {
        if (p_.use_count() > 1) p_ = std::make_shared<ViewIndex>(*p_);
        return *p_;
    }
    std::shared_ptr<ViewIndex> p_ = std::make_shared<ViewIndex>();
};

class TableShared {
public:
    TableData data;
    std::vector<CatalogTable*> cursors;   // every live cursor on these rows
    std::vector<uint64_t> serial;         // per slot: identity of the version it holds
    uint64_t nextSerial = 1;
    std::vector<uint32_t> orderSlots;     // slot of each default-order key, 0 when that row left
    // Sort keys: computed once per distinct text and held once per distinct key, so that two
    // texts collate equal exactly when their key pointers are equal.
    std::unordered_map<std::string, const std::string*> keyOfText;
    std::unordered_set<std::string> keys;

    // What orderings and filters compare, per column and slot, made when first needed: word
    // orders values as an unsigned number (a number's order-preserving form, or a text key's
    // first 8 bytes); key is the interned text key or one of the markers below.
    struct SortCell {
        uint64_t word = 0;
        const std::string* key = nullptr;  // nullptr: not made yet
    };
    static inline const std::string kNoValue{};  // the field holds no value
    static inline const std::string kNumber{};   // word is the whole value
    static inline const std::string kRaw{};      // compare the stored bytes
    // Per column, one cell per slot; a column's cells are allocated when it is first compared,
    // so that loading a table touches no memory for orderings and filters nobody uses.
    std::vector<std::vector<SortCell>> cells;
    size_t columnCount = 0;

    // The current slots grouped by the sort key of one column, made when a filter on that column
    // first builds a view and kept up to date on every change, so that a filtered view is built
    // from its own rows rather than from a scan of the whole table. Rows without a value are in
    // no group: a filter never matches them.
    struct KeyGroups {
        std::unordered_map<const std::string*, std::vector<uint32_t>> slotsOf;
        std::vector<uint32_t> place;  // per slot (index slot - 1): its index in its group
    };
    std::vector<std::unique_ptr<KeyGroups>> groups;  // per column; nullptr: not made

    TableShared() {
        data.columns = TableData::archiveSchema();
        columnsChanged();
    }

    void columnsChanged() {
        columnCount = data.columns.size();
        groups.clear();
        groups.resize(columnCount);
        cells.clear();
        cells.resize(columnCount);
        keyOfText.clear();
        keys.clear();
        resync();
    }

    // After columns were appended: the new columns have no sort keys or groups yet. Everything
    // made for the old columns (keys, groups, row versions) stays valid, as their indexes stay.
    void columnsAppended() {
        columnCount = data.columns.size();
        groups.resize(columnCount);
        cells.resize(columnCount);
    }

    // Brings the per-slot side tables in line with data after it was replaced wholesale.
    void resync() {
        serial.clear();
        for (auto& column : cells) column.clear();
        for (auto& g : groups) g.reset();
        serial.reserve(data.slots.size());
        for (size_t i = 0; i < data.slots.size(); ++i) slotAdded();
        orderSlots.assign(data.nextOrder, 0);
        for (uint32_t n = 1; n <= data.slots.size(); ++n) {
            if (data.isCurrent(n)) {
                uint64_t order = data.slots[n - 1].order;
                if (order >= orderSlots.size()) orderSlots.resize(order + 1, 0);
                orderSlots[order] = n;
            }
        }
    }

    void slotAdded() { serial.push_back(nextSerial++); }

    // After a merge gave slot numbers back: forget what the dropped slots held. (Current rows
    // keep their slots, so the key groups stay as they are.)
    void slotsTruncated() {
        serial.resize(data.slots.size());
        for (auto& column : cells) {
            if (column.size() > data.slots.size()) column.resize(data.slots.size());
        }
    }

    // The key groups of column, made from the current rows when first asked for.
    KeyGroups& groupsOf(int column) {
        std::unique_ptr<KeyGroups>& g = groups[static_cast<size_t>(column)];
        if (!g) {
            g = std::make_unique<KeyGroups>();
            for (uint32_t slot : orderSlots) {
                if (slot != 0) addToGroup(*g, column, slot);
            }
        }
        return *g;
    }
    void addToGroup(KeyGroups& g, int column, uint32_t slot) {
        const std::string* key = cell(slot, column).key;
        if (key == &kNoValue) return;
        std::vector<uint32_t>& members = g.slotsOf[key];
        if (g.place.size() < slot) g.place.resize(data.slots.size());
        g.place[slot - 1] = static_cast<uint32_t>(members.size());
        members.push_back(slot);
    }
    // A row became current (appended, or the new version of a changed row).
    void rowAdded(uint32_t slot) {
        for (size_t column = 0; column < groups.size(); ++column) {
            if (groups[column]) addToGroup(*groups[column], static_cast<int>(column), slot);
        }
    }
    // A row stopped being current (deleted, or superseded by a new version).
    void rowRemoved(uint32_t slot) {
        for (size_t column = 0; column < groups.size(); ++column) {
            if (!groups[column]) continue;
            KeyGroups& g = *groups[column];
            const std::string* key = cell(slot, static_cast<int>(column)).key;
            if (key == &kNoValue) continue;
            auto it = g.slotsOf.find(key);
            const uint32_t at = slot <= g.place.size() ? g.place[slot - 1] : 0;
            if (it == g.slotsOf.end() || at >= it->second.size() || it->second[at] != slot) continue;
            std::vector<uint32_t>& members = it->second;
            members[at] = members.back();
            g.place[members[at] - 1] = at;
            members.pop_back();
            if (members.empty()) g.slotsOf.erase(it);
        }
    }

    void placeInOrder(uint32_t slot) {
        uint64_t order = data.slots[slot - 1].order;
        if (order >= orderSlots.size()) orderSlots.resize(order + 1, 0);
        orderSlots[order] = slot;
    }

    std::vector<uint32_t> defaultOrder() const {
        std::vector<uint32_t> out;
        for (uint32_t slot : orderSlots) {
            if (slot != 0) out.push_back(slot);
        }
        return out;
    }

    // The interned sort key of text.
    const std::string* intern(const std::string& text);

    const SortCell& cell(uint32_t slot, int column) {
        std::vector<SortCell>& cellsOfColumn = cells[static_cast<size_t>(column)];
        if (cellsOfColumn.size() < slot) cellsOfColumn.resize(data.slots.size());
        SortCell& c = cellsOfColumn[slot - 1];
        if (c.key == nullptr) makeCell(c, data.slots[slot - 1].fields[column], data.columns[column].kind);
        return c;
    }

    void makeCell(SortCell& c, const Field& f, FieldKind kind);

    int findColumn(const std::string& name) const {
        for (size_t i = 0; i < data.columns.size(); ++i) {
            if (data.columns[i].name == name) return static_cast<int>(i);
        }
        return -1;
    }
    // The column named name; fails "Field '%s' not found".
    int column(const std::string& name) const;

    bool stillCurrent(uint32_t slot, uint64_t version) const {
        return slot >= 1 && slot <= data.slots.size() && data.isCurrent(slot) &&
               (version == 0 || serial[slot - 1] == version);
    }

    // --- cursor operations (CatalogTable forwards here)
    static int compareField(TableShared& s, uint32_t a, uint32_t b, int column);
    static bool less(TableShared& s, const CatalogTable::CursorState& c, uint32_t a, uint32_t b);
    static bool passes(TableShared& s, const CatalogTable::CursorState& c, uint32_t slot);
    static void rebuild(CatalogTable& t);
    static void browseCheck(CatalogTable& t);
    static void post(CatalogTable& t);
    static void setState(CatalogTable& t, CatalogTable::State state);
    static void send(CatalogTable& t, const Notice& n);
    static void moveTo(CatalogTable& t, uint32_t slot, bool atEnd);
    static void viewRebuilt(CatalogTable& t, uint32_t current, bool atEnd);
    static void removeFromViews(TableShared& s, uint32_t slot);
    static void resolveFilter(TableShared& s, CatalogTable::CursorState& c, bool throwOnError);
    static void resolveOrdering(TableShared& s, CatalogTable::CursorState& c, const std::string& text);
    static void contentReplaced(TableShared& s);
    // The fields the accessors read: the started row while editing or appending, else the
    // current row; empty when there is no row.
    static std::span<const Field> currentFields(const CatalogTable& t);
};

struct CatalogTable::CursorState {
    std::string ordering;
    std::vector<int> sortColumns;    // empty: the default order
    std::string filterText;
    bool filtered = false;
    bool filterActive = false;       // switch on and text not empty
    int filterColumn = -1;           // -1 while active: the filter names no field of the table
    const std::string* filterKey = nullptr;  // interned sort key of the filter's name
    SharedView view;
    uint32_t current = 0;            // slot of the current row; 0 exactly when the view is empty
    bool atEnd = true;
    State state = State::Browsing;
    std::vector<Field> buffer;       // the started row while editing or appending
    bool written = false;            // a field of the started row was written
    uint32_t editSlot = 0;           // the version being edited
    uint64_t editVersion = 0;
    CatalogObserver* observer = nullptr;
    int suspended = 0;
    State stateAtSuspend = State::Browsing;
};

}  // namespace oru
