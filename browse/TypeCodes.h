#pragma once
// The type code of a record, by one rule for records read from the store and
// records made from the device file.
#include "Catalogue.h"
#include "DeviceRecords.h"

namespace kvr::browse {

// Shortens the record's type text "Ravelin/E 115" (any case) in place to
// "Ravelin/E", the same device, then fills its code with the CODE of the
// catalogue entry of that name, or "" when the catalogue has none (outside a
// find operation the loaded catalogue is empty). Returns the entry or null.
const DeviceTypeEntry* FillTypeCode(const Catalogue& catalogue, DeviceRecord& record);

}  // namespace kvr::browse
