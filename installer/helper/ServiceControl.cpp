#include "ServiceControl.h"

#include "Handles.h"

namespace setup {

namespace {

bool Query(SC_HANDLE service, SERVICE_STATUS_PROCESS& status) {
    DWORD needed = 0;
    return QueryServiceStatusEx(service, SC_STATUS_PROCESS_INFO, reinterpret_cast<BYTE*>(&status),
                                sizeof(status), &needed) != FALSE;
}

// Polls until the service reports `state` or leaves the pending state that
// leads to it; true when it got there.
bool WaitForState(SC_HANDLE service, DWORD state, DWORD pending, DWORD timeoutMs, SERVICE_STATUS_PROCESS& status) {
    const DWORD start = GetTickCount();
    while (Query(service, status)) {
        if (status.dwCurrentState == state) return true;
        if (status.dwCurrentState != pending && GetTickCount() - start > 2000) return false;
        if (GetTickCount() - start > timeoutMs) return false;
        Sleep(100);
    }
    return false;
}

}  // namespace

const char* StateName(ServiceState state) {
    switch (state) {
    case ServiceState::Absent: return "absent";
    case ServiceState::Stopped: return "stopped";
    case ServiceState::Running: return "running";
    case ServiceState::Other: return "pending";
    case ServiceState::Unknown: break;
    }
    return "unknown";
}

std::string SystemMessage(DWORD code) {
    char* text = nullptr;
    const DWORD length = FormatMessageA(FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM |
                                            FORMAT_MESSAGE_IGNORE_INSERTS,
                                        nullptr, code, 0, reinterpret_cast<char*>(&text), 0, nullptr);
    std::string message = length != 0 ? std::string(text, length) : std::string("error");
    LocalFree(text);
    while (!message.empty() && (message.back() == '\n' || message.back() == '\r' || message.back() == '.'))
        message.pop_back();
    return message + " (" + std::to_string(code) + ")";
}

ServiceState ServiceControl::State() const {
    kvr::UniqueScHandle manager(OpenSCManagerW(nullptr, nullptr, SC_MANAGER_CONNECT));
    if (!manager) return ServiceState::Unknown;
    kvr::UniqueScHandle service(OpenServiceW(manager.Get(), m_name, SERVICE_QUERY_STATUS));
    if (!service)
        return GetLastError() == ERROR_SERVICE_DOES_NOT_EXIST ? ServiceState::Absent : ServiceState::Unknown;
    SERVICE_STATUS_PROCESS status{};
    if (!Query(service.Get(), status)) return ServiceState::Unknown;
    switch (status.dwCurrentState) {
    case SERVICE_STOPPED: return ServiceState::Stopped;
    case SERVICE_RUNNING: return ServiceState::Running;
    default: return ServiceState::Other;
    }
}

bool ServiceControl::Start(DWORD timeoutMs, std::string& message) const {
    kvr::UniqueScHandle manager(OpenSCManagerW(nullptr, nullptr, SC_MANAGER_CONNECT));
    kvr::UniqueScHandle service;
    if (manager) service.Reset(OpenServiceW(manager.Get(), m_name, SERVICE_START | SERVICE_QUERY_STATUS));
    if (!service) {
        message = "The service is not registered: " + SystemMessage(GetLastError());
        return false;
    }
    if (!StartServiceW(service.Get(), 0, nullptr) && GetLastError() != ERROR_SERVICE_ALREADY_RUNNING) {
        message = "The service could not be started: " + SystemMessage(GetLastError());
        return false;
    }
    SERVICE_STATUS_PROCESS status{};
    if (!WaitForState(service.Get(), SERVICE_RUNNING, SERVICE_START_PENDING, timeoutMs, status)) {
        message = "The service did not start";
        if (status.dwWin32ExitCode != NO_ERROR) message += ": " + SystemMessage(status.dwWin32ExitCode);
        return false;
    }
    return true;
}

bool ServiceControl::Stop(DWORD timeoutMs, std::string& message) const {
    kvr::UniqueScHandle manager(OpenSCManagerW(nullptr, nullptr, SC_MANAGER_CONNECT));
    if (!manager) {
        message = "The service control manager cannot be reached: " + SystemMessage(GetLastError());
        return false;
    }
    kvr::UniqueScHandle service(OpenServiceW(manager.Get(), m_name, SERVICE_STOP | SERVICE_QUERY_STATUS));
    if (!service) {
        if (GetLastError() == ERROR_SERVICE_DOES_NOT_EXIST) return true;
        message = "The service cannot be opened: " + SystemMessage(GetLastError());
        return false;
    }
    SERVICE_STATUS_PROCESS status{};
    if (!Query(service.Get(), status)) {
        message = "The service's state cannot be read: " + SystemMessage(GetLastError());
        return false;
    }
    if (status.dwCurrentState == SERVICE_STOPPED) return true;
    // Its process is what holds the files: wait for it, not only for the report.
    kvr::UniqueHandle process;
    if (status.dwProcessId != 0) process.Reset(OpenProcess(SYNCHRONIZE, FALSE, status.dwProcessId));
    SERVICE_STATUS plain{};
    if (status.dwCurrentState != SERVICE_STOP_PENDING &&
        !ControlService(service.Get(), SERVICE_CONTROL_STOP, &plain) &&
        GetLastError() != ERROR_SERVICE_NOT_ACTIVE) {
        message = "The service could not be stopped: " + SystemMessage(GetLastError());
        return false;
    }
    if (!WaitForState(service.Get(), SERVICE_STOPPED, SERVICE_STOP_PENDING, timeoutMs, status)) {
        message = "The service did not stop within " + std::to_string(timeoutMs / 1000) + " seconds";
        return false;
    }
    if (process && WaitForSingleObject(process.Get(), timeoutMs) != WAIT_OBJECT_0) {
        message = "The service reported stopped but its program did not end";
        return false;
    }
    return true;
}

}  // namespace setup
