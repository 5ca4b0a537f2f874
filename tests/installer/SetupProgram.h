#pragma once
// A program with windows started by a test (the installer, its uninstaller,
// the Control Panel) and its windows as a person sees them: the wizard with
// its pages and buttons, the message boxes it shows, a list view's items.
#include <windows.h>
#include <commctrl.h>

#include <functional>
#include <string>
#include <vector>

#include "Handles.h"

namespace setuptest {

constexpr DWORD kPollMs = 50;

// The wizard's buttons (NSIS numbers them like a dialog's).
constexpr int kNextButton = IDOK;
constexpr int kCancelButton = IDCANCEL;
// The placeholder the wizard's pages sit on: only the wizard has it.
constexpr int kPagePlaceholder = 1018;
// The text of a message box.
constexpr int kMessageText = 0xFFFF;

// Where the set-up installs unless told otherwise, and the system folder.
inline std::wstring DefaultInstallDir() {
    wchar_t programFiles[MAX_PATH] = {};
    GetEnvironmentVariableW(L"ProgramW6432", programFiles, MAX_PATH);
    return std::wstring(programFiles) + L"\\Quelt Rezo-Riv";
}

inline std::wstring SystemDir() {
    wchar_t dir[MAX_PATH] = {};
    GetSystemDirectoryW(dir, MAX_PATH);
    return dir;
}

inline std::wstring TextOf(HWND window) {
    wchar_t text[4096] = {};
    DWORD_PTR ignored = 0;
    SendMessageTimeoutW(window, WM_GETTEXT, std::size(text), reinterpret_cast<LPARAM>(text), SMTO_ABORTIFHUNG,
                        5000, &ignored);
    return text;
}

// Every text in the window and the controls below it, one line each.
inline std::wstring AllTexts(HWND window) {
    std::wstring all = TextOf(window) + L"\n";
    EnumChildWindows(
        window,
        [](HWND child, LPARAM param) -> BOOL {
            if (IsWindowVisible(child)) *reinterpret_cast<std::wstring*>(param) += TextOf(child) + L"\n";
            return TRUE;
        },
        reinterpret_cast<LPARAM>(&all));
    return all;
}

// The item texts of a list view of another process: the texts live in that
// process, so they are asked for through a buffer allocated there.
inline std::vector<std::wstring> ListViewTexts(HWND listView) {
    std::vector<std::wstring> texts;
    DWORD pid = 0;
    GetWindowThreadProcessId(listView, &pid);
    kvr::UniqueHandle process(OpenProcess(PROCESS_VM_OPERATION | PROCESS_VM_READ | PROCESS_VM_WRITE, FALSE, pid));
    if (!process) return texts;
    constexpr int kChars = 260;
    auto* remote = static_cast<BYTE*>(
        VirtualAllocEx(process.Get(), nullptr, sizeof(LVITEMW) + kChars * sizeof(wchar_t), MEM_COMMIT, PAGE_READWRITE));
    if (remote == nullptr) return texts;
    const auto count = static_cast<int>(SendMessageW(listView, LVM_GETITEMCOUNT, 0, 0));
    for (int i = 0; i < count; ++i) {
        LVITEMW item{};
        item.iSubItem = 0;
        item.cchTextMax = kChars;
        item.pszText = reinterpret_cast<wchar_t*>(remote + sizeof(LVITEMW));
        wchar_t text[kChars] = {};
        SIZE_T moved = 0;
        if (WriteProcessMemory(process.Get(), remote, &item, sizeof(item), &moved) &&
            SendMessageW(listView, LVM_GETITEMTEXTW, i, reinterpret_cast<LPARAM>(remote)) >= 0 &&
            ReadProcessMemory(process.Get(), remote + sizeof(LVITEMW), text, sizeof(text) - sizeof(wchar_t), &moved))
            texts.push_back(text);
    }
    VirtualFreeEx(process.Get(), remote, 0, MEM_RELEASE);
    return texts;
}

class SetupProgram {
public:
    SetupProgram(const std::wstring& program, const std::wstring& arguments) {
        std::wstring command = L"\"" + program + L"\" " + arguments;
        STARTUPINFOW startup{};
        startup.cb = sizeof(startup);
        PROCESS_INFORMATION info{};
        if (CreateProcessW(nullptr, command.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup,
                           &info)) {
            m_process.Reset(info.hProcess);
            m_id = info.dwProcessId;
            CloseHandle(info.hThread);
        }
    }
    ~SetupProgram() {
        if (m_process && WaitForSingleObject(m_process.Get(), 0) == WAIT_TIMEOUT) {
            TerminateProcess(m_process.Get(), 99);
            WaitForSingleObject(m_process.Get(), 10000);
        }
    }
    SetupProgram(const SetupProgram&) = delete;
    SetupProgram& operator=(const SetupProgram&) = delete;

    bool Started() const { return static_cast<bool>(m_process); }

    // The exit code, or STILL_ACTIVE when it has not ended in time.
    DWORD WaitExit(DWORD timeoutMs = 120000) const {
        if (!m_process) return STILL_ACTIVE;
        WaitForSingleObject(m_process.Get(), timeoutMs);
        DWORD code = STILL_ACTIVE;
        GetExitCodeProcess(m_process.Get(), &code);
        return code;
    }

    // The wizard once it shows a page whose texts hold `text`.
    HWND WaitForPage(const std::wstring& text, DWORD timeoutMs = 60000) const {
        return WaitFor(timeoutMs, [&](HWND window) {
            return GetDlgItem(window, kPagePlaceholder) != nullptr && AllTexts(window).find(text) != std::wstring::npos;
        });
    }
    // A message box of the program.
    HWND WaitForMessageBox(DWORD timeoutMs = 60000) const {
        return WaitFor(timeoutMs, [](HWND window) { return GetDlgItem(window, kMessageText) != nullptr; });
    }
    // Waits until the button is enabled, then presses it.
    static bool Press(HWND dialog, int id, DWORD timeoutMs = 60000) {
        const HWND button = GetDlgItem(dialog, id);
        for (DWORD waited = 0; button != nullptr && waited < timeoutMs; waited += kPollMs) {
            if (IsWindowEnabled(button) && IsWindowVisible(button)) {
                PostMessageW(dialog, WM_COMMAND, MAKEWPARAM(id, BN_CLICKED), reinterpret_cast<LPARAM>(button));
                return true;
            }
            Sleep(kPollMs);
        }
        return false;
    }

    // A visible top-level window of the program that `match` accepts.
    HWND WaitFor(DWORD timeoutMs, const std::function<bool(HWND)>& match) const {
        for (DWORD waited = 0; waited < timeoutMs; waited += kPollMs) {
            struct Search {
                DWORD pid;
                const std::function<bool(HWND)>* match;
                HWND found;
            } search{m_id, &match, nullptr};
            EnumWindows(
                [](HWND window, LPARAM param) -> BOOL {
                    auto* s = reinterpret_cast<Search*>(param);
                    DWORD pid = 0;
                    GetWindowThreadProcessId(window, &pid);
                    if (pid != s->pid || !IsWindowVisible(window) || !(*s->match)(window)) return TRUE;
                    s->found = window;
                    return FALSE;
                },
                reinterpret_cast<LPARAM>(&search));
            if (search.found != nullptr) return search.found;
            if (WaitForSingleObject(m_process.Get(), 0) != WAIT_TIMEOUT) return nullptr;
            Sleep(kPollMs);
        }
        return nullptr;
    }

private:
    kvr::UniqueHandle m_process;
    DWORD m_id = 0;
};

}  // namespace setuptest
