#include <gtest/gtest.h>

#include "BrowseErrors.h"
#include "DeviceRecords.h"
#include "Handles.h"
#include "StoreFixture.h"

// The real KVRBRWS.DLL, as the applet loads it.
class ExportsTest : public ScratchMachineKey {
protected:
    void SetUp() override {
        ScratchMachineKey::SetUp();
        m_module.Reset(LoadLibraryA("KVRBRWS.DLL"));
        ASSERT_TRUE(m_module) << GetLastError();
    }
    FARPROC Export(const char* name) { return GetProcAddress(m_module.Get(), name); }

    kvr::UniqueModule m_module;
};

TEST_F(ExportsTest, StoreFunctionsAreExported) {
    for (const char* name : {"HLPSetPortRedirections", "HLPGetNumberPortRedirections",
                             "HLPGetPortRedirections", "HLPAddDeviceToServers"}) {
        EXPECT_NE(nullptr, Export(name)) << name;
    }
}

TEST_F(ExportsTest, ExportsAnswerThroughTheirPointers) {
    using SetFn = LONG(WINAPI*)(WORD, const char*, BOOL, LONG, const RedirectionRecord*);
    using CountFn = LONG(WINAPI*)(WORD, LONG*);
    using GetFn = LONG(WINAPI*)(WORD, char*, BOOL*, DWORD, LONG*, RedirectionRecord*);
    using AddFn = LONG(WINAPI*)(const DeviceRecord*);
    auto set = reinterpret_cast<SetFn>(Export("HLPSetPortRedirections"));
    auto count = reinterpret_cast<CountFn>(Export("HLPGetNumberPortRedirections"));
    auto get = reinterpret_cast<GetFn>(Export("HLPGetPortRedirections"));
    auto add = reinterpret_cast<AddFn>(Export("HLPAddDeviceToServers"));
    ASSERT_TRUE(set && count && get && add);

    EXPECT_EQ(kHlpMissingArgument, add(nullptr));
    LONG n = 3;
    EXPECT_EQ(kHlpRegistryFailure, count(0, &n));
    EXPECT_EQ(0, n);

    RedirectionRecord record{};
    record.device.transport = kTransportIp;
    strcpy(record.device.name, "Alpha");
    strcpy(record.portName, "Modems");
    ASSERT_EQ(kHlpOk, set(0, "COM3", FALSE, 1, &record));
    ASSERT_EQ(kHlpOk, count(0, &n));
    ASSERT_EQ(1, n);
    char dosName[25];
    BOOL redirected = TRUE;
    RedirectionRecord read{};
    EXPECT_EQ(kHlpOk, get(0, dosName, &redirected, sizeof(dosName), &n, &read));
    EXPECT_STREQ("COM3", dosName);
    EXPECT_FALSE(redirected);
    EXPECT_STREQ("Modems", read.portName);
}
