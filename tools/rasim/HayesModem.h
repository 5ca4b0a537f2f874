#pragma once
// The modem behind a simulated port: Hayes commands in command mode, an exact
// echo of every byte once "dialled", and the guarded "+++" escape back to
// command mode. Time comes in from the caller so the logic runs without a clock.
#include <array>
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace rasim {

// Lamp bits of the modem status byte as the service's lamps read them.
constexpr std::uint8_t kLampHighSpeed = 0x01;
constexpr std::uint8_t kLampCarrier = 0x04;
constexpr std::uint8_t kLampOffHook = 0x08;
constexpr std::uint8_t kStatusConnected = kLampHighSpeed | kLampCarrier | kLampOffHook;

// Where the modem's output goes: data towards the service, status changes,
// event lines for the log, and the test hooks that act on the connection.
class ModemSink {
public:
    virtual ~ModemSink() = default;
    virtual void ToHost(const std::uint8_t* data, std::size_t count) = 0;
    virtual void StatusChanged(std::uint8_t status) = 0;
    virtual void Event(std::string_view line) = 0;
    virtual void DropConnection() = 0;                // AT*X: close at once
    virtual void ServerDisconnect(std::uint8_t reason) = 0;  // AT*D<r>
    virtual void SendKeepAlive() = 0;                 // AT*K
};

class HayesModem {
public:
    static constexpr std::size_t kMaxLine = 255;

    HayesModem(ModemSink& sink, std::uint32_t guardMs) : m_sink(sink), m_guardMs(guardMs) {}

    // Takes bytes from the service and returns how many it used: in command
    // mode it stops after each command line, so the caller can hold back the
    // rest while the answers (a burst may be 64 KB) wait to be sent.
    std::size_t FromHost(const std::uint8_t* data, std::size_t count, std::uint64_t nowMs);
    // Completes an escape once the guard time after "+++" has passed.
    void Tick(std::uint64_t nowMs);
    // When Tick next has something to do; 0 = nothing pending.
    std::uint64_t NextDeadline() const;

    bool Online() const { return m_online; }
    // AT*F<n>: bytes still to send toward the host.
    bool Flooding() const { return m_floodLeft != 0; }
    // Sends at most budget more bytes of the flood, in data pieces of
    // kFloodPiece bytes; byte i of the flood is (i ^ (i >> 8)) & 0xFF.
    void Flood(std::size_t budget);
    static constexpr std::size_t kFloodPiece = 1020;
    std::uint8_t Status() const { return m_status; }

private:
    void OnlineBytes(const std::uint8_t* data, std::size_t count, std::uint64_t nowMs);
    void CommandByte(std::uint8_t byte);
    void ExecuteLine();
    void Reply(std::string_view text);  // wrapped in CR LF as a modem does
    void SetStatus(std::uint8_t status);
    void HangUp();
    void Reset();

    ModemSink& m_sink;
    std::uint32_t m_guardMs;
    bool m_online = false;   // data mode: everything is echoed
    bool m_echo = false;     // command echo (E1)
    std::uint8_t m_status = 0;
    std::string m_line;
    bool m_lineTooLong = false;
    std::array<std::uint8_t, 256> m_registers{};
    // Escape detection: count of '+' seen after a guard-time silence, and the
    // time of the last byte from the host.
    int m_plusCount = 0;
    std::uint64_t m_lastByteMs = 0;
    std::uint64_t m_nowMs = 0;
    bool m_dropped = false;  // AT*X or AT*D: nothing more is read
    std::size_t m_sinkLeft = 0;    // AT*S<n>: data bytes still to swallow
    std::size_t m_floodLeft = 0;   // AT*F<n>: data bytes still to send
    std::size_t m_floodSent = 0;
};

}  // namespace rasim
