#include "OldProfile.h"

#include <climits>

namespace kvr {

namespace {

bool IsSpace(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n' || c == '\v' || c == '\f'; }

char Upper(char c) { return c >= 'a' && c <= 'z' ? static_cast<char>(c - 'a' + 'A') : c; }

bool SameName(std::string_view a, std::string_view b) {
    if (a.size() != b.size()) return false;
    for (std::size_t i = 0; i < a.size(); ++i)
        if (Upper(a[i]) != Upper(b[i])) return false;
    return true;
}

std::string_view Unquoted(std::string_view value) {
    if (value.size() >= 2 && (value.front() == '"' || value.front() == '\'') && value.back() == value.front())
        return value.substr(1, value.size() - 2);
    return value;
}

}  // namespace

std::string_view TrimText(std::string_view text) {
    while (!text.empty() && IsSpace(text.front())) text.remove_prefix(1);
    while (!text.empty() && IsSpace(text.back())) text.remove_suffix(1);
    return text;
}

std::vector<std::string_view> SplitText(std::string_view text, char separator) {
    std::vector<std::string_view> parts;
    std::size_t start = 0;
    for (;;) {
        const std::size_t at = text.find(separator, start);
        parts.push_back(text.substr(start, at == std::string_view::npos ? std::string_view::npos : at - start));
        if (at == std::string_view::npos) return parts;
        start = at + 1;
    }
}

ProfileSection ProfileSection::Parse(std::string_view bytes, std::string_view name) {
    ProfileSection section;
    bytes = bytes.substr(0, kMaxProfileBytes);
    bool inSection = false;
    bool seen = false;
    std::size_t pos = 0;
    while (pos < bytes.size()) {
        std::size_t end = bytes.find_first_of("\r\n", pos);
        if (end == std::string_view::npos) end = bytes.size();
        const std::string_view line = TrimText(bytes.substr(pos, end - pos));
        pos = end + 1;
        if (line.empty() || line.front() == ';') continue;
        if (line.front() == '[') {
            const std::size_t close = line.find(']');
            const std::string_view title = TrimText(line.substr(1, close == std::string_view::npos ? close : close - 1));
            // Only the first section of the name counts.
            inSection = !seen && SameName(title, name);
            seen = seen || inSection;
            continue;
        }
        if (!inSection) continue;
        const std::size_t equals = line.find('=');
        if (equals == std::string_view::npos) continue;
        const std::string_view key = TrimText(line.substr(0, equals));
        if (key.empty() || section.Find(key) != nullptr) continue;
        section.m_entries.emplace_back(std::string(key), std::string(Unquoted(TrimText(line.substr(equals + 1)))));
    }
    return section;
}

const std::string* ProfileSection::Find(std::string_view key) const {
    for (const auto& [name, value] : m_entries)
        if (SameName(name, key)) return &value;
    return nullptr;
}

std::string ProfileSection::Text(std::string_view key, std::size_t maxChars, std::string_view fallback) const {
    const std::string* value = Find(key);
    return std::string((value ? std::string_view(*value) : fallback).substr(0, maxChars));
}

long ProfileSection::Integer(std::string_view key, long fallback) const {
    const std::string* value = Find(key);
    if (value == nullptr) return fallback;
    long number = 0;
    for (char c : *value) {
        if (c < '0' || c > '9') break;
        if (number > (LONG_MAX - (c - '0')) / 10) return LONG_MAX;
        number = number * 10 + (c - '0');
    }
    return number;
}

bool HasOldSettings(const ProfileSection& settings) {
    for (const char* key : {"Username", "Transport", "COM1List", "COM2List", "COM3List", "COM4List"})
        if (!settings.Text(key, kOldListChars).empty()) return true;
    for (const char* key : {"COM1Redir", "COM2Redir", "COM3Redir", "COM4Redir", "Narrate"})
        if (settings.Integer(key, kOldMissing) != kOldMissing) return true;
    return false;
}

}  // namespace kvr
