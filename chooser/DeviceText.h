#pragma once
// Text forms shared by the applet's windows: the kind of a port group, a
// device's address and version as people read them, and the fixed ANSI text
// fields of the library's records.
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "DeviceRecords.h"

namespace kvr {

// 3 for "Command_Shell", 4 for "All_Ports", 1 for any other name.
int PortGroupKind(std::wstring_view name);

// "%d.%d.%d.%d" for TCP/IP; network:node:socket in hexadecimal for IPX.
std::wstring FormatDeviceAddress(const DeviceRecord& record);

// Major, minor, revision, stage code and build: "4.5", "4.5.1", "4.5b3".
std::wstring FormatDeviceVersion(const std::uint8_t version[5]);

// A record's text field up to its NUL (at most `size` bytes), as UTF-16.
std::wstring FieldText(const char* field, std::size_t size);
template <std::size_t N>
std::wstring FieldText(const char (&field)[N]) {
    return FieldText(field, N);
}
// Writes text into a field of `size` bytes in the ANSI code page, cut to
// fit with its terminating NUL; the rest of the field is zeroed.
void SetFieldText(char* field, std::size_t size, std::wstring_view text);
template <std::size_t N>
void SetFieldText(char (&field)[N], std::wstring_view text) {
    SetFieldText(field, N, text);
}

// Texts compared without regard to case.
bool SameText(std::wstring_view a, std::wstring_view b);
// The network type: "IPX" in any letter case.
bool IsIpxTransport(std::wstring_view transport);
// The transport number the library takes for a network type: 6 or 2.
std::uint16_t TransportNumber(std::wstring_view transport);

}  // namespace kvr
