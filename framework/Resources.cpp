#include "Resources.h"

#include <atomic>
#include <vector>

#include "UIThread.h"

namespace kvr {

namespace {

std::atomic<CMessageBoxHook*> g_messageBoxHook{nullptr};

struct Spec {
    bool left = false, zero = false, plus = false, space = false, alternate = false;
    int width = 0;
    int precision = -1;
    wchar_t conversion = 0;
};

std::wstring Digits(unsigned long long value, unsigned base, bool upper) {
    const wchar_t* digits = upper ? L"0123456789ABCDEF" : L"0123456789abcdef";
    std::wstring text;
    do {
        text.insert(text.begin(), digits[value % base]);
        value /= base;
    } while (value != 0);
    return text;
}

std::wstring Convert(const Spec& spec, const FormatArg* arg) {
    if (arg == nullptr) return std::wstring();
    std::wstring sign, body;
    switch (spec.conversion) {
    case L'd':
    case L'i': {
        const long long v = arg->kind() == FormatArg::Kind::Text ? 0 : arg->AsSigned();
        if (arg->kind() == FormatArg::Kind::Text) return std::wstring(arg->Text());
        body = Digits(v < 0 ? 0ull - static_cast<unsigned long long>(v) : static_cast<unsigned long long>(v), 10,
                      false);
        sign = v < 0 ? L"-" : spec.plus ? L"+" : spec.space ? L" " : L"";
        break;
    }
    case L'u':
    case L'x':
    case L'X':
    case L'o': {
        if (arg->kind() == FormatArg::Kind::Text) return std::wstring(arg->Text());
        const unsigned base = spec.conversion == L'u' ? 10 : spec.conversion == L'o' ? 8 : 16;
        body = Digits(arg->AsUnsigned(), base, spec.conversion == L'X');
        break;
    }
    case L'c':
        if (arg->kind() == FormatArg::Kind::Text) return std::wstring(arg->Text().substr(0, 1));
        body.assign(1, static_cast<wchar_t>(arg->AsUnsigned()));
        break;
    default:  // s, S
        if (arg->kind() == FormatArg::Kind::Text) {
            body = std::wstring(arg->Text());
            if (spec.precision >= 0 && body.size() > static_cast<std::size_t>(spec.precision))
                body.resize(static_cast<std::size_t>(spec.precision));
        } else if (arg->kind() == FormatArg::Kind::Char) {
            body.assign(1, static_cast<wchar_t>(arg->AsUnsigned()));
        } else if (arg->kind() == FormatArg::Kind::Signed) {
            const long long v = arg->AsSigned();
            body = (v < 0 ? L"-" : L"") +
                   Digits(v < 0 ? 0ull - static_cast<unsigned long long>(v) : static_cast<unsigned long long>(v),
                          10, false);
        } else {
            body = Digits(arg->AsUnsigned(), 10, false);
        }
        break;
    }
    const bool numeric = spec.conversion != L's' && spec.conversion != L'S' && spec.conversion != L'c';
    if (numeric && spec.precision >= 0 && body.size() < static_cast<std::size_t>(spec.precision))
        body.insert(0, static_cast<std::size_t>(spec.precision) - body.size(), L'0');
    const std::size_t length = sign.size() + body.size();
    const std::size_t width = spec.width > 0 ? static_cast<std::size_t>(spec.width) : 0;
    if (length >= width) return sign + body;
    const std::size_t pad = width - length;
    if (spec.left) return sign + body + std::wstring(pad, L' ');
    if (spec.zero && numeric && spec.precision < 0) return sign + std::wstring(pad, L'0') + body;
    return std::wstring(pad, L' ') + sign + body;
}

}  // namespace

long long FormatArg::AsSigned() const {
    return m_kind == Kind::Signed ? m_signed : static_cast<long long>(m_unsigned);
}

unsigned long long FormatArg::AsUnsigned() const { return m_unsigned; }

HINSTANCE ModuleOf(const void* address) {
    HMODULE module = nullptr;
    ::GetModuleHandleExW(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
                         static_cast<LPCWSTR>(address), &module);
    return module;
}

HINSTANCE ResourceModule() { return ModuleOf(reinterpret_cast<const void*>(&ResourceModule)); }

std::wstring LoadResString(UINT id, HINSTANCE module) {
    const wchar_t* text = nullptr;
    // With a zero length LoadString hands out the resource text itself.
    const int n = ::LoadStringW(module, id, reinterpret_cast<LPWSTR>(&text), 0);
    return n > 0 && text != nullptr ? std::wstring(text, static_cast<std::size_t>(n)) : std::wstring();
}

std::wstring FormatText(std::wstring_view pattern, std::initializer_list<FormatArg> args) {
    std::wstring out;
    const FormatArg* next = args.begin();
    for (std::size_t i = 0; i < pattern.size(); ++i) {
        if (pattern[i] != L'%') {
            out += pattern[i];
            continue;
        }
        const std::size_t start = i++;
        if (i < pattern.size() && pattern[i] == L'%') {
            out += L'%';
            continue;
        }
        Spec spec;
        for (; i < pattern.size(); ++i) {
            const wchar_t c = pattern[i];
            if (c == L'-') spec.left = true;
            else if (c == L'0') spec.zero = true;
            else if (c == L'+') spec.plus = true;
            else if (c == L' ') spec.space = true;
            else if (c == L'#') spec.alternate = true;
            else break;
        }
        for (; i < pattern.size() && pattern[i] >= L'0' && pattern[i] <= L'9'; ++i)
            spec.width = spec.width < 1000 ? spec.width * 10 + (pattern[i] - L'0') : spec.width;
        if (i < pattern.size() && pattern[i] == L'.') {
            spec.precision = 0;
            for (++i; i < pattern.size() && pattern[i] >= L'0' && pattern[i] <= L'9'; ++i)
                spec.precision = spec.precision < 1000 ? spec.precision * 10 + (pattern[i] - L'0') : spec.precision;
        }
        if (pattern.substr(i, 3) == L"I64") i += 3;
        while (i < pattern.size() && (pattern[i] == L'l' || pattern[i] == L'h')) ++i;
        if (i >= pattern.size() || std::wstring_view(L"diuxXocsS").find(pattern[i]) == std::wstring_view::npos) {
            // Not a conversion we know: keep the text as it stands.
            out.append(pattern.substr(start, i - start + (i < pattern.size() ? 1 : 0)));
            continue;
        }
        spec.conversion = pattern[i];
        const FormatArg* arg = next != args.end() ? next++ : nullptr;
        out += Convert(spec, arg);
    }
    return out;
}

std::wstring FormatResString(UINT id, std::initializer_list<FormatArg> args) {
    return FormatText(LoadResString(id), args);
}

void SetMessageBoxHook(CMessageBoxHook* hook) { g_messageBoxHook = hook; }

int ShowMessageBox(HWND owner, const std::wstring& text, const std::wstring& caption, UINT type) {
    int answer = 0;
    if (CMessageBoxHook* hook = g_messageBoxHook)
        if (hook->OnMessageBox(owner, text, caption, type, answer)) return answer;
    // The box's own loop would drop a framework thread's thread messages.
    if (CWinThread* thread = CWinThread::Current())
        return thread->RunForeignModalLoop([&] { return ::MessageBoxW(owner, text.c_str(), caption.c_str(), type); });
    return ::MessageBoxW(owner, text.c_str(), caption.c_str(), type);
}

std::wstring FromAnsi(std::string_view text) {
    if (text.empty()) return std::wstring();
    const int n = ::MultiByteToWideChar(CP_ACP, 0, text.data(), static_cast<int>(text.size()), nullptr, 0);
    std::wstring wide(static_cast<std::size_t>(n > 0 ? n : 0), L'\0');
    if (n > 0) ::MultiByteToWideChar(CP_ACP, 0, text.data(), static_cast<int>(text.size()), wide.data(), n);
    return wide;
}

std::string ToAnsi(std::wstring_view text) {
    if (text.empty()) return std::string();
    const int n = ::WideCharToMultiByte(CP_ACP, 0, text.data(), static_cast<int>(text.size()), nullptr, 0, nullptr,
                                        nullptr);
    std::string narrow(static_cast<std::size_t>(n > 0 ? n : 0), '\0');
    if (n > 0)
        ::WideCharToMultiByte(CP_ACP, 0, text.data(), static_cast<int>(text.size()), narrow.data(), n, nullptr,
                              nullptr);
    return narrow;
}

std::wstring WindowsDirectoryPath(std::wstring_view relative) {
    wchar_t directory[MAX_PATH];
    const UINT n = ::GetWindowsDirectoryW(directory, MAX_PATH);
    if (n == 0 || n >= MAX_PATH) return std::wstring();
    return std::wstring(directory, n) + std::wstring(relative);
}

}  // namespace kvr
