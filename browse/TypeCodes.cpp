#include "TypeCodes.h"

namespace kvr::browse {

// No find operation exists yet, so no catalogue is ever loaded: every code is
// empty. Find operations will answer from their loaded catalogue here.
void LookUpTypeCode(const char* /*typeText*/, char (&code)[sizeof(DeviceRecord::typeCode)]) {
    code[0] = '\0';
}

}  // namespace kvr::browse
