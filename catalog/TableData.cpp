#include "catalog/TableData.h"

#include <algorithm>
#include <utility>

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

std::vector<Column> TableData::archiveSchema() {
    // Type codes: class in bits 16-21, width (or length-prefix width) in bits 0-15, 0x00400000 =
    // varying. Texts are varying strings with a 1-byte length prefix, 40 bytes wide.
    constexpr uint32_t kText = 0x00490001, kInt32 = 0x00010004, kInt64 = 0x00010008, kDateTime = 0x00080008;
    constexpr uint16_t kNameWidth = 40;
    return {
        makeColumn("FileName", kText, FieldKind::Text, kNameWidth),
        makeColumn("ParentName", kText, FieldKind::Text, kNameWidth),
        makeColumn("FileType", kInt32, FieldKind::Int32, 4),
        makeColumn("Offset", kInt64, FieldKind::Int64, 8),
        makeColumn("OriginalSize", kInt64, FieldKind::Int64, 8),
        makeColumn("StoredSize", kInt64, FieldKind::Int64, 8),
        makeColumn("FileDate", kDateTime, FieldKind::DateTime, 8),
        makeColumn("CheckinDate", kDateTime, FieldKind::DateTime, 8),
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
