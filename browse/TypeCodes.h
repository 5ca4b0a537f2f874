#pragma once
// Type codes for records read from the store. The device-type catalogue is
// held only while a find operation runs, so outside one the code is empty.
#include "DeviceRecords.h"

namespace kvr::browse {

// Fills code with the catalogue CODE of the entry named typeText, or "" when
// no catalogue is loaded or it has no such entry.
void LookUpTypeCode(const char* typeText, char (&code)[sizeof(DeviceRecord::typeCode)]);

}  // namespace kvr::browse
