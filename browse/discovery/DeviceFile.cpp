#include "DeviceFile.h"

#include <limits>

#include "FieldString.h"

namespace kvr::browse {
namespace {

constexpr char kEndOfFile = '\x1A';

bool IsBlank(char c) { return c == ' ' || c == '\t'; }
bool IsLineEnd(char c) { return c == '\n' || c == '\r' || c == '\0'; }
bool IsDigit(char c) { return c >= '0' && c <= '9'; }

std::string_view TrimLeft(std::string_view text) {
    while (!text.empty() && IsBlank(text.front())) text.remove_prefix(1);
    return text;
}

std::string_view TrimRight(std::string_view text) {
    while (!text.empty() && IsBlank(text.back())) text.remove_suffix(1);
    return text;
}

// Hands each line, without its end, to take(). Runs of line ends give
// empty lines, which no caller keeps.
template <typename Take>
void ForEachLine(std::string_view bytes, Take take) {
    bytes = bytes.substr(0, bytes.find(kEndOfFile));
    std::size_t pos = 0;
    while (pos < bytes.size()) {
        std::size_t end = pos;
        while (end < bytes.size() && !IsLineEnd(bytes[end])) ++end;
        take(bytes.substr(pos, end - pos));
        pos = end + 1;
    }
}

// Builds the section list line by line within the limits.
class DeviceFileBuilder {
public:
    void AddLine(std::string_view line) {
        line = TrimLeft(line);
        if (line.empty() || line.front() == ';' || line.front() == '=') return;
        if (line.front() == '[') {
            const std::size_t close = line.find(']');
            if (close != std::string_view::npos) StartSection(line.substr(1, close - 1));
            return;
        }
        const std::size_t equals = line.find('=');
        if (equals != std::string_view::npos) AddEntry(line.substr(0, equals), line.substr(equals + 1));
    }

    std::vector<DeviceFileSection> Take() { return std::move(sections_); }

private:
    void StartSection(std::string_view name) {
        current_ = nullptr;
        if (sections_.size() == kMaxDeviceFileSections) return;
        sections_.push_back(DeviceFileSection{std::string(name), {}});
        current_ = &sections_.back();
    }

    void AddEntry(std::string_view key, std::string_view value) {
        if (current_ == nullptr || entryCount_ == kMaxDeviceFileEntries) return;
        current_->entries.emplace_back(std::string(TrimRight(key)), std::string(TrimRight(TrimLeft(value))));
        ++entryCount_;
    }

    std::vector<DeviceFileSection> sections_;
    DeviceFileSection* current_ = nullptr;  // null before the first section or past the limit
    std::size_t entryCount_ = 0;
};

}  // namespace

const std::string* DeviceFileSection::Find(std::string_view key) const {
    for (const auto& [entryKey, value] : entries) {
        if (EqualsNoCase(entryKey, key)) return &value;
    }
    return nullptr;
}

bool DeviceFileSection::HasValue(std::string_view value) const {
    for (const auto& entry : entries) {
        if (EqualsNoCase(entry.second, value)) return true;
    }
    return false;
}

std::vector<DeviceFileSection> ParseDeviceFile(std::string_view bytes) {
    DeviceFileBuilder builder;
    ForEachLine(bytes, [&](std::string_view line) { builder.AddLine(line); });
    return builder.Take();
}

std::uint32_t LeadingVersionNumber(std::string_view text) {
    constexpr std::uint32_t kMax = std::numeric_limits<std::uint32_t>::max();
    std::size_t pos = 0;
    while (pos < text.size() && !IsDigit(text[pos])) ++pos;
    std::uint32_t value = 0;
    for (; pos < text.size() && IsDigit(text[pos]); ++pos) {
        const std::uint32_t digit = static_cast<std::uint32_t>(text[pos] - '0');
        value = value > (kMax - digit) / 10 ? kMax : value * 10 + digit;
    }
    return value;
}

std::array<std::uint8_t, 4> ParseDottedAddress(std::string_view text) {
    constexpr std::size_t kMaxChars = 15;  // "255.255.255.255"
    std::array<std::uint8_t, 4> address{};
    if (text.size() > kMaxChars) return {};
    std::size_t pos = 0;
    for (std::size_t part = 0; part < address.size(); ++part) {
        if (part != 0) {
            if (pos == text.size() || text[pos] != '.') return {};
            ++pos;
        }
        // At most 15 characters, so a part has at most 9 digits: no overflow.
        const std::size_t start = pos;
        std::uint32_t value = 0;
        for (; pos < text.size() && IsDigit(text[pos]); ++pos) {
            value = value * 10 + static_cast<std::uint32_t>(text[pos] - '0');
        }
        if (pos == start || value > 255) return {};
        address[part] = static_cast<std::uint8_t>(value);
    }
    if (pos != text.size()) return {};
    return address;
}

}  // namespace kvr::browse
