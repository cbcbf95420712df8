// Placeholder until the datapacket writer and reader land.
#include "catalog/Datapacket.h"

#include "platform/Error.h"

namespace oru::datapacket {

std::vector<uint8_t> write(const TableData&) { throw Error("datapacket writer not built yet"); }
TableData read(const uint8_t*, size_t) { throw Error("datapacket reader not built yet"); }

}  // namespace oru::datapacket
