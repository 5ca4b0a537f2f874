#include "ServerConnect.h"

#include <ws2tcpip.h>

#include "DeviceRecords.h"

namespace svc {
namespace {

constexpr int kSpxIIProtocol = 1256;
constexpr int kSpxOptionLevel = 1000;
constexpr int kSpxImmediateAck = 0x4010;

}  // namespace

SOCKET ConnectToAddress(const BYTE* address, int length) {
    if (length < 2) return INVALID_SOCKET;
    const auto family = static_cast<std::uint16_t>(address[0] | address[1] << 8);
    SOCKET s = INVALID_SOCKET;
    const BOOL on = TRUE;
    if (family == kTransportIp) {
        if (length < static_cast<int>(sizeof(sockaddr_in))) return INVALID_SOCKET;
        s = socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
        if (s == INVALID_SOCKET) return s;
        // A failed option is no reason not to connect.
        setsockopt(s, IPPROTO_TCP, TCP_NODELAY, reinterpret_cast<const char*>(&on), sizeof(on));
    } else if (family == kTransportIpx) {
        s = socket(kTransportIpx, SOCK_STREAM, kSpxIIProtocol);
        if (s == INVALID_SOCKET) return s;
        setsockopt(s, kSpxOptionLevel, kSpxImmediateAck, reinterpret_cast<const char*>(&on), sizeof(on));
    } else {
        return INVALID_SOCKET;
    }
    if (connect(s, reinterpret_cast<const sockaddr*>(address), length) == SOCKET_ERROR) {
        const int error = WSAGetLastError();
        closesocket(s);
        WSASetLastError(error);
        return INVALID_SOCKET;
    }
    return s;
}

}  // namespace svc
