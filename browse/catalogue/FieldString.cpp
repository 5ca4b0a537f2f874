#include "FieldString.h"

#include <limits>
#include <string>

namespace kvr::browse {
namespace {

constexpr std::string_view kItemSeparators = " \t,-;/";

bool IsItemSeparator(char c) { return kItemSeparators.find(c) != std::string_view::npos; }

char Upper(char c) { return (c >= 'a' && c <= 'z') ? static_cast<char>(c - 'a' + 'A') : c; }


int HexDigit(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    return -1;
}

std::int32_t Saturate(std::uint64_t magnitude, bool negative) {
    constexpr std::uint64_t kMax = std::numeric_limits<std::int32_t>::max();
    if (negative) {
        if (magnitude > kMax + 1) return std::numeric_limits<std::int32_t>::min();
        return static_cast<std::int32_t>(-static_cast<std::int64_t>(magnitude));
    }
    return static_cast<std::int32_t>(magnitude > kMax ? kMax : magnitude);
}

// Decimal digits from the start of text, with the magnitude capped so long
// digit runs cannot overflow.
std::uint64_t ReadDecimalDigits(std::string_view text) {
    std::uint64_t value = 0;
    for (char c : text) {
        if (c < '0' || c > '9') break;
        value = value * 10 + static_cast<unsigned>(c - '0');
        if (value > (1ull << 40)) value = 1ull << 40;
    }
    return value;
}

// Splits one field's value into items and hands each to take(); take returns
// false to stop.
template <typename Take>
void ForEachItem(std::string_view value, Take take) {
    std::size_t pos = 0;
    while (pos < value.size()) {
        while (pos < value.size() && IsItemSeparator(value[pos])) ++pos;
        std::size_t end = pos;
        while (end < value.size() && !IsItemSeparator(value[end])) ++end;
        if (end > pos && !take(value.substr(pos, end - pos))) return;
        pos = end;
    }
}

// The value of keyword in the upper-cased, comment-free text: it starts after
// the "=" that follows the keyword's first occurrence and runs to the next
// "/". The "=" must lie in the keyword's own field, so a bare keyword never
// borrows the value of the field after it.
std::string_view FieldValue(std::string_view text, std::string_view keyword) {
    const std::size_t at = text.find(keyword);
    if (at == std::string_view::npos) return {};
    const std::size_t fieldEnd = text.find('/', at);
    const std::string_view field =
        text.substr(at + keyword.size(), fieldEnd == std::string_view::npos ? std::string_view::npos
                                                                           : fieldEnd - at - keyword.size());
    const std::size_t equals = field.find('=');
    if (equals == std::string_view::npos) return {};
    std::string_view value = field.substr(equals + 1);
    while (!value.empty() && (value.front() == ' ' || value.front() == '\t')) value.remove_prefix(1);
    return value;
}

}  // namespace

std::int32_t ParseNumberItem(std::string_view item) {
    if (item.size() >= 2 && item[0] == '0' && (item[1] == 'X' || item[1] == 'x')) {
        std::uint64_t value = 0;
        for (char c : item.substr(2)) {
            const int digit = HexDigit(c);
            if (digit < 0) break;
            value = value * 16 + static_cast<unsigned>(digit);
            if (value > (1ull << 40)) value = 1ull << 40;
        }
        return Saturate(value, false);
    }
    const bool negative = !item.empty() && item[0] == '-';
    return Saturate(ReadDecimalDigits(negative ? item.substr(1) : item), negative);
}

std::int32_t ParseDecimalName(std::string_view text) {
    std::size_t pos = 0;
    while (pos < text.size() && (text[pos] == ' ' || (text[pos] >= '\t' && text[pos] <= '\r'))) ++pos;
    bool negative = false;
    if (pos < text.size() && (text[pos] == '+' || text[pos] == '-')) negative = text[pos++] == '-';
    return Saturate(ReadDecimalDigits(text.substr(pos)), negative);
}

void CopyCut(std::string_view text, char* field, std::size_t capacity) {
    const std::size_t n = text.size() < capacity ? text.size() : capacity;
    text.copy(field, n);
    field[n] = '\0';
}

std::string_view EntryNameOf(std::string_view valueName) {
    while (!valueName.empty() && (valueName.front() == ' ' || valueName.front() == '\t')) valueName.remove_prefix(1);
    return valueName;
}

DeviceTypeFields ParseFieldString(std::string_view data) {
    // Registry text may carry a NUL before its stated end.
    data = data.substr(0, data.find('\0'));
    std::string text(data.substr(0, data.find('#')));
    for (char& c : text) c = Upper(c);

    DeviceTypeFields fields;
    bool sapListEnded = false;
    ForEachItem(FieldValue(text, "TYPE"), [&](std::string_view item) {
        const std::int32_t type = ParseNumberItem(item);
        if (type == 0) sapListEnded = true;
        if (!sapListEnded) fields.sapTypes[fields.sapTypeCount++] = type;
        return !sapListEnded && fields.sapTypeCount < kMaxSapTypes;
    });
    ForEachItem(FieldValue(text, "SOCKET"), [&](std::string_view item) {
        fields.sockets[fields.socketCount++] = ParseNumberItem(item);
        return fields.socketCount < kMaxSockets;
    });
    ForEachItem(FieldValue(text, "CODE"), [&](std::string_view item) {
        CopyCut(item, fields.code, kCodeChars);
        return false;
    });
    ForEachItem(FieldValue(text, "ACCESS"), [&](std::string_view item) {
        fields.access = ParseNumberItem(item);
        return false;
    });
    ForEachItem(FieldValue(text, "HARDWARE"), [&](std::string_view item) {
        fields.hardwareType = ParseNumberItem(item);
        return false;
    });
    return fields;
}

LookupOrder ParseLookupMethods(std::string_view text) {
    text = text.substr(0, text.find('\0'));
    if (text.empty()) return {};
    LookupOrder order{0, 0, 0};
    int next = 1;
    ForEachItem(text, [&](std::string_view word) {
        int* place = nullptr;
        if (EqualsNoCase(word, "DNS")) place = &order.dns;
        else if (EqualsNoCase(word, "Proprietary")) place = &order.proprietary;
        else if (EqualsNoCase(word, "DeviceFile")) place = &order.deviceFile;
        if (place != nullptr && *place == 0) *place = next++;
        return next <= 3;
    });
    return order;
}

bool EqualsNoCase(std::string_view a, std::string_view b) {
    if (a.size() != b.size()) return false;
    for (std::size_t i = 0; i < a.size(); ++i) {
        if (Upper(a[i]) != Upper(b[i])) return false;
    }
    return true;
}

}  // namespace kvr::browse
