#pragma once
// The port driver's side of the service's pipe: what the kernel driver does
// for each open of a redirected port, as a small client the stand-in, the
// tests and the benchmarks share.
#include <windows.h>

#include <cstdint>
#include <string>
#include <vector>

#include "Handles.h"
#include "PipeProtocol.h"

namespace portdrv {

constexpr std::size_t kMaxMessage = portpipe::kPipeMessageSize;

struct Message {
    std::uint32_t type = 0;
    std::vector<std::uint8_t> payload;
};

enum class ReadResult { Message, Timeout, Closed };

class PortDriverClient {
public:
    PortDriverClient();

    // Waits up to timeoutMs for a free pipe instance.
    bool Connect(const std::wstring& pipeName, DWORD timeoutMs);
    void Close();
    // Cancels a read or write that another thread is waiting on; the only
    // call that may be made while another thread uses the client.
    void CancelPendingIo();
    bool IsConnected() const { return m_pipe.IsValid(); }

    bool Send(std::uint32_t type, const void* payload, std::size_t length);
    // One message of exactly these bytes, even one too short to be valid.
    bool SendBytes(const void* bytes, std::size_t length);
    bool SendOpen(const std::wstring& portKey);
    bool SendData(const void* data, std::size_t length) { return Send(portpipe::PipeData, data, length); }
    bool SendBaudRate(std::uint32_t baud) { return Send(portpipe::PipeBaudRate, &baud, sizeof(baud)); }
    bool SendLineControl(std::uint8_t value) { return Send(portpipe::PipeLineControl, &value, 1); }
    bool SendModemControl(std::uint8_t value) { return Send(portpipe::PipeModemControl, &value, 1); }
    bool SendHandFlow(std::uint32_t handshake, std::uint32_t flowReplace, std::uint32_t xonLimit,
                      std::uint32_t xoffLimit);

    ReadResult Receive(Message& message, DWORD timeoutMs);

private:
    kvr::UniqueFile m_pipe;
    kvr::UniqueHandle m_readEvent;
    kvr::UniqueHandle m_writeEvent;
};

// One line describing a message from the service, as the stand-in prints it.
std::string Describe(const Message& message);

}  // namespace portdrv
