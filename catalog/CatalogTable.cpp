// SPDX-License-Identifier: GPL-3.0-or-later
// The catalog table's cursor: ordering, filter, view, current row and the row being edited.
// The rows themselves live in the shared row store (TableShared.cpp).
#include "catalog/CatalogTable.h"

#include <algorithm>
#include <cmath>
#include <cstring>

#include "catalog/ChangeLog.h"
#include "catalog/Datapacket.h"
#include "catalog/TableShared.h"
#include "platform/Error.h"
#include "platform/Stream.h"

namespace oru {

namespace {

constexpr double kMsPerDay = 86400000.0;
// Milliseconds from 0001-01-01 (day 1) to 1899-12-30, the date-time origin: 693,594 days.
constexpr double kOriginMs = 693594.0 * kMsPerDay;

Error wrongType(const Column& c) { return Error(ErrorKind::FieldType, {.detail = c.name}); }

std::string_view rawOf(const void* p, size_t n) { return std::string_view(static_cast<const char*>(p), n); }

}  // namespace

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
    if (n < 1 || n > cur_->view.size()) throw Error(ErrorKind::CatalogStatus, {.status = kRecordNumberOutOfRange});
    TableShared::moveTo(*this, cur_->view.at(n - 1), false);
}

int CatalogTable::ViewSize() const { return cur_->view.size(); }

// --- changing rows

void CatalogTable::Append() {
    TableShared::browseCheck(*this);
    if (shared_->data.columns.empty()) throw Error(ErrorKind::ClosedDataset, {});
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
    if (shared_->data.columns.empty()) throw Error(ErrorKind::ClosedDataset, {});
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
        if (stale) throw Error(ErrorKind::RecordNotFound, {});
    }
    if (target == 0) throw Error(ErrorKind::EmptyDataset, {});
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
    if (state == CatalogTable::State::Browsing) throw Error(ErrorKind::NotEditing, {});
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

void CatalogTable::SetBytes(const std::string& field, std::string_view value) {
    int c = 0;
    Field& f = writable(*shared_, cur_->state, cur_->buffer, field, c);
    const Column& col = shared_->data.columns[c];
    if (col.kind != FieldKind::Text) throw wrongType(col);
    // A text ends at a zero byte in a packet, so one inside could not come back.
    if ((col.width > 0 && value.size() > col.width) || value.find('\0') != std::string_view::npos) {
        throw Error(ErrorKind::InvalidValue, {.detail = col.name});
    }
    f = Field{FieldState::Value, FieldBytes(value)};
    cur_->written = true;
}

void CatalogTable::SetInt64(const std::string& field, int64_t value) {
    int c = 0;
    Field& f = writable(*shared_, cur_->state, cur_->buffer, field, c);
    const Column& col = shared_->data.columns[c];
    if (col.kind == FieldKind::Int64) {
        f = Field{FieldState::Value, rawOf(&value, 8)};
    } else if (col.kind == FieldKind::Int32) {
        if (value < INT32_MIN || value > INT32_MAX) throw Error(ErrorKind::InvalidValue, {.detail = col.name});
        const int32_t narrow = static_cast<int32_t>(value);
        f = Field{FieldState::Value, rawOf(&narrow, 4)};
    } else {
        throw wrongType(col);
    }
    cur_->written = true;
}

void CatalogTable::SetUnassigned(const std::string& field) {
    int c = 0;
    Field& f = writable(*shared_, cur_->state, cur_->buffer, field, c);
    f = Field{};
    cur_->written = true;
}

bool CatalogTable::HasField(const std::string& field) const { return shared_->findColumn(field) >= 0; }

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
    if (!std::isfinite(value)) throw Error(ErrorKind::InvalidValue, {.detail = col.name});
    // Whole milliseconds, halves to even, stored as milliseconds since 0001-01-01.
    double stored = std::nearbyint(value * kMsPerDay) + kOriginMs;
    f = Field{FieldState::Value, rawOf(&stored, 8)};
    cur_->written = true;
}

namespace {

std::span<const Field> rowAt(const TableShared& s, const SharedView& view, int index) {
    if (index < 0 || index >= view.size()) throw Error(ErrorKind::RowOutOfRange, {.count = index});
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
        throw Error(ErrorKind::RecordNotFound, {});
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

void CatalogTable::AddColumns(const std::vector<Column>& columns) {
    TableShared& s = *shared_;
    if (s.data.columns.empty()) throw Error(ErrorKind::ClosedDataset, {});
    for (size_t i = 0; i < columns.size(); ++i) {
        bool repeated = s.findColumn(columns[i].name) >= 0;
        for (size_t j = 0; j < i; ++j) repeated = repeated || columns[j].name == columns[i].name;
        if (repeated) throw Error(ErrorKind::InvalidValue, {.detail = columns[i].name});
    }
    if (columns.empty()) return;
    const size_t count = s.data.columns.size() + columns.size();
    s.data.columns.insert(s.data.columns.end(), columns.begin(), columns.end());
    for (Slot& slot : s.data.slots) slot.fields.resize(count);
    for (CatalogTable* cursor : s.cursors) {
        if (cursor->cur_->state != State::Browsing) cursor->cur_->buffer.resize(count);
    }
    s.columnsAppended();
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
