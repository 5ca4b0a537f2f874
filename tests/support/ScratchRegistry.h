#pragma once
// The tests' one scratch registry: redirects HKEY_LOCAL_MACHINE and
// HKEY_CURRENT_USER of this process to fresh scratch keys for the life of the
// object, then deletes them. The static helpers write and read values under
// the redirected HKEY_LOCAL_MACHINE through the framework's registry layer.
#include <windows.h>

#include <optional>
#include <string>

#include "Registry.h"

class ScratchRegistry {
public:
    ScratchRegistry() {
        m_path = L"Software\\KvrTests\\Scratch" + std::to_wstring(GetCurrentProcessId()) + L"_" +
                 std::to_wstring(GetTickCount()) + L"_" + std::to_wstring(++s_serial);
        m_machine = kvr::RegKey::Create(HKEY_CURRENT_USER, (m_path + L"\\HKLM").c_str(), KEY_ALL_ACCESS);
        m_user = kvr::RegKey::Create(HKEY_CURRENT_USER, (m_path + L"\\HKCU").c_str(), KEY_ALL_ACCESS);
        RegOverridePredefKey(HKEY_LOCAL_MACHINE, m_machine.Get());
        RegOverridePredefKey(HKEY_CURRENT_USER, m_user.Get());
    }
    ~ScratchRegistry() {
        RegOverridePredefKey(HKEY_LOCAL_MACHINE, nullptr);
        RegOverridePredefKey(HKEY_CURRENT_USER, nullptr);
        m_machine = kvr::RegKey();
        m_user = kvr::RegKey();
        RegDeleteTreeW(HKEY_CURRENT_USER, m_path.c_str());
    }
    ScratchRegistry(const ScratchRegistry&) = delete;
    ScratchRegistry& operator=(const ScratchRegistry&) = delete;

    static kvr::RegKey Open(const std::wstring& key) {
        return kvr::RegKey::Create(HKEY_LOCAL_MACHINE, key.c_str(), KEY_ALL_ACCESS);
    }
    static bool SetString(const std::wstring& key, const wchar_t* name, const std::wstring& value) {
        return Open(key).WriteText(name, value);
    }
    static bool SetDword(const std::wstring& key, const wchar_t* name, DWORD value) {
        return Open(key).WriteDword(name, value);
    }
    static bool SetBinary(const std::wstring& key, const wchar_t* name, const void* data, DWORD size) {
        return Open(key).WriteBinary(name, data, size);
    }
    static bool SetRaw(const std::wstring& key, const wchar_t* name, DWORD type, const void* data, DWORD size) {
        return RegSetValueExW(Open(key).Get(), name, 0, type, static_cast<const BYTE*>(data), size) ==
               ERROR_SUCCESS;
    }
    static std::optional<DWORD> GetDword(const std::wstring& key, const wchar_t* name) {
        return kvr::RegKey::Open(HKEY_LOCAL_MACHINE, key.c_str()).ReadDword(name);
    }
    static std::optional<std::wstring> GetString(const std::wstring& key, const wchar_t* name) {
        return kvr::RegKey::Open(HKEY_LOCAL_MACHINE, key.c_str()).ReadText(name);
    }
    // Creates the key (and any missing parents); the caller owns the handle.
    static HKEY Create(const std::wstring& key) { return Open(key).Release(); }

    // The same in the narrow form the browsing library speaks.
    static kvr::RegKey Open(const std::string& key) {
        return kvr::RegKey::Create(HKEY_LOCAL_MACHINE, key.c_str(), KEY_ALL_ACCESS);
    }
    static bool SetString(const std::string& key, const char* name, const std::string& value) {
        return Open(key).WriteText(name, value);
    }
    static bool SetDword(const std::string& key, const char* name, DWORD value) {
        return Open(key).WriteDword(name, value);
    }
    static bool SetRaw(const std::string& key, const char* name, DWORD type, const void* data, DWORD size) {
        return RegSetValueExA(Open(key).Get(), name, 0, type, static_cast<const BYTE*>(data), size) ==
               ERROR_SUCCESS;
    }
    static std::optional<DWORD> GetDword(const std::string& key, const char* name) {
        return kvr::RegKey::Open(HKEY_LOCAL_MACHINE, key.c_str()).ReadDword(name);
    }
    static bool Exists(const std::string& key) {
        return static_cast<bool>(kvr::RegKey::Open(HKEY_LOCAL_MACHINE, key.c_str()));
    }
    // Deletes the key with everything below it.
    static bool Delete(const std::string& key) {
        return RegDeleteTreeA(HKEY_LOCAL_MACHINE, key.c_str()) == ERROR_SUCCESS;
    }

private:
    static inline int s_serial = 0;
    std::wstring m_path;
    kvr::RegKey m_machine;
    kvr::RegKey m_user;
};
