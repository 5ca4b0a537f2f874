#pragma once
// One connection to a simulated device: reads the service's messages, logs the
// user in through the device's policy and puts the modem behind the port.
// Pure logic: the caller moves bytes between it and the socket.
#include <cstdint>
#include <functional>
#include <memory>
#include <string>

#include "AccessPolicy.h"
#include "HayesModem.h"
#include "ServerCodec.h"

namespace rasim {

class Session : private ModemSink {
public:
    enum class CloseRequest { kNone, kAfterFlush, kNow };
    using LogFn = std::function<void(const std::string&)>;

    Session(int id, const DeviceConfig& device, AccessPolicy& policy, std::uint32_t guardMs,
            LogFn log);

    void OnBytes(const std::uint8_t* data, std::size_t count, std::uint64_t nowMs);
    void OnTick(std::uint64_t nowMs);
    std::uint64_t NextDeadline() const { return m_modem ? m_modem->NextDeadline() : 0; }

    // Bytes for the socket; the caller removes what it has sent.
    Bytes& Outgoing() { return m_out; }
    CloseRequest Close() const { return m_close; }
    bool LoggedIn() const { return m_modem != nullptr; }

private:
    void OnMessage(const ClientMessage& message, std::uint64_t nowMs);
    void OnLogin(const ClientMessage& message);
    void OnChangePassword(const ClientMessage& message);
    void Log(const std::string& event, const std::string& fields);

    // ModemSink
    void ToHost(const std::uint8_t* data, std::size_t count) override;
    void StatusChanged(std::uint8_t status) override;
    void Event(std::string_view line) override;
    void DropConnection() override;
    void ServerDisconnect(std::uint8_t reason) override;
    void SendKeepAlive() override;

    int m_id;
    const DeviceConfig& m_device;
    AccessPolicy& m_policy;
    std::uint32_t m_guardMs;
    LogFn m_log;
    ClientMessageReader m_reader;
    std::unique_ptr<HayesModem> m_modem;  // exists once the login is accepted
    std::string m_user;
    Bytes m_out;
    CloseRequest m_close = CloseRequest::kNone;
};

}  // namespace rasim
