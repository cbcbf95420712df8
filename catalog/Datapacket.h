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
// the default order. Fails with status 0x4005 when data has no columns.
std::vector<uint8_t> write(const TableData& data);

// Reads one packet from bytes[0..size). Never reads past size; bytes behind the last counted row
// are ignored. Fails with an Error carrying the status code (empty message) for the format's
// refusals, and with a clear message for a packet that ends early or is otherwise damaged.
TableData read(const uint8_t* bytes, size_t size);

}  // namespace oru::datapacket
