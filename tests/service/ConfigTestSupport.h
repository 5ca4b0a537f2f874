#pragma once
// A scratch registry standing in for HKEY_LOCAL_MACHINE, and a simulated
// tick count, for the configuration tests.
#include <windows.h>

#include <gtest/gtest.h>

#include <string>

#include "RegistryNames.h"
#include "ScratchRegistry.h"

// A scratch registry for each test, with the global key at hand.
class ScratchMachineKey : public ::testing::Test {
protected:
    HKEY GlobalKey() {
        if (!m_global) m_global = ScratchRegistry::Open(reg::kRezorivKey);
        return m_global.Get();
    }
    void SetDword(const wchar_t* name, DWORD value) {
        ASSERT_TRUE(ScratchRegistry::SetDword(reg::kRezorivKey, name, value));
    }
    void SetString(const wchar_t* name, const std::wstring& value) {
        ASSERT_TRUE(ScratchRegistry::SetString(reg::kRezorivKey, name, value));
    }
    void SetRaw(const wchar_t* name, DWORD type, const void* data, DWORD size) {
        ASSERT_TRUE(ScratchRegistry::SetRaw(reg::kRezorivKey, name, type, data, size));
    }

private:
    ScratchRegistry m_registry;
    kvr::RegKey m_global;
};

// The tick count the caches under test see.
inline DWORD g_fakeTick = 0;
inline DWORD FakeTick() { return g_fakeTick; }

inline std::wstring TestMutexName(const wchar_t* tag) {
    return std::wstring(L"KvrConfigTest-") + tag + L"-" + std::to_wstring(::GetCurrentProcessId());
}
