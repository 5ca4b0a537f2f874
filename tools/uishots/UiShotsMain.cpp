// Shows each window of KVRAUTH.DLL in turn through its exports. For every
// scene it prints "SCENE <name> <left> <top> <right> <bottom>" (the window's
// screen rectangle) and waits for a line on standard input before closing it,
// so a script can take a picture in between. Ends with "DONE" (exit code 0)
// or "FAILED <what>" (exit code 1).
#include <windows.h>

#include <cstdio>
#include <cstring>
#include <functional>
#include <optional>
#include <string>

#include "Handles.h"
#include "KvrAuth.h"
#include "KvrAuthRes.h"
#include "RegistryNames.h"

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

// Paints the window now and prints its rectangle, then waits for the go-ahead.
bool Present(const char* name, HWND window) {
    ::SetForegroundWindow(window);
    ::RedrawWindow(window, nullptr, nullptr, RDW_INVALIDATE | RDW_ERASE | RDW_FRAME | RDW_ALLCHILDREN | RDW_UPDATENOW);
    DWORD_PTR ignored = 0;
    ::SendMessageTimeoutW(window, WM_NULL, 0, 0, SMTO_ABORTIFHUNG, kWaitMs, &ignored);
    RECT r{};
    ::GetWindowRect(window, &r);
    std::printf("SCENE %s %ld %ld %ld %ld\n", name, r.left, r.top, r.right, r.bottom);
    std::fflush(stdout);
    char line[64];
    return std::fgets(line, sizeof line, stdin) != nullptr;
}

// ModemSize, ModemX and ModemY as they were, put back when the shots end
// (the window also saves its own placement when it moves).
class SavedModemOptions {
public:
    SavedModemOptions() {
        ::RegCreateKeyExW(HKEY_LOCAL_MACHINE, reg::kRezorivKey, 0, nullptr, 0, KEY_QUERY_VALUE | KEY_SET_VALUE,
                          nullptr, m_key.Put(), nullptr);
        for (int i = 0; i < kCount; ++i) {
            DWORD type = 0, value = 0, size = sizeof value;
            if (::RegQueryValueExW(m_key.Get(), kNames[i], nullptr, &type, reinterpret_cast<BYTE*>(&value), &size) ==
                    ERROR_SUCCESS &&
                type == REG_DWORD && size == sizeof value)
                m_saved[i] = value;
        }
    }
    ~SavedModemOptions() {
        for (int i = 0; i < kCount; ++i) {
            if (m_saved[i])
                Set(kNames[i], *m_saved[i]);
            else
                ::RegDeleteValueW(m_key.Get(), kNames[i]);
        }
    }
    SavedModemOptions(const SavedModemOptions&) = delete;
    SavedModemOptions& operator=(const SavedModemOptions&) = delete;

    void Use(DWORD size, DWORD x, DWORD y) {
        Set(reg::kModemSize, size);
        Set(reg::kModemX, x);
        Set(reg::kModemY, y);
    }

private:
    void Set(const wchar_t* name, DWORD value) {
        ::RegSetValueExW(m_key.Get(), name, 0, REG_DWORD, reinterpret_cast<const BYTE*>(&value), sizeof value);
    }

    static constexpr int kCount = 3;
    static constexpr const wchar_t* kNames[kCount] = {reg::kModemSize, reg::kModemX, reg::kModemY};
    kvr::UniqueHKey m_key;
    std::optional<DWORD> m_saved[kCount];
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
    if (dialog == nullptr || !Present(name, dialog)) return false;
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

bool ModemScene(KvrUiHandle ui, const AuthInfo& info, SavedModemOptions& options, DWORD size, const char* name) {
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
        if (waited >= kWaitMs || !Present(name, modem)) return false;
        if ((QueryLamps(modem) & kLit) == kLit) return DestroyModem(ui) == 0 && WaitGone(modem);
    }
    return false;
}

bool NarrationScene(KvrUiHandle ui) {
    if (PostNarration(ui, kNarrateAttempting, kServer, nullptr, nullptr) != 0) return false;
    const HWND narration = WaitForWindow(FindNarration);
    if (narration == nullptr || !Present("narration", narration)) return false;
    return DestroyNarrationWindow(ui) == 0 && WaitGone(narration);
}

int Fail(const char* what) {
    std::printf("FAILED %s\n", what);
    std::fflush(stdout);
    return 1;
}

}  // namespace

int main() {
    g_callbackDone.Reset(::CreateEventW(nullptr, FALSE, FALSE, nullptr));
    KvrUiHandle ui = CreateUI();
    if (ui == nullptr) return Fail("CreateUI");
    AuthInfo info = DummyInfo();
    int rc = 0;
    {
        SavedModemOptions options;
        if (!AuthScene(ui, info))
            rc = Fail("auth");
        else if (!PasswordScene(ui, info))
            rc = Fail("password");
        else if (!ModemScene(ui, info, options, 1, "modem-small"))
            rc = Fail("modem-small");
        else if (!ModemScene(ui, info, options, 2, "modem-large"))
            rc = Fail("modem-large");
        else if (!NarrationScene(ui))
            rc = Fail("narration");
    }
    // Returns once the instance no longer touches info or calls back.
    DestroyUI(ui);
    if (rc == 0) std::printf("DONE\n");
    std::fflush(stdout);
    return rc;
}
