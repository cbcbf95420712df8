// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Recording and merging the change log of a table's rows. Every change makes or marks a slot and
// adds one log entry; a merge frees the versions that no cursor shows and clears the log.

#include <cstdint>
#include <vector>

#include "catalog/TableData.h"

namespace oru::changelog {

// Stores fields as a new inserted row in slot count + 1, at the end of the default order, and
// logs (slot, 0, insert). Returns the new slot number.
uint32_t recordInsert(TableData& data, std::vector<Field> fields);
// Stores fields as the new version of the current row in slot old; the new version takes old's
// place in the default order and old becomes superseded. Logs (new, old, modify). Returns new.
uint32_t recordModify(TableData& data, uint32_t old, std::vector<Field> fields);
// Marks the current row in slot as deleted and logs (slot, 0, delete).
void recordDelete(TableData& data, uint32_t slot);

// Merges the log: every version that is superseded, deleted or freed is freed (status 0x20 added,
// fields null; the last slot is given back), every other version named by the log gets status 0,
// and the log is emptied. Entries naming slots the table does not hold are passed over.
void merge(TableData& data);

// Drops every slot and the log; the next version takes slot 1.
void empty(TableData& data);

}  // namespace oru::changelog
