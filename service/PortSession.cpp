#include "PortSession.h"

#include <cstring>

#include "PasswordCache.h"
#include "Progress.h"
#include "SessionRegistry.h"

namespace svc {
namespace {

SessionEnvironment g_environment{&KvrAuthUi(), nullptr};

PortSession& SessionOf(const OVERLAPPED* overlapped) {
    // The completion routines' overlapped records carry their session in hEvent,
    // which ReadFileEx and WSARecv leave to the caller.
    return *static_cast<PortSession*>(overlapped->hEvent);
}

void CALLBACK PipeReadDone(DWORD error, DWORD bytes, OVERLAPPED* overlapped) {
    PortSession& session = SessionOf(overlapped);
    session.pipeReadPending = false;
    if (error != ERROR_SUCCESS && !session.quit) {
        if (error == ERROR_MORE_DATA)
            Progress(L"[%lu] The driver sent a message longer than %lu bytes.", session.id, kPipeBufferSize);
        else
            Progress(L"[%lu] Pipe read failed (%lu): the driver closed the port.", session.id, error);
        session.quit = true;
    }
    if (session.quit) return;
    session.pipeMessageLength = bytes;
    if (bytes != 0) OnPipeMessage(session);
    if (session.online && !session.quit) StartPipeRead(session);
}

void CALLBACK SocketReadDone(DWORD error, DWORD bytes, WSAOVERLAPPED* overlapped, DWORD) {
    PortSession& session = SessionOf(overlapped);
    session.socketReadPending = false;
    if ((error != ERROR_SUCCESS || bytes == 0) && !session.quit && session.socket != INVALID_SOCKET) {
        Progress(L"[%lu] The server %ls the connection (%lu).", session.id, bytes == 0 ? L"closed" : L"lost",
                 error);
        session.quit = true;
    }
    if (session.quit || session.socket == INVALID_SOCKET) return;
    session.framer.Commit(bytes);
    OnServerBytes(session);
    if (!session.quit && !session.retrySameServer && !session.nextServer && session.socket != INVALID_SOCKET)
        StartSocketRead(session);
}

void CALLBACK WakeApc(ULONG_PTR) {}

// A write made while another write of this session is waiting (a completion
// routine ran during that wait) needs an event of its own, or the outer wait
// could see the inner write's completion as its own.
class WriteEvent {
public:
    WriteEvent(PortSession& session, HANDLE sessionEvent) : m_session(session) {
        m_event = m_session.writeDepth++ == 0 ? sessionEvent : (m_owned = CreateEventW(nullptr, TRUE, FALSE, nullptr));
    }
    ~WriteEvent() {
        --m_session.writeDepth;
        if (m_owned != nullptr) CloseHandle(m_owned);
    }
    WriteEvent(const WriteEvent&) = delete;
    WriteEvent& operator=(const WriteEvent&) = delete;
    HANDLE Get() const { return m_event; }

    // Waits in alertable waits, so this session's completions keep running.
    bool Await(const OVERLAPPED& overlapped) const {
        while (!HasOverlappedIoCompleted(&overlapped))
            if (WaitForSingleObjectEx(m_event, 10000, TRUE) == WAIT_FAILED) return false;
        return true;
    }

private:
    PortSession& m_session;
    HANDLE m_event = nullptr;
    HANDLE m_owned = nullptr;
};

void InitSession(PortSession& session, HANDLE pipe) {
    session.pipe = pipe;
    session.pipeWriteEvent = CreateEventW(nullptr, TRUE, TRUE, nullptr);
    session.socketWriteEvent = CreateEventW(nullptr, TRUE, TRUE, nullptr);
    DuplicateHandle(GetCurrentProcess(), GetCurrentThread(), GetCurrentProcess(), &session.thread, 0, FALSE,
                    DUPLICATE_SAME_ACCESS);
    session.id = GetCurrentThreadId();
}

void TearDown(PortSession& session) {
    // Late callbacks from the user-interface thread must find the session gone.
    UnregisterSession(session);
    if (session.ui != nullptr) {
        g_environment.ui->destroyUI(session.ui);
        session.ui = nullptr;
    }
    CloseServerSocket(session);
    if (session.pipe != INVALID_HANDLE_VALUE) CloseHandle(session.pipe);
    session.pipe = INVALID_HANDLE_VALUE;
    // Reads still pending on the closed handles complete into this stack
    // frame: let them finish before it goes away.
    for (int i = 0; i < 100 && (session.pipeReadPending || session.socketReadPending); ++i) SleepEx(50, TRUE);
    if (session.pipeWriteEvent != nullptr) CloseHandle(session.pipeWriteEvent);
    if (session.socketWriteEvent != nullptr) CloseHandle(session.socketWriteEvent);
    if (session.portKey != nullptr) RegCloseKey(session.portKey);
    if (session.redirectionsKey != nullptr) RegCloseKey(session.redirectionsKey);
    if (session.thread != nullptr) CloseHandle(session.thread);
}

}  // namespace

void SetSessionEnvironment(const SessionEnvironment& environment) { g_environment = environment; }
const SessionEnvironment& Environment() { return g_environment; }

void StartPipeRead(PortSession& session) {
    if (session.pipeReadPending) return;  // one read at a time keeps messages in order
    std::memset(session.pipeReceive, 0, sizeof(session.pipeReceive));
    std::memset(&session.pipeRead, 0, sizeof(session.pipeRead));
    session.pipeRead.hEvent = &session;
    if (!ReadFileEx(session.pipe, session.pipeReceive, kPipeBufferSize, &session.pipeRead, PipeReadDone)) {
        Progress(L"[%lu] Cannot read the pipe (%lu).", session.id, GetLastError());
        session.quit = true;
        return;
    }
    session.pipeReadPending = true;
}

void PipeSend(PortSession& session, const void* data, DWORD length) {
    if (session.pipe == INVALID_HANDLE_VALUE) return;
    WriteEvent event(session, session.pipeWriteEvent);
    OVERLAPPED overlapped{};
    overlapped.hEvent = event.Get();
    DWORD written = 0;
    if ((!WriteFile(session.pipe, data, length, nullptr, &overlapped) && GetLastError() != ERROR_IO_PENDING) ||
        !event.Await(overlapped) || !GetOverlappedResult(session.pipe, &overlapped, &written, TRUE) ||
        written < length) {
        if (!session.quit) Progress(L"[%lu] Pipe write failed (%lu).", session.id, GetLastError());
        session.quit = true;
    }
}

void StartSocketRead(PortSession& session) {
    if (session.socketReadPending) return;
    const wire::ReceiveSpace tail = session.framer.WritableTail();
    std::memset(&session.socketRead, 0, sizeof(session.socketRead));
    session.socketRead.hEvent = &session;
    WSABUF buffer{static_cast<ULONG>(tail.size), reinterpret_cast<char*>(tail.data)};
    DWORD flags = 0;
    if (tail.size == 0 || (WSARecv(session.socket, &buffer, 1, nullptr, &flags, &session.socketRead,
                                   SocketReadDone) == SOCKET_ERROR &&
                           WSAGetLastError() != WSA_IO_PENDING)) {
        Progress(L"[%lu] Cannot read from the server (%d).", session.id, WSAGetLastError());
        session.quit = true;
        return;
    }
    session.socketReadPending = true;
}

void ServerSend(PortSession& session, const void* data, DWORD length) {
    if (session.socket == INVALID_SOCKET) {
        session.quit = true;
    } else {
        WriteEvent event(session, session.socketWriteEvent);
        WSAOVERLAPPED overlapped{};
        overlapped.hEvent = event.Get();
        WSABUF buffer{length, static_cast<char*>(const_cast<void*>(data))};
        DWORD sent = 0;
        DWORD flags = 0;
        if ((WSASend(session.socket, &buffer, 1, nullptr, 0, &overlapped, nullptr) == SOCKET_ERROR &&
             WSAGetLastError() != WSA_IO_PENDING) ||
            !event.Await(overlapped) ||
            !WSAGetOverlappedResult(session.socket, &overlapped, &sent, TRUE, &flags) || sent < length) {
            if (!session.quit) Progress(L"[%lu] Server write failed (%d).", session.id, WSAGetLastError());
            session.quit = true;
        }
    }
    session.lastServerWrite = GetTickCount();
}

void CloseServerSocket(PortSession& session) {
    if (session.socket != INVALID_SOCKET) closesocket(session.socket);
    session.socket = INVALID_SOCKET;
}

void WakeSession(PortSession& session) { QueueUserAPC(WakeApc, session.thread, 0); }

DWORD WINAPI SessionThread(void* pipe) {
    PortSession session;
    InitSession(session, static_cast<HANDLE>(pipe));
    Progress(L"[%lu] Port driver connected.", session.id);
    session.ui = g_environment.ui->createUI();
    RegisterSession(session);
    StartPipeRead(session);
    while (!session.quit) {
        SleepEx(1000, TRUE);
        if (!session.quit) RunTimerSteps(session);
    }
    TearDown(session);
    Progress(L"[%lu] Session ended.", session.id);
    return 0;
}

}  // namespace svc
