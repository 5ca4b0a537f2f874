#pragma once
// Small helpers shared by the library's windows: the fixed text fields of
// AuthInfo, the help file, and the test observer.
#include <windows.h>

#include <cwchar>
#include <string>

namespace kvr {

// Lets tests watch an instance at work; none is installed in the product.
class CUIThreadObserver {
public:
    // Called on the instance's thread as a handler starts, with its block.
    virtual void OnMessage(UINT message, WPARAM wParam, const void* block) = 0;
    // Called on the instance's thread once it no longer accepts messages.
    virtual void OnThreadEnd() {}
    // Called on the instance's thread when one of its dialogs has initialised.
    virtual void OnDialogShown(UINT /*templateId*/, HWND) {}
    // Called on the instance's thread when one of its modeless windows has gone.
    virtual void OnDialogClosed(UINT /*templateId*/, const void* /*window*/) {}
    // Called on the instance's thread whenever a modem window's lamps change.
    virtual void OnLamps(HWND /*window*/, WORD /*lamps*/) {}
    // May answer a message box instead of the user: return true and set answer.
    virtual bool OnMessageBox(LPCWSTR /*text*/, LPCWSTR /*caption*/, UINT /*type*/, int& /*answer*/) {
        return false;
    }

protected:
    ~CUIThreadObserver() = default;
};
void SetUIThreadObserver(CUIThreadObserver* observer);
CUIThreadObserver* UIThreadObserver();

// The library's help file: the Windows directory and "\HELP\KVRHELP.HLP";
// empty if the Windows directory cannot be found.
std::wstring HelpFilePath();

// Reads a fixed-size text field that may lack its terminator.
template <std::size_t N>
std::wstring FieldText(const wchar_t (&field)[N]) {
    return std::wstring(field, ::wcsnlen(field, N));
}
// Writes a fixed-size text field, cut to fit with its terminator.
template <std::size_t N>
void SetFieldText(wchar_t (&field)[N], const std::wstring& text) {
    const std::size_t n = text.size() < N - 1 ? text.size() : N - 1;
    text.copy(field, n);
    field[n] = L'\0';
}

void NotifyDialogShown(UINT templateId, HWND dialog);
void NotifyDialogClosed(UINT templateId, const void* window);

}  // namespace kvr
