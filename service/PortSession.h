#pragma once
// One port open: from the driver's pipe connection to the end of the session.
// A session lives on its own thread's stack; all its I/O completes on that
// thread during alertable waits, and every write to its pipe and its socket is
// made from that thread.
#include <winsock2.h>
#include <windows.h>

#include <cstdint>

#include "AuthInfo.h"
#include "PasswordScramble.h"
#include "ReceiveFramer.h"
#include "UiApi.h"

class PasswordCache;

namespace svc {

inline constexpr DWORD kPipeBufferSize = 1024;

// Results handed over by the user-interface thread's callbacks; the session
// loop takes them at its next pass.
struct SessionInbox {
    SRWLOCK lock = SRWLOCK_INIT;
    bool authAnswered = false;
    DWORD authResult = 0;
    bool changeAnswered = false;
    DWORD changeResult = 0;
};

struct PortSession {
    // Port configuration.
    HKEY portKey = nullptr;
    HKEY redirectionsKey = nullptr;
    DWORD entryIndex = 0;
    DWORD isRedirected = 0;
    DWORD forcedFlowControl = 0xFFFFFFFF;

    // Current server entry.
    wchar_t server[257] = {};
    wchar_t serverPort[257] = {};
    BYTE serverAddress[16] = {};
    int serverAddressLength = 0;

    std::uint16_t scrambledPassword[kScrambledBuffer] = {};
    UiHandle ui = nullptr;
    AuthInfo authInfo = {};

    // Flags.
    bool quit = false;
    bool online = false;
    bool opened = false;  // PipeOpen seen
    bool nextServer = false;
    bool retrySameServer = false;
    bool loginToSend = false;
    bool silentConfigured = false;
    bool credentialsReady = false;
    bool proceedWithoutChange = false;
    DWORD authState = 0;

    // Times (tick counts; compared by unsigned subtraction).
    DWORD lastServerWrite = 0;
    DWORD entryFirstTried = 0;
    DWORD reopenMs = 0;

    // Pipe side.
    HANDLE pipe = INVALID_HANDLE_VALUE;
    OVERLAPPED pipeRead = {};
    DWORD pipeMessageLength = 0;
    BYTE pipeReceive[kPipeBufferSize] = {};
    HANDLE pipeWriteEvent = nullptr;

    // Server side.
    SOCKET socket = INVALID_SOCKET;
    WSAOVERLAPPED socketRead = {};
    wire::ReceiveFramer framer;
    HANDLE socketWriteEvent = nullptr;

    // Reads in flight, so tear-down can let them finish before the frame goes;
    // and how deep writes are nested (completions run inside write waits).
    bool pipeReadPending = false;
    bool socketReadPending = false;
    int writeDepth = 0;

    SessionInbox inbox;
    HANDLE thread = nullptr;
    DWORD id = 0;
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

// What sessions share: the user-interface library and the password cache.
struct SessionEnvironment {
    const UiApi* ui;
    PasswordCache* cache;
};
void SetSessionEnvironment(const SessionEnvironment& environment);
const SessionEnvironment& Environment();

// Thread entry for one connected pipe instance; owns the handle.
DWORD WINAPI SessionThread(void* pipe);

}  // namespace svc
