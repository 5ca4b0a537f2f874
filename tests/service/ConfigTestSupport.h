#pragma once
// A scratch registry standing in for HKEY_LOCAL_MACHINE, and a simulated
// tick count, for the configuration tests.
#include <windows.h>

#include <gtest/gtest.h>

#include <string>

#include "Handles.h"
#include "RegistryNames.h"

class ScratchMachineKey : public ::testing::Test {
protected:
    void SetUp() override {
        m_path = L"Software\\KvrTests\\config-" + std::to_wstring(::GetCurrentProcessId());
        ::RegDeleteTreeW(HKEY_CURRENT_USER, m_path.c_str());
        ASSERT_EQ(ERROR_SUCCESS, ::RegCreateKeyExW(HKEY_CURRENT_USER, m_path.c_str(), 0, nullptr, 0,
                                                   KEY_ALL_ACCESS, nullptr, m_root.Put(), nullptr));
        ASSERT_EQ(ERROR_SUCCESS, ::RegOverridePredefKey(HKEY_LOCAL_MACHINE, m_root.Get()));
    }
    void TearDown() override {
        ::RegOverridePredefKey(HKEY_LOCAL_MACHINE, nullptr);
        m_root.Reset();
        ::RegDeleteTreeW(HKEY_CURRENT_USER, m_path.c_str());
    }

    HKEY GlobalKey() {
        if (!m_global) {
            EXPECT_EQ(ERROR_SUCCESS,
                      ::RegCreateKeyExW(HKEY_LOCAL_MACHINE, reg::kRezorivKey, 0, nullptr, 0,
                                        KEY_ALL_ACCESS, nullptr, m_global.Put(), nullptr));
        }
        return m_global.Get();
    }
    void SetDword(const wchar_t* name, DWORD value) {
        ASSERT_EQ(ERROR_SUCCESS, ::RegSetValueExW(GlobalKey(), name, 0, REG_DWORD,
                                                  reinterpret_cast<const BYTE*>(&value), sizeof(value)));
    }
    void SetString(const wchar_t* name, const std::wstring& value) {
        ASSERT_EQ(ERROR_SUCCESS,
                  ::RegSetValueExW(GlobalKey(), name, 0, REG_SZ, reinterpret_cast<const BYTE*>(value.c_str()),
                                   static_cast<DWORD>((value.size() + 1) * sizeof(wchar_t))));
    }
    void SetRaw(const wchar_t* name, DWORD type, const void* data, DWORD size) {
        ASSERT_EQ(ERROR_SUCCESS,
                  ::RegSetValueExW(GlobalKey(), name, 0, type, static_cast<const BYTE*>(data), size));
    }

private:
    std::wstring m_path;
    kvr::UniqueHKey m_root;
    kvr::UniqueHKey m_global;
};

// The tick count the caches under test see.
inline DWORD g_fakeTick = 0;
inline DWORD FakeTick() { return g_fakeTick; }

inline std::wstring TestMutexName(const wchar_t* tag) {
    return std::wstring(L"KvrConfigTest-") + tag + L"-" + std::to_wstring(::GetCurrentProcessId());
}
