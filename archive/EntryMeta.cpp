// SPDX-License-Identifier: GPL-3.0-or-later
#include "archive/EntryMeta.h"

#include "catalog/ArchiveSchema.h"
#include "catalog/CatalogTable.h"
#include "platform/Clock.h"
#include "platform/CodePage.h"

namespace oru::entrymeta {
namespace {

// The values of one row: has(field) tells whether the row holds a readable value there.
template <typename HasValue, typename Text, typename Integer>
EntryMeta readWith(HasValue has, Text text, Integer integer) {
    EntryMeta m;
    if (has(schema::kTrueName)) m.trueName = text(schema::kTrueName);
    if (has(schema::kNameBytes)) m.nameBytes = text(schema::kNameBytes);
    if (has(schema::kMode)) m.mode = static_cast<uint32_t>(integer(schema::kMode));
    if (has(schema::kLinkTarget)) m.linkTarget = text(schema::kLinkTarget);
    if (has(schema::kModifiedNs)) m.modifiedNs = integer(schema::kModifiedNs);
    return m;
}

// Whether field is a column of the kind this system writes there: a column of that name but of
// another kind (a foreign writer's) holds nothing this system knows how to read.
bool kindFits(const CatalogTable& catalog, const char* field) {
    static const std::vector<Column> extension = TableData::extensionColumns();
    for (const Column& c : catalog.Data().columns) {
        if (c.name != field) continue;
        for (const Column& ours : extension) {
            if (ours.name == field) return c.kind == ours.kind;
        }
    }
    return false;
}

}  // namespace

bool hasColumns(const CatalogTable& catalog) {
    return catalog.HasField(schema::kTrueName) && catalog.HasField(schema::kNameBytes) &&
           catalog.HasField(schema::kMode) && catalog.HasField(schema::kLinkTarget) &&
           catalog.HasField(schema::kModifiedNs);
}

void addColumns(CatalogTable& catalog) {
    std::vector<Column> missing;
    for (Column& c : TableData::extensionColumns()) {
        if (!catalog.HasField(c.name)) missing.push_back(std::move(c));
    }
    catalog.AddColumns(missing);
}

EntryMeta read(const CatalogTable& catalog) {
    return readWith(
        [&](const char* f) { return kindFits(catalog, f) && catalog.HasValue(f); },
        [&](const char* f) { return catalog.GetText(f); },
        [&](const char* f) { return catalog.GetInt64(f); });
}

EntryMeta readAt(const CatalogTable& catalog, int index) {
    return readWith(
        [&](const char* f) { return kindFits(catalog, f) && catalog.HasValueAt(index, f); },
        [&](const char* f) { return catalog.TextAt(index, f); },
        [&](const char* f) { return catalog.IntegerAt(index, f); });
}

void write(CatalogTable& catalog, const EntryMeta& meta) {
    auto text = [&](const char* f, const std::optional<std::string>& v) {
        if (v) catalog.SetBytes(f, *v); else catalog.SetUnassigned(f);
    };
    text(schema::kTrueName, meta.trueName);
    text(schema::kNameBytes, meta.nameBytes);
    if (meta.mode) catalog.SetInt64(schema::kMode, static_cast<int32_t>(*meta.mode)); else catalog.SetUnassigned(schema::kMode);
    text(schema::kLinkTarget, meta.linkTarget);
    if (meta.modifiedNs) {
        catalog.SetInt64(schema::kModifiedNs, *meta.modifiedNs);
        int64_t seconds = *meta.modifiedNs / 1000000000;
        int64_t nanos = *meta.modifiedNs % 1000000000;
        if (nanos < 0) {
            nanos += 1000000000;
            --seconds;
        }
        catalog.SetDateTime(schema::kFileDate, clock::fromUnix(seconds, nanos));
    } else {
        catalog.SetUnassigned(schema::kModifiedNs);
    }
}

std::string trueNameAt(const CatalogTable& catalog, int index) {
    if (kindFits(catalog, schema::kTrueName) && catalog.HasValueAt(index, schema::kTrueName)) {
        return catalog.TextAt(index, schema::kTrueName);
    }
    return cp950::toUtf8(catalog.TextAt(index, schema::kFileName));
}

std::string trueName(const CatalogTable& catalog) {
    if (kindFits(catalog, schema::kTrueName) && catalog.HasValue(schema::kTrueName)) {
        return catalog.GetText(schema::kTrueName);
    }
    return cp950::toUtf8(catalog.GetText(schema::kFileName));
}

}  // namespace oru::entrymeta
