// kvrfind.exe against a simulated device on loopback: what it prints for a
// device and its ports is what a person reads.
#include <windows.h>

#include <gtest/gtest.h>

#include <string>

#include "ChildProcess.h"
#include "SimulatedDevices.h"

namespace {

using kvr::test::SimulatedDevices;

std::string RunKvrFind(const std::wstring& arguments) {
    ChildProcess kvrfind(L"kvrfind.exe", arguments);
    EXPECT_TRUE(kvrfind.Started());
    EXPECT_NE(kvrfind.WaitExit(), static_cast<DWORD>(STILL_ACTIVE));
    return kvrfind.Output();
}

}  // namespace

TEST(KvrFindProgramTest, NamesArePrintedAsAPersonReadsThem) {
    // A loopback address no other test uses; names with blanks in quotes on
    // the simulator's command line.
    const auto device = SimulatedDevices::StartWhenPortFree(
        {{L"\"Harbor Two\"", L"127.0.0.66", 12, {L"\"Modem One\"", L"modem2"}, L""}}, kvr::test::kPortWaitMs);
    ASSERT_TRUE(device->Ready()) << device->Output();

    const std::string detail = RunKvrFind(L"device 127.0.0.66 --timeout 5");
    EXPECT_NE(detail.find("DETAIL name=\"Harbor Two\" type=\""), std::string::npos) << detail;
    EXPECT_NE(detail.find("RESULT 0 "), std::string::npos) << detail;

    const std::string ports = RunKvrFind(L"ports 127.0.0.66 --timeout 5");
    EXPECT_NE(ports.find("PORT name=\"Modem One\"\nPORT name=\"modem2\"\n"), std::string::npos) << ports;
}
