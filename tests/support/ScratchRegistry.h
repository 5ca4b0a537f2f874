#pragma once
// Redirects HKEY_LOCAL_MACHINE (and HKEY_CURRENT_USER) of this process to a
// fresh scratch key for the life of the object, then deletes the scratch key.
#include <windows.h>

#include <string>

class ScratchRegistry {
public:
    ScratchRegistry() {
        m_path = L"Software\\KvrTests\\Scratch" + std::to_wstring(GetCurrentProcessId()) + L"_" +
                 std::to_wstring(GetTickCount()) + L"_" + std::to_wstring(++s_serial);
        RegCreateKeyExW(HKEY_CURRENT_USER, (m_path + L"\\HKLM").c_str(), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr,
                        &m_machine, nullptr);
        RegCreateKeyExW(HKEY_CURRENT_USER, (m_path + L"\\HKCU").c_str(), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr,
                        &m_user, nullptr);
        RegOverridePredefKey(HKEY_LOCAL_MACHINE, m_machine);
        RegOverridePredefKey(HKEY_CURRENT_USER, m_user);
    }
    ~ScratchRegistry() {
        RegOverridePredefKey(HKEY_LOCAL_MACHINE, nullptr);
        RegOverridePredefKey(HKEY_CURRENT_USER, nullptr);
        RegCloseKey(m_machine);
        RegCloseKey(m_user);
        RegDeleteTreeW(HKEY_CURRENT_USER, m_path.c_str());
    }
    ScratchRegistry(const ScratchRegistry&) = delete;
    ScratchRegistry& operator=(const ScratchRegistry&) = delete;

    // Helpers that write under the redirected HKEY_LOCAL_MACHINE.
    static void SetString(const std::wstring& key, const wchar_t* name, const std::wstring& value) {
        HKEY h = Create(key);
        RegSetValueExW(h, name, 0, REG_SZ, reinterpret_cast<const BYTE*>(value.c_str()),
                       static_cast<DWORD>((value.size() + 1) * sizeof(wchar_t)));
        RegCloseKey(h);
    }
    static void SetDword(const std::wstring& key, const wchar_t* name, DWORD value) {
        HKEY h = Create(key);
        RegSetValueExW(h, name, 0, REG_DWORD, reinterpret_cast<const BYTE*>(&value), sizeof(value));
        RegCloseKey(h);
    }
    static void SetBinary(const std::wstring& key, const wchar_t* name, const void* data, DWORD size) {
        HKEY h = Create(key);
        RegSetValueExW(h, name, 0, REG_BINARY, static_cast<const BYTE*>(data), size);
        RegCloseKey(h);
    }
    static HKEY Create(const std::wstring& key) {
        HKEY h = nullptr;
        RegCreateKeyExW(HKEY_LOCAL_MACHINE, key.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &h, nullptr);
        return h;
    }

private:
    static inline int s_serial = 0;
    std::wstring m_path;
    HKEY m_machine = nullptr;
    HKEY m_user = nullptr;
};
