// The service program: install, remove, console debug mode, or the service
// dispatcher.
#include <windows.h>
#include <shellapi.h>

#include <cstdio>
#include <string>

#include "CommandLine.h"
#include "Handles.h"
#include "Progress.h"
#include "RunServer.h"
#include "ServiceStatus.h"

namespace svc {
namespace {

void PrintError(const char* format) {
    const std::wstring text = FormatLastError(GetLastError());
    std::printf(format, text.c_str());
}

void WINAPI ControlHandler(DWORD control) {
    // Stop pending is reported before the listener can see the event, so the
    // final stopped report always comes last.
    Reporter().OnControl(control);
    if (control == SERVICE_CONTROL_STOP) SignalStop();
}

void WINAPI ServiceMain(DWORD argc, wchar_t** argv) {
    SERVICE_STATUS_HANDLE handle = RegisterServiceCtrlHandlerW(kServiceName, ControlHandler);
    if (handle == nullptr) return;
    Reporter().SetHandle(handle);
    if (Reporter().ReportStatus(SERVICE_START_PENDING, NO_ERROR, kStartWaitHintMs))
        RunServer(static_cast<int>(argc), argv);
    Reporter().ReportStatus(SERVICE_STOPPED, LastLoggedError(), 0);
}

BOOL WINAPI ConsoleHandler(DWORD event) {
    if (event != CTRL_C_EVENT && event != CTRL_BREAK_EVENT) return FALSE;
    std::printf("Stopping %ls.\n", kDisplayName);
    std::fflush(stdout);
    SignalStop();
    return TRUE;
}

void Install() {
    wchar_t path[512];
    if (GetModuleFileNameW(nullptr, path, static_cast<DWORD>(std::size(path))) == 0) {
        const std::wstring text = FormatLastError(GetLastError());
        std::printf("Unable to install %ls - %ls\n", kDisplayName, text.c_str());
        return;
    }
    kvr::UniqueScHandle manager(OpenSCManagerW(nullptr, nullptr, SC_MANAGER_ALL_ACCESS));
    if (!manager) {
        PrintError("OpenSCManager failed - %ls\n");
        return;
    }
    // Quoted: unquoted, a path with blanks ("C:\Program Files\...") is a
    // command line the control manager would try as C:\Program.exe first.
    const std::wstring command = L"\"" + std::wstring(path) + L"\"";
    kvr::UniqueScHandle service(CreateServiceW(manager.Get(), kServiceName, kDisplayName, SERVICE_ALL_ACCESS,
                                               SERVICE_WIN32_OWN_PROCESS, SERVICE_DEMAND_START,
                                               SERVICE_ERROR_NORMAL, command.c_str(), nullptr, nullptr, L"\0\0",
                                               nullptr, nullptr));
    if (service)
        std::printf("%ls installed.\n", kDisplayName);
    else
        PrintError("CreateService failed - %ls\n");
}

void Remove() {
    kvr::UniqueScHandle manager(OpenSCManagerW(nullptr, nullptr, SC_MANAGER_ALL_ACCESS));
    if (!manager) {
        PrintError("OpenSCManager failed - %ls\n");
        return;
    }
    kvr::UniqueScHandle service(OpenServiceW(manager.Get(), kServiceName, SERVICE_ALL_ACCESS));
    if (!service) {
        PrintError("OpenService failed - %ls\n");
        return;
    }
    SERVICE_STATUS status{};
    if (ControlService(service.Get(), SERVICE_CONTROL_STOP, &status)) {
        std::printf("Stopping %ls.", kDisplayName);
        std::fflush(stdout);
        Sleep(1000);
        while (QueryServiceStatus(service.Get(), &status) && status.dwCurrentState == SERVICE_STOP_PENDING) {
            std::printf(".");
            std::fflush(stdout);
            Sleep(1000);
        }
        if (status.dwCurrentState == SERVICE_STOPPED)
            std::printf("\n%ls stopped.\n", kDisplayName);
        else
            std::printf("\n%ls failed to stop.\n", kDisplayName);
    }
    if (DeleteService(service.Get()))
        std::printf("%ls removed.\n", kDisplayName);
    else
        PrintError("DeleteService failed - %ls\n");
}

void Debug() {
    Reporter().SetDebug(true);
    EnableProgress(true);
    int count = 0;
    wchar_t** words = CommandLineToArgvW(GetCommandLineW(), &count);
    std::printf("Debugging %ls.\n", kDisplayName);
    std::fflush(stdout);
    SetConsoleCtrlHandler(ConsoleHandler, TRUE);
    RunServer(count, words);
    LocalFree(words);
}

void Dispatch() {
    std::printf("%ls -install          to install the service\n", kServiceName);
    std::printf("%ls -remove           to remove the service\n", kServiceName);
    std::printf("%ls -debug <params>   to run as a console app for debugging\n", kServiceName);
    std::printf("\nStartServiceCtrlDispatcher being called.\n");
    std::printf("This may take several seconds.  Please wait.\n");
    std::fflush(stdout);
    wchar_t name[] = L"kvrsvc";
    const SERVICE_TABLE_ENTRYW table[] = {{name, ServiceMain}, {nullptr, nullptr}};
    if (!StartServiceCtrlDispatcherW(table)) LogServiceError(L"StartServiceCtrlDispatcher failed.");
}

}  // namespace
}  // namespace svc

int main(int argc, char** argv) {
    switch (svc::ParseCommand(argc > 1 ? argv[1] : nullptr)) {
    case svc::Command::Install:
        svc::Install();
        return 0;
    case svc::Command::Remove:
        svc::Remove();
        return 0;
    case svc::Command::Debug:
        svc::Debug();
        return 0;
    case svc::Command::Dispatch:
        svc::Dispatch();
        return 0;
    }
    return 0;
}
