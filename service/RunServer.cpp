#include "RunServer.h"

#include <winsock2.h>

#include "CommandLine.h"
#include "PipeListener.h"
#include "PortDevices.h"
#include "Progress.h"
#include "ServiceHooks.h"
#include "ServiceStatus.h"

namespace svc {
namespace {

HANDLE g_stopEvent = nullptr;

bool ReportStarting() { return Reporter().ReportStatus(SERVICE_START_PENDING, NO_ERROR, kStartWaitHintMs); }

}  // namespace

void SignalStop() {
    if (g_stopEvent != nullptr) SetEvent(g_stopEvent);
}

void RunServer(int argc, wchar_t** argv) {
    bool socketsStarted = false;
    HANDLE connectEvent = nullptr;
    HANDLE lastPipe = INVALID_HANDLE_VALUE;
    HANDLE passwordMutex = nullptr;
    PSECURITY_DESCRIPTOR descriptor = nullptr;
    SECURITY_ATTRIBUTES security{};

    do {
        if (!ReportStarting()) break;
        WSADATA wsa;
        if (WSAStartup(MAKEWORD(1, 1), &wsa) != 0) break;
        socketsStarted = true;
        OnStartLoadRoutes();

        g_stopEvent = CreateEventW(nullptr, TRUE, FALSE, nullptr);
        if (g_stopEvent == nullptr || !ReportStarting()) break;
        connectEvent = CreateEventW(nullptr, TRUE, FALSE, nullptr);
        if (connectEvent == nullptr || !ReportStarting()) break;

        // A present but empty access list grants every caller access.
        descriptor = LocalAlloc(LPTR, SECURITY_DESCRIPTOR_MIN_LENGTH);
        if (descriptor == nullptr || !InitializeSecurityDescriptor(descriptor, SECURITY_DESCRIPTOR_REVISION) ||
            !SetSecurityDescriptorDacl(descriptor, TRUE, nullptr, FALSE))
            break;
        security.nLength = sizeof(security);
        security.lpSecurityDescriptor = descriptor;
        security.bInheritHandle = TRUE;
        if (!ReportStarting()) break;

        const std::wstring pipeName = PipeNameFromParameters(argc, argv);
        if (!ReportStarting()) break;

        passwordMutex = OnStartPasswordCache();
        if (!Reporter().ReportStatus(SERVICE_RUNNING, NO_ERROR, 0)) break;

        DefinePortDevices(PortDeviceMode::Define);
        lastPipe = RunPipeListener(pipeName, g_stopEvent, connectEvent, &security);
    } while (false);

    // Sessions still running are not waited for: they end with the process.
    DefinePortDevices(PortDeviceMode::Remove);
    if (passwordMutex != nullptr) CloseHandle(passwordMutex);
    if (lastPipe != INVALID_HANDLE_VALUE) CloseHandle(lastPipe);
    if (g_stopEvent != nullptr) CloseHandle(g_stopEvent);
    g_stopEvent = nullptr;
    if (connectEvent != nullptr) CloseHandle(connectEvent);
    if (descriptor != nullptr) LocalFree(descriptor);
    if (socketsStarted) WSACleanup();
}

}  // namespace svc
