#include "TypeCodes.h"

#include <cstring>

#include "ServerRecord.h"

namespace kvr::browse {

const DeviceTypeEntry* FillTypeCode(const Catalogue& catalogue, DeviceRecord& record) {
    ShortenKnownTypeText(record.typeText);
    record.typeCode[0] = '\0';
    const DeviceTypeEntry* entry = catalogue.FindByName(record.typeText);
    if (entry == nullptr) return nullptr;
    static_assert(sizeof entry->fields.code <= sizeof record.typeCode);
    std::memcpy(record.typeCode, entry->fields.code, sizeof entry->fields.code);
    return entry;
}

}  // namespace kvr::browse
