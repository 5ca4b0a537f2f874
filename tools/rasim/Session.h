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

    // Answers wait in Outgoing(); past this many bytes the session stops
    // working through its input until the caller has sent some.
    static constexpr std::size_t kOutputLimit = 1 << 20;
    static constexpr std::size_t kFloodBatch = 64 << 10;

    void OnBytes(const std::uint8_t* data, std::size_t count, std::uint64_t nowMs);
    // Works through buffered input while there is room for answers.
    void Pump(std::uint64_t nowMs);
    bool Backlogged() const { return m_out.size() >= kOutputLimit; }
    // Has bytes for the socket, or a flood still to make.
    bool WantsToSend() const { return !m_out.empty() || (m_modem && m_modem->Flooding()); }
    void OnTick(std::uint64_t nowMs);
    std::uint64_t NextDeadline() const { return m_modem ? m_modem->NextDeadline() : 0; }

    // Bytes for the socket; the caller removes what it has sent.
    Bytes& Outgoing() { return m_out; }
    CloseRequest Close() const { return m_close; }
    bool LoggedIn() const { return m_modem != nullptr; }

private:
    void OnMessage(ClientMessage& message);
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
    Bytes m_modemInput;  // data for the modem not yet taken
    std::size_t m_modemTaken = 0;
    std::unique_ptr<HayesModem> m_modem;  // exists once the login is accepted
    std::string m_user;
    Bytes m_out;
    CloseRequest m_close = CloseRequest::kNone;
};

}  // namespace rasim
