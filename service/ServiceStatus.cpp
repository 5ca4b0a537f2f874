#include "ServiceStatus.h"

#include <cstdio>
#include <cwchar>

namespace svc {

StatusReporter::StatusReporter(SetStatusFn setStatus, LogFn log) : m_setStatus(setStatus), m_log(log) {
    m_status.dwServiceType = SERVICE_WIN32_OWN_PROCESS;
    m_status.dwServiceSpecificExitCode = 0;
}

bool StatusReporter::ReportStatus(DWORD state, DWORD exitCode, DWORD waitHintMs) {
    if (m_debug) return true;
    m_status.dwControlsAccepted = state == SERVICE_START_PENDING ? 0 : SERVICE_ACCEPT_STOP;
    m_status.dwCurrentState = state;
    m_status.dwWin32ExitCode = exitCode;
    m_status.dwWaitHint = waitHintMs;
    if (state == SERVICE_RUNNING || state == SERVICE_STOPPED)
        m_status.dwCheckPoint = 0;
    else
        m_status.dwCheckPoint = m_checkpoint++;
    if (m_setStatus(m_handle, &m_status)) return true;
    if (m_log != nullptr) m_log(L"SetServiceStatus");
    return false;
}

void StatusReporter::OnControl(DWORD control) {
    if (control == SERVICE_CONTROL_STOP) m_status.dwCurrentState = SERVICE_STOP_PENDING;
    ReportStatus(m_status.dwCurrentState, 0, 0);
}

std::wstring FormatLastError(DWORD error, size_t capacity) {
    wchar_t* text = nullptr;
    const DWORD length = FormatMessageW(
        FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_ARGUMENT_ARRAY,
        nullptr, error, LANG_NEUTRAL, reinterpret_cast<wchar_t*>(&text), 0, nullptr);
    std::wstring result;
    if (length != 0 && capacity >= length + 14) {
        // The system text ends with a line end.
        const DWORD kept = length >= 2 ? length - 2 : 0;
        wchar_t line[512];
        std::swprintf(line, std::size(line), L"%.*ls (0x%x)", static_cast<int>(kept), text,
                      static_cast<unsigned>(error));
        result = line;
    }
    if (text != nullptr) LocalFree(text);
    return result;
}

namespace {

DWORD g_lastError = 0;

void WriteErrorEvent(const wchar_t* message) {
    g_lastError = GetLastError();
    HANDLE source = RegisterEventSourceW(nullptr, kServiceName);
    if (source == nullptr) return;
    wchar_t line[256];
    std::swprintf(line, std::size(line), L"%ls error: %lu", kServiceName, g_lastError);
    const wchar_t* strings[2] = {line, message};
    ReportEventW(source, EVENTLOG_ERROR_TYPE, 0, 0, nullptr, 2, 0, strings, nullptr);
    DeregisterEventSource(source);
}

}  // namespace

StatusReporter& Reporter() {
    static StatusReporter reporter(&SetServiceStatus, &LogServiceError);
    return reporter;
}

DWORD LastLoggedError() { return g_lastError; }

void LogServiceError(const wchar_t* message) {
    if (Reporter().IsDebug()) return;
    WriteErrorEvent(message);
}

}  // namespace svc
