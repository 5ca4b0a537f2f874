#pragma once
// Reader of the device description file: a text file with one [section] per
// device and Key=Value entries. Plain C++ without windows.h; the file's bytes
// are untrusted, so the reader bounds what it keeps.
#include <array>
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace kvr::browse {

// Limits against hostile files, far above any real device list: sections
// past kMaxDeviceFileSections are dropped with their entries, and entries
// past kMaxDeviceFileEntries (counted over the whole file) are dropped.
inline constexpr std::size_t kMaxDeviceFileSections = 4096;
inline constexpr std::size_t kMaxDeviceFileEntries = 65536;

// One section, that is one device. Names and keys compare case-blind.
struct DeviceFileSection {
    std::string name;
    std::vector<std::pair<std::string, std::string>> entries;  // key, value

    // The value of the first entry with this key, or nullptr.
    const std::string* Find(std::string_view key) const;
    // True when some entry's value equals value, case-blind.
    bool HasValue(std::string_view value) const;
};

// Lines end at LF, CR, NUL; the byte 0x1A ends the file. Leading blanks and
// tabs are skipped; "[name]" starts a section; "key = value" adds an entry
// to the current section (none before the first); other lines are ignored.
std::vector<DeviceFileSection> ParseDeviceFile(std::string_view bytes);

// The first run of decimal digits as a number, saturating; 0 when there is
// none: "3.1" -> 3, "v12x" -> 12.
std::uint32_t LeadingVersionNumber(std::string_view text);

// Exactly four decimal parts 0..255 joined by ".", at most 15 characters and
// nothing else (no blanks); anything else gives 0.0.0.0. The bytes are in
// network order: "10.1.2.3" -> {10, 1, 2, 3}.
std::array<std::uint8_t, 4> ParseDottedAddress(std::string_view text);

}  // namespace kvr::browse
