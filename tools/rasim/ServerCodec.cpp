#include "ServerCodec.h"

#include <algorithm>

#include "common/WireTypes.h"

namespace rasim {
namespace {

// Reads counted strings one after another; reports incomplete instead of
// reading past the end.
class CountedCursor {
public:
    CountedCursor(const std::uint8_t* data, std::size_t count, std::size_t pos)
        : m_data(data), m_count(count), m_pos(pos) {}

    bool Take(const std::uint8_t*& text, std::size_t& length) {
        if (m_pos >= m_count) return false;
        length = m_data[m_pos];
        if (length > m_count - m_pos - 1) return false;
        text = m_data + m_pos + 1;
        m_pos += 1 + length;
        return true;
    }
    std::size_t Position() const { return m_pos; }

private:
    const std::uint8_t* m_data;
    std::size_t m_count;
    std::size_t m_pos;
};

constexpr ParseResult kIncomplete{ParseStatus::kIncomplete, 0};

}  // namespace

ParseResult ParseClientMessage(const std::uint8_t* data, std::size_t count, ClientMessage& out) {
    if (data == nullptr || count == 0) return kIncomplete;
    const std::uint8_t type = data[0];
    switch (type) {
    case wire::kData: {
        if (count < 3) return kIncomplete;
        const std::size_t n = (std::size_t{data[1]} << 8) | data[2];
        if (count - 3 < n) return kIncomplete;
        out = ClientMessage{};
        out.type = type;
        out.data.assign(data + 3, data + 3 + n);
        return {ParseStatus::kComplete, 3 + n};
    }
    case wire::kLogin: {
        CountedCursor cursor(data, count, 1);
        const std::uint8_t* user = nullptr;
        const std::uint8_t* password = nullptr;
        const std::uint8_t* port = nullptr;
        std::size_t userLength = 0, passwordLength = 0, portLength = 0;
        if (!cursor.Take(user, userLength) || !cursor.Take(password, passwordLength) ||
            !cursor.Take(port, portLength))
            return kIncomplete;
        out = ClientMessage{};
        out.type = type;
        out.user.assign(user, user + userLength);
        out.password.assign(password, password + passwordLength);
        out.port.assign(port, port + portLength);
        return {ParseStatus::kComplete, cursor.Position()};
    }
    case wire::kSettings: {
        if (count < 9) return kIncomplete;
        out = ClientMessage{};
        out.type = type;
        std::copy(data + 1, data + 9, out.settings.begin());
        return {ParseStatus::kComplete, 9};
    }
    case wire::kKeepAlive: {
        if (count < 2) return kIncomplete;
        out = ClientMessage{};
        out.type = type;
        out.keepAlive = data[1];
        return {ParseStatus::kComplete, 2};
    }
    case wire::kChangePassword: {
        CountedCursor cursor(data, count, 1);
        const std::uint8_t* oldText = nullptr;
        const std::uint8_t* newText = nullptr;
        std::size_t oldLength = 0, newLength = 0;
        if (!cursor.Take(oldText, oldLength) || !cursor.Take(newText, newLength))
            return kIncomplete;
        out = ClientMessage{};
        out.type = type;
        out.password.assign(oldText, oldText + oldLength);
        out.newPassword.assign(newText, newText + newLength);
        return {ParseStatus::kComplete, cursor.Position()};
    }
    default:
        return {ParseStatus::kUnknown, count};
    }
}

void ClientMessageReader::Append(const std::uint8_t* data, std::size_t count) {
    if (m_broken || data == nullptr || count == 0) return;
    // Drop what was consumed before growing, so the buffer holds at most one
    // partial message plus the newest read.
    if (m_start > 0) {
        m_buffer.erase(m_buffer.begin(), m_buffer.begin() + static_cast<std::ptrdiff_t>(m_start));
        m_start = 0;
    }
    m_buffer.insert(m_buffer.end(), data, data + count);
}

ParseStatus ClientMessageReader::Next(ClientMessage& out) {
    if (m_broken) return ParseStatus::kUnknown;
    const ParseResult result = ParseClientMessage(m_buffer.data() + m_start, Pending(), out);
    switch (result.status) {
    case ParseStatus::kComplete:
        m_start += result.length;
        if (m_start == m_buffer.size()) {
            m_buffer.clear();
            m_start = 0;
        }
        break;
    case ParseStatus::kUnknown:
        m_broken = true;
        m_buffer.clear();
        m_start = 0;
        break;
    case ParseStatus::kIncomplete:
        break;
    }
    return result.status;
}

void AppendCounted(Bytes& out, std::string_view text) {
    const std::size_t n = std::min(text.size(), wire::kMaxCountedString);
    out.push_back(static_cast<std::uint8_t>(n));
    out.insert(out.end(), text.begin(), text.begin() + static_cast<std::ptrdiff_t>(n));
}

void AppendData(Bytes& out, const std::uint8_t* data, std::size_t count) {
    do {
        const std::size_t n = std::min(count, kMaxDataPayload);
        out.push_back(wire::kData);
        out.push_back(static_cast<std::uint8_t>(n >> 8));
        out.push_back(static_cast<std::uint8_t>(n & 0xFF));
        if (n > 0) out.insert(out.end(), data, data + n);
        data += n;
        count -= n;
    } while (count > 0);
}

void AppendDisconnect(Bytes& out, std::uint8_t reason, std::string_view text) {
    out.push_back(wire::kDisconnect);
    out.push_back(reason);
    AppendCounted(out, text);
}

void AppendLoginAccepted(Bytes& out, std::uint16_t version, std::string_view text, bool expired) {
    out.push_back(wire::kLoginAccepted);
    out.push_back(static_cast<std::uint8_t>(version >> 8));
    out.push_back(static_cast<std::uint8_t>(version & 0xFF));
    AppendCounted(out, text);
    if (version >= wire::kVersionWithExpiredFlag) out.push_back(expired ? 1 : 0);
}

void AppendSettings(Bytes& out, const std::array<std::uint8_t, 8>& settings) {
    out.push_back(wire::kSettings);
    out.insert(out.end(), settings.begin(), settings.end());
}

void AppendModemStatus(Bytes& out, std::uint8_t status) {
    out.push_back(wire::kModemStatus);
    out.push_back(status);
    out.insert(out.end(), 3, 0);
}

void AppendCredentialsRequired(Bytes& out) {
    out.push_back(wire::kCredentialsRequired);
    out.push_back(0);
}

void AppendKeepAlive(Bytes& out) {
    out.push_back(wire::kKeepAlive);
    out.push_back(0);
}

void AppendPasswordChanged(Bytes& out) { out.push_back(wire::kPasswordChanged); }

void AppendPasswordChangeFailed(Bytes& out) { out.push_back(wire::kPasswordChangeFailed); }

}  // namespace rasim
