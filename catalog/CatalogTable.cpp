#include "catalog/CatalogTable.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <span>
#include <unordered_map>
#include <unordered_set>
#include <utility>

#include "catalog/ChangeLog.h"
#include "catalog/Datapacket.h"
#include "catalog/ViewIndex.h"
#include "platform/Collation.h"
#include "platform/Error.h"
#include "platform/Stream.h"

namespace oru {

namespace {

constexpr double kMsPerDay = 86400000.0;
// Milliseconds from 0001-01-01 (day 1) to 1899-12-30, the date-time origin: 693,594 days.
constexpr double kOriginMs = 693594.0 * kMsPerDay;

const char* kRecordNotFound = "Record not found";
const char* kNotEditing = "Dataset not in edit or insert mode";
const char* kEmptyDataset = "Cannot perform this operation on an empty dataset";
const char* kClosedDataset = "Cannot perform this operation on a closed dataset";

Error fieldNotFound(const std::string& name) { return Error("Field '" + name + "' not found"); }
Error wrongType(const Column& c) { return Error("Field '" + c.name + "' does not hold this kind of value"); }

std::string trim(const std::string& s) {
    size_t b = s.find_first_not_of(" \t");
    if (b == std::string::npos) return {};
    size_t e = s.find_last_not_of(" \t");
    return s.substr(b, e - b + 1);
}

int64_t readSigned(std::string_view raw, size_t width) {
    if (width == 4) {
        int32_t v = 0;
        std::memcpy(&v, raw.data(), std::min<size_t>(raw.size(), 4));
        return v;
    }
    int64_t v = 0;
    std::memcpy(&v, raw.data(), std::min<size_t>(raw.size(), 8));
    return v;
}

double readDouble(std::string_view raw) {
    double v = 0;
    if (raw.size() >= sizeof v) std::memcpy(&v, raw.data(), sizeof v);
    return v;
}

std::string_view rawOf(const void* p, size_t n) { return std::string_view(static_cast<const char*>(p), n); }

bool sameFields(std::span<const Field> a, std::span<const Field> b) {
    if (a.size() != b.size()) return false;
    for (size_t i = 0; i < a.size(); ++i) {
        if (a[i].state != b[i].state) return false;
        if (a[i].state == FieldState::Value && a[i].raw != b[i].raw) return false;
    }
    return true;
}

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

}  // namespace

// --- shared rows ------------------------------------------------------------------------------

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

    const std::string* intern(const std::string& text) {
        auto it = keyOfText.find(text);
        if (it == keyOfText.end()) {
            const std::string* key = &*keys.insert(collation::sortKey(text)).first;
            it = keyOfText.emplace(text, key).first;
        }
        return it->second;
    }

    const SortCell& cell(uint32_t slot, int column) {
        std::vector<SortCell>& cellsOfColumn = cells[static_cast<size_t>(column)];
        if (cellsOfColumn.size() < slot) cellsOfColumn.resize(data.slots.size());
        SortCell& c = cellsOfColumn[slot - 1];
        if (c.key == nullptr) makeCell(c, data.slots[slot - 1].fields[column], data.columns[column].kind);
        return c;
    }

    void makeCell(SortCell& c, const Field& f, FieldKind kind) {
        constexpr uint64_t kSign = uint64_t{1} << 63;
        if (f.state != FieldState::Value) {
            c.key = &kNoValue;
            return;
        }
        switch (kind) {
            case FieldKind::Text: {
                c.key = intern(f.raw.str());
                // The key's first 8 bytes, big-endian; keys hold no zero byte, so the padding
                // keeps a shorter key first.
                c.word = 0;
                for (size_t i = 0; i < 8; ++i) {
                    c.word <<= 8;
                    if (i < c.key->size()) c.word |= static_cast<unsigned char>((*c.key)[i]);
                }
                return;
            }
            case FieldKind::Int32:
            case FieldKind::Int64:
                c.key = &kNumber;
                c.word = static_cast<uint64_t>(readSigned(f.raw, kind == FieldKind::Int32 ? 4 : 8)) ^ kSign;
                return;
            case FieldKind::DateTime: {
                c.key = &kNumber;
                uint64_t bits = 0;
                double d = readDouble(f.raw);
                std::memcpy(&bits, &d, sizeof bits);
                c.word = (bits & kSign) ? ~bits : bits | kSign;
                return;
            }
            case FieldKind::Other:
                break;
        }
        c.key = &kRaw;
    }

    int findColumn(const std::string& name) const {
        for (size_t i = 0; i < data.columns.size(); ++i) {
            if (data.columns[i].name == name) return static_cast<int>(i);
        }
        return -1;
    }
    int column(const std::string& name) const {
        int c = findColumn(name);
        if (c < 0) throw fieldNotFound(name);
        return c;
    }

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

std::span<const Field> TableShared::currentFields(const CatalogTable& t) {
    const CatalogTable::CursorState& c = *t.cur_;
    if (c.state != CatalogTable::State::Browsing) return c.buffer;
    if (c.current == 0) return {};
    const FieldRow& row = t.shared_->data.slots[c.current - 1].fields;
    return {row.data(), row.size()};
}

int TableShared::compareField(TableShared& s, uint32_t a, uint32_t b, int column) {
    const SortCell ca = s.cell(a, column);  // a copy: making b's cell may grow the column
    const SortCell cb = s.cell(b, column);
    // A field without a value sorts before every value; two without value are equal.
    if (ca.key == &kNoValue || cb.key == &kNoValue) {
        return ca.key == cb.key ? 0 : (ca.key == &kNoValue ? -1 : 1);
    }
    if (ca.key == &kRaw) {
        int r = s.data.slots[a - 1].fields[column].raw.compare(s.data.slots[b - 1].fields[column].raw);
        return r < 0 ? -1 : (r > 0 ? 1 : 0);
    }
    if (ca.word != cb.word) return ca.word < cb.word ? -1 : 1;
    if (ca.key == cb.key) return 0;  // equal numbers, or texts of one key
    return *ca.key < *cb.key ? -1 : 1;
}

bool TableShared::less(TableShared& s, const CatalogTable::CursorState& c, uint32_t a, uint32_t b) {
    if (c.sortColumns.empty()) return s.data.slots[a - 1].order < s.data.slots[b - 1].order;
    for (int column : c.sortColumns) {
        int r = compareField(s, a, b, column);
        if (r != 0) return r < 0;
    }
    return false;
}

bool TableShared::passes(TableShared& s, const CatalogTable::CursorState& c, uint32_t slot) {
    if (!c.filterActive) return true;
    if (c.filterColumn < 0) return false;
    return s.cell(slot, c.filterColumn).key == c.filterKey;
}

void TableShared::resolveOrdering(TableShared& s, CatalogTable::CursorState& c, const std::string& text) {
    std::vector<int> columns;
    size_t begin = 0;
    while (!text.empty()) {
        size_t end = text.find(';', begin);
        std::string name = trim(text.substr(begin, end == std::string::npos ? std::string::npos : end - begin));
        columns.push_back(s.column(name));
        if (end == std::string::npos) break;
        begin = end + 1;
    }
    c.ordering = text;
    c.sortColumns = std::move(columns);
}

// Parses "Field='literal'" (quotes inside the literal doubled) into the cursor's filter.
void TableShared::resolveFilter(TableShared& s, CatalogTable::CursorState& c, bool throwOnError) {
    c.filterActive = c.filtered && !c.filterText.empty();
    c.filterColumn = -1;
    c.filterKey = nullptr;
    if (!c.filterActive) return;
    const std::string& text = c.filterText;
    auto malformed = [&]() {
        if (throwOnError) throw Error("Invalid filter: " + text);
    };
    size_t eq = text.find('=');
    if (eq == std::string::npos) return malformed();
    std::string name = trim(text.substr(0, eq));
    std::string literal = trim(text.substr(eq + 1));
    if (literal.size() < 2 || literal.front() != '\'' || literal.back() != '\'') return malformed();
    std::string value;
    for (size_t i = 1; i + 1 < literal.size(); ++i) {
        if (literal[i] == '\'') {
            // Inside the quotes a single quote stands only doubled.
            if (i + 2 >= literal.size() || literal[i + 1] != '\'') return malformed();
            ++i;
        }
        value += literal[i];
    }
    int column = s.findColumn(name);
    if (column < 0) {
        if (throwOnError) throw fieldNotFound(name);
        return;
    }
    if (s.data.columns[column].kind != FieldKind::Text) {
        if (throwOnError) throw Error("Invalid filter: " + text);
        return;
    }
    c.filterColumn = column;
    c.filterKey = s.intern(value);
}

// Builds the view anew: current rows that pass the filter, in the default order, sorted by the
// ordering (rows with equal keys keep their default order).
void TableShared::rebuild(CatalogTable& t) {
    TableShared& s = *t.shared_;
    CatalogTable::CursorState& c = *t.cur_;
    std::vector<uint32_t> rows;
    if (c.filterActive) {
        // Only the rows of the filter's key, put in the default order.
        if (c.filterColumn >= 0) {
            TableShared::KeyGroups& g = s.groupsOf(c.filterColumn);
            auto it = g.slotsOf.find(c.filterKey);
            if (it != g.slotsOf.end()) rows = it->second;
        }
        std::sort(rows.begin(), rows.end(),
                  [&](uint32_t a, uint32_t b) { return s.data.slots[a - 1].order < s.data.slots[b - 1].order; });
    } else {
        rows.reserve(s.data.slots.size());
        for (uint32_t slot : s.orderSlots) {
            if (slot != 0) rows.push_back(slot);
        }
    }
    if (!c.sortColumns.empty()) {
        std::stable_sort(rows.begin(), rows.end(), [&](uint32_t a, uint32_t b) { return less(s, c, a, b); });
    }
    c.view.assign(rows);
}

void TableShared::send(CatalogTable& t, const Notice& n) {
    CatalogTable::CursorState& c = *t.cur_;
    if (c.observer == nullptr || c.suspended > 0) return;
    switch (n.kind) {
        case Notice::Reset: c.observer->viewReset(); break;
        case Notice::Inserted: c.observer->rowInserted(n.a); break;
        case Notice::Removed: c.observer->rowRemoved(n.a); break;
        case Notice::Moved: c.observer->rowMoved(n.a, n.b); break;
        case Notice::Changed: c.observer->rowChanged(n.a); break;
        case Notice::Current: c.observer->currentChanged(n.a); break;
        case Notice::StateChanged: c.observer->stateChanged(); break;
    }
}

void TableShared::setState(CatalogTable& t, CatalogTable::State state) {
    CatalogTable::CursorState& c = *t.cur_;
    if (state == CatalogTable::State::Browsing) {
        c.buffer.clear();
        c.written = false;
        c.editSlot = 0;
        c.editVersion = 0;
    }
    if (c.state == state) return;
    c.state = state;
    send(t, {Notice::StateChanged});
}

// Makes slot (0: none) the current row and tells the bound view when the row changed.
void TableShared::moveTo(CatalogTable& t, uint32_t slot, bool atEnd) {
    CatalogTable::CursorState& c = *t.cur_;
    c.atEnd = atEnd;
    if (c.current == slot) return;
    c.current = slot;
    send(t, {Notice::Current, slot == 0 ? -1 : c.view.indexOf(slot)});
}

// After the view was built anew: the cursor stands on current, then the bound view hears that
// everything may have changed and where the current row is.
void TableShared::viewRebuilt(CatalogTable& t, uint32_t current, bool atEnd) {
    CatalogTable::CursorState& c = *t.cur_;
    c.current = current;
    c.atEnd = atEnd || current == 0;
    send(t, {Notice::Reset});
    send(t, {Notice::Current, current == 0 ? -1 : c.view.indexOf(current)});
}

void TableShared::browseCheck(CatalogTable& t) {
    CatalogTable::CursorState& c = *t.cur_;
    if (c.state == CatalogTable::State::Browsing) return;
    if (c.written) {
        post(t);
    } else {
        setState(t, CatalogTable::State::Browsing);
    }
}

// Takes slot out of every view that holds it; a cursor standing on it moves to the row that
// followed it, or to the one before when it was the last.
void TableShared::removeFromViews(TableShared& s, uint32_t slot) {
    std::vector<std::pair<CatalogTable*, std::vector<Notice>>> notices;
    for (CatalogTable* t : s.cursors) {
        CatalogTable::CursorState& c = *t->cur_;
        int index = c.view.erase(slot);
        if (index < 0) continue;
        std::vector<Notice> list{{Notice::Removed, index}};
        if (c.current == slot) {
            int size = c.view.size();
            if (size == 0) {
                c.current = 0;
                c.atEnd = true;
                list.push_back({Notice::Current, -1});
            } else {
                int next = index < size ? index : size - 1;
                c.current = c.view.at(next);
                c.atEnd = false;
                list.push_back({Notice::Current, next});
            }
        }
        notices.emplace_back(t, std::move(list));
    }
    for (auto& [t, list] : notices) {
        for (const Notice& n : list) send(*t, n);
    }
}

void TableShared::post(CatalogTable& t) {
    TableShared& s = *t.shared_;
    CatalogTable::CursorState& self = *t.cur_;
    if (self.state == CatalogTable::State::Browsing) return;
    std::vector<std::pair<CatalogTable*, std::vector<Notice>>> notices;

    if (self.state == CatalogTable::State::Appending) {
        std::vector<Field> fields = std::move(self.buffer);
        self.state = CatalogTable::State::Browsing;
        self.buffer.clear();
        self.written = false;
        uint32_t slot = changelog::recordInsert(s.data, std::move(fields));
        s.slotAdded();
        s.placeInOrder(slot);
        s.rowAdded(slot);
        for (CatalogTable* other : s.cursors) {
            CatalogTable::CursorState& c = *other->cur_;
            if (!passes(s, c, slot)) continue;
            int index = c.view.insertSorted(slot, [&](uint32_t a, uint32_t b) { return less(s, c, a, b); });
            std::vector<Notice> list{{Notice::Inserted, index}};
            if (other == &t || c.current == 0) {
                c.current = slot;
                c.atEnd = false;
                list.push_back({Notice::Current, index});
            }
            notices.emplace_back(other, std::move(list));
        }
    } else {
        uint32_t old = self.editSlot;
        uint64_t oldVersion = self.editVersion;
        std::vector<Field> fields = std::move(self.buffer);
        self.state = CatalogTable::State::Browsing;
        self.buffer.clear();
        self.written = false;
        self.editSlot = 0;
        self.editVersion = 0;
        if (!s.stillCurrent(old, oldVersion)) {
            // Another cursor deleted or changed the row since Edit: nothing is stored.
            send(t, {Notice::StateChanged});
            throw Error(kRecordNotFound);
        }
        const FieldRow& oldFields = s.data.slots[old - 1].fields;
        if (!sameFields(fields, {oldFields.data(), oldFields.size()})) {
            uint32_t slot = changelog::recordModify(s.data, old, std::move(fields));
            s.slotAdded();
            s.placeInOrder(slot);
            s.rowRemoved(old);
            s.rowAdded(slot);
            for (CatalogTable* other : s.cursors) {
                CatalogTable::CursorState& c = *other->cur_;
                bool wasIn = c.view.contains(old);
                bool isIn = passes(s, c, slot);
                std::vector<Notice> list;
                if (wasIn && isIn) {
                    bool keysKept = true;
                    for (int column : c.sortColumns) {
                        const Field& a = s.data.slots[old - 1].fields[column];
                        const Field& b = s.data.slots[slot - 1].fields[column];
                        if (a.state != b.state || (a.state == FieldState::Value && a.raw != b.raw)) keysKept = false;
                    }
                    if (keysKept) {
                        c.view.replace(old, slot);
                        list.push_back({Notice::Changed, c.view.indexOf(slot)});
                    } else {
                        int from = c.view.erase(old);
                        int to = c.view.insertSorted(slot, [&](uint32_t a, uint32_t b) { return less(s, c, a, b); });
                        if (from != to) list.push_back({Notice::Moved, from, to});
                        list.push_back({Notice::Changed, to});
                        if (c.current == old && from != to) list.push_back({Notice::Current, to});
                    }
                    if (c.current == old) c.current = slot;
                } else if (wasIn) {
                    int index = c.view.erase(old);
                    list.push_back({Notice::Removed, index});
                    if (c.current == old) {
                        int size = c.view.size();
                        int next = size == 0 ? -1 : std::min(index, size - 1);
                        c.current = next < 0 ? 0 : c.view.at(next);
                        c.atEnd = next < 0;
                        list.push_back({Notice::Current, next});
                    }
                } else if (isIn) {
                    int index = c.view.insertSorted(slot, [&](uint32_t a, uint32_t b) { return less(s, c, a, b); });
                    list.push_back({Notice::Inserted, index});
                    if (c.current == 0) {
                        c.current = slot;
                        c.atEnd = false;
                        list.push_back({Notice::Current, index});
                    }
                }
                if (!list.empty()) notices.emplace_back(other, std::move(list));
            }
        }
    }
    for (auto& [other, list] : notices) {
        for (const Notice& n : list) send(*other, n);
    }
    send(t, {Notice::StateChanged});
}

// Called after the rows were replaced (load, failed load, empty): every cursor takes its
// ordering and filter to the new columns, builds its view anew and stands on the first row.
void TableShared::contentReplaced(TableShared& s) {
    s.columnsChanged();
    for (CatalogTable* t : s.cursors) {
        CatalogTable::CursorState& c = *t->cur_;
        try {
            resolveOrdering(s, c, c.ordering);
        } catch (const Error&) {
            // The new columns lack a sort field: fall back to the default order.
            c.ordering.clear();
            c.sortColumns.clear();
        }
        resolveFilter(s, c, false);
        rebuild(*t);
        viewRebuilt(*t, c.view.empty() ? 0 : c.view.at(0), c.view.empty());
    }
}

// --- the cursor ------------------------------------------------------------------------------

CatalogTable::CatalogTable() : shared_(std::make_shared<TableShared>()), cur_(std::make_unique<CursorState>()) {
    shared_->cursors.push_back(this);
}

CatalogTable::~CatalogTable() {
    auto& list = shared_->cursors;
    list.erase(std::remove(list.begin(), list.end(), this), list.end());
}

void CatalogTable::CloneFrom(CatalogTable& source) {
    if (&source == this) return;
    TableShared::browseCheck(*this);
    auto& list = shared_->cursors;
    list.erase(std::remove(list.begin(), list.end(), this), list.end());
    shared_ = source.shared_;
    shared_->cursors.push_back(this);

    TableShared& s = *shared_;
    CursorState& c = *cur_;
    const CursorState& src = *source.cur_;
    c.ordering = src.ordering;
    c.sortColumns = src.sortColumns;
    c.filterText.clear();
    c.filtered = false;
    c.filterActive = false;
    c.filterColumn = -1;
    c.filterKey = nullptr;
    c.state = State::Browsing;
    c.buffer.clear();
    c.written = false;
    c.editSlot = 0;
    if (!src.filterActive) {
        c.view = src.view;
    } else {
        // Every current row in the source's ordering; among rows with equal keys, those the
        // source shows keep the source's order between them.
        TableShared::rebuild(*this);
        std::vector<uint32_t> rows = c.view.toVector();
        for (size_t begin = 0; begin < rows.size();) {
            size_t end = begin + 1;
            while (end < rows.size() && !TableShared::less(s, c, rows[begin], rows[end])) ++end;
            if (end - begin > 1) {
                std::vector<size_t> places;
                std::vector<std::pair<int, uint32_t>> shown;
                for (size_t i = begin; i < end; ++i) {
                    int at = src.view.indexOf(rows[i]);
                    if (at >= 0) {
                        places.push_back(i);
                        shown.emplace_back(at, rows[i]);
                    }
                }
                std::sort(shown.begin(), shown.end());
                for (size_t k = 0; k < places.size(); ++k) rows[places[k]] = shown[k].second;
            }
            begin = end;
        }
        c.view.assign(rows);
    }
    // The source's current row; a source with an empty view leaves the clone on its first row.
    if (src.current != 0) {
        TableShared::viewRebuilt(*this, src.current, src.atEnd);
    } else {
        TableShared::viewRebuilt(*this, c.view.empty() ? 0 : c.view.at(0), c.view.empty());
    }
}

// --- ordering and filter

void CatalogTable::SetOrdering(const std::string& fields) {
    TableShared::browseCheck(*this);
    if (fields == cur_->ordering) return;
    TableShared::resolveOrdering(*shared_, *cur_, fields);
    TableShared::rebuild(*this);
    CursorState& c = *cur_;
    if (c.current != 0 && c.view.contains(c.current)) {
        TableShared::viewRebuilt(*this, c.current, c.atEnd);
    } else {
        TableShared::viewRebuilt(*this, c.view.empty() ? 0 : c.view.at(0), c.view.empty());
    }
}

const std::string& CatalogTable::Ordering() const { return cur_->ordering; }

void CatalogTable::SetFilterText(const std::string& text) {
    if (!cur_->filtered) {
        cur_->filterText = text;
        return;
    }
    TableShared::browseCheck(*this);
    if (text != cur_->filterText) {
        CursorState probe;
        probe.filtered = true;
        probe.filterText = text;
        TableShared::resolveFilter(*shared_, probe, true);
        cur_->filterText = text;
        TableShared::resolveFilter(*shared_, *cur_, true);
        TableShared::rebuild(*this);
        TableShared::viewRebuilt(*this, cur_->view.empty() ? 0 : cur_->view.at(0), cur_->view.empty());
        return;
    }
    First();
}

const std::string& CatalogTable::FilterText() const { return cur_->filterText; }

void CatalogTable::SetFiltered(bool on) {
    TableShared::browseCheck(*this);
    if (on != cur_->filtered) {
        CursorState probe;
        probe.filtered = on;
        probe.filterText = cur_->filterText;
        TableShared::resolveFilter(*shared_, probe, true);
        cur_->filtered = on;
        TableShared::resolveFilter(*shared_, *cur_, true);
        TableShared::rebuild(*this);
        TableShared::viewRebuilt(*this, cur_->view.empty() ? 0 : cur_->view.at(0), cur_->view.empty());
        return;
    }
    First();
}

bool CatalogTable::Filtered() const { return cur_->filtered; }

std::string CatalogTable::parentFilter(const std::string& name) {
    std::string text = "ParentName='";
    for (char ch : name) {
        text += ch;
        if (ch == '\'') text += '\'';
    }
    text += '\'';
    return text;
}

// --- moving

void CatalogTable::First() {
    TableShared::browseCheck(*this);
    bool empty = cur_->view.empty();
    TableShared::moveTo(*this, empty ? 0 : cur_->view.at(0), empty);
}

void CatalogTable::Next() {
    TableShared::browseCheck(*this);
    CursorState& c = *cur_;
    if (c.current == 0) {
        c.atEnd = true;
        return;
    }
    int index = c.view.indexOf(c.current);
    if (index + 1 >= c.view.size()) {
        c.atEnd = true;
        return;
    }
    TableShared::moveTo(*this, c.view.at(index + 1), false);
}

bool CatalogTable::AtEnd() const { return cur_->atEnd || cur_->view.empty(); }

bool CatalogTable::IsEmpty() const { return cur_->view.empty(); }

int CatalogTable::RecordNumber() const { return cur_->current == 0 ? 0 : cur_->view.indexOf(cur_->current) + 1; }

void CatalogTable::SetRecordNumber(int n) {
    TableShared::browseCheck(*this);
    if (n == RecordNumber()) return;
    if (n < 1 || n > cur_->view.size()) throw Error("", kRecordNumberOutOfRange);
    TableShared::moveTo(*this, cur_->view.at(n - 1), false);
}

int CatalogTable::ViewSize() const { return cur_->view.size(); }

// --- changing rows

void CatalogTable::Append() {
    TableShared::browseCheck(*this);
    if (shared_->data.columns.empty()) throw Error(kClosedDataset);
    cur_->buffer.assign(shared_->data.columns.size(), Field{});
    cur_->written = false;
    TableShared::setState(*this, State::Appending);
}

void CatalogTable::Edit() {
    TableShared::browseCheck(*this);
    if (cur_->current == 0) {
        Append();
        return;
    }
    if (shared_->data.columns.empty()) throw Error(kClosedDataset);
    CursorState& c = *cur_;
    c.editSlot = c.current;
    c.editVersion = shared_->serial[c.current - 1];
    const FieldRow& row = shared_->data.slots[c.current - 1].fields;
    c.buffer.assign(row.begin(), row.end());
    c.written = false;
    TableShared::setState(*this, State::Editing);
}

void CatalogTable::Post() { TableShared::post(*this); }

void CatalogTable::DeleteCurrent() {
    TableShared& s = *shared_;
    CursorState& c = *cur_;
    if (c.state == State::Appending) {
        TableShared::setState(*this, State::Browsing);
        return;
    }
    uint32_t target = c.current;
    if (c.state == State::Editing) {
        target = c.editSlot;
        bool stale = !s.stillCurrent(c.editSlot, c.editVersion);
        TableShared::setState(*this, State::Browsing);
        // The edited row went away through another cursor: do not delete whatever stands there now.
        if (stale) throw Error(kRecordNotFound);
    }
    if (target == 0) throw Error(kEmptyDataset);
    changelog::recordDelete(s.data, target);
    s.orderSlots[s.data.slots[target - 1].order] = 0;
    s.rowRemoved(target);
    TableShared::removeFromViews(s, target);
}

CatalogTable::State CatalogTable::GetState() const { return cur_->state; }

// --- fields

namespace {

// The field at column when it holds a value; nullptr otherwise or without a row.
const Field* fieldOf(std::span<const Field> fields, int column) {
    if (static_cast<size_t>(column) >= fields.size()) return nullptr;
    const Field& f = fields[static_cast<size_t>(column)];
    return f.state == FieldState::Value ? &f : nullptr;
}

std::string textOf(const Column& col, const Field* f) {
    if (col.kind != FieldKind::Text) throw wrongType(col);
    return f ? f->raw.str() : std::string();
}

int64_t integerOf(const Column& col, const Field* f) {
    if (col.kind != FieldKind::Int32 && col.kind != FieldKind::Int64) throw wrongType(col);
    return f ? readSigned(f->raw, col.kind == FieldKind::Int32 ? 4 : 8) : 0;
}

double dateTimeOf(const Column& col, const Field* f) {
    if (col.kind != FieldKind::DateTime) throw wrongType(col);
    return f ? (readDouble(f->raw) - kOriginMs) / kMsPerDay : 0.0;
}

}  // namespace


std::string CatalogTable::GetText(const std::string& field) const {
    int c = shared_->column(field);
    return textOf(shared_->data.columns[c], fieldOf(TableShared::currentFields(*this), c));
}

int32_t CatalogTable::GetInteger(const std::string& field) const {
    int c = shared_->column(field);
    // The low 32 bits, as a signed value, also of a 64-bit field.
    return static_cast<int32_t>(static_cast<uint32_t>(
        static_cast<uint64_t>(integerOf(shared_->data.columns[c], fieldOf(TableShared::currentFields(*this), c)))));
}

int64_t CatalogTable::GetInt64(const std::string& field) const {
    int c = shared_->column(field);
    return integerOf(shared_->data.columns[c], fieldOf(TableShared::currentFields(*this), c));
}

double CatalogTable::GetDateTime(const std::string& field) const {
    int c = shared_->column(field);
    return dateTimeOf(shared_->data.columns[c], fieldOf(TableShared::currentFields(*this), c));
}

bool CatalogTable::HasValue(const std::string& field) const {
    int c = shared_->column(field);
    return fieldOf(TableShared::currentFields(*this), c) != nullptr;
}

namespace {

Field& writable(TableShared& s, CatalogTable::State state, std::vector<Field>& buffer, const std::string& name,
                int& column) {
    column = s.column(name);
    if (state == CatalogTable::State::Browsing) throw Error(kNotEditing);
    return buffer[column];
}

}  // namespace

void CatalogTable::SetText(const std::string& field, const std::string& value) {
    int c = 0;
    Field& f = writable(*shared_, cur_->state, cur_->buffer, field, c);
    const Column& col = shared_->data.columns[c];
    if (col.kind != FieldKind::Text) throw wrongType(col);
    std::string text = value.substr(0, value.find('\0'));
    if (col.width > 0 && text.size() > col.width) text.resize(col.width);
    while (!text.empty() && text.back() == ' ') text.pop_back();
    f = Field{FieldState::Value, std::move(text)};
    cur_->written = true;
}

void CatalogTable::SetInteger(const std::string& field, int32_t value) {
    int c = 0;
    Field& f = writable(*shared_, cur_->state, cur_->buffer, field, c);
    const Column& col = shared_->data.columns[c];
    if (col.kind == FieldKind::Int32) {
        f = Field{FieldState::Value, rawOf(&value, 4)};
    } else if (col.kind == FieldKind::Int64) {
        int64_t wide = value;  // sign-extended
        f = Field{FieldState::Value, rawOf(&wide, 8)};
    } else {
        throw wrongType(col);
    }
    cur_->written = true;
}

void CatalogTable::SetDateTime(const std::string& field, double value) {
    int c = 0;
    Field& f = writable(*shared_, cur_->state, cur_->buffer, field, c);
    const Column& col = shared_->data.columns[c];
    if (col.kind != FieldKind::DateTime) throw wrongType(col);
    if (!std::isfinite(value)) throw Error("Invalid date-time value for field '" + col.name + "'");
    // Whole milliseconds, halves to even, stored as milliseconds since 0001-01-01.
    double stored = std::nearbyint(value * kMsPerDay) + kOriginMs;
    f = Field{FieldState::Value, rawOf(&stored, 8)};
    cur_->written = true;
}

namespace {

std::span<const Field> rowAt(const TableShared& s, const SharedView& view, int index) {
    if (index < 0 || index >= view.size()) throw Error("Row " + std::to_string(index) + " is outside the view");
    const FieldRow& row = s.data.slots[view.at(index) - 1].fields;
    return {row.data(), row.size()};
}

}  // namespace

std::string CatalogTable::TextAt(int index, const std::string& field) const {
    int c = shared_->column(field);
    return textOf(shared_->data.columns[c], fieldOf(rowAt(*shared_, cur_->view, index), c));
}

int64_t CatalogTable::IntegerAt(int index, const std::string& field) const {
    int c = shared_->column(field);
    return integerOf(shared_->data.columns[c], fieldOf(rowAt(*shared_, cur_->view, index), c));
}

double CatalogTable::DateTimeAt(int index, const std::string& field) const {
    int c = shared_->column(field);
    return dateTimeOf(shared_->data.columns[c], fieldOf(rowAt(*shared_, cur_->view, index), c));
}

bool CatalogTable::HasValueAt(int index, const std::string& field) const {
    int c = shared_->column(field);
    return fieldOf(rowAt(*shared_, cur_->view, index), c) != nullptr;
}

// --- bookmarks

std::optional<Bookmark> CatalogTable::GetBookmark() const {
    const CursorState& c = *cur_;
    if (c.current == 0 || c.state == State::Appending) return std::nullopt;
    uint32_t slot = c.state == State::Editing ? c.editSlot : c.current;
    return Bookmark{slot, c.view.indexOf(c.current) + 1, shared_->serial[slot - 1]};
}

void CatalogTable::GotoBookmark(const std::optional<Bookmark>& bookmark) {
    TableShared::browseCheck(*this);
    if (!bookmark) return;
    if (!shared_->stillCurrent(bookmark->slot, bookmark->version) || !cur_->view.contains(bookmark->slot)) {
        throw Error(kRecordNotFound);
    }
    TableShared::moveTo(*this, bookmark->slot, false);
}

int CatalogTable::CompareBookmarks(const Bookmark& a, const Bookmark& b) {
    return a.recordNumber < b.recordNumber ? -1 : (a.recordNumber > b.recordNumber ? 1 : 0);
}

// --- notifications

void CatalogTable::Bind(CatalogObserver* observer) { cur_->observer = observer; }

void CatalogTable::SuspendNotifications() {
    if (cur_->suspended++ == 0) cur_->stateAtSuspend = cur_->state;
}

void CatalogTable::ResumeNotifications() {
    CursorState& c = *cur_;
    if (c.suspended == 0) return;
    if (--c.suspended > 0) return;
    if (c.state != c.stateAtSuspend) TableShared::send(*this, {Notice::StateChanged});
    TableShared::send(*this, {Notice::Reset});
}

// --- the table's rows

void CatalogTable::MergeChanges() {
    TableShared::browseCheck(*this);
    changelog::merge(shared_->data);
    shared_->slotsTruncated();
}

void CatalogTable::EmptyTable() {
    TableShared::browseCheck(*this);
    changelog::empty(shared_->data);
    TableShared::contentReplaced(*shared_);
}

void CatalogTable::SavePacket(Stream& stream) {
    std::vector<uint8_t> bytes = PacketBytes();
    stream.write(bytes.data(), bytes.size());
}

std::vector<uint8_t> CatalogTable::PacketBytes() {
    TableShared::browseCheck(*this);
    return datapacket::write(shared_->data);
}

void CatalogTable::LoadPacket(Stream& stream) {
    TableShared::browseCheck(*this);
    TableShared& s = *shared_;
    int64_t remaining = stream.size() - stream.position();
    if (remaining <= 0) {
        // No packet: the content stays; the view is built anew on its first row.
        TableShared::rebuild(*this);
        TableShared::viewRebuilt(*this, cur_->view.empty() ? 0 : cur_->view.at(0), cur_->view.empty());
        return;
    }
    try {
        std::vector<uint8_t> bytes(static_cast<size_t>(remaining));
        stream.readExact(bytes.data(), bytes.size());
        TableData loaded = datapacket::read(bytes.data(), bytes.size());
        // The packet's row order is the default order.
        for (size_t i = 0; i < loaded.slots.size(); ++i) loaded.slots[i].order = i + 1;
        loaded.nextOrder = loaded.slots.size() + 1;
        s.data = std::move(loaded);
    } catch (...) {
        // The table is left closed: no fields, no rows.
        s.data = TableData{};
        TableShared::contentReplaced(s);
        throw;
    }
    TableShared::contentReplaced(s);
}

const TableData& CatalogTable::Data() const { return shared_->data; }

}  // namespace oru
