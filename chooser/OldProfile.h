#pragma once
// Reader of the old product's settings file (QUELT.INI), with the rules of
// the system's profile calls: sections and keys without regard to case, the
// first of each name wins, values trimmed and stripped of one pair of
// enclosing quotes. Plain C++ without windows.h; the bytes are untrusted.
#include <cstddef>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace kvr {

// Beyond this a file is read no further: a settings file is a few hundred
// bytes.
inline constexpr std::size_t kMaxProfileBytes = 1 << 20;

class ProfileSection {
public:
    // The entries of the first section called `name` in the file.
    static ProfileSection Parse(std::string_view bytes, std::string_view name);

    bool Has(std::string_view key) const { return Find(key) != nullptr; }
    // The value cut to maxChars, or `fallback` when the key is missing.
    std::string Text(std::string_view key, std::size_t maxChars, std::string_view fallback = {}) const;
    // The leading decimal number of the value (0 when it has none, or when it
    // is negative), or `fallback` when the key is missing.
    long Integer(std::string_view key, long fallback) const;

private:
    const std::string* Find(std::string_view key) const;
    std::vector<std::pair<std::string, std::string>> m_entries;
};

// The old product's settings sit in this section; an integer key read with
// kOldMissing as its fallback gives it back when the key is absent.
inline constexpr char kOldSettingsSection[] = "COMM";
inline constexpr long kOldMissing = 30583;
// Port lists are read up to this many characters.
inline constexpr std::size_t kOldListChars = 254;

// Whether the old settings hold anything worth copying: a non-empty user
// name, network type or port list, or any port's redirection or the
// narration setting present at all. The Chooser's upgrade and the set-up
// (which marks the upgrade as pending) both ask it.
bool HasOldSettings(const ProfileSection& settings);

// The parts of text between separators, empty ones included.
std::vector<std::string_view> SplitText(std::string_view text, char separator);
// Text without blanks, tabs and line ends at either end.
std::string_view TrimText(std::string_view text);

}  // namespace kvr
