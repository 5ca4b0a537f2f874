#include "UiSupport.h"

#include <atomic>

#include "KvrAuthRes.h"
#include "UIThread.h"

namespace kvr {

namespace {
std::atomic<CUIThreadObserver*> g_observer{nullptr};
}

void SetUIThreadObserver(CUIThreadObserver* observer) { g_observer = observer; }
CUIThreadObserver* UIThreadObserver() { return g_observer; }

HINSTANCE UiModule() {
    HMODULE module = nullptr;
    ::GetModuleHandleExW(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
                         reinterpret_cast<LPCWSTR>(&UiModule), &module);
    return module;
}

std::wstring LoadUiString(UINT id) {
    const wchar_t* text = nullptr;
    // With a zero length LoadString hands out the resource text itself.
    const int n = ::LoadStringW(UiModule(), id, reinterpret_cast<LPWSTR>(&text), 0);
    return n > 0 && text != nullptr ? std::wstring(text, static_cast<std::size_t>(n)) : std::wstring();
}

std::wstring FormatUiText(const std::wstring& pattern, const std::wstring& argument) {
    std::wstring text = pattern;
    const auto at = text.find(L"%s");
    if (at != std::wstring::npos) text.replace(at, 2, argument);
    return text;
}

int UiMessageBox(HWND owner, const std::wstring& text, const std::wstring& caption, UINT type) {
    int answer = 0;
    if (CUIThreadObserver* observer = g_observer)
        if (observer->OnMessageBox(text.c_str(), caption.c_str(), type, answer)) return answer;
    // The box's own loop would drop the instance's thread messages.
    if (CWinThread* thread = CWinThread::Current())
        return thread->RunForeignModalLoop([&] { return ::MessageBoxW(owner, text.c_str(), caption.c_str(), type); });
    return ::MessageBoxW(owner, text.c_str(), caption.c_str(), type);
}

void NotifyDialogShown(UINT templateId, HWND dialog) {
    if (CUIThreadObserver* observer = g_observer) observer->OnDialogShown(templateId, dialog);
}

void NotifyDialogClosed(UINT templateId, const void* window) {
    if (CUIThreadObserver* observer = g_observer) observer->OnDialogClosed(templateId, window);
}

std::wstring HelpFilePath() {
    wchar_t directory[MAX_PATH];
    const UINT n = ::GetWindowsDirectoryW(directory, MAX_PATH);
    if (n == 0 || n >= MAX_PATH) return std::wstring();
    return std::wstring(directory, n) + LoadUiString(IDS_HELP_FILE);
}

}  // namespace kvr
