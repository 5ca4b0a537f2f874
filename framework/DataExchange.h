#pragma once
// A small data-exchange table for dialog fields: each entry ties a control to
// a member, so a dialog puts its members into its controls and takes them
// back, validated, without reading controls by hand.
#include <windows.h>

#include <span>
#include <string>

namespace kvr {

struct DdxField {
    enum class Kind { Integer, Text, Check };
    int id;
    Kind kind;
    int* number = nullptr;         // Integer and Check
    std::wstring* text = nullptr;  // Text
    int minimum = 0;               // Integer: the range allowed
    int maximum = 0;
    int maxChars = 0;              // Text: the longest allowed
};

inline DdxField DdxInteger(int id, int& value, int minimum, int maximum) {
    return {id, DdxField::Kind::Integer, &value, nullptr, minimum, maximum, 0};
}
inline DdxField DdxText(int id, std::wstring& value, int maxChars) {
    return {id, DdxField::Kind::Text, nullptr, &value, 0, 0, maxChars};
}
inline DdxField DdxCheck(int id, int& flag) { return {id, DdxField::Kind::Check, &flag, nullptr, 0, 0, 0}; }

// The standard messages of a failed validation.
inline constexpr wchar_t kDdxNotAnInteger[] = L"Please enter an integer.";
inline constexpr wchar_t kDdxIntegerRange[] = L"Please enter an integer between %1 and %2.";
inline constexpr wchar_t kDdxTextTooLong[] = L"Please enter no more than %1 characters.";

// With save false puts the members into the controls (and limits the text
// fields); with save true takes them back, validated in table order. A value
// that does not validate shows its message (exclamation icon, the dialog's
// title as the caption), selects the control and returns false; the members
// are then all left as they were.
bool ExchangeData(HWND dialog, std::span<const DdxField> fields, bool save);

// Reads a whole decimal integer with optional blanks around and a sign.
bool ParseInteger(const std::wstring& text, int& value);

}  // namespace kvr
