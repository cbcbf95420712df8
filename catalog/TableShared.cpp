// SPDX-License-Identifier: GPL-3.0-or-later
// The shared row store of a catalog table: how a change reaches every cursor on the rows.
#include "catalog/TableShared.h"

#include <algorithm>
#include <cstring>

#include "catalog/ChangeLog.h"
#include "platform/Collation.h"
#include "platform/Error.h"

namespace oru {

Error fieldNotFound(const std::string& name) { return Error(ErrorKind::FieldNotFound, {.detail = name}); }

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

namespace {

std::string trim(const std::string& s) {
    size_t b = s.find_first_not_of(" \t");
    if (b == std::string::npos) return {};
    size_t e = s.find_last_not_of(" \t");
    return s.substr(b, e - b + 1);
}

bool sameFields(std::span<const Field> a, std::span<const Field> b) {
    if (a.size() != b.size()) return false;
    for (size_t i = 0; i < a.size(); ++i) {
        if (a[i].state != b[i].state) return false;
        if (a[i].state == FieldState::Value && a[i].raw != b[i].raw) return false;
    }
    return true;
}

}  // namespace

const std::string* TableShared::intern(const std::string& text) {
    auto it = keyOfText.find(text);
    if (it == keyOfText.end()) {
        const std::string* key = &*keys.insert(collation::sortKey(text)).first;
        it = keyOfText.emplace(text, key).first;
    }
    return it->second;
}

void TableShared::makeCell(SortCell& c, const Field& f, FieldKind kind) {
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

int TableShared::column(const std::string& name) const {
    int c = findColumn(name);
    if (c < 0) throw fieldNotFound(name);
    return c;
}

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
        if (throwOnError) throw Error(ErrorKind::InvalidFilter, {.detail = text});
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
        if (throwOnError) throw Error(ErrorKind::InvalidFilter, {.detail = text});
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
            throw Error(ErrorKind::RecordNotFound, {});
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

}  // namespace oru
