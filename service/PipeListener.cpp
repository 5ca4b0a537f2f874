#include "PipeListener.h"

#include "PortSession.h"
#include "Progress.h"
#include "ServiceStatus.h"

namespace svc {
namespace {

HANDLE CreateInstance(const std::wstring& pipeName, SECURITY_ATTRIBUTES* security) {
    // Any local account may connect (the port driver runs under any of them),
    // but a caller on another computer must not get modem connections made with
    // this user's credentials.
    return CreateNamedPipeW(pipeName.c_str(), PIPE_ACCESS_DUPLEX | FILE_FLAG_OVERLAPPED,
                            PIPE_TYPE_MESSAGE | PIPE_READMODE_MESSAGE | PIPE_WAIT | PIPE_REJECT_REMOTE_CLIENTS,
                            PIPE_UNLIMITED_INSTANCES, 0, 0, 1000, security);
}

void StartSession(HANDLE pipe) {
    HANDLE thread = CreateThread(nullptr, 0, SessionThread, pipe, 0, nullptr);
    if (thread == nullptr) {
        Progress(L"Cannot start a session thread (%lu).", GetLastError());
        CloseHandle(pipe);
        return;
    }
    CloseHandle(thread);
}

}  // namespace

HANDLE RunPipeListener(const std::wstring& pipeName, HANDLE stopEvent, HANDLE connectEvent,
                       SECURITY_ATTRIBUTES* security) {
    Progress(L"Listening on %ls.", pipeName.c_str());
    for (;;) {
        HANDLE pipe = CreateInstance(pipeName, security);
        if (pipe == INVALID_HANDLE_VALUE) {
            Progress(L"Unable to create named pipe %ls (%lu).", pipeName.c_str(), GetLastError());
            LogServiceError(L"Unable to create named pipe");
            return INVALID_HANDLE_VALUE;
        }
        ResetEvent(connectEvent);
        OVERLAPPED overlapped{};
        overlapped.hEvent = connectEvent;
        if (!ConnectNamedPipe(pipe, &overlapped) && GetLastError() == ERROR_IO_PENDING) {
            const HANDLE events[2] = {stopEvent, connectEvent};
            const DWORD wait = WaitForMultipleObjects(2, events, FALSE, INFINITE);
            if (wait != WAIT_OBJECT_0 + 1) return pipe;
        }
        // Connected now, connected before the call, or failed at once: the
        // session finds out which at its first read.
        StartSession(pipe);
    }
}

}  // namespace svc
