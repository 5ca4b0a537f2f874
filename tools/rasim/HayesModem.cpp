#include "HayesModem.h"

#include <cctype>
#include <cstdio>
#include <vector>

#include "LogText.h"

namespace rasim {
namespace {

constexpr char kConnectText[] = "CONNECT 28800";

char Upper(char c) { return static_cast<char>(std::toupper(static_cast<unsigned char>(c))); }

// Reads an optional decimal number at line[pos]; returns -1 when there are no
// digits and caps the value so a long digit string cannot overflow.
long ReadNumber(const std::string& line, std::size_t& pos) {
    long value = -1;
    while (pos < line.size() && std::isdigit(static_cast<unsigned char>(line[pos]))) {
        if (value < 0) value = 0;
        if (value < 1000000) value = value * 10 + (line[pos] - '0');
        ++pos;
    }
    return value;
}

}  // namespace

std::size_t HayesModem::FromHost(const std::uint8_t* data, std::size_t count,
                                 std::uint64_t nowMs) {
    m_nowMs = nowMs;
    if (m_dropped) return count;
    if (m_online) {
        OnlineBytes(data, count, nowMs);
        return count;
    }
    for (std::size_t i = 0; i < count;) {
        const std::uint8_t byte = data[i++];
        CommandByte(byte);
        if (m_dropped) return count;
        if (byte == '\r') return i;
    }
    return count;
}

void HayesModem::OnlineBytes(const std::uint8_t* data, std::size_t count, std::uint64_t nowMs) {
    if (m_sinkLeft != 0) {
        const std::size_t swallowed = count < m_sinkLeft ? count : m_sinkLeft;
        m_sinkLeft -= swallowed;
        data += swallowed;
        count -= swallowed;
        m_lastByteMs = nowMs;
        if (m_sinkLeft == 0) Reply("SUNK");
    }
    for (std::size_t i = 0; i < count; ++i) {
        const bool silentBefore = nowMs - m_lastByteMs >= m_guardMs;
        if (data[i] == '+') {
            if (silentBefore)
                m_plusCount = 1;
            else if (m_plusCount >= 1 && m_plusCount < 3)
                ++m_plusCount;
            else
                m_plusCount = 0;
        } else {
            m_plusCount = 0;
        }
        m_lastByteMs = nowMs;
    }
    m_sink.ToHost(data, count);
}

void HayesModem::Flood(std::size_t budget) {
    std::uint8_t piece[kFloodPiece];
    while (m_floodLeft != 0 && budget != 0) {
        std::size_t n = m_floodLeft < kFloodPiece ? m_floodLeft : kFloodPiece;
        if (n > budget) n = budget;
        for (std::size_t i = 0; i < n; ++i) {
            const std::size_t at = m_floodSent + i;
            piece[i] = static_cast<std::uint8_t>((at ^ (at >> 8)) & 0xFF);
        }
        m_sink.ToHost(piece, n);
        m_floodSent += n;
        m_floodLeft -= n;
        budget -= n;
    }
}

void HayesModem::Tick(std::uint64_t nowMs) {
    m_nowMs = nowMs;
    if (m_online && m_plusCount == 3 && nowMs - m_lastByteMs >= m_guardMs) {
        m_plusCount = 0;
        m_online = false;
        m_sink.Event("escape result=OK");
        Reply("OK");
    }
}

std::uint64_t HayesModem::NextDeadline() const {
    return m_online && m_plusCount == 3 ? m_lastByteMs + m_guardMs : 0;
}

void HayesModem::CommandByte(std::uint8_t byte) {
    if (m_echo) m_sink.ToHost(&byte, 1);
    if (byte == '\r') {
        ExecuteLine();
        m_line.clear();
        m_lineTooLong = false;
    } else if (byte == '\n') {
        // Line feeds after the carriage return are usual and mean nothing.
    } else if (byte == 0x08) {
        if (!m_line.empty()) m_line.pop_back();
    } else if (m_line.size() < kMaxLine) {
        m_line.push_back(static_cast<char>(byte));
    } else {
        m_lineTooLong = true;
    }
}

void HayesModem::ExecuteLine() {
    const std::string& line = m_line;
    if (line.empty() && !m_lineTooLong) return;
    std::string result = "OK";
    std::vector<std::string> info;  // lines printed before the result
    if (m_lineTooLong || line.size() < 2 || Upper(line[0]) != 'A' || Upper(line[1]) != 'T') {
        result = "ERROR";
    } else {
        std::size_t pos = 2;
        while (pos < line.size() && result == "OK") {
            const char c = Upper(line[pos++]);
            if (c == ' ') continue;
            switch (c) {
            case 'Z':
                ReadNumber(line, pos);
                Reset();
                break;
            case 'E': {
                const long v = ReadNumber(line, pos);
                if (v > 1) result = "ERROR";
                else m_echo = v == 1;
                break;
            }
            case 'H': {
                const long v = ReadNumber(line, pos);
                if (v > 1) result = "ERROR";
                else if (v <= 0) HangUp();
                break;
            }
            case 'L': case 'M': case 'Q': case 'V': case 'X':
                // Speaker, quiet and result-code styles: accepted, replies stay verbose.
                ReadNumber(line, pos);
                break;
            case 'I':
                ReadNumber(line, pos);
                info.push_back("RASIM");
                break;
            case 'O':
                ReadNumber(line, pos);
                if (m_status & kLampCarrier) {
                    m_online = true;
                    m_lastByteMs = m_nowMs;
                    m_plusCount = 0;
                    result = kConnectText;
                } else {
                    result = "NO CARRIER";
                }
                pos = line.size();
                break;
            case 'A':
                result = "NO CARRIER";  // nobody ever rings
                break;
            case 'D': {
                std::string number = line.substr(pos);
                pos = line.size();
                while (!number.empty() && number.front() == ' ') number.erase(0, 1);
                if (number.empty() || (m_status & kLampCarrier)) {
                    result = "ERROR";
                    break;
                }
                // Carrier rises before CONNECT is printed, as on a real modem.
                SetStatus(kStatusConnected);
                m_online = true;
                m_lastByteMs = m_nowMs;
                m_plusCount = 0;
                result = kConnectText;
                break;
            }
            case 'S': {
                const long reg = ReadNumber(line, pos);
                if (reg < 0 || reg > 255 || pos >= line.size()) {
                    result = "ERROR";
                } else if (line[pos] == '?') {
                    ++pos;
                    char text[8];
                    std::snprintf(text, sizeof text, "%03u", m_registers[reg]);
                    info.push_back(text);
                } else if (line[pos] == '=') {
                    ++pos;
                    const long v = ReadNumber(line, pos);
                    if (v < 0 || v > 255) result = "ERROR";
                    else m_registers[reg] = static_cast<std::uint8_t>(v);
                } else {
                    result = "ERROR";
                }
                break;
            }
            case '&': {
                const char what = pos < line.size() ? Upper(line[pos++]) : '\0';
                ReadNumber(line, pos);
                if (what == 'F') Reset();
                else if (what != 'C' && what != 'D' && what != 'K' && what != 'W') result = "ERROR";
                break;
            }
            case '*': {
                const char hook = pos < line.size() ? Upper(line[pos++]) : '\0';
                const long v = ReadNumber(line, pos);
                if (hook == 'B' && v >= 0 && v <= 0xFFFF) {
                    std::vector<std::uint8_t> burst(static_cast<std::size_t>(v));
                    for (std::size_t i = 0; i < burst.size(); ++i)
                        burst[i] = static_cast<std::uint8_t>(i & 0xFF);
                    m_sink.Event("command=" + EscapeField(line) + " burst=" + std::to_string(v));
                    m_sink.ToHost(burst.data(), burst.size());
                } else if (hook == 'X') {
                    m_sink.Event("command=" + EscapeField(line) + " result=dropped");
                    m_dropped = true;
                    m_sink.DropConnection();
                    return;
                } else if (hook == 'D' && v >= 0 && v <= 255) {
                    m_sink.Event("command=" + EscapeField(line) + " result=disconnect");
                    m_dropped = true;
                    m_sink.ServerDisconnect(static_cast<std::uint8_t>(v));
                    return;
                } else if (hook == 'K' && v < 0) {
                    m_sink.SendKeepAlive();
                } else if ((hook == 'S' || hook == 'F') && v > 0 && !(m_status & kLampCarrier)) {
                    // Dials, then swallows or sends v data bytes: the two
                    // directions of a relay measured one at a time.
                    SetStatus(kStatusConnected);
                    m_online = true;
                    m_lastByteMs = m_nowMs;
                    m_plusCount = 0;
                    if (hook == 'S') {
                        m_sinkLeft = static_cast<std::size_t>(v);
                    } else {
                        m_floodLeft = static_cast<std::size_t>(v);
                        m_floodSent = 0;
                    }
                    result = kConnectText;
                    pos = line.size();
                } else {
                    result = "ERROR";
                }
                break;
            }
            default:
                result = "ERROR";
                break;
            }
        }
    }
    m_sink.Event("command=" + EscapeField(line) + " result=" + EscapeField(result));
    for (const auto& text : info) Reply(text);
    Reply(result);
}

void HayesModem::Reply(std::string_view text) {
    std::string out = "\r\n";
    out.append(text);
    out += "\r\n";
    m_sink.ToHost(reinterpret_cast<const std::uint8_t*>(out.data()), out.size());
}

void HayesModem::SetStatus(std::uint8_t status) {
    if (status == m_status) return;
    m_status = status;
    m_sink.StatusChanged(status);
}

void HayesModem::HangUp() {
    m_online = false;
    m_sinkLeft = 0;
    m_floodLeft = 0;
    m_plusCount = 0;
    SetStatus(0);
}

void HayesModem::Reset() {
    HangUp();
    m_echo = false;
    m_registers.fill(0);
}

}  // namespace rasim
