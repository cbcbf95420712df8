// SPDX-License-Identifier: GPL-3.0-or-later
// Fuzz target for the catalog datapacket reader. Whatever the reader accepts must be writable;
// the written packet must read back as the same table (less what the writer leaves out by design:
// without a change log, the rows outside the default order) and write again to the same bytes.
//
// With ORU_FUZZ_WRITE_SEEDS=DIR in the environment the target first writes a few packets made by
// the project's own writer into DIR, as a seed corpus (fuzz/run-short does this).
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <string>
#include <vector>

#include "catalog/Datapacket.h"
#include "catalog/TableData.h"
#include "platform/Error.h"

namespace {

using namespace oru;

void check(bool ok, const char* what) {
    if (!ok) {
        std::fprintf(stderr, "packet_fuzz: %s\n", what);
        std::abort();
    }
}

bool sameProperties(const std::vector<Property>& a, const std::vector<Property>& b) {
    if (a.size() != b.size()) return false;
    for (size_t i = 0; i < a.size(); ++i) {
        if (a[i].name != b[i].name || a[i].typeCode != b[i].typeCode || a[i].value != b[i].value) return false;
    }
    return true;
}

bool sameColumn(const Column& a, const Column& b) {
    return a.name == b.name && a.typeCode == b.typeCode && a.kind == b.kind &&
           a.attributes == b.attributes && a.width == b.width && a.decimals == b.decimals &&
           a.hasSubtype == b.hasSubtype && a.subtype == b.subtype && a.calculated == b.calculated &&
           sameProperties(a.extraProperties, b.extraProperties);
}

bool sameSlot(const Slot& a, const Slot& b) {
    if (a.status != b.status || a.fields.size() != b.fields.size()) return false;
    for (size_t j = 0; j < a.fields.size(); ++j) {
        if (a.fields[j].state != b.fields[j].state || a.fields[j].raw != b.fields[j].raw) return false;
    }
    return true;
}

// The slots a packet of t lists: all of them under a change log; else the current rows in the
// default order, or when there is none every slot that is not freed.
std::vector<const Slot*> listedSlots(const TableData& t) {
    std::vector<const Slot*> out;
    if (!t.log.empty()) {
        for (const Slot& s : t.slots) out.push_back(&s);
        return out;
    }
    for (uint32_t n : t.defaultOrder()) out.push_back(&t.slots[n - 1]);
    if (out.empty()) {
        for (const Slot& s : t.slots) {
            if ((s.status & status::kFreed) == 0) out.push_back(&s);
        }
    }
    return out;
}

void checkReadBack(const TableData& first, const TableData& second) {
    check(first.columns.size() == second.columns.size(), "column count changed");
    for (size_t j = 0; j < first.columns.size(); ++j) {
        check(sameColumn(first.columns[j], second.columns[j]), "a column changed");
    }
    check(sameProperties(first.extraTableProperties, second.extraTableProperties),
          "the table properties changed");
    check(first.log == second.log, "the change log changed");
    const std::vector<const Slot*> listed = listedSlots(first);
    check(listed.size() == second.slots.size(), "the row count changed");
    for (size_t r = 0; r < listed.size(); ++r) check(sameSlot(*listed[r], second.slots[r]), "a row changed");
}

// --- Seeds ---------------------------------------------------------------------------------------

template <typename T>
Field number(T v) {
    Field f{FieldState::Value, std::string(sizeof v, '\0')};
    std::memcpy(f.raw.data(), &v, sizeof v);
    return f;
}
Field text(const std::string& s) { return Field{FieldState::Value, s}; }

Slot entry(uint8_t st, const std::string& name, const std::string& parent, bool folder, uint64_t order) {
    const Field none;
    Slot s{st, order, {text(name), text(parent), number<int32_t>(folder ? 0 : 1), none, none, none, none,
                       number(63245361600000.0)}};
    if (!folder) {
        s.fields[3] = number<int64_t>(16);
        s.fields[4] = number<int64_t>(5);
        s.fields[5] = number<int64_t>(13);
    }
    return s;
}

std::vector<TableData> seedTables() {
    TableData empty;
    empty.columns = TableData::archiveSchema();

    TableData added = empty;
    added.slots = {entry(0x04, "docs", "", true, 1), entry(0x04, "a.txt", "docs", false, 2),
                   entry(0x04, "b", "", false, 3)};
    added.log = {{1, 0, logkind::kInsert}, {2, 0, logkind::kInsert}, {3, 0, logkind::kInsert}};

    TableData compacted = added;
    compacted.slots[1].status = 0x05;
    compacted.slots.push_back(entry(0x0C, "a.txt", "docs", false, 2));
    compacted.slots[2].status = 0x06;
    compacted.log.push_back({4, 2, logkind::kModify});
    compacted.log.push_back({3, 0, logkind::kDelete});
    compacted.slots.push_back(Slot{0x25, 0, std::vector<Field>(8, Field{FieldState::Null, {}})});
    compacted.log.push_back({5, 0, logkind::kInsert});

    TableData merged = empty;
    merged.slots = {entry(0x00, "a.txt", "", false, 2), entry(0x00, "", "", true, 1)};
    merged.extraTableProperties = {{"LCID", 0x00020004, std::string("\x04\x04\x00\x00", 4)}};
    merged.columns[1].extraProperties = {{"HINT", 0x00490001, std::string("\x01x", 2)}};

    TableData foreign;
    Column small;
    small.name = "Small";
    small.typeCode = 0x00010002;
    small.width = 2;
    Column blob;
    blob.name = "Blob";
    blob.typeCode = 0x004B0002;
    Column memo;
    memo.name = "Memo";
    memo.typeCode = 0x00490002;
    memo.width = 300;
    memo.hasSubtype = true;
    memo.subtype = std::string("Text\0", 5);
    memo.decimals = 1;
    memo.calculated = true;
    foreign.columns = {small, blob, memo};
    foreign.slots = {Slot{0x00, 1, {number<int16_t>(7), text(std::string(20, 'b')), text("memo")}},
                     Slot{0x02, 2, {Field{FieldState::Null, {}}, text(""), Field{}}}};
    // The extension columns after the eight: a true name, a name's own bytes, modes of a folder,
    // a set-uid file and a link with its target, exact times before 1970 and past 2038.
    TableData extended = empty;
    for (Column& c : TableData::extensionColumns()) extended.columns.push_back(std::move(c));
    const Field none;
    auto withMeta = [&](Slot s, Field trueName, Field bytes, Field mode, Field link, Field ns) {
        std::vector<Field> fields(s.fields.begin(), s.fields.end());
        fields.insert(fields.end(), {trueName, bytes, mode, link, ns});
        s.fields = FieldRow(std::move(fields));
        return s;
    };
    extended.slots = {
        withMeta(entry(0x04, "___", "", true, 1), text("한국어"), none, number<int32_t>(040755), none,
                 number<int64_t>(-1)),
        withMeta(entry(0x04, "a.txt", "___", false, 2), text("notes "), text(std::string("\xff\xfe", 2)),
                 number<int32_t>(0104755), none, number<int64_t>(4102444800123456789)),
        withMeta(entry(0x04, "l", "", false, 3), none, none, number<int32_t>(0120777), text("../../etc/passwd"),
                 none),
        withMeta(entry(0x04, "d", "", false, 4), text(std::string(300, 'n')), none, number<int32_t>(020666), none,
                 none)};
    extended.log = {{1, 0, logkind::kInsert}, {2, 0, logkind::kInsert}, {3, 0, logkind::kInsert},
                    {4, 0, logkind::kInsert}};
    // The extension columns after the eight: long texts with 2-byte lengths, a mode, 64-bit times.
    TableData addedExtended = added;
    for (Column& c : TableData::extensionColumns()) addedExtended.columns.push_back(std::move(c));
    const std::vector<std::vector<Field>> values = {
        {text("docs"), none, number<int32_t>(040755), none, number<int64_t>(-1)},
        {text("a\xEF\xBF\xBD.txt"), text("a\xff.txt"), number<int32_t>(0100600), none,
         number<int64_t>(int64_t{4102444800} * 1000000000)},
        {none, none, number<int32_t>(0120777), text(std::string(300, 't')), none},
    };
    for (size_t i = 0; i < values.size(); ++i) {
        std::vector<Field> fields(addedExtended.slots[i].fields.begin(), addedExtended.slots[i].fields.end());
        fields.insert(fields.end(), values[i].begin(), values[i].end());
        addedExtended.slots[i].fields = FieldRow(std::move(fields));
    }
    return {empty, added, compacted, merged, foreign, extended, addedExtended};
}

void writeSeeds(const std::string& dir) {
    int n = 0;
    for (const TableData& t : seedTables()) {
        const std::vector<uint8_t> packet = datapacket::write(t);
        std::ofstream out(dir + "/seed-" + std::to_string(++n), std::ios::binary);
        out.write(reinterpret_cast<const char*>(packet.data()), static_cast<std::streamsize>(packet.size()));
        check(out.good(), "cannot write a seed");
    }
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    if (const char* dir = std::getenv("ORU_FUZZ_WRITE_SEEDS")) writeSeeds(dir);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    TableData first;
    try {
        first = datapacket::read(data, size);
    } catch (const Error&) {
        return 0;  // a refused packet: only its refusal is under test
    }
    // Anything the reader accepts must be writable and read back the same.
    const std::vector<uint8_t> packet = datapacket::write(first);
    const TableData second = datapacket::read(packet.data(), packet.size());
    checkReadBack(first, second);
    check(datapacket::write(second) == packet, "writing the packet read back gave other bytes");
    return 0;
}
