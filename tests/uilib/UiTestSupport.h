#pragma once
// A driver for the library's windows in tests: it learns of each dialog as it
// opens, answers message boxes from a script, and collects callbacks.
#include <windows.h>

#include <condition_variable>
#include <deque>
#include <mutex>
#include <string>
#include <vector>

#include "AuthInfo.h"
#include "KvrAuth.h"
#include "UiSupport.h"
#include "RegistryNames.h"
#include "ScratchRegistry.h"

namespace kvr::test {

struct Box {
    std::wstring text;
    std::wstring caption;
    UINT type;
};

struct Callback {
    DWORD result;
    AuthInfo info;  // the record as the library left it when it called back
};

class UiDriver : public CUIThreadObserver {
public:
    UiDriver();
    ~UiDriver();

    void OnMessage(UINT message, WPARAM wParam, const void* block) override;
    void OnThreadEnd() override;
    void OnDialogShown(UINT templateId, HWND dialog) override;
    bool OnMessageBox(LPCWSTR text, LPCWSTR caption, UINT type, int& answer) override;
    void OnDialogClosed(UINT templateId, const void* window) override;
    void OnLamps(HWND window, WORD lamps) override;
    // Waits until a modem window reports exactly these lamps.
    void WaitLamps(WORD lamps);

    // Waits for the next dialog of this template to open.
    HWND WaitDialog(UINT templateId);
    void WaitHandled(UINT message, int count);
    void WaitThreadEnd();
    void WaitClosed(UINT templateId, int count);
    // "shown N", "closed N" (N the template id) and "end", in order.
    std::vector<std::string> Events();
    void WaitCallbacks(std::size_t count);

    // Answers for the message boxes to come, in order (IDOK once they run out).
    void AnswerBoxes(std::vector<int> answers);
    // Lets the next message box really open; WaitRealBox returns its window.
    void LetBoxesOpen();
    HWND WaitRealBox();
    std::vector<Box> Boxes();
    std::vector<UINT> Handled();
    std::vector<Callback> Callbacks();
    int DialogsShown();
    bool ThreadEnded();

    static void WINAPI Record(DWORD result, AuthInfo* info);

private:
    template <typename Pred>
    void Wait(Pred pred) {
        std::unique_lock guard(m_lock);
        m_changed.wait(guard, pred);
    }

    std::mutex m_lock;
    std::condition_variable m_changed;
    std::deque<std::pair<UINT, HWND>> m_dialogs;
    int m_dialogsShown = 0;
    std::deque<int> m_answers;
    std::vector<Box> m_boxes;
    std::vector<UINT> m_handled;
    std::vector<Callback> m_callbacks;
    bool m_ended = false;
    std::vector<std::string> m_events;
    std::vector<WORD> m_lamps;
    bool m_realBoxes = false;
    HWND m_realBox = nullptr;
    HHOOK m_boxHook = nullptr;
    static LRESULT CALLBACK BoxHook(int code, WPARAM wParam, LPARAM lParam);
};

// A global option as the library stored it.
inline bool GetGlobal(const wchar_t* name, DWORD& value) {
    const auto stored = ScratchRegistry::GetDword(reg::kRezorivKey, name);
    if (stored) value = *stored;
    return stored.has_value();
}

// Cross-thread helpers on a dialog owned by an instance's thread.
void SetText(HWND dialog, int id, const std::wstring& text);
std::wstring Text(HWND window);
void Click(HWND dialog, int id);

AuthInfo MakeAuthInfo(const wchar_t* user, const wchar_t* password, const wchar_t* server, const wchar_t* port);

}  // namespace kvr::test
