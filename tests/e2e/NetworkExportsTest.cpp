// The network exports of the real KVRBRWS.DLL, as the applet calls them,
// against simulated devices whose SNMP agents listen on loopback port 161.
#include <winsock2.h>
#include <windows.h>

#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "BrowseErrors.h"
#include "ChildProcess.h"
#include "DeviceRecords.h"
#include "Handles.h"
#include "RegistryNames.h"
#include "StoreFixture.h"

namespace {

struct Notice {
    WORD kind;
    const void* record;
    WORD count;
};
using Callback = LONG(WINAPI*)(DWORD, const Notice*);
using InitFn = LONG(WINAPI*)(WORD);
using FindVersionFn = LONG(WINAPI*)(WORD, DWORD, const char*, const char*, void*, WORD, WORD*,
                                    Callback, WORD, const char*, const DWORD*);
using FindFn = LONG(WINAPI*)(WORD, DWORD, const char*, const char*, void*, WORD, WORD*, Callback,
                             WORD, const char*);
using FindOneFn = LONG(WINAPI*)(const void*, const char*, DeviceDetailRecord*, WORD, const char*);
using ServerInfoFn = LONG(WINAPI*)(const void*, void*, WORD, const char*);
using SerialNamesFn = LONG(WINAPI*)(WORD, DWORD, const void*, void*, WORD, WORD*, Callback, WORD,
                                    const char*);

// A 20-byte target address for a TCP/IP device.
struct Target {
    std::uint8_t bytes[20] = {};
    explicit Target(std::uint8_t last, std::uint16_t transport = kTransportIp) {
        std::memcpy(bytes, &transport, 2);
        const std::uint8_t address[16] = {2, 0, 0x06, 0x0D, 127, 0, 0, last};
        std::memcpy(bytes + 4, address, sizeof address);
    }
};

LONG WINAPI StopWithSeven(DWORD, const Notice*) { return 7; }

}  // namespace

class NetworkExportsTest : public ScratchMachineKey {
protected:
    static void SetUpTestSuite() {
        s_simulator = new ChildProcess(
            L"rasim.exe",
            L"--snmp-port 161 --listen 127.0.0.61:0 --device Server61 --hardware 12 --snmp-version 4.1.0.0 "
            L"--port Modem1 --port IpxOnly --port Modem2 --port-mask IpxOnly:2 --flag3 1 "
            L"--listen 127.0.0.62:0 --device Server62 --serial-table old --port Group1 --port Group2 "
            L"--listen 127.0.0.1:0 --device LocalOne --hardware 9 --port Modem");
        s_ready = s_simulator->Started() && s_simulator->WaitFor("SNMP-READY 127.0.0.1:161", 20000);
    }
    static void TearDownTestSuite() {
        delete s_simulator;
        s_simulator = nullptr;
    }

    void SetUp() override {
        ScratchMachineKey::SetUp();
        const std::string lookup = reg::kLookupKeyA;
        SetText(lookup, "Rack Unit", "TYPE=0x0479 / CODE=RACK / HARDWARE=12");
        SetText(lookup, "Remote Hub", "TYPE=0x01CE / CODE=HUB / HARDWARE=14");
        SetText(lookup + "\\HardwareTypes\\9", "Name", "Ninth Model");
        m_module.Reset(LoadLibraryA("KVRBRWS.DLL"));
        ASSERT_TRUE(m_module) << GetLastError();
        ASSERT_EQ(kHlpOk, Export<InitFn>("HLPInitStack")(kTransportIp));
    }
    void TearDown() override {
        Export<InitFn>("HLPCloseStack")(kTransportIp);
        m_module.Reset();
        ScratchMachineKey::TearDown();
    }

    // Binding UDP 161 needs privileges; without them the simulator says so
    // and these tests are skipped.
    static bool AgentPortRefused() {
        return s_simulator && s_simulator->Output().find("161") != std::string::npos &&
               s_simulator->Output().find("SNMP-READY") == std::string::npos;
    }

    template <typename Fn>
    Fn Export(const char* name) {
        auto fn = reinterpret_cast<Fn>(GetProcAddress(m_module.Get(), name));
        EXPECT_NE(nullptr, fn) << name;
        return fn;
    }

    std::vector<std::string> SerialNames(std::uint8_t last, LONG& result) {
        std::vector<char> buffer(16384);
        WORD count = 0;
        const Target target(last);
        result = Export<SerialNamesFn>("HLPGetSerialNames")(kTransportIp, 1, target.bytes, buffer.data(),
                                                            static_cast<WORD>(buffer.size()), &count,
                                                            nullptr, 20, nullptr);
        std::vector<std::string> names;
        for (WORD i = 0; result == kHlpOk && i < count; ++i) names.emplace_back(&buffer[i * 256]);
        return names;
    }

    static inline ChildProcess* s_simulator = nullptr;
    static inline bool s_ready = false;
    kvr::UniqueModule m_module;
};

TEST_F(NetworkExportsTest, UnsupportedTransportAndMissingArguments) {
    char buffer[1024];
    WORD count = 0;
    const Target other(61, 4);
    DeviceDetailRecord detail;
    std::uint8_t summary[16];
    EXPECT_EQ(kHlpUnsupportedTransport, Export<InitFn>("HLPInitStack")(4));
    EXPECT_EQ(kHlpUnsupportedTransport, Export<InitFn>("HLPCloseStack")(4));
    EXPECT_EQ(kHlpUnsupportedTransport,
              Export<FindVersionFn>("HLPFindVersionDevices")(4, 1, "*", "*", buffer, sizeof buffer,
                                                             &count, nullptr, 3, nullptr, nullptr));
    EXPECT_EQ(kHlpUnsupportedTransport, Export<FindFn>("HLPFindDevices")(4, 1, "*", "*", buffer, sizeof buffer,
                                                                         &count, nullptr, 3, nullptr));
    EXPECT_EQ(kHlpUnsupportedTransport,
              Export<SerialNamesFn>("HLPGetSerialNames")(4, 1, Target(61).bytes, buffer, sizeof buffer,
                                                         &count, nullptr, 3, nullptr));
    EXPECT_EQ(kHlpUnsupportedTransport, Export<FindOneFn>("HLPFindADevice")(other.bytes, nullptr, &detail, 3, nullptr));
    EXPECT_EQ(kHlpUnsupportedTransport, Export<ServerInfoFn>("HLPGetServerInfo")(other.bytes, summary, 3, nullptr));

    EXPECT_EQ(kHlpMissingArgument, Export<ServerInfoFn>("HLPGetServerInfo")(Target(61).bytes, nullptr, 3, nullptr));
    EXPECT_EQ(kHlpMissingArgument, Export<FindOneFn>("HLPFindADevice")(nullptr, nullptr, &detail, 3, nullptr));
    EXPECT_EQ(kHlpOk, Export<FindOneFn>("HLPFindADevice")(Target(61).bytes, nullptr, nullptr, 3, nullptr));
}

TEST_F(NetworkExportsTest, IpxIsReportedAsASocketError) {
    // This machine has no IPX: creating the socket fails.
    ASSERT_EQ(kHlpOk, Export<InitFn>("HLPInitStack")(kTransportIpx));
    char buffer[1024];
    WORD count = 9;
    const DWORD versionFilter[2] = {4, 0};
    EXPECT_EQ(kHlpSocketError,
              Export<FindVersionFn>("HLPFindVersionDevices")(kTransportIpx, 1, "*", "*", buffer, sizeof buffer,
                                                             &count, nullptr, 3, nullptr, versionFilter));
    EXPECT_EQ(0, count);
    EXPECT_EQ(kHlpOk, Export<InitFn>("HLPCloseStack")(kTransportIpx));
}

TEST_F(NetworkExportsTest, FindADeviceByAddressAndByHostName) {
    if (!s_ready && AgentPortRefused()) GTEST_SKIP() << s_simulator->Output();
    ASSERT_TRUE(s_ready) << (s_simulator ? s_simulator->Output() : "");
    DeviceDetailRecord detail{};
    ASSERT_EQ(kHlpOk, Export<FindOneFn>("HLPFindADevice")(Target(61).bytes, nullptr, &detail, 5, nullptr));
    EXPECT_STREQ("Server61", detail.device.name);
    EXPECT_STREQ("Rack Unit", detail.device.typeText);
    EXPECT_STREQ("RACK", detail.device.typeCode);
    EXPECT_EQ(12u, detail.hardwareType);
    EXPECT_EQ(4, detail.version[0]);
    EXPECT_EQ(1, detail.version[1]);
    const std::uint8_t address[16] = {2, 0, 0x06, 0x0D, 127, 0, 0, 61};
    EXPECT_EQ(0, std::memcmp(address, detail.device.address, sizeof address));

    DeviceDetailRecord local{};
    ASSERT_EQ(kHlpOk, Export<FindOneFn>("HLPFindADevice")(nullptr, "localhost", &local, 5, nullptr));
    EXPECT_STREQ("LocalOne", local.device.name);
    EXPECT_STREQ("Ninth Model", local.device.typeText);
    EXPECT_STREQ("ORD9", local.device.typeCode);

    // Another community gets no answer: nothing is written.
    DeviceDetailRecord untouched{};
    untouched.device.name[0] = 'X';
    EXPECT_EQ(kHlpNoAnswer,
              Export<FindOneFn>("HLPFindADevice")(Target(61).bytes, nullptr, &untouched, 1, "private"));
    EXPECT_STREQ("X", untouched.device.name);
}

TEST_F(NetworkExportsTest, ServerInfo) {
    if (!s_ready && AgentPortRefused()) GTEST_SKIP() << s_simulator->Output();
    ASSERT_TRUE(s_ready) << (s_simulator ? s_simulator->Output() : "");
    std::uint8_t summary[16];
    std::memset(summary, 0xEE, sizeof summary);
    ASSERT_EQ(kHlpOk, Export<ServerInfoFn>("HLPGetServerInfo")(Target(61).bytes, summary, 5, nullptr));
    const std::uint8_t expected[16] = {4, 1, 0, 0, 2, 0, 0, 0, 1, 0, 0, 0, 0, 0, 0, 0};
    EXPECT_EQ(0, std::memcmp(expected, summary, sizeof expected));
}

TEST_F(NetworkExportsTest, SerialNamesOverBothTableKinds) {
    if (!s_ready && AgentPortRefused()) GTEST_SKIP() << s_simulator->Output();
    ASSERT_TRUE(s_ready) << (s_simulator ? s_simulator->Output() : "");
    LONG result = -1;
    EXPECT_EQ((std::vector<std::string>{"Modem1", "Modem2"}), SerialNames(61, result));
    EXPECT_EQ(kHlpOk, result);
    EXPECT_EQ((std::vector<std::string>{"Group1", "Group2"}), SerialNames(62, result));
    EXPECT_EQ(kHlpOk, result);

    WORD count = 0;
    const Target target(61);
    EXPECT_EQ(7, Export<SerialNamesFn>("HLPGetSerialNames")(kTransportIp, 1, target.bytes, nullptr, 0, &count,
                                                            StopWithSeven, 20, nullptr));
}

TEST_F(NetworkExportsTest, SpecificSearchThroughTheDeviceFile) {
    if (!s_ready && AgentPortRefused()) GTEST_SKIP() << s_simulator->Output();
    ASSERT_TRUE(s_ready) << (s_simulator ? s_simulator->Output() : "");
    char directory[MAX_PATH];
    GetTempPathA(MAX_PATH, directory);
    const std::string path = std::string(directory) + "kvr-network-exports-devices.ini";
    FILE* file = std::fopen(path.c_str(), "wb");
    ASSERT_NE(nullptr, file);
    std::fputs("[Server61]\r\nName=Server61\r\nType=Rack Unit\r\nVersion=4.1\r\nIPAddress=127.0.0.61\r\n", file);
    std::fclose(file);
    SetText(reg::kServersKeyA, reg::kDeviceFileA, path);
    SetText(reg::kServersKeyA, reg::kIpLookupMethodsA, "DeviceFile");

    std::vector<char> buffer(65348);
    WORD count = 0;
    const DWORD versionFilter[2] = {4, 0};
    EXPECT_EQ(kHlpOk, Export<FindVersionFn>("HLPFindVersionDevices")(
                          kTransportIp, 1, "*", "*", buffer.data(), static_cast<WORD>(buffer.size()),
                          &count, nullptr, 3, nullptr, versionFilter));
    ASSERT_EQ(1, count);
    EXPECT_STREQ("Server61", reinterpret_cast<const DeviceRecord*>(buffer.data())->name);

    EXPECT_EQ(kHlpOk, Export<FindFn>("HLPFindDevices")(kTransportIp, 1, "server61", "RACK", buffer.data(),
                                                       static_cast<WORD>(buffer.size()), &count, nullptr, 3,
                                                       nullptr));
    ASSERT_EQ(1, count);  // the device's own answer
    EXPECT_STREQ("Server61", reinterpret_cast<const DeviceRecord*>(buffer.data())->name);
    EXPECT_EQ(kHlpWrongHardwareType,
              Export<FindFn>("HLPFindDevices")(kTransportIp, 1, "server61", "HUB", buffer.data(),
                                               static_cast<WORD>(buffer.size()), &count, nullptr, 3, nullptr));
    DeleteFileA(path.c_str());
}
