#include "DeviceText.h"

#include <windows.h>

#include <cstring>
#include <cwctype>

#include "ChooserConstants.h"
#include "Resources.h"

namespace kvr {

int PortGroupKind(std::wstring_view name) {
    if (name == L"Command_Shell") return kImageCommandShell;
    if (name == L"All_Ports") return kImageAllPorts;
    return kImagePortGroup;
}

std::wstring FormatDeviceAddress(const DeviceRecord& record) {
    const std::uint8_t* a = record.address;
    if (record.transport == kTransportIp)
        return FormatText(L"%d.%d.%d.%d", {a[4], a[5], a[6], a[7]});
    if (record.transport == kTransportIpx) {
        std::uint16_t socket = 0;
        std::memcpy(&socket, a + 12, sizeof socket);
        return FormatText(L"%02X%02X%02X%02X:%02X%02X%02X%02X%02X%02X:%04X",
                          {a[2], a[3], a[4], a[5], a[6], a[7], a[8], a[9], a[10], a[11], socket});
    }
    return std::wstring();
}

std::wstring FormatDeviceVersion(const std::uint8_t version[5]) {
    const unsigned major = version[0], minor = version[1], revision = version[2], build = version[4];
    wchar_t letter = 0;
    switch (version[3]) {
    case 0x10: letter = L'u'; break;
    case 0x20: letter = L'd'; break;
    case 0x40: letter = L'a'; break;
    case 0x60: letter = L'b'; break;
    case 0x70: letter = L'f'; break;
    case 0x80: break;
    case 0x90: letter = L'p'; break;
    default: letter = L'?'; break;
    }
    if (letter == 0)
        return revision == 0 ? FormatText(L"%u.%u", {major, minor})
                             : FormatText(L"%u.%u.%u", {major, minor, revision});
    return revision == 0 ? FormatText(L"%u.%u%c%u", {major, minor, letter, build})
                         : FormatText(L"%u.%u.%u%c%u", {major, minor, revision, letter, build});
}

std::wstring FieldText(const char* field, std::size_t size) {
    const void* end = std::memchr(field, '\0', size);
    const std::size_t length = end ? static_cast<const char*>(end) - field : size;
    return FromAnsi(std::string_view(field, length));
}

void SetFieldText(char* field, std::size_t size, std::wstring_view text) {
    if (size == 0) return;
    std::memset(field, 0, size);
    std::string narrow = ToAnsi(text);
    if (narrow.size() > size - 1) narrow.resize(size - 1);
    std::memcpy(field, narrow.data(), narrow.size());
}

bool SameText(std::wstring_view a, std::wstring_view b) {
    if (a.size() != b.size()) return false;
    for (std::size_t i = 0; i < a.size(); ++i)
        if (std::towupper(a[i]) != std::towupper(b[i])) return false;
    return true;
}

bool IsIpxTransport(std::wstring_view transport) { return SameText(transport, kNetworkIpx); }

std::uint16_t TransportNumber(std::wstring_view transport) {
    return IsIpxTransport(transport) ? kTransportIpx : kTransportIp;
}

}  // namespace kvr
