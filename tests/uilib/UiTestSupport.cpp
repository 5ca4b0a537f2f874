#include "UiTestSupport.h"

#include <cwchar>
#include <utility>

namespace kvr::test {

namespace {
UiDriver* g_driver = nullptr;  // the callbacks are plain functions
}

UiDriver::UiDriver() {
    g_driver = this;
    SetUIThreadObserver(this);
}

UiDriver::~UiDriver() {
    SetUIThreadObserver(nullptr);
    g_driver = nullptr;
}

void UiDriver::OnDialogClosed(UINT templateId, const void*) {
    std::lock_guard guard(m_lock);
    m_events.push_back("closed " + std::to_string(templateId));
    m_changed.notify_all();
}

void UiDriver::OnLamps(HWND, WORD lamps) {
    std::lock_guard guard(m_lock);
    m_lamps.push_back(lamps);
    m_changed.notify_all();
}

void UiDriver::WaitLamps(WORD lamps) {
    Wait([&] { return !m_lamps.empty() && m_lamps.back() == lamps; });
}

void UiDriver::WaitClosed(UINT templateId, int count) {
    const std::string closed = "closed " + std::to_string(templateId);
    Wait([&] {
        int n = 0;
        for (const auto& e : m_events) n += e == closed;
        return n >= count;
    });
}

std::vector<std::string> UiDriver::Events() {
    std::lock_guard guard(m_lock);
    return m_events;
}

void UiDriver::OnMessage(UINT message, WPARAM, const void*) {
    std::lock_guard guard(m_lock);
    m_handled.push_back(message);
    m_changed.notify_all();
}

void UiDriver::OnThreadEnd() {
    std::lock_guard guard(m_lock);
    m_ended = true;
    m_events.push_back("end");
    m_changed.notify_all();
}

void UiDriver::OnDialogShown(UINT templateId, HWND dialog) {
    std::lock_guard guard(m_lock);
    m_dialogs.emplace_back(templateId, dialog);
    m_events.push_back("shown " + std::to_string(templateId));
    ++m_dialogsShown;
    m_changed.notify_all();
}

void UiDriver::LetBoxesOpen() {
    std::lock_guard guard(m_lock);
    m_realBoxes = true;
}

HWND UiDriver::WaitRealBox() {
    Wait([&] { return m_realBox != nullptr; });
    std::lock_guard guard(m_lock);
    return std::exchange(m_realBox, nullptr);
}

// Runs on the instance's thread: reports the box once it is activated.
LRESULT CALLBACK UiDriver::BoxHook(int code, WPARAM wParam, LPARAM lParam) {
    if ((code == HCBT_ACTIVATE || code == HCBT_CREATEWND) && g_driver != nullptr) {
        std::lock_guard guard(g_driver->m_lock);
        if (g_driver->m_boxHook != nullptr) {
            ::UnhookWindowsHookEx(std::exchange(g_driver->m_boxHook, nullptr));
            g_driver->m_realBox = reinterpret_cast<HWND>(wParam);
            g_driver->m_changed.notify_all();
        }
    }
    return ::CallNextHookEx(nullptr, code, wParam, lParam);
}

bool UiDriver::OnMessageBox(LPCWSTR text, LPCWSTR caption, UINT type, int& answer) {
    std::lock_guard guard(m_lock);
    m_boxes.push_back(Box{text, caption, type});
    if (m_realBoxes) {
        m_boxHook = ::SetWindowsHookExW(WH_CBT, &BoxHook, nullptr, ::GetCurrentThreadId());
        return false;
    }
    answer = IDOK;
    if (!m_answers.empty()) {
        answer = m_answers.front();
        m_answers.pop_front();
    }
    m_changed.notify_all();
    return true;
}

HWND UiDriver::WaitDialog(UINT templateId) {
    Wait([&] { return !m_dialogs.empty() && m_dialogs.front().first == templateId; });
    std::lock_guard guard(m_lock);
    const HWND dialog = m_dialogs.front().second;
    m_dialogs.pop_front();
    return dialog;
}

void UiDriver::WaitHandled(UINT message, int count) {
    Wait([&] {
        int n = 0;
        for (UINT m : m_handled) n += m == message;
        return n >= count;
    });
}

void UiDriver::WaitThreadEnd() {
    Wait([&] { return m_ended; });
}

void UiDriver::WaitCallbacks(std::size_t count) {
    Wait([&] { return m_callbacks.size() >= count; });
}

void UiDriver::AnswerBoxes(std::vector<int> answers) {
    std::lock_guard guard(m_lock);
    m_answers.assign(answers.begin(), answers.end());
}

std::vector<Box> UiDriver::Boxes() {
    std::lock_guard guard(m_lock);
    return m_boxes;
}

std::vector<UINT> UiDriver::Handled() {
    std::lock_guard guard(m_lock);
    return m_handled;
}

std::vector<Callback> UiDriver::Callbacks() {
    std::lock_guard guard(m_lock);
    return m_callbacks;
}

int UiDriver::DialogsShown() {
    std::lock_guard guard(m_lock);
    return m_dialogsShown;
}

bool UiDriver::ThreadEnded() {
    std::lock_guard guard(m_lock);
    return m_ended;
}

void WINAPI UiDriver::Record(DWORD result, AuthInfo* info) {
    if (g_driver == nullptr) return;
    std::lock_guard guard(g_driver->m_lock);
    g_driver->m_callbacks.push_back(Callback{result, *info});
    g_driver->m_changed.notify_all();
}

void SetText(HWND dialog, int id, const std::wstring& text) {
    ::SendMessageW(::GetDlgItem(dialog, id), WM_SETTEXT, 0, reinterpret_cast<LPARAM>(text.c_str()));
}

std::wstring Text(HWND window) {
    wchar_t text[600] = {};
    ::SendMessageW(window, WM_GETTEXT, 600, reinterpret_cast<LPARAM>(text));
    return text;
}

void Click(HWND dialog, int id) {
    ::SendMessageW(dialog, WM_COMMAND, MAKEWPARAM(id, BN_CLICKED), reinterpret_cast<LPARAM>(::GetDlgItem(dialog, id)));
}

AuthInfo MakeAuthInfo(const wchar_t* user, const wchar_t* password, const wchar_t* server, const wchar_t* port) {
    AuthInfo info{};
    SetFieldText(info.userName, user);
    SetFieldText(info.password, password);
    SetFieldText(info.serverName, server);
    SetFieldText(info.dosName, port);
    return info;
}

}  // namespace kvr::test
