// SPDX-License-Identifier: GPL-3.0-or-later
#include "catalog/TableData.h"

#include <algorithm>
#include <ostream>
#include <stdexcept>
#include <utility>

#include "catalog/ArchiveSchema.h"

namespace oru {

namespace {

Column makeColumn(const char* name, uint32_t typeCode, FieldKind kind, uint16_t width) {
    Column c;
    c.name = name;
    c.typeCode = typeCode;
    c.kind = kind;
    c.width = width;
    return c;
}

}  // namespace

FieldBytes& FieldBytes::assign(std::string_view s) {
    if (s.size() <= kInline) {
        // Through a copy: s may be a part of these very bytes.
        unsigned char tmp[kInline];
        if (!s.empty()) std::memcpy(tmp, s.data(), s.size());
        release();
        if (!s.empty()) std::memcpy(b_, tmp, s.size());
        len_ = static_cast<uint8_t>(s.size());
        return *this;
    }
    if (s.size() > UINT32_MAX) throw std::length_error("a field value is too long");
    char* block = new char[s.size()];
    std::memcpy(block, s.data(), s.size());
    release();
    const auto n = static_cast<uint32_t>(s.size());
    std::memcpy(b_, &n, sizeof n);
    std::memcpy(b_ + 4, &block, sizeof block);
    len_ = kHeap;
    return *this;
}

std::ostream& operator<<(std::ostream& out, const FieldBytes& b) { return out << b.view(); }

FieldRow::FieldRow(std::vector<Field>&& fields) {
    if (fields.size() > kInline) {
        heap_ = std::move(fields);
        size_ = static_cast<uint32_t>(heap_.size());
        return;
    }
    for (size_t i = 0; i < fields.size(); ++i) inline_[i] = std::move(fields[i]);
    size_ = static_cast<uint32_t>(fields.size());
}

void FieldRow::assign(const Field* first, const Field* last) {
    const auto n = static_cast<size_t>(last - first);
    if (n > kInline) {
        std::vector<Field> copy(first, last);  // first may point into this row
        for (Field& f : inline_) f = Field{};
        heap_ = std::move(copy);
    } else {
        Field copy[kInline];
        for (size_t i = 0; i < n; ++i) copy[i] = first[i];
        for (size_t i = 0; i < kInline; ++i) inline_[i] = std::move(copy[i]);
        heap_ = {};
    }
    size_ = static_cast<uint32_t>(n);
}

void FieldRow::take(FieldRow&& o) noexcept {
    for (size_t i = 0; i < kInline; ++i) inline_[i] = std::move(o.inline_[i]);
    heap_ = std::move(o.heap_);
    size_ = o.size_;
    o.heap_ = {};
    o.size_ = 0;
}

void FieldRow::resize(size_t n, const Field& value) {
    if (n == size_) return;
    if (n <= kInline && size_ <= kInline) {
        for (size_t i = size_; i < n; ++i) inline_[i] = value;
        for (size_t i = n; i < size_; ++i) inline_[i] = Field{};
        size_ = static_cast<uint32_t>(n);
        return;
    }
    std::vector<Field> fields(begin(), begin() + std::min<size_t>(n, size_));
    fields.resize(n, value);
    *this = FieldRow(std::move(fields));
}

void FieldRow::push_back(Field f) {
    std::vector<Field> fields(begin(), end());
    fields.push_back(std::move(f));
    *this = FieldRow(std::move(fields));
}

std::vector<Column> TableData::archiveSchema() {
    // Type codes: class in bits 16-21, width (or length-prefix width) in bits 0-15, 0x00400000 =
    // varying. Texts are varying strings with a 1-byte length prefix, 40 bytes wide.
    constexpr uint32_t kText = 0x00490001, kInt32 = 0x00010004, kInt64 = 0x00010008, kDateTime = 0x00080008;
    constexpr uint16_t kNameWidth = 40;
    return {
        makeColumn(schema::kFileName, kText, FieldKind::Text, kNameWidth),
        makeColumn(schema::kParentName, kText, FieldKind::Text, kNameWidth),
        makeColumn(schema::kFileType, kInt32, FieldKind::Int32, 4),
        makeColumn(schema::kOffset, kInt64, FieldKind::Int64, 8),
        makeColumn(schema::kOriginalSize, kInt64, FieldKind::Int64, 8),
        makeColumn(schema::kStoredSize, kInt64, FieldKind::Int64, 8),
        makeColumn(schema::kFileDate, kDateTime, FieldKind::DateTime, 8),
        makeColumn(schema::kCheckinDate, kDateTime, FieldKind::DateTime, 8),
    };
}

std::vector<Column> TableData::extensionColumns() {
    // A text whose width with its terminator reaches 255 bytes counts its length in two bytes.
    constexpr uint32_t kLongText = 0x00490002, kInt32 = 0x00010004, kInt64 = 0x00010008;
    return {
        makeColumn(schema::kTrueName, kLongText, FieldKind::Text, static_cast<uint16_t>(schema::kTrueNameWidth)),
        makeColumn(schema::kNameBytes, kLongText, FieldKind::Text, static_cast<uint16_t>(schema::kNameBytesWidth)),
        makeColumn(schema::kMode, kInt32, FieldKind::Int32, 4),
        makeColumn(schema::kLinkTarget, kLongText, FieldKind::Text, static_cast<uint16_t>(schema::kLinkTargetWidth)),
        makeColumn(schema::kModifiedNs, kInt64, FieldKind::Int64, 8),
    };
}

std::vector<uint32_t> TableData::defaultOrder() const {
    std::vector<std::pair<uint64_t, uint32_t>> keyed;
    keyed.reserve(slots.size());
    for (uint32_t n = 1; n <= slots.size(); ++n) {
        if (isCurrent(n)) keyed.emplace_back(slots[n - 1].order, n);
    }
    // Order keys are unique among current rows; the slot number only makes the result definite
    // for hand-made data that repeats a key.
    if (!std::is_sorted(keyed.begin(), keyed.end())) std::sort(keyed.begin(), keyed.end());
    std::vector<uint32_t> result;
    result.reserve(keyed.size());
    for (const auto& k : keyed) result.push_back(k.second);
    return result;
}

}  // namespace oru
