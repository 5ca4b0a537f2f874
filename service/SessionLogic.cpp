// What a port session does: the driver's messages, the walk through the
// port's servers, the login, the server's messages and the once-a-second steps.
#include <winsock2.h>
#include <ws2tcpip.h>

#include <cstring>
#include <cwchar>

#include "Handles.h"
#include "PasswordCache.h"
#include "PipeProtocol.h"
#include "PortSession.h"
#include "Progress.h"
#include "RegistryNames.h"
#include "RegistryValues.h"
#include "RouteHelper.h"
#include "ServerConnect.h"
#include "ServiceOptions.h"
#include "SessionRegistry.h"
#include "WireCodec.h"

using kvr::ReadDwordValue;
using kvr::ReadStringValue;

namespace svc {
namespace {

constexpr DWORD kRetryIntervalMs = 3000;
constexpr DWORD kKeepAliveIntervalMs = 120000;
constexpr DWORD kNarrationConnecting = 61207;
constexpr DWORD kNarrationConnected = 61208;
constexpr DWORD kChangeExpired = 0;
constexpr DWORD kChangeFailed = 1;

const UiApi& Ui() { return *Environment().ui; }

const char16_t* U16(const wchar_t* text) { return reinterpret_cast<const char16_t*>(text); }

DWORD Elapsed(DWORD since) { return GetTickCount() - since; }

DWORD NarrationForReason(std::uint8_t reason) {
    switch (reason) {
    case wire::kReasonNone: return 0;
    case wire::kReasonPortInUse: return 61212;
    case wire::kReasonRefused: return 61213;
    case wire::kReasonTimedOut: return 61214;
    case wire::kReasonDialOutDisabled: return 61215;
    case wire::kReasonUnknownPort: return 61216;
    default: return 61211;
    }
}

void Narrate(PortSession& session, DWORD number) {
    if (number != 0)
        Ui().postNarration(session.ui, number, session.authInfo.serverName, session.serverPort, nullptr);
}

void SendPipeStatus(PortSession& session, std::size_t (*build)(std::uint8_t*, std::size_t, std::uint8_t),
                    std::uint8_t value) {
    std::uint8_t message[portpipe::kPipeStatusMessageSize];
    PipeSend(session, message, static_cast<DWORD>(build(message, sizeof(message), value)));
}

void SendOpenResult(PortSession& session, std::uint32_t status) {
    std::uint8_t message[portpipe::kPipeStatusMessageSize];
    PipeSend(session, message, static_cast<DWORD>(portpipe::BuildPipeOpenResult(message, sizeof(message), status)));
}

void ScrambleInto(const wchar_t* password, std::uint16_t* out) {
    ScramblePassword(password, static_cast<std::uint32_t>(wcsnlen(password, kPasswordChars - 1) + 1), out);
}

// --- The walk through the port's servers -------------------------------------

void SendLogin(PortSession& session) {
    // Without a connection the login goes out right after the next connect.
    if (!session.credentialsReady || session.socket == INVALID_SOCKET) return;
    session.loginToSend = false;
    std::uint8_t message[wire::kReceiveBufferSize];
    const std::size_t length =
        wire::BuildLogin(message, sizeof(message), U16(session.authInfo.userName),
                         session.authState == kAuthSilent ? nullptr : session.scrambledPassword,
                         U16(session.serverPort));
    Progress(L"[%lu] Login as \"%ls\" to port %ls%ls.", session.id, session.authInfo.userName, session.serverPort,
             session.authState == kAuthSilent ? L" (silent)" : L"");
    ServerSend(session, message, static_cast<DWORD>(length));
}

void ConnectToServer(PortSession& session) {
    session.retrySameServer = false;
    session.nextServer = false;
    session.proceedWithoutChange = false;

    kvr::UniqueHKey serverKey;
    if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, session.server, 0, KEY_READ, serverKey.Put()) == ERROR_SUCCESS) {
        BYTE address[sizeof(session.serverAddress)];
        DWORD type = 0;
        DWORD size = sizeof(address);
        if (RegQueryValueExW(serverKey.Get(), reg::kAddress, nullptr, &type, address, &size) == ERROR_SUCCESS) {
            std::memset(session.serverAddress, 0, sizeof(session.serverAddress));
            std::memcpy(session.serverAddress, address, size);
            session.serverAddressLength = static_cast<int>(size);
        }
        ReadStringValue(serverKey.Get(), reg::kName, session.authInfo.serverName, kDisplayNameChars);
    } else {
        Progress(L"[%lu] Server key %ls is missing.", session.id, session.server);
    }

    Narrate(session, kNarrationConnecting);
    Progress(L"[%lu] Connecting to %ls (%ls), port %ls.", session.id, session.authInfo.serverName, session.server,
             session.serverPort);
    session.socket = ConnectToAddress(session.serverAddress, session.serverAddressLength);
    if (session.socket == INVALID_SOCKET) {
        Progress(L"[%lu] Cannot connect to %ls (%d).", session.id, session.authInfo.serverName, WSAGetLastError());
        session.nextServer = true;
        return;
    }
    session.framer.Reset();
    StartSocketRead(session);
    SendLogin(session);
}

// Tries the entry at the session's index of the port's server list.
void ServerWalk(PortSession& session) {
    session.server[0] = 0;
    session.serverPort[0] = 0;
    session.entryFirstTried = GetTickCount();

    wchar_t entryName[129];
    DWORD nameLength = static_cast<DWORD>(std::size(entryName));
    kvr::UniqueHKey entry;
    if (session.redirectionsKey == nullptr ||
        RegEnumKeyExW(session.redirectionsKey, session.entryIndex, entryName, &nameLength, nullptr, nullptr,
                      nullptr, nullptr) != ERROR_SUCCESS ||
        RegOpenKeyExW(session.redirectionsKey, entryName, 0, KEY_READ, entry.Put()) != ERROR_SUCCESS) {
        Progress(L"[%lu] No more servers to try.", session.id);
        session.quit = true;
        return;
    }
    if (!ReadStringValue(entry.Get(), reg::kEntryServer, session.server, std::size(session.server)) ||
        !ReadStringValue(entry.Get(), reg::kEntryPort, session.serverPort, std::size(session.serverPort))) {
        Progress(L"[%lu] Entry %ls lacks its Server or Port value.", session.id, entryName);
        session.quit = true;
        return;
    }
    ConnectToServer(session);
}

void StoreInCache(PortSession& session) {
    if (Environment().cache != nullptr) Environment().cache->Store(session.authInfo.userName, session.scrambledPassword);
}

void PinRoute(PortSession& session) {
    sockaddr_in server{};
    if (session.serverAddressLength < static_cast<int>(sizeof(server))) return;
    std::memcpy(&server, session.serverAddress, sizeof(server));
    if (server.sin_family != AF_INET) return;
    PinRouteToServer(session.socket, server);
}

void CompleteOpen(PortSession& session) {
    session.online = true;
    StoreInCache(session);
    Narrate(session, kNarrationConnected);
    Ui().destroyNarrationWindow(session.ui);
    Ui().createModem(session.ui, &session.authInfo);
    PinRoute(session);
    Progress(L"[%lu] Connected to %ls.", session.id, session.authInfo.serverName);
    StartPipeRead(session);
    SendOpenResult(session, portpipe::kOpenConnected);
    SendPipeStatus(session, portpipe::BuildPipeModemStatus, portpipe::kModemStatusIdle);
    SendPipeStatus(session, portpipe::BuildPipeLineStatus, portpipe::kLineStatusIdle);
}

// --- Callbacks from the user-interface thread --------------------------------

// The callbacks run on the library's thread: they hand the result to the
// session loop, which acts on it on the session's own thread. A callback for
// a session that has ended finds nothing and touches nothing.
void HandOver(AuthInfo* info, bool SessionInbox::*answered, DWORD SessionInbox::*answer, DWORD result) {
    WithSessionOf(info, [=](PortSession& session) {
        AcquireSRWLockExclusive(&session.inbox.lock);
        session.inbox.*answered = true;
        session.inbox.*answer = result;
        ReleaseSRWLockExclusive(&session.inbox.lock);
        WakeSession(session);
    });
}

void WINAPI AuthenticationDone(DWORD result, AuthInfo* info) {
    HandOver(info, &SessionInbox::authAnswered, &SessionInbox::authResult, result);
}

void WINAPI PasswordChangeDone(DWORD result, AuthInfo* info) {
    HandOver(info, &SessionInbox::changeAnswered, &SessionInbox::changeResult, result);
}

void OnAuthentication(PortSession& session, DWORD result) {
    if (result != kUiConfirmed) {
        Progress(L"[%lu] Authentication cancelled.", session.id);
        session.quit = true;
        return;
    }
    ScrambleInto(session.authInfo.password, session.scrambledPassword);
    session.loginToSend = true;
    session.credentialsReady = true;
    session.authState = kAuthTyped;
}

void OnPasswordChange(PortSession& session, DWORD result) {
    if (result != kUiConfirmed) {
        Progress(L"[%lu] Password change declined.", session.id);
        session.proceedWithoutChange = true;
        return;
    }
    std::uint16_t oldScrambled[kScrambledBuffer] = {};
    std::uint16_t newScrambled[kScrambledBuffer] = {};
    ScrambleInto(session.authInfo.password, oldScrambled);
    ScrambleInto(session.authInfo.newPassword, newScrambled);
    std::uint8_t message[wire::kReceiveBufferSize];
    const std::size_t length = wire::BuildChangePassword(message, sizeof(message), oldScrambled, newScrambled);
    ServerSend(session, message, static_cast<DWORD>(length));
}

void TakeCallbackResults(PortSession& session) {
    AcquireSRWLockExclusive(&session.inbox.lock);
    const SessionInbox answers = {SRWLOCK_INIT, session.inbox.authAnswered, session.inbox.authResult,
                                  session.inbox.changeAnswered, session.inbox.changeResult};
    session.inbox.authAnswered = false;
    session.inbox.changeAnswered = false;
    ReleaseSRWLockExclusive(&session.inbox.lock);
    if (answers.authAnswered) OnAuthentication(session, answers.authResult);
    if (answers.changeAnswered && !session.quit) OnPasswordChange(session, answers.changeResult);
}

// --- Messages from the driver -------------------------------------------------

void OnPipeOpen(PortSession& session, const portpipe::PipeMessage& message) {
    session.opened = true;
    SessionOptions options;
    if (Environment().cache != nullptr && ReadGlobalOptions(options, *Environment().cache)) {
        session.reopenMs = options.reopenMs;
        session.silentConfigured = options.silentConfigured;
        session.credentialsReady = options.credentialsReady;
        session.authState = options.authState;
    }
    if (Environment().cache != nullptr) ReadCredentials(session.authInfo, session.scrambledPassword, *Environment().cache);
    if (!session.credentialsReady)
        Ui().createAuthWindow(session.ui, &session.authInfo, AuthenticationDone);

    char16_t portKeyName[256];
    kvr::UniqueHKey ports;
    if (portpipe::ReadPortKeyName(message, portKeyName, std::size(portKeyName)) &&
        RegOpenKeyExW(HKEY_LOCAL_MACHINE, reg::kPortsKey, 0, KEY_READ, ports.Put()) == ERROR_SUCCESS &&
        RegOpenKeyExW(ports.Get(), reinterpret_cast<const wchar_t*>(portKeyName), 0, KEY_READ, &session.portKey) ==
            ERROR_SUCCESS) {
        session.isRedirected = ReadDwordValue(session.portKey, reg::kIsRedirected).value_or(0);
        session.forcedFlowControl = ReadDwordValue(session.portKey, reg::kForcedFlowControl).value_or(reg::kNotForced);
        if (RegOpenKeyExW(session.portKey, reg::kRedirections, 0, KEY_READ, &session.redirectionsKey) != ERROR_SUCCESS)
            session.redirectionsKey = nullptr;
        ReadStringValue(session.portKey, reg::kDosDevices, session.authInfo.dosName, kDisplayNameChars);
        Progress(L"[%lu] Open of %ls (%ls), %ls.", session.id, reinterpret_cast<const wchar_t*>(portKeyName),
                 session.authInfo.dosName, session.isRedirected ? L"redirected" : L"not redirected");
    } else {
        session.portKey = nullptr;
        Progress(L"[%lu] Open of an unknown port key.", session.id);
    }
    session.entryIndex = 0;
    if (session.isRedirected != 0) {
        ServerWalk(session);
        return;
    }
    SendOpenResult(session, portpipe::kOpenNotRedirected);
    session.quit = true;
}

}  // namespace

void OnPipeMessage(PortSession& session) {
    portpipe::PipeMessage message;
    if (!portpipe::ReadPipeMessage(session.pipeReceive, session.pipeMessageLength, message)) {
        Progress(L"[%lu] Ignored a pipe message of %lu bytes.", session.id, session.pipeMessageLength);
        return;
    }
    if (!session.opened) {
        if (message.type == portpipe::PipeOpen) {
            OnPipeOpen(session, message);
        } else {
            // Nothing else is read before the open completes: a driver that
            // does not start with an open would wait for ever.
            Progress(L"[%lu] The driver's first message is of type %lu, not an open.", session.id, message.type);
            session.quit = true;
        }
        return;
    }
    if (message.type == portpipe::PipeData) {
        std::uint8_t wireMessage[wire::kDataHeaderSize + portpipe::kPipePayloadMax];
        const std::size_t length =
            wire::BuildData(wireMessage, sizeof(wireMessage), message.payload, message.payloadSize);
        ServerSend(session, wireMessage, static_cast<DWORD>(length));
        Ui().updateSendLED(session.ui, 1);
        return;
    }
    if (const auto settings = portpipe::SettingsFromPipeMessage(message, session.forcedFlowControl)) {
        std::uint8_t wireMessage[wire::kSettingsMessageSize];
        ServerSend(session, wireMessage,
                   static_cast<DWORD>(wire::BuildSettings(wireMessage, sizeof(wireMessage), *settings)));
        return;
    }
    if (message.type == portpipe::PipeOpen)
        Progress(L"[%lu] Ignored a second open.", session.id);
}

namespace {

bool OnServerMessage(PortSession& session, const wire::ServerMessage& message) {
    switch (message.type) {
    case wire::kDisconnect:
        Progress(L"[%lu] The server disconnected, reason %u.", session.id, message.reasonCode);
        if (session.online) {
            session.quit = true;
        } else if (message.reasonCode == wire::kReasonPortInUse) {
            session.retrySameServer = true;
        } else {
            session.nextServer = true;
            Narrate(session, NarrationForReason(message.reasonCode));
        }
        CloseServerSocket(session);
        return false;
    case wire::kLoginAccepted:
        if (session.online) break;  // a second acceptance must not open the port twice
        if (message.version >= wire::kVersionWithExpiredFlag && message.expired == 1) {
            Progress(L"[%lu] The password has expired.", session.id);
            Ui().changePassword(session.ui, &session.authInfo, PasswordChangeDone, kChangeExpired);
        } else {
            CompleteOpen(session);
        }
        break;
    case wire::kCredentialsRequired:
        Progress(L"[%lu] The server asks for credentials.", session.id);
        if (session.authState == kAuthCached && session.silentConfigured) {
            session.credentialsReady = true;
            session.loginToSend = true;
            session.authState = kAuthSilent;
        } else {
            Ui().createAuthWindow(session.ui, &session.authInfo, AuthenticationDone);
        }
        break;
    case wire::kPasswordChanged:
        if (session.online) break;
        std::memcpy(session.authInfo.password, session.authInfo.newPassword, sizeof(session.authInfo.password));
        std::memset(session.authInfo.newPassword, 0, sizeof(session.authInfo.newPassword));
        ScrambleInto(session.authInfo.password, session.scrambledPassword);
        StoreInCache(session);
        CompleteOpen(session);
        break;
    case wire::kPasswordChangeFailed:
        Ui().changePassword(session.ui, &session.authInfo, PasswordChangeDone, kChangeFailed);
        break;
    case wire::kData: {
        const bool sent = portpipe::ForEachPipePiece(message.data, message.dataLength,
                                                     [&session](const std::uint8_t* piece, std::size_t length) {
                                                         std::uint8_t pipeMessage[portpipe::kPipeMessageSize];
                                                         PipeSend(session, pipeMessage,
                                                                  static_cast<DWORD>(portpipe::BuildPipeData(
                                                                      pipeMessage, sizeof(pipeMessage), piece, length)));
                                                         return !session.quit;
                                                     });
        if (sent) Ui().updateReceiveLED(session.ui, 16);
        break;
    }
    case wire::kModemStatus:
        SendPipeStatus(session, portpipe::BuildPipeModemStatus, portpipe::PipeModemStatusFor(message.modemStatus[0]));
        Ui().updateModemLEDs(session.ui, message.modemStatus[0]);
        break;
    default:
        break;  // settings and keep-alives need nothing
    }
    return !session.quit && session.socket != INVALID_SOCKET;
}

}  // namespace

void OnServerBytes(PortSession& session) {
    switch (session.framer.Drain([&session](const wire::ServerMessage& m) { return OnServerMessage(session, m); })) {
    case wire::DrainStatus::Discarded:
        Progress(L"[%lu] Discarded an unknown server message.", session.id);
        break;
    case wire::DrainStatus::Overflow:
        // A message larger than the receive buffer can never complete.
        Progress(L"[%lu] The server sent a message too large to receive; ending the session.", session.id);
        session.quit = true;
        break;
    default:
        break;
    }
}

void RunTimerSteps(PortSession& session) {
    TakeCallbackResults(session);
    if (session.quit) return;
    if (session.loginToSend) SendLogin(session);
    if (session.retrySameServer && Elapsed(session.lastServerWrite) >= kRetryIntervalMs) {
        if (Elapsed(session.entryFirstTried) < session.reopenMs) {
            Progress(L"[%lu] %ls is busy; trying again.", session.id, session.authInfo.serverName);
            ConnectToServer(session);
        } else {
            session.nextServer = true;
            Narrate(session, NarrationForReason(session.framer.Last().reasonCode));
        }
    }
    if (session.nextServer && !session.quit) {
        ++session.entryIndex;
        ServerWalk(session);
    }
    if (session.proceedWithoutChange && !session.quit) {
        CompleteOpen(session);
        session.proceedWithoutChange = false;
    }
    if (session.online && !session.quit && Elapsed(session.lastServerWrite) >= kKeepAliveIntervalMs) {
        std::uint8_t message[wire::kKeepAliveMessageSize];
        ServerSend(session, message, static_cast<DWORD>(wire::BuildKeepAlive(message, sizeof(message))));
    }
}

}  // namespace svc
