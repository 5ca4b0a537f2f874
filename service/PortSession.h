#pragma once
// One port open: from the driver's pipe connection to the end of the session.
// A session lives on its own thread's stack; all its I/O completes on that
// thread during alertable waits.
#include <winsock2.h>
#include <windows.h>

#include <cstdint>

#include "AuthInfo.h"
#include "UiApi.h"

namespace svc {

inline constexpr DWORD kPipeBufferSize = 1024;
inline constexpr DWORD kSocketBufferSize = 2048;

struct PortSession {
    // Port configuration.
    HKEY portKey;
    HKEY redirectionsKey;
    DWORD entryIndex;
    DWORD isRedirected;
    DWORD forcedFlowControl;

    // Current server entry.
    wchar_t server[257];
    wchar_t serverPort[257];
    BYTE serverAddress[16];
    int serverAddressLength;

    std::uint16_t scrambledPassword[20];
    UiHandle ui;
    AuthInfo authInfo;

    // Flags.
    bool quit;
    bool online;
    bool nextServer;
    bool retrySameServer;
    bool loginToSend;
    bool silentConfigured;
    bool credentialsReady;
    bool proceedWithoutChange;
    DWORD authState;

    // Times (tick counts).
    DWORD lastServerWrite;
    DWORD entryFirstTried;
    DWORD reopenMs;

    // Pipe side.
    HANDLE pipe;
    OVERLAPPED pipeRead;
    DWORD pipeMessageLength;
    BYTE pipeReceive[kPipeBufferSize];
    HANDLE pipeWriteEvent;

    // Server side.
    SOCKET socket;
    WSAOVERLAPPED socketRead;
    BYTE* parsePosition;
    DWORD unparsed;
    BYTE socketReceive[kSocketBufferSize];
    HANDLE socketWriteEvent;
    CRITICAL_SECTION socketWriteLock;  // the password-change callback writes from another thread

    // Reads in flight, so tear-down can let them finish before the frame goes.
    bool pipeReadPending;
    bool socketReadPending;

    // Lets another thread wake the session loop at once.
    HANDLE thread;
    DWORD id;
};

// The session's I/O machinery.
void StartPipeRead(PortSession& session);
void PipeSend(PortSession& session, const void* data, DWORD length);
void StartSocketRead(PortSession& session);
void ServerSend(PortSession& session, const void* data, DWORD length);
void CloseServerSocket(PortSession& session);
// Makes the session's loop run its steps now instead of at the next tick.
void WakeSession(PortSession& session);

// What the session does with its messages and ticks.
void OnPipeMessage(PortSession& session);
void OnServerBytes(PortSession& session);
void RunTimerSteps(PortSession& session);
void EndSession(PortSession& session);

struct SessionEnvironment {
    const UiApi* ui;
};
void SetSessionEnvironment(const SessionEnvironment& environment);
const SessionEnvironment& Environment();

// Thread entry for one connected pipe instance; owns the handle.
DWORD WINAPI SessionThread(void* pipe);

}  // namespace svc
