// kvrfind.exe against a simulated device on loopback: what it prints for a
// device and its ports is what a person reads.
#include <windows.h>

#include <gtest/gtest.h>

#include <string>

#include "ChildProcess.h"

namespace {

// A loopback address no other test uses, with an SNMP agent on port 161 (under
// Wine the whole machine's: ctest runs the tests that use it one at a time).
constexpr wchar_t kDevice[] = L"127.0.0.66";

std::string RunKvrFind(const std::wstring& arguments) {
    ChildProcess kvrfind(L"kvrfind.exe", arguments);
    EXPECT_TRUE(kvrfind.Started());
    EXPECT_NE(kvrfind.WaitExit(), static_cast<DWORD>(STILL_ACTIVE));
    return kvrfind.Output();
}

}  // namespace

TEST(KvrFindProgramTest, NamesArePrintedAsAPersonReadsThem) {
    ChildProcess simulator(L"rasim.exe", std::wstring(L"--snmp-port 161 --listen ") + kDevice +
                                             L":0 --device \"Harbor Two\" --port \"Modem One\" --port modem2");
    ASSERT_TRUE(simulator.Started());
    ASSERT_TRUE(simulator.WaitFor("SNMP-READY 127.0.0.66:161")) << simulator.Output();

    const std::string device = RunKvrFind(std::wstring(L"device ") + kDevice + L" --timeout 5");
    EXPECT_NE(device.find("DETAIL name=\"Harbor Two\" type=\""), std::string::npos) << device;
    EXPECT_NE(device.find("RESULT 0 "), std::string::npos) << device;

    const std::string ports = RunKvrFind(std::wstring(L"ports ") + kDevice + L" --timeout 5");
    EXPECT_NE(ports.find("PORT name=\"Modem One\"\nPORT name=\"modem2\"\n"), std::string::npos) << ports;
}
