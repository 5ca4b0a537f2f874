// What a port session does: the driver's messages, the walk through the
// port's servers, the login, the server's messages and the timed steps.
#include <winsock2.h>
#include <ws2tcpip.h>

#include <cstring>
#include <cwchar>
#include <string>

#include "PasswordCache.h"
#include "PipeProtocol.h"
#include "PortSession.h"
#include "Progress.h"
#include "RegistryNames.h"
#include "RouteHelper.h"
#include "ServiceOptions.h"
#include "SessionRegistry.h"
#include "UiCallValues.h"

namespace svc {
namespace {

constexpr DWORD kRetryIntervalMs = 3000;
constexpr DWORD kKeepAliveIntervalMs = 120000;
constexpr DWORD kSendLampOn = 1;

const char16_t* U16(const wchar_t* text) { return reinterpret_cast<const char16_t*>(text); }

DWORD NarrationForReason(std::uint8_t reason) {
    switch (reason) {
    case wire::kReasonNone: return 0;
    case wire::kReasonPortInUse: return kNarrateInUse;
    case wire::kReasonRefused: return kNarrateRefused;
    case wire::kReasonTimedOut: return kNarrateTimedOut;
    case wire::kReasonDialOutDisabled: return kNarrateDisabled;
    case wire::kReasonUnknownPort: return kNarrateUnknownPort;
    default: return kNarrateFailed;
    }
}

void ScrambleInto(const wchar_t* password, std::uint16_t* out) {
    ScramblePassword(password, static_cast<std::uint32_t>(wcsnlen(password, kPasswordChars - 1) + 1), out);
}

// The callbacks run on the library's thread: they hand the result to the
// session loop, which acts on it on the session's own thread. A callback for
// a session that has ended finds nothing and touches nothing.
void WINAPI AuthenticationDone(DWORD result, AuthInfo* info) {
    WithSessionOf(info, [=](PortSession& session) {
        session.HandOver(&SessionInbox::authAnswered, &SessionInbox::authResult, result);
    });
}

void WINAPI PasswordChangeDone(DWORD result, AuthInfo* info) {
    WithSessionOf(info, [=](PortSession& session) {
        session.HandOver(&SessionInbox::changeAnswered, &SessionInbox::changeResult, result);
    });
}

}  // namespace

void PortSession::Narrate(DWORD number) {
    if (number != 0 && m_ui != nullptr)
        m_environment.ui->postNarration(m_ui, number, m_authInfo.serverName, m_serverPort, nullptr);
}

// --- The walk through the port's servers -----------------------------------------

void PortSession::SendLogin() {
    // Without a connection the login goes out right after the next connect.
    if (!m_credentialsReady || !m_server.Connected()) return;
    m_loginToSend = false;
    Progress(L"[%lu] Login as \"%ls\" to port %ls%ls.", m_id, m_authInfo.userName, m_serverPort,
             m_authState == kAuthSilent ? L" (silent)" : L"");
    Sent(m_server.QueueLogin(U16(m_authInfo.userName), m_authState == kAuthSilent ? nullptr : m_scrambledPassword,
                             U16(m_serverPort)));
    if (!Ending()) m_state = SessionState::LoggingIn;
}

void PortSession::ConnectToServer() {
    m_retrySameServer = false;
    m_nextServer = false;
    m_proceedWithoutChange = false;
    m_state = SessionState::Connecting;

    // An entry whose server key or address is missing names no device: it is
    // skipped as a failed entry rather than sent to the previous server.
    m_authInfo.serverName[0] = 0;
    m_serverAddressLength = 0;
    const kvr::RegKey serverKey = kvr::RegKey::Open(m_environment.registry, m_serverKeyPath);
    BYTE address[sizeof(m_serverAddress)] = {};
    const kvr::RegValueInfo stored =
        serverKey ? serverKey.Query(reg::kAddress, address, sizeof(address)) : kvr::RegValueInfo{};
    if (serverKey) serverKey.ReadText(reg::kName, m_authInfo.serverName, kDisplayNameChars);
    if (stored.status != ERROR_SUCCESS) {
        if (m_authInfo.serverName[0] == 0) {
            // Name it after its key, the last part of the entry's path.
            const wchar_t* last = std::wcsrchr(m_serverKeyPath, L'\\');
            std::wcsncpy(m_authInfo.serverName, last != nullptr ? last + 1 : m_serverKeyPath, kDisplayNameChars - 1);
            m_authInfo.serverName[kDisplayNameChars - 1] = 0;
        }
        Progress(L"[%lu] Server key %ls is missing or has no address.", m_id, m_serverKeyPath);
        Narrate(kNarrateFailed);
        m_nextServer = true;
        return;
    }
    std::memcpy(m_serverAddress, address, sizeof(address));
    m_serverAddressLength = static_cast<int>(stored.size);

    Narrate(kNarrateAttempting);
    Progress(L"[%lu] Connecting to %ls (%ls), port %ls.", m_id, m_authInfo.serverName, m_serverKeyPath, m_serverPort);
    if (!m_server.Connect(m_serverAddress, m_serverAddressLength)) {
        Progress(L"[%lu] Cannot connect to %ls (%d).", m_id, m_authInfo.serverName, WSAGetLastError());
        m_nextServer = true;
        return;
    }
    if (m_credentialsReady)
        SendLogin();
    else
        m_state = SessionState::WaitingForUser;
}

// Tries the entry at the session's index of the port's server list. Entries
// are named by their decimal index, as the browsing library writes them.
void PortSession::ServerWalk() {
    m_serverKeyPath[0] = 0;
    m_serverPort[0] = 0;
    m_entryFirstTried = Now();

    const std::wstring entryName = std::to_wstring(m_entryIndex);
    const kvr::RegKey entry =
        m_redirectionsKey ? kvr::RegKey::Open(m_redirectionsKey.Get(), entryName.c_str()) : kvr::RegKey();
    if (!entry) {
        End(L"No more servers to try.");
        return;
    }
    if (!entry.ReadText(reg::kEntryServer, m_serverKeyPath, std::size(m_serverKeyPath)) ||
        !entry.ReadText(reg::kEntryPort, m_serverPort, std::size(m_serverPort))) {
        Progress(L"[%lu] Entry %ls lacks its Server or Port value.", m_id, entryName.c_str());
        End(L"Ending the walk.");
        return;
    }
    ConnectToServer();
}

void PortSession::StoreInCache() {
    if (m_environment.cache != nullptr) m_environment.cache->Store(m_authInfo.userName, m_scrambledPassword);
}

void PortSession::PinRoute() {
    sockaddr_in server{};
    if (m_serverAddressLength < static_cast<int>(sizeof(server))) return;
    std::memcpy(&server, m_serverAddress, sizeof(server));
    if (server.sin_family != AF_INET) return;
    PinRouteToServer(m_server.Socket(), server);
}

void PortSession::CompleteOpen() {
    m_state = SessionState::Online;
    StoreInCache();
    Narrate(kNarrateConnected);
    if (m_ui != nullptr) {
        m_environment.ui->destroyNarrationWindow(m_ui);
        m_environment.ui->createModem(m_ui, &m_authInfo);
    }
    Progress(L"[%lu] Connected to %ls.", m_id, m_authInfo.serverName);
    ReadDriverWhenRoom();
    SendPipeStatus(portpipe::PipeOpenResult, portpipe::kOpenConnected);
    SendPipeStatus(portpipe::PipeModemStatus, portpipe::kModemStatusIdle);
    SendPipeStatus(portpipe::PipeLineStatus, portpipe::kLineStatusIdle);
    // The route is pinned once the driver's answer is on its way: the walk
    // of the routing table takes as long as the rest of the open.
    PinRoute();
}

// --- Callbacks from the user-interface thread ----------------------------------------

void PortSession::OnAuthentication(DWORD result) {
    if (result != kUiConfirmed) {
        End(L"Authentication cancelled.");
        return;
    }
    ScrambleInto(m_authInfo.password, m_scrambledPassword);
    m_loginToSend = true;
    m_credentialsReady = true;
    m_authState = kAuthTyped;
}

void PortSession::OnPasswordChange(DWORD result) {
    if (result != kUiConfirmed) {
        Progress(L"[%lu] Password change declined.", m_id);
        m_proceedWithoutChange = true;
        return;
    }
    std::uint16_t oldScrambled[kScrambledBuffer] = {};
    std::uint16_t newScrambled[kScrambledBuffer] = {};
    ScrambleInto(m_authInfo.password, oldScrambled);
    ScrambleInto(m_authInfo.newPassword, newScrambled);
    Sent(m_server.QueueChangePassword(oldScrambled, newScrambled));
    if (!Ending()) m_state = SessionState::LoggingIn;
}

void PortSession::TakeCallbackResults() {
    AcquireSRWLockExclusive(&m_inbox.lock);
    const bool authAnswered = std::exchange(m_inbox.authAnswered, false);
    const bool changeAnswered = std::exchange(m_inbox.changeAnswered, false);
    const DWORD authResult = m_inbox.authResult;
    const DWORD changeResult = m_inbox.changeResult;
    ReleaseSRWLockExclusive(&m_inbox.lock);
    if (authAnswered) OnAuthentication(authResult);
    if (changeAnswered && !Ending()) OnPasswordChange(changeResult);
}

// --- Messages from the driver ----------------------------------------------------------

void PortSession::OnPipeOpen(const portpipe::PipeMessage& message) {
    SessionOptions options;
    if (m_environment.cache != nullptr && ReadGlobalOptions(options, *m_environment.cache, m_environment.registry)) {
        m_reopenMs = options.reopenMs;
        m_silentConfigured = options.silentConfigured;
        m_credentialsReady = options.credentialsReady;
        m_authState = options.authState;
    }
    if (m_environment.cache != nullptr)
        ReadCredentials(m_authInfo, m_scrambledPassword, *m_environment.cache, m_environment.registry);
    if (!m_credentialsReady && m_ui != nullptr)
        m_environment.ui->createAuthWindow(m_ui, &m_authInfo, AuthenticationDone);

    char16_t portKeyName[256];
    const kvr::RegKey ports = kvr::RegKey::Open(m_environment.registry, reg::kPortsKey);
    if (portpipe::ReadPortKeyName(message, portKeyName, std::size(portKeyName)) && ports &&
        (m_portKey = kvr::RegKey::Open(ports.Get(), reinterpret_cast<const wchar_t*>(portKeyName)))) {
        m_isRedirected = m_portKey.ReadDword(reg::kIsRedirected).value_or(0);
        m_forcedFlowControl = m_portKey.ReadDword(reg::kForcedFlowControl).value_or(reg::kNotForced);
        m_redirectionsKey = kvr::RegKey::Open(m_portKey.Get(), reg::kRedirections);
        m_portKey.ReadText(reg::kDosDevices, m_authInfo.dosName, kDisplayNameChars);
        Progress(L"[%lu] Open of %ls (%ls), %ls.", m_id, reinterpret_cast<const wchar_t*>(portKeyName),
                 m_authInfo.dosName, m_isRedirected ? L"redirected" : L"not redirected");
    } else {
        Progress(L"[%lu] Open of an unknown port key.", m_id);
    }
    m_entryIndex = 0;
    if (m_isRedirected != 0) {
        ServerWalk();
        return;
    }
    SendPipeStatus(portpipe::PipeOpenResult, portpipe::kOpenNotRedirected);
    End(L"The port is not redirected.");
}

void PortSession::OnDriverMessage(const std::uint8_t* bytes, std::size_t length) {
    if (Ending()) return;
    portpipe::PipeMessage message;
    if (!portpipe::ReadPipeMessage(bytes, length, message)) {
        Progress(L"[%lu] Ignored a pipe message of %zu bytes.", m_id, length);
        ReadDriverWhenRoom();
        return;
    }
    if (m_state == SessionState::Opening) {
        if (message.type == portpipe::PipeOpen) {
            // Reading the configuration and connecting take time: the loop
            // does it, not this completion routine.
            m_open = message;
            m_openToHandle = true;
            m_state = SessionState::Connecting;
        } else {
            // Nothing else is read before the open completes: a driver that
            // does not start with an open would wait for ever.
            Progress(L"[%lu] The driver's first message is of type %lu, not an open.", m_id,
                     static_cast<unsigned long>(message.type));
            End(L"Ending the session.");
        }
        return;
    }
    m_server.BeginBatch();
    if (message.type == portpipe::PipeData) {
        Sent(m_server.QueueData(message.payload, message.payloadSize));
        if (m_ui != nullptr && m_sendLamp.ShouldLight(Now())) m_environment.ui->updateSendLED(m_ui, kSendLampOn);
    } else if (const auto settings = portpipe::SettingsFromPipeMessage(message, m_forcedFlowControl)) {
        Sent(m_server.QueueSettings(*settings));
    } else if (message.type == portpipe::PipeOpen) {
        Progress(L"[%lu] Ignored a second open.", m_id);
    }
    ReadDriverWhenRoom();
}

// --- Messages from the server -------------------------------------------------------------

void PortSession::OnServerMessage(const ServerMessage& message) {
    switch (message.type) {
    case wire::kDisconnect:
        Progress(L"[%lu] The server disconnected, reason %u.", m_id, message.reasonCode);
        m_lastReason = message.reasonCode;
        m_server.Close();
        if (m_state == SessionState::Online) {
            End(L"Disconnected while online.");
        } else if (message.reasonCode == wire::kReasonPortInUse) {
            m_retrySameServer = true;
            m_state = SessionState::Connecting;
        } else {
            m_nextServer = true;
            m_state = SessionState::Connecting;
            Narrate(NarrationForReason(message.reasonCode));
        }
        break;
    case wire::kLoginAccepted:
        if (m_state == SessionState::Online) break;  // a second acceptance must not open the port twice
        if (message.version >= wire::kVersionWithExpiredFlag && message.expired == 1) {
            Progress(L"[%lu] The password has expired.", m_id);
            m_state = SessionState::WaitingForUser;
            if (m_ui != nullptr)
                m_environment.ui->changePassword(m_ui, &m_authInfo, PasswordChangeDone, kPasswordExpired);
            else
                m_proceedWithoutChange = true;
        } else {
            CompleteOpen();
        }
        break;
    case wire::kCredentialsRequired:
        Progress(L"[%lu] The server asks for credentials.", m_id);
        if (m_authState == kAuthCached && m_silentConfigured) {
            m_credentialsReady = true;
            m_loginToSend = true;
            m_authState = kAuthSilent;
        } else if (m_ui != nullptr) {
            m_state = SessionState::WaitingForUser;
            m_environment.ui->createAuthWindow(m_ui, &m_authInfo, AuthenticationDone);
        } else {
            End(L"Credentials are needed and no window can ask for them.");
        }
        break;
    case wire::kPasswordChanged:
        if (m_state == SessionState::Online) break;
        std::memcpy(m_authInfo.password, m_authInfo.newPassword, sizeof(m_authInfo.password));
        std::memset(m_authInfo.newPassword, 0, sizeof(m_authInfo.newPassword));
        ScrambleInto(m_authInfo.password, m_scrambledPassword);
        StoreInCache();
        CompleteOpen();
        break;
    case wire::kPasswordChangeFailed:
        m_state = SessionState::WaitingForUser;
        if (m_ui != nullptr)
            m_environment.ui->changePassword(m_ui, &m_authInfo, PasswordChangeDone, kPasswordChangeRefused);
        else
            m_proceedWithoutChange = true;
        break;
    case wire::kData:
        ForwardServerData(message);
        break;
    case wire::kModemStatus: {
        const std::uint8_t status = message.modemStatus[0];
        SendPipeStatus(portpipe::PipeModemStatus, portpipe::PipeModemStatusFor(status));
        if (m_ui != nullptr) m_environment.ui->updateModemLEDs(m_ui, status);
        // The library takes the status's send and receive bits as its lamps.
        m_sendLamp.Set((status & kLampSD) != 0, Now());
        m_receiveLamp.Set((status & kLampRD) != 0, Now());
        break;
    }
    default:
        break;  // settings and keep-alives need nothing
    }
}

// --- The timed steps -----------------------------------------------------------------------

bool PortSession::StepsPending() const {
    return m_openToHandle || m_nextServer || m_proceedWithoutChange ||
           (m_loginToSend && m_credentialsReady && m_server.Connected());
}

void PortSession::RunSteps(bool tick) {
    TakeCallbackResults();
    if (Ending()) return;
    // A driver that closed its end while no read is pending (before the open
    // completes, or while its data waits for room) is seen here.
    if (tick && !m_pipe.ReadPending() && m_pipe.Gone()) {
        End(L"The driver closed the port.");
        return;
    }
    if (m_openToHandle) {
        m_openToHandle = false;
        OnPipeOpen(m_open);
    }
    if (m_loginToSend && !Ending()) SendLogin();
    if (m_retrySameServer && !Ending() && Now() - m_lastServerWrite >= kRetryIntervalMs) {
        if (Now() - m_entryFirstTried < m_reopenMs) {
            Progress(L"[%lu] %ls is busy; trying again.", m_id, m_authInfo.serverName);
            ConnectToServer();
        } else {
            m_retrySameServer = false;
            m_nextServer = true;
            Narrate(NarrationForReason(m_lastReason));
        }
    }
    if (m_nextServer && !Ending()) {
        ++m_entryIndex;
        ServerWalk();
    }
    if (m_proceedWithoutChange && !Ending()) {
        m_proceedWithoutChange = false;
        CompleteOpen();
    }
    if (m_state == SessionState::Online && Now() - m_lastServerWrite >= kKeepAliveIntervalMs) {
        // A full queue is already a write under way; nothing needs adding.
        m_lastServerWrite = Now();
        m_server.QueueKeepAlive();
    }
}

}  // namespace svc
