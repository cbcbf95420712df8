// SPDX-License-Identifier: GPL-3.0-or-later
#include "catalog/ChangeLog.h"

#include <unordered_map>
#include <utility>

namespace oru::changelog {

uint32_t recordInsert(TableData& data, std::vector<Field> fields) {
    Slot slot;
    slot.status = status::kInserted;
    slot.order = data.nextOrder++;
    slot.fields = std::move(fields);
    data.slots.push_back(std::move(slot));
    auto number = static_cast<uint32_t>(data.slots.size());
    data.log.push_back({number, 0, logkind::kInsert});
    return number;
}

uint32_t recordModify(TableData& data, uint32_t old, std::vector<Field> fields) {
    Slot& previous = data.slots[old - 1];
    Slot slot;
    slot.status = static_cast<uint8_t>(status::kModified | (previous.status & status::kInserted));
    slot.order = previous.order;
    slot.fields = std::move(fields);
    previous.status |= status::kSuperseded;
    data.slots.push_back(std::move(slot));
    auto number = static_cast<uint32_t>(data.slots.size());
    data.log.push_back({number, old, logkind::kModify});
    return number;
}

void recordDelete(TableData& data, uint32_t slot) {
    data.slots[slot - 1].status |= status::kDeleted;
    data.log.push_back({slot, 0, logkind::kDelete});
}

namespace {

// Settles one version of a chain: freed when it is no longer current, otherwise unchanged since
// the merge. Freeing the last slot gives its number back.
void settle(TableData& data, uint32_t number) {
    if (number == 0 || number > data.slots.size()) return;  // given back earlier, or never held
    Slot& slot = data.slots[number - 1];
    if (slot.status & status::kNotCurrent) {
        if (!(slot.status & status::kFreed)) {
            slot.status |= status::kFreed;
            for (Field& f : slot.fields) f = Field{FieldState::Null, {}};
        }
        if (number == data.slots.size()) data.slots.pop_back();
    } else {
        slot.status = 0;
    }
}

}  // namespace

void merge(TableData& data) {
    const std::vector<LogEntry>& log = data.log;
    const size_t n = log.size();
    std::vector<bool> taken(n, false);
    // Positions of the modify entries by the version they supersede, and of the delete entries
    // by the version they delete, each in log order: a chain is followed without rescanning.
    std::unordered_map<uint32_t, std::vector<size_t>> modifiesOf, deletesOf;
    for (size_t i = 0; i < n; ++i) {
        if (log[i].kind == logkind::kModify) modifiesOf[log[i].other].push_back(i);
        if (log[i].kind == logkind::kDelete) deletesOf[log[i].slot].push_back(i);
    }
    auto firstUntakenAfter = [&](const std::unordered_map<uint32_t, std::vector<size_t>>& index, uint32_t key,
                                 size_t after) -> size_t {
        auto it = index.find(key);
        if (it == index.end()) return n;
        for (size_t i : it->second) {
            if (i > after && !taken[i]) return i;
        }
        return n;
    };

    std::vector<uint32_t> chain;
    for (size_t start = 0; start < n; ++start) {
        if (taken[start]) continue;
        taken[start] = true;
        chain.clear();
        const LogEntry& first = log[start];
        if (first.kind == logkind::kModify) {
            chain.push_back(first.other);
            chain.push_back(first.slot);
            size_t at = start;
            for (;;) {
                size_t next = firstUntakenAfter(modifiesOf, chain.back(), at);
                if (next == n) break;
                taken[next] = true;
                chain.push_back(log[next].slot);
                at = next;
            }
            size_t del = firstUntakenAfter(deletesOf, chain.back(), at);
            if (del != n) taken[del] = true;
        } else {
            chain.push_back(first.slot);
        }
        for (uint32_t version : chain) settle(data, version);
    }
    data.log.clear();
}

void empty(TableData& data) {
    data.slots.clear();
    data.log.clear();
    data.nextOrder = 1;
}

}  // namespace oru::changelog
