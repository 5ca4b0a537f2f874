#pragma once
// The remote access server's half of the wire codec: it reads what the dial-out
// service sends and builds the server's answers. Plain C++ over byte buffers.
#include <array>
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace rasim {

using Bytes = std::vector<std::uint8_t>;

// One message from the service. Only the fields of its type are filled.
struct ClientMessage {
    std::uint8_t type = 0;
    Bytes data;                             // data: the payload
    std::string user;                       // login: bytes as sent
    Bytes password;                         // login: scrambled form, empty = silent; change: old
    std::string port;                       // login: port name on the server
    Bytes newPassword;                      // change password: scrambled new password
    std::array<std::uint8_t, 8> settings{}; // settings record
    std::uint8_t keepAlive = 0;
};

enum class ParseStatus { kComplete, kIncomplete, kUnknown };

struct ParseResult {
    ParseStatus status;
    std::size_t length;  // bytes the message occupies when complete
};

// Parses one message at data[0..count). Never reads at or past count.
ParseResult ParseClientMessage(const std::uint8_t* data, std::size_t count, ClientMessage& out);

// Frames a byte stream into messages: bytes may arrive one at a time or
// several messages at once. An unknown type cannot be framed past, so the
// reader stays broken from then on and the caller drops the connection.
class ClientMessageReader {
public:
    void Append(const std::uint8_t* data, std::size_t count);
    ParseStatus Next(ClientMessage& out);
    std::size_t Pending() const { return m_buffer.size() - m_start; }

private:
    Bytes m_buffer;
    std::size_t m_start = 0;
    bool m_broken = false;
};

constexpr std::size_t kMaxDataPayload = 0xFFFF;

// Builders: each appends whole messages to out.
void AppendCounted(Bytes& out, std::string_view text);  // cut to 255 bytes
void AppendData(Bytes& out, const std::uint8_t* data, std::size_t count);  // split at 65535
void AppendDisconnect(Bytes& out, std::uint8_t reason, std::string_view text);
// The flag byte exists only from the version that carries it on.
void AppendLoginAccepted(Bytes& out, std::uint16_t version, std::string_view text, bool expired);
void AppendSettings(Bytes& out, const std::array<std::uint8_t, 8>& settings);
void AppendModemStatus(Bytes& out, std::uint8_t status);
void AppendCredentialsRequired(Bytes& out);
void AppendKeepAlive(Bytes& out);
void AppendPasswordChanged(Bytes& out);
void AppendPasswordChangeFailed(Bytes& out);

}  // namespace rasim
