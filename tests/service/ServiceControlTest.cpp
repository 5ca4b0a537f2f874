// The service program as its users run it: installed, started, stopped and
// removed through the service control manager, and in console debug mode.
#include <gtest/gtest.h>

#include "ChildProcess.h"
#include "Handles.h"
#include "PortDriverClient.h"

namespace {

std::string RunService(const std::wstring& arguments) {
    ChildProcess program(L"KVRSVC.EXE", arguments);
    EXPECT_TRUE(program.Started());
    EXPECT_EQ(0u, program.WaitExit(60000));
    return program.Output();
}

bool WaitForState(SC_HANDLE service, DWORD state, SERVICE_STATUS& status, DWORD timeoutMs = 20000) {
    const DWORD start = GetTickCount();
    while (QueryServiceStatus(service, &status)) {
        if (status.dwCurrentState == state) return true;
        if (GetTickCount() - start > timeoutMs) return false;
        Sleep(50);
    }
    return false;
}

}  // namespace

TEST(ServiceControl, InstallStartServeStopRemove) {
    RunService(L"-remove");  // a service left over by an interrupted run
    EXPECT_NE(std::string::npos, RunService(L"/INSTALL").find("Rezo-Riv Service installed."));

    kvr::UniqueScHandle manager(OpenSCManagerW(nullptr, nullptr, SC_MANAGER_ALL_ACCESS));
    ASSERT_TRUE(manager);
    kvr::UniqueScHandle service(OpenServiceW(manager.Get(), L"kvrsvc", SERVICE_ALL_ACCESS));
    ASSERT_TRUE(service);
    {
        BYTE buffer[8192];
        DWORD needed = 0;
        auto* config = reinterpret_cast<QUERY_SERVICE_CONFIGW*>(buffer);
        ASSERT_TRUE(QueryServiceConfigW(service.Get(), config, sizeof(buffer), &needed));
        EXPECT_STREQ(L"Rezo-Riv Service", config->lpDisplayName);
        EXPECT_EQ(static_cast<DWORD>(SERVICE_WIN32_OWN_PROCESS), config->dwServiceType);
        EXPECT_EQ(static_cast<DWORD>(SERVICE_DEMAND_START), config->dwStartType);
        EXPECT_EQ(static_cast<DWORD>(SERVICE_ERROR_NORMAL), config->dwErrorControl);
        // Quoted, so a folder with blanks in its name cannot be taken apart.
        const std::wstring command = config->lpBinaryPathName;
        EXPECT_EQ(L"\"" + BinDirectory() + L"KVRSVC.EXE\"", command);
    }

    ASSERT_TRUE(StartServiceW(service.Get(), 0, nullptr));
    SERVICE_STATUS status{};
    ASSERT_TRUE(WaitForState(service.Get(), SERVICE_RUNNING, status));
    EXPECT_EQ(static_cast<DWORD>(SERVICE_ACCEPT_STOP), status.dwControlsAccepted);
    EXPECT_EQ(0u, status.dwCheckPoint);

    // Running means serving the default pipe.
    {
        portdrv::PortDriverClient client;
        ASSERT_TRUE(client.Connect(L"\\\\.\\pipe\\dialout", 10000));
        ASSERT_TRUE(client.SendOpen(L"KvrNoSuchPortKey"));
        portdrv::Message answer;
        ASSERT_EQ(portdrv::ReadResult::Message, client.Receive(answer, 10000));
        EXPECT_EQ(portpipe::PipeOpenResult, answer.type);
    }

    ASSERT_TRUE(ControlService(service.Get(), SERVICE_CONTROL_STOP, &status));
    ASSERT_TRUE(WaitForState(service.Get(), SERVICE_STOPPED, status));
    EXPECT_EQ(0u, status.dwWin32ExitCode);

    service.Reset();
    const std::string removed = RunService(L"-remove");
    EXPECT_EQ(std::string::npos, removed.find("Stopping")) << removed;  // it was stopped already
    EXPECT_NE(std::string::npos, removed.find("Rezo-Riv Service removed.")) << removed;
    service.Reset(OpenServiceW(manager.Get(), L"kvrsvc", SERVICE_ALL_ACCESS));
    EXPECT_FALSE(service);
}

TEST(ServiceControl, RemoveStopsARunningService) {
    RunService(L"-remove");
    RunService(L"-install");
    kvr::UniqueScHandle manager(OpenSCManagerW(nullptr, nullptr, SC_MANAGER_ALL_ACCESS));
    kvr::UniqueScHandle service(OpenServiceW(manager.Get(), L"kvrsvc", SERVICE_ALL_ACCESS));
    ASSERT_TRUE(service);
    ASSERT_TRUE(StartServiceW(service.Get(), 0, nullptr));
    SERVICE_STATUS status{};
    ASSERT_TRUE(WaitForState(service.Get(), SERVICE_RUNNING, status));
    service.Reset();
    const std::string removed = RunService(L"-remove");
    EXPECT_NE(std::string::npos, removed.find("Stopping Rezo-Riv Service.")) << removed;
    EXPECT_NE(std::string::npos, removed.find("\nRezo-Riv Service stopped.\n")) << removed;
    EXPECT_NE(std::string::npos, removed.find("Rezo-Riv Service removed.")) << removed;
}

TEST(ServiceControl, RemoveWithoutServiceSaysSo) {
    RunService(L"-remove");
    const std::string output = RunService(L"-remove");
    EXPECT_EQ(0u, output.find("OpenService failed - ")) << output;
}

TEST(ServiceControl, UnknownSwitchPrintsUsageThenTriesTheDispatcher) {
    const std::string output = RunService(L"-bogus");
    EXPECT_EQ(0u, output.find("kvrsvc -install          to install the service\n"
                              "kvrsvc -remove           to remove the service\n"
                              "kvrsvc -debug <params>   to run as a console app for debugging\n"
                              "\nStartServiceCtrlDispatcher being called.\n"
                              "This may take several seconds.  Please wait.\n"))
        << output;
}

TEST(ServiceControl, DebugModeServesTheNamedPipeUntilCtrlBreak) {
    const std::wstring pipe = L"\\\\.\\pipe\\kvrdebug" + std::to_wstring(GetCurrentProcessId());
    ChildProcess service(L"KVRSVC.EXE", L"-debug -pipe " + pipe, CREATE_NEW_CONSOLE);
    ASSERT_TRUE(service.WaitFor("Debugging Rezo-Riv Service.\n"));
    {
        portdrv::PortDriverClient client;
        ASSERT_TRUE(client.Connect(pipe, 10000));
        ASSERT_TRUE(client.SendOpen(L"KvrNoSuchPortKey"));
        portdrv::Message answer;
        ASSERT_EQ(portdrv::ReadResult::Message, client.Receive(answer, 10000));
        EXPECT_EQ(portpipe::PipeOpenResult, answer.type);
    }
    EXPECT_TRUE(service.WaitFor("Session ended."));
    // Ctrl+C reaches every process of a console: join the service's, ignoring it here.
    FreeConsole();
    if (!AttachConsole(service.Id())) GTEST_SKIP() << "cannot attach to the service's console";
    SetConsoleCtrlHandler(nullptr, TRUE);
    const bool sent = GenerateConsoleCtrlEvent(CTRL_C_EVENT, 0);
    FreeConsole();
    if (!sent) GTEST_SKIP() << "this platform cannot send Ctrl+C to the service";
    EXPECT_EQ(0u, service.WaitExit(20000)) << service.Output();
    EXPECT_NE(std::string::npos, service.Output().find("Stopping Rezo-Riv Service.\n"));
}
