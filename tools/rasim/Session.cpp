#include "Session.h"

#include <cstdio>

#include "LogText.h"
#include "common/WireTypes.h"

namespace rasim {
namespace {

std::string Hex(const std::uint8_t* data, std::size_t count) {
    std::string out;
    char text[4];
    for (std::size_t i = 0; i < count; ++i) {
        std::snprintf(text, sizeof text, "%02X", data[i]);
        if (i > 0) out += ' ';
        out += text;
    }
    return out;
}

}  // namespace

Session::Session(int id, const DeviceConfig& device, AccessPolicy& policy, std::uint32_t guardMs,
                 LogFn log)
    : m_id(id), m_device(device), m_policy(policy), m_guardMs(guardMs), m_log(std::move(log)) {}

void Session::Log(const std::string& event, const std::string& fields) {
    m_log(event + " " + std::to_string(m_id) + (fields.empty() ? "" : " " + fields));
}

void Session::OnBytes(const std::uint8_t* data, std::size_t count, std::uint64_t nowMs) {
    if (m_close != CloseRequest::kNone) return;
    m_reader.Append(data, count);
    Pump(nowMs);
}

void Session::Pump(std::uint64_t nowMs) {
    while (m_close == CloseRequest::kNone && !Backlogged()) {
        if (m_modem && m_modem->Flooding()) {
            // A flood is made in batches as the socket takes it.
            if (m_out.size() >= kFloodBatch) break;
            m_modem->Flood(kFloodBatch - m_out.size());
            continue;
        }
        if (m_modemTaken < m_modemInput.size()) {
            m_modemTaken += m_modem->FromHost(m_modemInput.data() + m_modemTaken,
                                              m_modemInput.size() - m_modemTaken, nowMs);
            continue;
        }
        ClientMessage message;
        const ParseStatus status = m_reader.Next(message);
        if (status == ParseStatus::kIncomplete) break;
        if (status == ParseStatus::kUnknown) {
            // Nothing after an unknown type can be framed: end the connection
            // rather than guess.
            Log("PROTOCOL-ERROR", "unknown-message-type");
            m_close = CloseRequest::kAfterFlush;
            break;
        }
        OnMessage(message);
    }
}

void Session::OnTick(std::uint64_t nowMs) {
    if (m_modem && m_close == CloseRequest::kNone) m_modem->Tick(nowMs);
}

void Session::OnMessage(ClientMessage& message) {
    switch (message.type) {
    case wire::kData:
        if (m_modem) {
            m_modemInput = std::move(message.data);
            m_modemTaken = 0;
        } else
            Log("DATA-IGNORED", "bytes=" + std::to_string(message.data.size()) + " not-logged-in");
        break;
    case wire::kLogin:
        OnLogin(message);
        break;
    case wire::kSettings:
        Log("SETTINGS", Hex(message.settings.data(), message.settings.size()));
        break;
    case wire::kKeepAlive:
        Log("KEEPALIVE", "");
        break;
    case wire::kChangePassword:
        OnChangePassword(message);
        break;
    default:
        break;
    }
}

void Session::OnLogin(const ClientMessage& message) {
    const std::string fields = "user=" + EscapeField(message.user) +
                               " port=" + EscapeField(message.port) + " password=" +
                               (message.password.empty()
                                    ? std::string("(silent)")
                                    : EscapeField(UnscrambleWire(message.password)));
    if (m_modem) {
        Log("LOGIN", fields + " result=ignored-already-logged-in");
        return;
    }
    const LoginOutcome outcome = m_policy.Login(message.user, message.password, message.port);
    switch (outcome.kind) {
    case LoginOutcome::Kind::kDisconnect:
        Log("LOGIN", fields + " result=disconnect reason=" + std::to_string(outcome.reason));
        AppendDisconnect(m_out, outcome.reason, ReasonText(outcome.reason));
        m_close = CloseRequest::kAfterFlush;
        break;
    case LoginOutcome::Kind::kCredentialsRequired:
        Log("LOGIN", fields + " result=credentials-required");
        AppendCredentialsRequired(m_out);
        break;
    case LoginOutcome::Kind::kAccepted: {
        const std::uint16_t version = m_device.behaviour.version;
        char versionText[8];
        std::snprintf(versionText, sizeof versionText, "0x%04X", version);
        const bool flagSent = version >= wire::kVersionWithExpiredFlag;
        Log("LOGIN", fields + " result=accepted version=" + versionText +
                         " expired=" + (flagSent && outcome.expired ? "1" : "0"));
        AppendLoginAccepted(m_out, version, "Welcome to " + m_device.name, outcome.expired);
        m_user = message.user;
        m_modem = std::make_unique<HayesModem>(static_cast<ModemSink&>(*this), m_guardMs);
        if (m_device.behaviour.closeAfterLogin) {
            Log("CLOSING", "after-login");
            m_close = CloseRequest::kAfterFlush;
        }
        break;
    }
    }
}

void Session::OnChangePassword(const ClientMessage& message) {
    const std::string fields = "user=" + EscapeField(m_user) +
                               " old=" + EscapeField(UnscrambleWire(message.password)) +
                               " new=" + EscapeField(UnscrambleWire(message.newPassword));
    const bool changed = m_modem && m_policy.ChangePassword(m_user, message.password,
                                                            message.newPassword);
    Log("PASSWORD-CHANGE", fields + (changed ? " result=changed" : " result=failed"));
    if (changed)
        AppendPasswordChanged(m_out);
    else
        AppendPasswordChangeFailed(m_out);
}

void Session::ToHost(const std::uint8_t* data, std::size_t count) {
    AppendData(m_out, data, count);
}

void Session::StatusChanged(std::uint8_t status) {
    char text[8];
    std::snprintf(text, sizeof text, "0x%02X", status);
    Log("STATUS", std::string(text) + ((status & wire::kModemStatusCarrier) ? " carrier=1"
                                                                            : " carrier=0"));
    AppendModemStatus(m_out, status);
}

void Session::Event(std::string_view line) { Log("MODEM", std::string(line)); }

void Session::DropConnection() { m_close = CloseRequest::kNow; }

void Session::ServerDisconnect(std::uint8_t reason) {
    AppendDisconnect(m_out, reason, ReasonText(reason));
    m_close = CloseRequest::kAfterFlush;
}

void Session::SendKeepAlive() { AppendKeepAlive(m_out); }

}  // namespace rasim
