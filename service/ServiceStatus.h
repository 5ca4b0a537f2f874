#pragma once
// The service's status reports to the control manager and its error log.
#include <windows.h>

#include <string>

namespace svc {

inline constexpr wchar_t kServiceName[] = L"kvrsvc";
inline constexpr wchar_t kDisplayName[] = L"Rezo-Riv Service";
inline constexpr DWORD kStartWaitHintMs = 3000;

// Owns the process-wide status record and its checkpoint counter. In debug
// mode nothing is reported and nothing is logged.
class StatusReporter {
public:
    using SetStatusFn = BOOL(WINAPI*)(SERVICE_STATUS_HANDLE, LPSERVICE_STATUS);
    using LogFn = void (*)(const wchar_t* message);

    StatusReporter(SetStatusFn setStatus, LogFn log);

    void SetDebug(bool debug) { m_debug = debug; }
    bool IsDebug() const { return m_debug; }
    void SetHandle(SERVICE_STATUS_HANDLE handle) { m_handle = handle; }

    bool ReportStatus(DWORD state, DWORD exitCode, DWORD waitHintMs);
    // The control handler's report: sets stop pending on a stop control first.
    void OnControl(DWORD control);

    const SERVICE_STATUS& Status() const { return m_status; }

private:
    SetStatusFn m_setStatus;
    LogFn m_log;
    SERVICE_STATUS_HANDLE m_handle = nullptr;
    SERVICE_STATUS m_status{};
    DWORD m_checkpoint = 1;
    bool m_debug = false;
};

// "%s (0x%x)" of the last error's system text, or "" when it has none or the
// text does not fit with room to spare.
std::wstring FormatLastError(DWORD error, size_t capacity = 256);

// Process-wide frame state shared by the service main, the handlers and RunServer.
StatusReporter& Reporter();
// The last error captured by LogServiceError (0 when none): the exit code.
DWORD LastLoggedError();
void LogServiceError(const wchar_t* message);

}  // namespace svc
