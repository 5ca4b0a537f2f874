#include "DataExchange.h"

#include <climits>
#include <cwctype>
#include <vector>

#include "Resources.h"

namespace kvr {

namespace {

std::wstring Substitute(std::wstring text, const std::wstring& first, const std::wstring& second = {}) {
    for (auto [marker, value] : {std::pair{L"%1", &first}, std::pair{L"%2", &second}}) {
        const auto at = text.find(marker);
        if (at != std::wstring::npos) text.replace(at, 2, *value);
    }
    return text;
}

bool Fail(HWND dialog, int id, const std::wstring& message) {
    wchar_t title[256] = {};
    ::GetWindowTextW(dialog, title, 256);
    ShowMessageBox(dialog, message, title, MB_OK | MB_ICONEXCLAMATION);
    const HWND control = ::GetDlgItem(dialog, id);
    ::SetFocus(control);
    ::SendMessageW(control, EM_SETSEL, 0, -1);
    return false;
}

std::wstring ItemText(HWND dialog, int id) {
    const HWND control = ::GetDlgItem(dialog, id);
    std::wstring text(static_cast<std::size_t>(::GetWindowTextLengthW(control)) + 1, L'\0');
    text.resize(static_cast<std::size_t>(::GetWindowTextW(control, text.data(), static_cast<int>(text.size()))));
    return text;
}

}  // namespace

bool ParseInteger(const std::wstring& text, int& value) {
    std::size_t i = 0;
    while (i < text.size() && std::iswspace(text[i])) ++i;
    bool negative = false;
    if (i < text.size() && (text[i] == L'-' || text[i] == L'+')) negative = text[i++] == L'-';
    const std::size_t digitsStart = i;
    long long number = 0;
    for (; i < text.size() && text[i] >= L'0' && text[i] <= L'9'; ++i) {
        number = number * 10 + (text[i] - L'0');
        if (number > static_cast<long long>(INT_MAX) + 1) return false;
    }
    if (i == digitsStart) return false;
    while (i < text.size() && std::iswspace(text[i])) ++i;
    if (i != text.size()) return false;
    if (negative) number = -number;
    if (number < INT_MIN || number > INT_MAX) return false;
    value = static_cast<int>(number);
    return true;
}

bool ExchangeData(HWND dialog, std::span<const DdxField> fields, bool save) {
    // A save validates every field before any member changes, so a failed
    // save leaves no mixture of old and new values behind.
    std::vector<int> numbers(fields.size());
    std::vector<std::wstring> texts(fields.size());
    for (std::size_t i = 0; i < fields.size(); ++i) {
        const DdxField& field = fields[i];
        const HWND control = ::GetDlgItem(dialog, field.id);
        switch (field.kind) {
        case DdxField::Kind::Integer:
            if (!save) {
                ::SetWindowTextW(control, std::to_wstring(*field.number).c_str());
                break;
            }
            {
                int& value = numbers[i];
                if (!ParseInteger(ItemText(dialog, field.id), value)) return Fail(dialog, field.id, kDdxNotAnInteger);
                if (value < field.minimum || value > field.maximum)
                    return Fail(dialog, field.id,
                                Substitute(kDdxIntegerRange, std::to_wstring(field.minimum),
                                           std::to_wstring(field.maximum)));
            }
            break;
        case DdxField::Kind::Text:
            if (!save) {
                ::SendMessageW(control, EM_LIMITTEXT, static_cast<WPARAM>(field.maxChars), 0);
                ::SetWindowTextW(control, field.text->c_str());
                break;
            }
            texts[i] = ItemText(dialog, field.id);
            if (texts[i].size() > static_cast<std::size_t>(field.maxChars))
                return Fail(dialog, field.id, Substitute(kDdxTextTooLong, std::to_wstring(field.maxChars)));
            break;
        case DdxField::Kind::Check:
            if (save)
                numbers[i] = ::SendMessageW(control, BM_GETCHECK, 0, 0) == BST_CHECKED ? 1 : 0;
            else
                ::SendMessageW(control, BM_SETCHECK, *field.number ? BST_CHECKED : BST_UNCHECKED, 0);
            break;
        }
    }
    if (save)
        for (std::size_t i = 0; i < fields.size(); ++i) {
            if (fields[i].kind == DdxField::Kind::Text)
                *fields[i].text = std::move(texts[i]);
            else
                *fields[i].number = numbers[i];
        }
    return true;
}

}  // namespace kvr
