#include <gtest/gtest.h>

#include <string>

#include "PortDevices.h"
#include "RegistryNames.h"
#include "ScratchRegistry.h"

namespace {

// The DOS name's target, or "" when it is not defined. (Wine handles names of
// at most four characters, so the tests use short ones.)
std::wstring TargetOf(const wchar_t* dosName) {
    wchar_t target[512] = {};
    if (QueryDosDeviceW(dosName, target, static_cast<DWORD>(std::size(target))) == 0) return L"";
    return target;
}

void RemoveName(const wchar_t* dosName) {
    while (!TargetOf(dosName).empty()) DefineDosDeviceW(DDD_REMOVE_DEFINITION, dosName, nullptr);
}

class PortDevicesTest : public ::testing::Test {
protected:
    void TearDown() override {
        for (const wchar_t* name : {L"KD1", L"KD2", L"KD3", L"KD4"}) RemoveName(name);
    }
    static void AddPort(const wchar_t* key, const wchar_t* dosName, const DWORD* redirected) {
        const std::wstring path = std::wstring(reg::kPortsKey) + L"\\" + key;
        RegCloseKey(ScratchRegistry::Create(path));
        if (dosName != nullptr) ScratchRegistry::SetString(path, reg::kDosDevices, dosName);
        if (redirected != nullptr) ScratchRegistry::SetDword(path, reg::kIsRedirected, *redirected);
    }
    ScratchRegistry m_registry;
};

const DWORD kOn = 1;
const DWORD kOff = 0;

}  // namespace

TEST_F(PortDevicesTest, DefinesRedirectedPortsAndRemovesTheOthers) {
    AddPort(L"KvrA", L"KD1", &kOn);
    AddPort(L"KvrB", L"KD2", &kOff);
    DefineDosDeviceW(DDD_RAW_TARGET_PATH, L"KD2", L"\\Device\\KvrB");  // left over from an earlier run
    svc::DefinePortDevices(svc::PortDeviceMode::Define);
    EXPECT_EQ(L"\\Device\\KvrA", TargetOf(L"KD1"));
    EXPECT_EQ(L"", TargetOf(L"KD2"));

    svc::DefinePortDevices(svc::PortDeviceMode::Remove);
    EXPECT_EQ(L"", TargetOf(L"KD1"));
}

TEST_F(PortDevicesTest, KeyWithoutADosNameOrFlagEndsTheWalk) {
    // Keys are walked in name order.
    AddPort(L"KvrA", L"KD1", &kOn);
    AddPort(L"KvrB", nullptr, &kOn);
    AddPort(L"KvrC", L"KD3", &kOn);
    svc::DefinePortDevices(svc::PortDeviceMode::Define);
    EXPECT_EQ(L"\\Device\\KvrA", TargetOf(L"KD1"));
    EXPECT_EQ(L"", TargetOf(L"KD3"));
}

TEST_F(PortDevicesTest, KeyWithoutTheFlagEndsTheWalk) {
    AddPort(L"KvrA", L"KD1", nullptr);
    AddPort(L"KvrB", L"KD2", &kOn);
    svc::DefinePortDevices(svc::PortDeviceMode::Define);
    EXPECT_EQ(L"", TargetOf(L"KD1"));
    EXPECT_EQ(L"", TargetOf(L"KD2"));
}

TEST_F(PortDevicesTest, NoPortsKeyDoesNothing) {
    svc::DefinePortDevices(svc::PortDeviceMode::Define);
    svc::DefinePortDevices(svc::PortDeviceMode::Remove);
    SUCCEED();
}

TEST_F(PortDevicesTest, EmptyDosNameIsSkippedAndTheWalkGoesOn) {
    AddPort(L"KvrA", L"", &kOn);
    AddPort(L"KvrB", L"KD2", &kOn);
    svc::DefinePortDevices(svc::PortDeviceMode::Define);
    EXPECT_EQ(L"\\Device\\KvrB", TargetOf(L"KD2"));
}
