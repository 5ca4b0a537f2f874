#include "DeviceFileWriter.h"

#include <windows.h>

#include <cstdint>
#include <vector>

#include "DeviceText.h"
#include "Handles.h"
#include "QueltDirectory.h"
#include "Resources.h"

namespace kvr {

namespace {
constexpr wchar_t kDeviceFileName[] = L"ZDX.DEV";
}

std::wstring OpenDeviceFile() {
    const std::wstring directory = QueltDirectory();
    if (directory.empty()) return std::wstring();
    std::wstring path = directory + L"\\" + kDeviceFileName;
    const UniqueFile file(::CreateFileW(path.c_str(), GENERIC_WRITE, FILE_SHARE_READ, nullptr, OPEN_ALWAYS,
                                        FILE_ATTRIBUTE_NORMAL, nullptr));
    return file ? path : std::wstring();
}

std::wstring DeviceSectionName(const DeviceRecord& record) {
    const std::uint8_t* ip = record.address + 4;  // record offsets 112-115
    const unsigned long value = ip[0] | (ip[1] << 8) | (ip[2] << 16) | (static_cast<unsigned long>(ip[3]) << 24);
    return FormatText(L"0000%08lX", {value});
}

std::vector<std::pair<std::wstring, std::wstring>> DeviceSectionEntries(const DeviceDetailRecord& device) {
    const DeviceRecord& record = device.device;
    const std::uint8_t* ip = record.address + 4;
    // The version starts with the major number, as discovery requires: the
    // four version bytes and then the capability value.
    const std::uint8_t stage = device.version[3];
    const wchar_t letter = stage >= 0x20 && stage <= 0x7E ? static_cast<wchar_t>(stage) : L' ';
    const auto signedByte = [](std::uint8_t b) { return static_cast<int>(static_cast<std::int8_t>(b)); };
    return {
        {L"Name", FieldText(record.name, 48)},
        {L"IPAddress", FormatText(L"%d.%d.%d.%d", {ip[0], ip[1], ip[2], ip[3]})},
        {L"IPHostname", L""},
        {L"Type", FieldText(record.typeText, 48)},
        {L"Version", FormatText(L"%d.%d.%d%c%d", {signedByte(device.version[0]), signedByte(device.version[1]),
                                                 signedByte(device.version[2]), letter,
                                                 signedByte(device.capability)})},
    };
}

bool WriteDeviceSection(const std::wstring& path, const DeviceDetailRecord& device) {
    if (path.empty()) return false;
    const std::wstring section = DeviceSectionName(device.device);
    for (const auto& [key, value] : DeviceSectionEntries(device))
        ::WritePrivateProfileStringW(section.c_str(), key.c_str(), value.c_str(), path.c_str());
    return true;
}

}  // namespace kvr
