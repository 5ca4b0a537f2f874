// KVRUI.CPL in Wine's own Control Panel hosts, out of process: `control
// PATH`, `rundll32 shell32.dll,Control_RunDLL PATH`, and, once it is in the
// system folder, the Control Panel's list, from which it opens.
#include <windows.h>
#include <commctrl.h>

#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

#include "KvrBrws.h"
#include "RegistryNames.h"
#include "RegistrySnapshot.h"

namespace {

std::wstring BinDirectory() {
    wchar_t path[MAX_PATH];
    const DWORD n = ::GetModuleFileNameW(nullptr, path, MAX_PATH);
    std::wstring directory(path, n);
    return directory.substr(0, directory.find_last_of(L'\\') + 1);
}

std::wstring SystemDirectory() {
    wchar_t path[MAX_PATH];
    ::GetSystemDirectoryW(path, MAX_PATH);
    return std::wstring(path) + L"\\";
}

std::wstring Text(HWND window) {
    wchar_t text[512] = {};
    ::SendMessageTimeoutW(window, WM_GETTEXT, 512, reinterpret_cast<LPARAM>(text), SMTO_ABORTIFHUNG, 5000, nullptr);
    return text;
}

struct Found {
    const std::function<bool(HWND)>* match;
    HWND window;
};

HWND WaitForTopWindow(const std::function<bool(HWND)>& match, DWORD milliseconds = 30000) {
    const DWORD start = ::GetTickCount();
    do {
        Found found{&match, nullptr};
        ::EnumWindows(
            [](HWND window, LPARAM param) -> BOOL {
                auto* f = reinterpret_cast<Found*>(param);
                if (::IsWindowVisible(window) && (*f->match)(window)) {
                    f->window = window;
                    return FALSE;
                }
                return TRUE;
            },
            reinterpret_cast<LPARAM>(&found));
        if (found.window != nullptr) return found.window;
        ::Sleep(50);
    } while (::GetTickCount() - start < milliseconds);
    return nullptr;
}

// The sheet: "Quelt Chooser" with its tab control.
HWND WaitForSheet(DWORD milliseconds = 30000) {
    return WaitForTopWindow(
        [](HWND w) { return Text(w) == L"Quelt Chooser" && ::FindWindowExW(w, nullptr, WC_TABCONTROLW, nullptr); },
        milliseconds);
}

class Process {
public:
    explicit Process(std::wstring command) {
        STARTUPINFOW startup{};
        startup.cb = sizeof startup;
        PROCESS_INFORMATION info{};
        if (::CreateProcessW(nullptr, command.data(), nullptr, nullptr, FALSE, 0, nullptr, BinDirectory().c_str(),
                             &startup, &info)) {
            m_process = info.hProcess;
            ::CloseHandle(info.hThread);
        }
    }
    ~Process() {
        if (m_process == nullptr) return;
        if (::WaitForSingleObject(m_process, 10000) != WAIT_OBJECT_0) ::TerminateProcess(m_process, 1);
        ::CloseHandle(m_process);
    }
    bool Started() const { return m_process != nullptr; }
    bool WaitExit(DWORD milliseconds = 20000) const {
        return m_process != nullptr && ::WaitForSingleObject(m_process, milliseconds) == WAIT_OBJECT_0;
    }

private:
    HANDLE m_process = nullptr;
};

// The texts of a list view in another process.
std::vector<std::wstring> RemoteListItems(HWND list) {
    std::vector<std::wstring> items;
    DWORD processId = 0;
    ::GetWindowThreadProcessId(list, &processId);
    const HANDLE process = ::OpenProcess(PROCESS_VM_OPERATION | PROCESS_VM_READ | PROCESS_VM_WRITE, FALSE, processId);
    if (process == nullptr) return items;
    constexpr int kChars = 256;
    void* remote = ::VirtualAllocEx(process, nullptr, sizeof(LVITEMW) + kChars * sizeof(wchar_t),
                                    MEM_COMMIT | MEM_RESERVE, PAGE_READWRITE);
    const int count = static_cast<int>(::SendMessageW(list, LVM_GETITEMCOUNT, 0, 0));
    for (int i = 0; i < count && remote != nullptr; ++i) {
        LVITEMW item{};
        item.iSubItem = 0;
        item.cchTextMax = kChars;
        item.pszText = reinterpret_cast<wchar_t*>(static_cast<char*>(remote) + sizeof(LVITEMW));
        ::WriteProcessMemory(process, remote, &item, sizeof item, nullptr);
        ::SendMessageW(list, LVM_GETITEMTEXTW, static_cast<WPARAM>(i), reinterpret_cast<LPARAM>(remote));
        wchar_t text[kChars] = {};
        ::ReadProcessMemory(process, item.pszText, text, sizeof text, nullptr);
        items.emplace_back(text);
    }
    if (remote != nullptr) ::VirtualFreeEx(process, remote, 0, MEM_RELEASE);
    ::CloseHandle(process);
    return items;
}

class ControlPanelHostTest : public ::testing::Test {
protected:
    void SetUp() override {
        // The four ports as installed, so the sheet opens without messages.
        for (WORD i = 0; i < 4; ++i) {
            LONG count = 0;
            m_hadPort[i] = HLPGetNumberPortRedirections(i, &count) == 0;
            if (!m_hadPort[i]) {
                ASSERT_EQ(0, HLPSetPortRedirections(i, ("COM" + std::to_string(i + 1)).c_str(), FALSE, 0, nullptr));
            }
        }
    }
    void TearDown() override {
        for (int i = 0; i < 4; ++i)
            if (!m_hadPort[i])
                ::RegDeleteTreeW(HKEY_LOCAL_MACHINE, (std::wstring(reg::kPortsKey) + L"\\Dialout" + std::to_wstring(i)).c_str());
        for (const wchar_t* file : {L"KVRUI.CPL", L"KVRBRWS.DLL"}) ::DeleteFileW((SystemDirectory() + file).c_str());
    }

    static void CloseSheet(HWND sheet) { ::PostMessageW(sheet, WM_COMMAND, MAKEWPARAM(IDCANCEL, BN_CLICKED), 0); }

    // The applet runs in the hosts' processes on the prefix's own registry:
    // what its first load writes there must not stay for later tests.
    RegistrySnapshot m_global{HKEY_LOCAL_MACHINE, reg::kRezorivKey};
    RegistrySnapshot m_servers{HKEY_LOCAL_MACHINE, reg::kServersKey};
    RegistrySnapshot m_positions{HKEY_CURRENT_USER, reg::kChooserUserKey};
    bool m_hadPort[4] = {};
};

TEST_F(ControlPanelHostTest, ControlAndRundllOpenTheSheet) {
    const std::wstring cpl = BinDirectory() + L"KVRUI.CPL";
    for (const std::wstring& command : {L"control.exe \"" + cpl + L"\"",
                                        L"rundll32.exe shell32.dll,Control_RunDLL \"" + cpl + L"\""}) {
        Process host(command);
        ASSERT_TRUE(host.Started());
        const HWND sheet = WaitForSheet();
        ASSERT_NE(nullptr, sheet) << std::string(command.begin(), command.end());
        CloseSheet(sheet);
        EXPECT_TRUE(host.WaitExit()) << "the host ends once the sheet closes";
    }
}

TEST_F(ControlPanelHostTest, ListedInTheControlPanelAndOpenedFromIt) {
    // The applet and the library it links, where the Control Panel looks.
    for (const wchar_t* file : {L"KVRUI.CPL", L"KVRBRWS.DLL"})
        ASSERT_TRUE(::CopyFileW((BinDirectory() + file).c_str(), (SystemDirectory() + file).c_str(), FALSE));
    Process panel(L"control.exe");
    ASSERT_TRUE(panel.Started());
    HWND list = nullptr;
    const HWND window = WaitForTopWindow([&](HWND w) {
        list = ::FindWindowExW(w, nullptr, WC_LISTVIEWW, nullptr);
        if (list == nullptr) return false;
        for (const std::wstring& item : RemoteListItems(list))
            if (item == L"Quelt Rezo-Riv Chooser") return true;
        return false;
    });
    ASSERT_NE(nullptr, window) << "the Control Panel lists the applet by its name";

    // Open it the way a user does: a double-click on its icon.
    const std::vector<std::wstring> items = RemoteListItems(list);
    int index = 0;
    while (items[static_cast<std::size_t>(index)] != L"Quelt Rezo-Riv Chooser") ++index;
    ::SendMessageW(list, LVM_ENSUREVISIBLE, static_cast<WPARAM>(index), FALSE);
    DWORD processId = 0;
    ::GetWindowThreadProcessId(list, &processId);
    const HANDLE process = ::OpenProcess(PROCESS_VM_OPERATION | PROCESS_VM_READ | PROCESS_VM_WRITE, FALSE, processId);
    ASSERT_NE(nullptr, process);
    void* remote = ::VirtualAllocEx(process, nullptr, sizeof(RECT), MEM_COMMIT | MEM_RESERVE, PAGE_READWRITE);
    RECT rect{LVIR_ICON, 0, 0, 0};
    ::WriteProcessMemory(process, remote, &rect, sizeof rect, nullptr);
    ::SendMessageW(list, LVM_GETITEMRECT, static_cast<WPARAM>(index), reinterpret_cast<LPARAM>(remote));
    ::ReadProcessMemory(process, remote, &rect, sizeof rect, nullptr);
    ::VirtualFreeEx(process, remote, 0, MEM_RELEASE);
    ::CloseHandle(process);
    const LPARAM point = MAKELPARAM((rect.left + rect.right) / 2, (rect.top + rect.bottom) / 2);
    ::PostMessageW(list, WM_LBUTTONDOWN, MK_LBUTTON, point);
    ::PostMessageW(list, WM_LBUTTONUP, 0, point);
    ::PostMessageW(list, WM_LBUTTONDBLCLK, MK_LBUTTON, point);
    ::PostMessageW(list, WM_LBUTTONUP, 0, point);
    const HWND sheet = WaitForSheet();
    ASSERT_NE(nullptr, sheet) << "opened from the Control Panel";
    CloseSheet(sheet);
    ::PostMessageW(window, WM_CLOSE, 0, 0);
    EXPECT_TRUE(panel.WaitExit());
}

}  // namespace
