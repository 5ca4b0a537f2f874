#pragma once
// One port open: from the driver's pipe connection to the end of the session.
// A session lives on its own thread's stack and owns its pipe, its server
// link, its keys and its user-interface instance. All its I/O is
// asynchronous and finished on that thread; nothing that handles a completion
// waits.
#include <winsock2.h>
#include <windows.h>

#include <cstdint>

#include "AuthInfo.h"
#include "DriverPipe.h"
#include "Handles.h"
#include "PasswordScramble.h"
#include "Registry.h"
#include "SessionEnvironment.h"
#include "WireServerLink.h"

namespace svc {

enum class SessionState {
    Opening,         // waiting for the driver's PipeOpen
    Connecting,      // walking the port's servers
    LoggingIn,       // connected, the login sent or about to be
    WaitingForUser,  // a dialog is open, or credentials are awaited
    Online,          // the open is complete: data flows
    Ending,
};

// Results handed over by the user-interface thread's callbacks; the session
// loop takes them at its next pass.
struct SessionInbox {
    SRWLOCK lock = SRWLOCK_INIT;
    bool authAnswered = false;
    DWORD authResult = 0;
    bool changeAnswered = false;
    DWORD changeResult = 0;
};

// When the service last asked for a send or receive lamp: the lamp is lit and
// flashing until the library's flash time has passed, so a call meanwhile
// would change nothing on the screen.
class LampMirror {
public:
    bool ShouldLight(DWORD now);
    void Set(bool lit, DWORD now);

private:
    bool m_lit = false;
    DWORD m_litAt = 0;
};

class PortSession final : private DriverEvents, private ServerEvents {
public:
    PortSession(HANDLE pipe, const SessionEnvironment& environment);
    ~PortSession();
    PortSession(const PortSession&) = delete;
    PortSession& operator=(const PortSession&) = delete;

    // Runs the session until it ends; tear-down follows in the destructor.
    void Run();

    // A late callback finds its session by the record it was lent.
    AuthInfo* LentRecord() { return &m_authInfo; }
    // Called from the user-interface thread: hands a dialog's answer over.
    void HandOver(bool SessionInbox::*answered, DWORD SessionInbox::*answer, DWORD result);

private:
    // DriverEvents
    void OnDriverMessage(const std::uint8_t* message, std::size_t length) override;
    void OnDriverRoom() override;
    void OnDriverLost(unsigned long error) override;
    // ServerEvents
    bool CanTakeServerMessage() override;
    void OnServerMessage(const ServerMessage& message) override;
    void OnServerRoom() override;
    void OnServerLost(unsigned long error) override;

    // The relay.
    // Waits up to ms for pending I/O (or a wake-up call) and finishes what completed.
    void WaitForIo(DWORD ms);
    void ReadDriverWhenRoom();
    void SendPipeStatus(std::uint32_t type, std::uint32_t value);
    void ForwardServerData(const ServerMessage& message);
    // Every message to the server counts as a write; one that cannot be
    // queued ends the session.
    void Sent(bool queued);

    // The connection logic (SessionLogic.cpp).
    void OnPipeOpen(const portpipe::PipeMessage& message);
    void ServerWalk();
    void ConnectToServer();
    void SendLogin();
    void CompleteOpen();
    void PinRoute();
    void StoreInCache();
    void Narrate(DWORD number);
    void TakeCallbackResults();
    void OnAuthentication(DWORD result);
    void OnPasswordChange(DWORD result);
    void RunSteps(bool tick);
    // Something for the steps to do now, not at the next tick.
    bool StepsPending() const;
    void End(const wchar_t* why);

    DWORD Now() const { return m_environment.clock->Now(); }
    bool Ending() const { return m_state == SessionState::Ending; }

    const SessionEnvironment& m_environment;
    SessionState m_state = SessionState::Opening;
    DWORD m_id = 0;
    kvr::UniqueHandle m_thread;  // for the wake-up calls of the callbacks

    // Port configuration.
    kvr::RegKey m_portKey;
    kvr::RegKey m_redirectionsKey;
    DWORD m_entryIndex = 0;
    DWORD m_isRedirected = 0;
    DWORD m_forcedFlowControl;

    // Current server entry.
    wchar_t m_serverKeyPath[257] = {};  // the entry's Server value
    wchar_t m_serverPort[257] = {};
    BYTE m_serverAddress[16] = {};
    int m_serverAddressLength = 0;

    std::uint16_t m_scrambledPassword[kScrambledBuffer] = {};
    UiHandle m_ui = nullptr;
    AuthInfo m_authInfo = {};

    // Flags the protocol needs beside the state.
    bool m_openToHandle = false;    // the driver's PipeOpen, taken by the loop
    portpipe::PipeMessage m_open;  // points into the pipe's read buffer, which
                                   // is not read into again before the open completes
    bool m_nextServer = false;
    bool m_retrySameServer = false;
    bool m_loginToSend = false;
    bool m_silentConfigured = false;
    bool m_credentialsReady = false;
    bool m_proceedWithoutChange = false;
    DWORD m_authState = 0;
    std::uint8_t m_lastReason = 0;

    // Times (clock ticks; compared by unsigned subtraction).
    DWORD m_lastServerWrite = 0;
    DWORD m_entryFirstTried = 0;
    DWORD m_reopenMs = 0;
    DWORD m_lastTick = 0;

    LampMirror m_sendLamp;
    LampMirror m_receiveLamp;

    SessionInbox m_inbox;
    DriverPipe m_pipe;        // declared after what its completions touch,
    WireServerLink m_wire;    // so they go first
    ServerLink& m_server;
};

// Thread entry for one connected pipe instance: owns the handle.
struct SessionStart {
    HANDLE pipe;
    const SessionEnvironment* environment;
};
DWORD WINAPI SessionThread(void* start);

}  // namespace svc
