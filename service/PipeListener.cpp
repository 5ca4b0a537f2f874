#include "PipeListener.h"

#include <memory>

#include "PortSession.h"
#include "Progress.h"
#include "ServiceStatus.h"

namespace svc {

PipeListener::PipeListener(std::wstring pipeName, SECURITY_ATTRIBUTES* security, kvr::UniqueHandle connectEvent,
                           const SessionEnvironment& environment)
    : m_pipeName(std::move(pipeName)),
      m_security(security),
      m_connectEvent(std::move(connectEvent)),
      m_environment(environment) {}

PipeListener::~PipeListener() { CloseWaitingInstance(); }

HANDLE PipeListener::CreateInstance() const {
    // Any local account may connect (the port driver runs under any of them),
    // but a caller on another computer must not get modem connections made with
    // this user's credentials.
    return CreateNamedPipeW(m_pipeName.c_str(), PIPE_ACCESS_DUPLEX | FILE_FLAG_OVERLAPPED,
                            PIPE_TYPE_MESSAGE | PIPE_READMODE_MESSAGE | PIPE_WAIT | PIPE_REJECT_REMOTE_CLIENTS,
                            PIPE_UNLIMITED_INSTANCES, 0, 0, 1000, m_security);
}

void PipeListener::StartSession(kvr::UniqueFile pipe) const {
    auto start = std::make_unique<SessionStart>(SessionStart{pipe.Get(), &m_environment});
    kvr::UniqueHandle thread(CreateThread(nullptr, 0, SessionThread, start.get(), 0, nullptr));
    if (!thread) {
        Progress(L"Cannot start a session thread (%lu).", GetLastError());
        return;  // the instance closes with pipe
    }
    // The thread owns both now.
    start.release();
    pipe.Release();
}

void PipeListener::CloseWaitingInstance() {
    if (!m_waiting) return;
    // The cancelled connect still completes into m_connect: let it land
    // before the instance goes.
    CancelIo(m_waiting.Get());
    DWORD ignored = 0;
    GetOverlappedResult(m_waiting.Get(), &m_connect, &ignored, TRUE);
    m_waiting.Reset();
}

bool PipeListener::Run(HANDLE stop) {
    Progress(L"Listening on %ls.", m_pipeName.c_str());
    for (;;) {
        m_waiting.Reset(CreateInstance());
        if (!m_waiting) {
            Progress(L"Unable to create named pipe %ls (%lu).", m_pipeName.c_str(), GetLastError());
            LogServiceError(L"Unable to create named pipe");
            return false;
        }
        ResetEvent(m_connectEvent.Get());
        m_connect = {};
        m_connect.hEvent = m_connectEvent.Get();
        if (!ConnectNamedPipe(m_waiting.Get(), &m_connect) && GetLastError() == ERROR_IO_PENDING) {
            const HANDLE events[2] = {stop, m_connectEvent.Get()};
            if (WaitForMultipleObjects(2, events, FALSE, INFINITE) != WAIT_OBJECT_0 + 1) {
                CloseWaitingInstance();
                return true;
            }
        }
        // Connected now, connected before the call, or failed at once: the
        // session finds out which at its first read.
        StartSession(std::move(m_waiting));
    }
}

}  // namespace svc
