// Shows each window of KVRAUTH.DLL in turn through its exports. For every
// scene it prints "SCENE <name> <left> <top> <right> <bottom>" (the window's
// screen rectangle) and waits for a line on standard input before closing it,
// so a script can take a picture in between. Ends with "DONE" (exit code 0)
// or "FAILED <what>" (exit code 1).
#include <windows.h>

#include <cstdio>
#include <cstring>
#include <functional>
#include <string>

#include "Handles.h"
#include "KvrAuth.h"
#include "KvrAuthRes.h"
#include "Registry.h"
#include "RegistryNames.h"
#include "RegistrySnapshot.h"
#include "Scene.h"

namespace {

constexpr DWORD kWaitMs = 15000;
constexpr DWORD kPollMs = 50;
constexpr wchar_t kServer[] = L"Server7";
constexpr wchar_t kDosName[] = L"COM3";

kvr::UniqueHandle g_callbackDone;

void WINAPI OnDialogDone(DWORD, AuthInfo*) { ::SetEvent(g_callbackDone.Get()); }

// Polls for a window: it is made on the library's own thread.
HWND WaitForWindow(const std::function<HWND()>& find) {
    for (DWORD waited = 0; waited < kWaitMs; waited += kPollMs) {
        const HWND window = find();
        if (window != nullptr && ::IsWindowVisible(window)) return window;
        ::Sleep(kPollMs);
    }
    return nullptr;
}

bool WaitGone(HWND window) {
    for (DWORD waited = 0; waited < kWaitMs; waited += kPollMs) {
        if (!::IsWindow(window)) return true;
        ::Sleep(kPollMs);
    }
    return false;
}

HWND FindDialog(const std::wstring& title) { return ::FindWindowW(L"#32770", title.c_str()); }

// The narration line has no caption: it is the window of this process that
// holds the narration text control.
HWND FindNarration() {
    struct Search {
        DWORD pid;
        HWND found;
    } search{::GetCurrentProcessId(), nullptr};
    ::EnumWindows(
        [](HWND window, LPARAM param) -> BOOL {
            auto* s = reinterpret_cast<Search*>(param);
            DWORD pid = 0;
            ::GetWindowThreadProcessId(window, &pid);
            if (pid != s->pid || ::GetDlgItem(window, IDC_NARRATION_TEXT) == nullptr) return TRUE;
            s->found = window;
            return FALSE;
        },
        reinterpret_cast<LPARAM>(&search));
    return search.found;
}

void PressButton(HWND dialog, int id) {
    ::PostMessageW(dialog, WM_COMMAND, MAKEWPARAM(id, BN_CLICKED),
                   reinterpret_cast<LPARAM>(::GetDlgItem(dialog, id)));
}

// The settings the modem window and the narration read, as the shots need
// them whatever a user chose in the Chooser; every global value is put back
// when the shots end (the window also saves its own placement when it moves).
class ShotOptions {
public:
    ShotOptions() {
        m_key = kvr::RegKey::Create(HKEY_LOCAL_MACHINE, reg::kRezorivKey);
        m_key.WriteText(reg::kModemLocation, std::wstring(L"ON"));
        m_key.WriteDword(reg::kNarrate, 1);
    }
    ShotOptions(const ShotOptions&) = delete;
    ShotOptions& operator=(const ShotOptions&) = delete;

    void Use(DWORD size, DWORD x, DWORD y) const {
        m_key.WriteDword(reg::kModemSize, size);
        m_key.WriteDword(reg::kModemX, x);
        m_key.WriteDword(reg::kModemY, y);
    }

private:
    RegistrySnapshot m_saved{HKEY_LOCAL_MACHINE, reg::kRezorivKey};
    kvr::RegKey m_key;
};

AuthInfo DummyInfo() {
    AuthInfo info{};
    std::wcscpy(info.serverName, kServer);
    std::wcscpy(info.dosName, kDosName);
    std::wcscpy(info.userName, L"alice");
    return info;
}

// A dialog scene: shown, photographed, then cancelled; the callback must come.
bool DialogScene(const char* name, HWND dialog) {
    if (dialog == nullptr || !kvr::shots::PresentScene(name, dialog)) return false;
    PressButton(dialog, IDCANCEL);
    return ::WaitForSingleObject(g_callbackDone.Get(), kWaitMs) == WAIT_OBJECT_0 && WaitGone(dialog);
}

bool AuthScene(KvrUiHandle ui, AuthInfo& info) {
    if (CreateAuthWindow(ui, &info, OnDialogDone) != 0) return false;
    const std::wstring title = std::wstring(L"Enter Remote Access Server Password - ") + kDosName;
    return DialogScene("auth", WaitForWindow([&] { return FindDialog(title); }));
}

bool PasswordScene(KvrUiHandle ui, AuthInfo& info) {
    if (ChangePassword(ui, &info, OnDialogDone, kPasswordExpired) != 0) return false;
    // The question whether to change the password comes first.
    const HWND question = WaitForWindow([] { return FindDialog(L"Grace Login"); });
    if (question == nullptr) return false;
    PressButton(question, IDYES);
    const std::wstring title = std::wstring(L"Change Password - ") + kServer;
    return DialogScene("password", WaitForWindow([&] { return FindDialog(title); }));
}

DWORD_PTR QueryLamps(HWND modem) {
    DWORD_PTR lamps = 0;
    ::SendMessageTimeoutW(modem, WM_APP + 1, 0, 0, SMTO_ABORTIFHUNG, kWaitMs, &lamps);
    return lamps;
}

bool ModemScene(KvrUiHandle ui, const AuthInfo& info, const ShotOptions& options, DWORD size, const char* name) {
    options.Use(size, 40, 40);
    if (CreateModem(ui, &info) != 0) return false;
    const std::wstring title = std::wstring(kDosName) + L" Modem Status";
    const HWND modem = WaitForWindow([&] { return ::FindWindowW(nullptr, title.c_str()); });
    if (modem == nullptr) return false;
    // The receive lamp goes out by itself a moment after it lights, so the
    // scene is shown again until the lamp is still lit after the picture.
    constexpr DWORD kLit = kLampCD | kLampRD;
    for (int attempt = 0; attempt < 20; ++attempt) {
        if (UpdateModemLEDs(ui, kLit) != 0) return false;
        // The lamp query answers once the change is painted.
        DWORD waited = 0;
        while ((QueryLamps(modem) & kLit) != kLit && waited < kWaitMs) {
            ::Sleep(kPollMs / 5);
            waited += kPollMs / 5;
        }
        if (waited >= kWaitMs || !kvr::shots::PresentScene(name, modem)) return false;
        if ((QueryLamps(modem) & kLit) == kLit) return DestroyModem(ui) == 0 && WaitGone(modem);
    }
    return false;
}

bool NarrationScene(KvrUiHandle ui) {
    if (PostNarration(ui, kNarrateAttempting, kServer, nullptr, nullptr) != 0) return false;
    const HWND narration = WaitForWindow(FindNarration);
    if (narration == nullptr || !kvr::shots::PresentScene("narration", narration)) return false;
    return DestroyNarrationWindow(ui) == 0 && WaitGone(narration);
}

}  // namespace

int main() {
    g_callbackDone.Reset(::CreateEventW(nullptr, FALSE, FALSE, nullptr));
    KvrUiHandle ui = CreateUI();
    if (ui == nullptr) return kvr::shots::Fail("CreateUI");
    AuthInfo info = DummyInfo();
    int rc = 0;
    {
        const ShotOptions options;
        if (!AuthScene(ui, info))
            rc = kvr::shots::Fail("auth");
        else if (!PasswordScene(ui, info))
            rc = kvr::shots::Fail("password");
        else if (!ModemScene(ui, info, options, 1, "modem-small"))
            rc = kvr::shots::Fail("modem-small");
        else if (!ModemScene(ui, info, options, 2, "modem-large"))
            rc = kvr::shots::Fail("modem-large");
        else if (!NarrationScene(ui))
            rc = kvr::shots::Fail("narration");
    }
    // Returns once the instance no longer touches info or calls back.
    DestroyUI(ui);
    if (rc == 0) kvr::shots::Done();
    return rc;
}
