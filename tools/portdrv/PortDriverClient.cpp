#include "PortDriverClient.h"

#include <cstdio>
#include <cstring>

namespace portdrv {

PortDriverClient::PortDriverClient()
    : m_readEvent(CreateEventW(nullptr, TRUE, FALSE, nullptr)),
      m_writeEvent(CreateEventW(nullptr, TRUE, FALSE, nullptr)) {}

bool PortDriverClient::Connect(const std::wstring& pipeName, DWORD timeoutMs) {
    const DWORD start = GetTickCount();
    for (;;) {
        HANDLE pipe = CreateFileW(pipeName.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING,
                                  FILE_FLAG_OVERLAPPED, nullptr);
        if (pipe != INVALID_HANDLE_VALUE) {
            m_pipe.Reset(pipe);
            DWORD mode = PIPE_READMODE_MESSAGE;
            SetNamedPipeHandleState(pipe, &mode, nullptr, nullptr);
            return true;
        }
        const DWORD error = GetLastError();
        const DWORD elapsed = GetTickCount() - start;
        if (elapsed >= timeoutMs) return false;
        if (error == ERROR_PIPE_BUSY)
            WaitNamedPipeW(pipeName.c_str(), timeoutMs - elapsed);
        else
            Sleep(20);  // the server has not created its pipe yet
    }
}

void PortDriverClient::Close() { m_pipe.Reset(); }

void PortDriverClient::CancelPendingIo() { CancelIoEx(m_pipe.Get(), nullptr); }

bool PortDriverClient::Send(std::uint32_t type, const void* payload, std::size_t length) {
    if (4 + length > kMaxMessage * 64) return false;
    std::vector<std::uint8_t> message(4 + length);
    std::memcpy(message.data(), &type, 4);
    if (length != 0) std::memcpy(message.data() + 4, payload, length);
    return SendBytes(message.data(), message.size());
}

bool PortDriverClient::SendBytes(const void* bytes, std::size_t length) {
    if (!m_pipe) return false;
    OVERLAPPED overlapped{};
    overlapped.hEvent = m_writeEvent.Get();
    DWORD written = 0;
    if (!WriteFile(m_pipe.Get(), bytes, static_cast<DWORD>(length), nullptr, &overlapped) &&
        GetLastError() != ERROR_IO_PENDING)
        return false;
    return GetOverlappedResult(m_pipe.Get(), &overlapped, &written, TRUE) && written == length;
}

bool PortDriverClient::SendOpen(const std::wstring& portKey) {
    return Send(portpipe::PipeOpen, portKey.c_str(), (portKey.size() + 1) * sizeof(wchar_t));
}

bool PortDriverClient::SendHandFlow(std::uint32_t handshake, std::uint32_t flowReplace, std::uint32_t xonLimit,
                                    std::uint32_t xoffLimit) {
    const std::uint32_t values[4] = {handshake, flowReplace, xonLimit, xoffLimit};
    return Send(portpipe::PipeHandFlow, values, sizeof(values));
}

ReadResult PortDriverClient::Receive(Message& message, DWORD timeoutMs) {
    if (!m_pipe) return ReadResult::Closed;
    std::uint8_t buffer[kMaxMessage * 4];
    OVERLAPPED overlapped{};
    overlapped.hEvent = m_readEvent.Get();
    DWORD read = 0;
    if (!ReadFile(m_pipe.Get(), buffer, sizeof(buffer), nullptr, &overlapped)) {
        const DWORD error = GetLastError();
        if (error != ERROR_IO_PENDING) return ReadResult::Closed;
        if (WaitForSingleObject(m_readEvent.Get(), timeoutMs) != WAIT_OBJECT_0) {
            CancelIo(m_pipe.Get());
            // The cancelled read may still have completed with a message.
            if (!GetOverlappedResult(m_pipe.Get(), &overlapped, &read, TRUE)) return ReadResult::Timeout;
        }
    }
    if (read == 0 && !GetOverlappedResult(m_pipe.Get(), &overlapped, &read, TRUE)) return ReadResult::Closed;
    if (read < 4) return ReadResult::Closed;
    std::memcpy(&message.type, buffer, 4);
    message.payload.assign(buffer + 4, buffer + read);
    return ReadResult::Message;
}

std::string Describe(const Message& message) {
    char line[64];
    const std::uint32_t value = message.payload.size() >= 4
                                    ? message.payload[0] | message.payload[1] << 8 | message.payload[2] << 16 |
                                          static_cast<std::uint32_t>(message.payload[3]) << 24
                                    : 0;
    switch (message.type) {
    case portpipe::PipeOpenResult:
        std::snprintf(line, sizeof(line), "OPEN RESULT %u", static_cast<unsigned>(value));
        return line;
    case portpipe::PipeModemStatus:
        std::snprintf(line, sizeof(line), "MODEM STATUS 0x%02X", message.payload.empty() ? 0 : message.payload[0]);
        return line;
    case portpipe::PipeLineStatus:
        std::snprintf(line, sizeof(line), "LINE STATUS 0x%02X", message.payload.empty() ? 0 : message.payload[0]);
        return line;
    case portpipe::PipeData: {
        std::snprintf(line, sizeof(line), "DATA %zu: ", message.payload.size());
        std::string text = line;
        for (std::uint8_t c : message.payload) {
            if (c == '\r')
                text += "\\r";
            else if (c == '\n')
                text += "\\n";
            else if (c == '\\')
                text += "\\\\";
            else if (c >= 0x20 && c < 0x7F)
                text += static_cast<char>(c);
            else {
                std::snprintf(line, sizeof(line), "\\x%02X", c);
                text += line;
            }
        }
        return text;
    }
    default:
        std::snprintf(line, sizeof(line), "MESSAGE %u, %zu bytes", static_cast<unsigned>(message.type),
                      message.payload.size());
        return line;
    }
}

}  // namespace portdrv
