// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The catalog's datapacket: the self-describing binary form of a table (columns, properties,
// rows with status bytes and blank flags, change log). Writer and reader share the constants of
// DatapacketFormat.h. Layout: catalog/FORMAT.md.

#include <cstddef>
#include <cstdint>
#include <vector>

#include "catalog/TableData.h"

namespace oru::datapacket {

// Writes the packet of data: every slot while the log has entries, otherwise the current rows in
// the default order. Fails with CatalogStatus 0x4005 when data has no columns, CatalogTooLarge
// when a value cannot be written in the format's widths.
std::vector<uint8_t> write(const TableData& data);

// Reads one packet from bytes[0..size). Never reads past size; bytes behind the last counted row
// are ignored. Fails with ErrorKind::CatalogStatus (the status code) for the format's refusals,
// and with ErrorKind::DamagedCatalog (detail: what was found) for a packet that ends early or is
// otherwise damaged; the archive's path is for the caller to add (Error::naming).
TableData read(const uint8_t* bytes, size_t size);

}  // namespace oru::datapacket
