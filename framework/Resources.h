#pragma once
// Module resources, string loading, text formatting and message boxes shared
// by the libraries and the applet.
#include <windows.h>

#include <cstdint>
#include <initializer_list>
#include <string>
#include <string_view>

namespace kvr {

// The module whose code holds `address`: a DLL, or the program when the
// code is linked into it.
HINSTANCE ModuleOf(const void* address);
// The module holding the framework's own code, and so the resources linked
// beside it (each library links its own copy of the framework).
HINSTANCE ResourceModule();

// A string of the module's table; empty if there is none.
std::wstring LoadResString(UINT id, HINSTANCE module = ResourceModule());

// One argument of FormatText: a number, a character or a text.
class FormatArg {
public:
    // %u and %x show a negative number in its own width, as printf does.
    FormatArg(int v) : m_kind(Kind::Signed), m_signed(v), m_unsigned(static_cast<unsigned>(v)) {}
    FormatArg(long v) : m_kind(Kind::Signed), m_signed(v), m_unsigned(static_cast<unsigned long>(v)) {}
    FormatArg(long long v)
        : m_kind(Kind::Signed), m_signed(v), m_unsigned(static_cast<unsigned long long>(v)) {}
    FormatArg(unsigned v) : m_kind(Kind::Unsigned), m_unsigned(v) {}
    FormatArg(unsigned long v) : m_kind(Kind::Unsigned), m_unsigned(v) {}
    FormatArg(unsigned long long v) : m_kind(Kind::Unsigned), m_unsigned(v) {}
    FormatArg(wchar_t c) : m_kind(Kind::Char), m_unsigned(static_cast<std::uint16_t>(c)) {}
    FormatArg(const wchar_t* s) : m_kind(Kind::Text), m_text(s ? s : L"") {}
    FormatArg(const std::wstring& s) : m_kind(Kind::Text), m_text(s) {}
    FormatArg(std::wstring_view s) : m_kind(Kind::Text), m_text(s) {}

    enum class Kind { Signed, Unsigned, Char, Text };
    Kind kind() const { return m_kind; }
    long long AsSigned() const;
    unsigned long long AsUnsigned() const;
    std::wstring_view Text() const { return m_text; }

private:
    Kind m_kind;
    long long m_signed = 0;
    unsigned long long m_unsigned = 0;
    std::wstring_view m_text;
};

// printf-style formatting (%d %i %u %x %X %o %c %s with flags, width and
// precision; l, ll, h and I64 are accepted and ignored) with typed arguments,
// so a pattern from a resource can never read a wrong argument: a missing
// argument formats as nothing, a number given for %s as its decimal text.
std::wstring FormatText(std::wstring_view pattern, std::initializer_list<FormatArg> args = {});
// The same with a pattern from the string table.
std::wstring FormatResString(UINT id, std::initializer_list<FormatArg> args = {});

// Lets tests answer message boxes instead of a user; none in the product.
class CMessageBoxHook {
public:
    // Return true and set answer to stand for the user.
    virtual bool OnMessageBox(HWND owner, const std::wstring& text, const std::wstring& caption, UINT type,
                              int& answer) = 0;

protected:
    ~CMessageBoxHook() = default;
};
void SetMessageBoxHook(CMessageBoxHook* hook);

// A message box that keeps a framework thread's own messages flowing while
// it is up.
int ShowMessageBox(HWND owner, const std::wstring& text, const std::wstring& caption, UINT type);

// Converts between the ANSI code page and UTF-16.
std::wstring FromAnsi(std::string_view text);
std::string ToAnsi(std::wstring_view text);

// The Windows directory followed by `relative`; empty if it cannot be found.
std::wstring WindowsDirectoryPath(std::wstring_view relative);

}  // namespace kvr
