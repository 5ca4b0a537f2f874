#pragma once
// The device description file the Chooser keeps of devices added by
// address: %QUELT%\ZDX.DEV, one profile section per device, which the
// browsing library reads back as a discovery source.
#include <string>
#include <utility>
#include <vector>

#include "DeviceRecords.h"

namespace kvr {

// The file's path when the "QUELT" directory is set and the file can be
// opened for writing (it is created when missing); empty otherwise.
std::wstring OpenDeviceFile();

// "0000" and the IPv4 address bytes as a little-endian number in hexadecimal.
std::wstring DeviceSectionName(const DeviceRecord& record);
// The keys of a device's section, in the order they are written.
std::vector<std::pair<std::wstring, std::wstring>> DeviceSectionEntries(const DeviceDetailRecord& device);

// Writes (or rewrites) the device's section; false when path is empty.
bool WriteDeviceSection(const std::wstring& path, const DeviceDetailRecord& device);

}  // namespace kvr
