// The whole system configured through the Chooser, as a user would: the
// Chooser finds a simulated device among the known servers, the user opens
// it in the browse dialog, adds one of its port groups to COM3, ticks
// Redirect and presses OK; then the service, started afresh, opens COM3's
// port key for the port driver stand-in and dials out through that device.
// The service is another program, so everything lives in the prefix's own
// registry; what the test writes there is put back afterwards.
#include <windows.h>

#include <gtest/gtest.h>

#include <cstring>
#include <deque>
#include <memory>
#include <string>

#include "ChildProcess.h"
#include "ChooserDriver.h"
#include "RegistryNames.h"
#include "RegistrySnapshot.h"
#include "ScratchRegistry.h"
#include "SimulatedDevices.h"

namespace kvr::test {
namespace {

// The device serves the dial-out service on the port the store records for
// every known server (1549).
const SimDevice kDevice{L"Wharf", L"127.0.3.17", 12, {L"modem1", L"modem2", L"Command_Shell"}, L"", 1549};
constexpr int kCom3 = 3;
constexpr int kCom3Index = kCom3 - 1;  // its port key is Dialout2

class ChooserDialOutTest : public ::testing::Test {
protected:
    void SetUp() override {
        using Scope = RegistrySnapshot::Scope;
        for (int i = 0; i < 4; ++i)
            m_saved.emplace_back(HKEY_LOCAL_MACHINE, std::wstring(reg::kPortsKey) + L"\\Dialout" + std::to_wstring(i),
                                 Scope::Tree);
        m_saved.emplace_back(HKEY_LOCAL_MACHINE, reg::kRezorivKey);
        m_saved.emplace_back(HKEY_LOCAL_MACHINE, reg::kServersKey);
        m_saved.emplace_back(HKEY_LOCAL_MACHINE, std::wstring(reg::kTcpServersKey) + L"\\" + kDevice.name, Scope::Tree);
        m_saved.emplace_back(HKEY_LOCAL_MACHINE, reg::kLookupKey);
        m_saved.emplace_back(HKEY_CURRENT_USER, reg::kChooserUserKey, Scope::Tree);

        // As installed: four ports, none redirected; the device known from
        // an earlier search, and found again without a broadcast.
        for (int i = 0; i < 4; ++i) ASSERT_EQ(0, SeedPort(i, ("COM" + std::to_string(i + 1)).c_str(), false, {}));
        SimulatedDevices::WriteCatalogue();
        SimulatedDevices::SetLookupMethods(L"DeviceFile");
        SimulatedDevices::AddKnownServer(kDevice.name, kDevice.address, SimulatedDevices::TypeName(kDevice.hardware));
        ScratchRegistry::SetString(reg::kRezorivKey, reg::kTransport, L"TCP/IP");
        // As the other dial-out tests have them: no password asked, none kept.
        ScratchRegistry::SetDword(reg::kRezorivKey, reg::kSilent, 1);
        ScratchRegistry::SetDword(reg::kRezorivKey, reg::kPasswordCaching, 0);
    }

    // What the test writes in the prefix's registry goes back as it was.
    std::deque<RegistrySnapshot> m_saved;
};

TEST_F(ChooserDialOutTest, PortGroupAddedToCom3DialsOutThroughTheService) {
    const std::unique_ptr<SimulatedDevices> device = SimulatedDevices::StartWhenPortFree({kDevice}, kPortWaitMs);
    ASSERT_TRUE(device->Ready()) << device->Output();
    Applet applet;
    ASSERT_TRUE(applet) << "KVRUI.CPL did not load";
    {
        ChooserRun run(applet);
        EXPECT_EQ("", RedirectThroughChooser(run, kDevice.name, L"modem2", kCom3, [](const char*, HWND) {}));
        ASSERT_TRUE(run.WaitFinished());
    }

    // What the service reads for COM3.
    const StoredPort com3 = ReadStoredPort(kCom3Index);
    ASSERT_EQ(0, com3.result);
    EXPECT_EQ("COM3", com3.dosName);
    EXPECT_TRUE(com3.redirected);
    ASSERT_EQ(1u, com3.entries.size());
    EXPECT_EQ("Wharf", com3.entries[0].name);
    EXPECT_EQ("modem2", com3.entries[0].portName);
    const std::uint8_t address[8] = {2, 0, 0x06, 0x0D, 127, 0, 3, 17};  // TCP 1549 in network order
    EXPECT_EQ(0, std::memcmp(address, com3.entries[0].address, sizeof address));
    for (int other : {0, 1, 3}) EXPECT_FALSE(ReadStoredPort(other).redirected) << "port index " << other;

    const std::wstring pipe = L"\\\\.\\pipe\\kvrchooser" + std::to_wstring(::GetCurrentProcessId());
    ChildProcess service(L"KVRSVC.EXE", L"-debug -pipe " + pipe);
    ASSERT_TRUE(service.WaitFor("Listening on")) << service.Output();
    ChildProcess driver(L"portdrv.exe", L"-pipe " + pipe + L" Dialout2");
    driver.Write("at ATDT5551234\nexpect CONNECT\nsend configured by the Chooser\\r\\n\nexpect Chooser\nquit\n");
    EXPECT_EQ(0u, driver.WaitExit(30000)) << driver.Output() << service.Output();
    const std::string output = driver.Output();
    EXPECT_NE(std::string::npos, output.find("OPEN RESULT 0\n")) << output;
    EXPECT_EQ(std::string::npos, output.find("EXPECT FAILED")) << output;
    EXPECT_TRUE(device->WaitFor(" device=Wharf ")) << device->Output();
    EXPECT_TRUE(device->WaitFor(" port=modem2 ")) << device->Output();
    EXPECT_TRUE(device->WaitFor("command=ATDT5551234 result=CONNECT")) << device->Output();
}

}  // namespace
}  // namespace kvr::test
