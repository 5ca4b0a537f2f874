// The device-file parser over any bytes: the result stays within its limits,
// holds only what the line rules allow, and reads back the same when written
// out again as a plain file.
#include <array>
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "DeviceFile.h"
#include "FuzzCheck.h"

using namespace kvr::browse;

namespace {

bool HasLineBreak(std::string_view text) { return text.find_first_of(std::string_view("\r\n\0\x1A", 4)) != std::string_view::npos; }
bool IsBlank(char c) { return c == ' ' || c == '\t'; }

void CheckEntry(const DeviceFileSection& section, const std::string& key, const std::string& value) {
    FUZZ_CHECK(!key.empty());
    FUZZ_CHECK(!HasLineBreak(key) && !HasLineBreak(value));
    FUZZ_CHECK(key.find('=') == std::string::npos);
    FUZZ_CHECK(key.front() != ';' && key.front() != '[' && !IsBlank(key.front()) && !IsBlank(key.back()));
    FUZZ_CHECK(value.empty() || (!IsBlank(value.front()) && !IsBlank(value.back())));
    const std::string* found = section.Find(key);
    FUZZ_CHECK(found != nullptr);
    FUZZ_CHECK(section.HasValue(value));

    LeadingVersionNumber(value);
    const std::array<std::uint8_t, 4> address = ParseDottedAddress(value);
    if (address != std::array<std::uint8_t, 4>{}) {
        FUZZ_CHECK(value.size() <= 15);
        FUZZ_CHECK(value.find_first_not_of("0123456789.") == std::string::npos);
        const std::string canonical = std::to_string(address[0]) + "." + std::to_string(address[1]) + "." +
                                      std::to_string(address[2]) + "." + std::to_string(address[3]);
        FUZZ_CHECK(ParseDottedAddress(canonical) == address);
    }
}

// The sections written as a plain file, one "[name]" or "key=value" a line.
std::string Rewrite(const std::vector<DeviceFileSection>& sections) {
    std::string out;
    for (const DeviceFileSection& s : sections) {
        out += "[" + s.name + "]\n";
        for (const auto& [key, value] : s.entries) out += key + "=" + value + "\n";
    }
    return out;
}

bool SameSections(const std::vector<DeviceFileSection>& a, const std::vector<DeviceFileSection>& b) {
    if (a.size() != b.size()) return false;
    for (std::size_t i = 0; i < a.size(); ++i) {
        if (a[i].name != b[i].name || a[i].entries != b[i].entries) return false;
    }
    return true;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t length) {
    const std::string_view bytes(reinterpret_cast<const char*>(data), length);
    const std::vector<DeviceFileSection> sections = ParseDeviceFile(bytes);
    FUZZ_CHECK(sections.size() <= kMaxDeviceFileSections);
    std::size_t entries = 0;
    std::size_t textBytes = 0;
    for (const DeviceFileSection& s : sections) {
        FUZZ_CHECK(!HasLineBreak(s.name) && s.name.find(']') == std::string::npos);
        textBytes += s.name.size() + 2;
        for (const auto& [key, value] : s.entries) {
            CheckEntry(s, key, value);
            textBytes += key.size() + 1 + value.size();
        }
        entries += s.entries.size();
    }
    FUZZ_CHECK(entries <= kMaxDeviceFileEntries);
    FUZZ_CHECK(textBytes <= length);  // nothing kept that the input did not hold
    FUZZ_CHECK(SameSections(ParseDeviceFile(Rewrite(sections)), sections));
    return 0;
}
