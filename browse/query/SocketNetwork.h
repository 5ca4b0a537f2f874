#pragma once
// The library's Network over Windows Sockets: non-blocking UDP sockets, or
// IPX datagram sockets where the platform has IPX.
#include <cstdint>

#include "Network.h"

namespace kvr::browse {

// A Windows Sockets error as the library reports it.
std::int32_t MapSocketError(int error);

class SocketNetwork final : public Network {
public:
    std::int32_t Open(std::uint16_t transport, const ServerAddress& destination, bool broadcast,
                      std::unique_ptr<DatagramChannel>& channel) override;
    std::int32_t Resolve(const char* hostName, std::uint8_t (&address)[4]) override;
};

}  // namespace kvr::browse
