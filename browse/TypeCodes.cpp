#include "TypeCodes.h"

#include <cstring>

#include "Catalogue.h"

namespace kvr::browse {

// Outside a find operation the catalogue is empty, so every code is "".
void LookUpTypeCode(const char* typeText, char (&code)[sizeof(DeviceRecord::typeCode)]) {
    code[0] = '\0';
    if (typeText == nullptr) return;
    const DeviceTypeEntry* entry = LoadedCatalogue().FindByName(typeText);
    if (entry == nullptr) return;
    static_assert(sizeof entry->fields.code <= sizeof code);
    std::memcpy(code, entry->fields.code, sizeof entry->fields.code);
}

}  // namespace kvr::browse
