#include "PortSession.h"

#include <cstring>

#include "Progress.h"
#include "SessionRegistry.h"

namespace svc {
namespace {

SessionEnvironment g_environment{&KvrAuthUi()};

PortSession& SessionOf(const OVERLAPPED* overlapped) {
    // The completion routines' overlapped records carry their session in hEvent,
    // which ReadFileEx and WSARecv leave to the caller.
    return *static_cast<PortSession*>(overlapped->hEvent);
}

void CALLBACK PipeReadDone(DWORD error, DWORD bytes, OVERLAPPED* overlapped) {
    PortSession& session = SessionOf(overlapped);
    session.pipeReadPending = false;
    if (error != ERROR_SUCCESS) {
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
    if (error != ERROR_SUCCESS || bytes == 0) {
        if (!session.quit)
            Progress(L"[%lu] Server connection %ls (%lu).", session.id, bytes == 0 ? L"closed" : L"failed",
                     error);
        session.quit = true;
    }
    if (session.quit) return;
    session.unparsed += bytes;
    OnServerBytes(session);
    if (!session.quit && !session.retrySameServer && !session.nextServer &&
        session.socket != INVALID_SOCKET)
        StartSocketRead(session);
}

void CALLBACK WakeApc(ULONG_PTR) {}

// Waits for an overlapped write in alertable waits, so this session's
// completions keep running meanwhile.
bool AwaitWrite(HANDLE event) {
    for (;;) {
        const DWORD wait = WaitForSingleObjectEx(event, 10000, TRUE);
        if (wait == WAIT_OBJECT_0) return true;
        if (wait == WAIT_FAILED) return false;
    }
}

void InitSession(PortSession& session, HANDLE pipe) {
    std::memset(&session, 0, sizeof(session));
    session.pipe = pipe;
    session.socket = INVALID_SOCKET;
    session.forcedFlowControl = 0xFFFFFFFF;
    session.pipeWriteEvent = CreateEventW(nullptr, TRUE, TRUE, nullptr);
    session.socketWriteEvent = CreateEventW(nullptr, TRUE, TRUE, nullptr);
    InitializeCriticalSection(&session.socketWriteLock);
    DuplicateHandle(GetCurrentProcess(), GetCurrentThread(), GetCurrentProcess(), &session.thread, 0,
                    FALSE, DUPLICATE_SAME_ACCESS);
    session.id = GetCurrentThreadId();
    session.parsePosition = session.socketReceive;
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
    // Reads still pending on the closed handles complete into this stack frame:
    // let them finish before it goes away.
    for (int i = 0; i < 100 && (session.pipeReadPending || session.socketReadPending); ++i) SleepEx(50, TRUE);
    if (session.pipeWriteEvent != nullptr) CloseHandle(session.pipeWriteEvent);
    if (session.socketWriteEvent != nullptr) CloseHandle(session.socketWriteEvent);
    if (session.portKey != nullptr) RegCloseKey(session.portKey);
    if (session.redirectionsKey != nullptr) RegCloseKey(session.redirectionsKey);
    DeleteCriticalSection(&session.socketWriteLock);
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
    OVERLAPPED overlapped{};
    overlapped.hEvent = session.pipeWriteEvent;
    if (!WriteFile(session.pipe, data, length, nullptr, &overlapped) && GetLastError() != ERROR_IO_PENDING) {
        session.quit = true;
        return;
    }
    DWORD written = 0;
    if (!AwaitWrite(session.pipeWriteEvent) ||
        !GetOverlappedResult(session.pipe, &overlapped, &written, TRUE) || written < length) {
        Progress(L"[%lu] Pipe write failed (%lu).", session.id, GetLastError());
        session.quit = true;
    }
}

void StartSocketRead(PortSession& session) {
    BYTE* const tail = session.socketReceive + (session.parsePosition - session.socketReceive) + session.unparsed;
    const DWORD room = static_cast<DWORD>(session.socketReceive + kSocketBufferSize - tail);
    std::memset(tail, 0, room);
    std::memset(&session.socketRead, 0, sizeof(session.socketRead));
    session.socketRead.hEvent = &session;
    WSABUF buffer{room, reinterpret_cast<char*>(tail)};
    DWORD flags = 0;
    if (room == 0 || (WSARecv(session.socket, &buffer, 1, nullptr, &flags, &session.socketRead,
                              SocketReadDone) == SOCKET_ERROR &&
                      WSAGetLastError() != WSA_IO_PENDING)) {
        Progress(L"[%lu] Cannot read from the server (%d).", session.id, WSAGetLastError());
        session.quit = true;
        return;
    }
    session.socketReadPending = true;
}

void ServerSend(PortSession& session, const void* data, DWORD length) {
    EnterCriticalSection(&session.socketWriteLock);
    if (session.socket == INVALID_SOCKET) {
        session.quit = true;
    } else {
        WSAOVERLAPPED overlapped{};
        overlapped.hEvent = session.socketWriteEvent;
        WSABUF buffer{length, static_cast<char*>(const_cast<void*>(data))};
        DWORD sent = 0;
        DWORD flags = 0;
        if (WSASend(session.socket, &buffer, 1, nullptr, 0, &overlapped, nullptr) == SOCKET_ERROR &&
            WSAGetLastError() != WSA_IO_PENDING) {
            session.quit = true;
        } else if (!AwaitWrite(session.socketWriteEvent) ||
                   !WSAGetOverlappedResult(session.socket, &overlapped, &sent, TRUE, &flags) || sent < length) {
            session.quit = true;
        }
        if (session.quit) Progress(L"[%lu] Server write failed (%d).", session.id, WSAGetLastError());
    }
    session.lastServerWrite = GetTickCount();
    LeaveCriticalSection(&session.socketWriteLock);
}

void CloseServerSocket(PortSession& session) {
    EnterCriticalSection(&session.socketWriteLock);
    if (session.socket != INVALID_SOCKET) closesocket(session.socket);
    session.socket = INVALID_SOCKET;
    LeaveCriticalSection(&session.socketWriteLock);
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
    EndSession(session);
    TearDown(session);
    Progress(L"[%lu] Session ended.", session.id);
    return 0;
}

}  // namespace svc
