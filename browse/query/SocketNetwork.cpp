#include "SocketNetwork.h"

#include <winsock2.h>
#include <windows.h>

#include <cstring>

#include "BrowseErrors.h"
#include "Handles.h"

namespace kvr::browse {

namespace {

constexpr int kIpxProtocol = 1000;
constexpr int kIpxAddressLength = 14;

int AddressLength(std::uint16_t family) {
    return family == kTransportIpx ? kIpxAddressLength : static_cast<int>(sizeof(sockaddr_in));
}
// Room for the burst of answers to one broadcast. 32 KB holds some 200
// replies where only their bytes count, but a kernel that charges each
// datagram its buffer overhead fits only about 60 in it, and a hundred
// devices answering at once then lose replies.
constexpr int kBroadcastReceiveBuffer = 256 * 1024;
// How long a send may stay blocked before it counts as failed.
constexpr DWORD kSendPatienceMs = 1000;

class SocketChannel final : public DatagramChannel {
public:
    SocketChannel(UniqueSocket socket, const ServerAddress& destination)
        : socket_(std::move(socket)), destination_(destination) {}

    std::int32_t Send(const std::uint8_t* data, std::size_t length) override {
        const DWORD start = GetTickCount();
        for (;;) {
            const int sent = sendto(socket_.Get(), reinterpret_cast<const char*>(data),
                                    static_cast<int>(length), 0,
                                    reinterpret_cast<const sockaddr*>(&destination_),
                                    AddressLength(destination_.family));
            if (sent != SOCKET_ERROR) return kHlpOk;
            const int error = WSAGetLastError();
            if (error != WSAEWOULDBLOCK || GetTickCount() - start > kSendPatienceMs) {
                return MapSocketError(error);
            }
            // A datagram goes whole or not at all: wait until it can go.
            WaitFor(false, 10);
        }
    }

    std::int32_t Receive(std::uint8_t* buffer, std::size_t capacity, std::size_t& length,
                         std::uint32_t waitMs) override {
        length = 0;
        if (!WaitFor(true, waitMs)) return kHlpOk;
        const int got = recv(socket_.Get(), reinterpret_cast<char*>(buffer),
                             static_cast<int>(capacity), 0);
        if (got != SOCKET_ERROR) {
            length = static_cast<std::size_t>(got);
            return kHlpOk;
        }
        switch (const int error = WSAGetLastError()) {
        case WSAEWOULDBLOCK:
        // An earlier datagram reached a closed port: not an answer, not a failure.
        case WSAECONNRESET:
            return kHlpOk;
        case WSAEMSGSIZE:  // longer than the reply buffer: its start is kept
            length = capacity;
            return kHlpOk;
        default:
            return MapSocketError(error);
        }
    }

    std::uint32_t Now() override { return GetTickCount(); }

private:
    bool WaitFor(bool readable, std::uint32_t waitMs) {
        fd_set set;
        FD_ZERO(&set);
        FD_SET(socket_.Get(), &set);
        timeval timeout{static_cast<long>(waitMs / 1000), static_cast<long>(waitMs % 1000) * 1000};
        return select(0, readable ? &set : nullptr, readable ? nullptr : &set, nullptr,
                      &timeout) > 0;
    }

    UniqueSocket socket_;
    ServerAddress destination_;
};

}  // namespace

std::int32_t MapSocketError(int error) {
    switch (error) {
    case WSAEINVAL:
    case WSAVERNOTSUPPORTED:
        return kHlpInvalidSocketArgument;
    case WSAENETDOWN:
        return kHlpNetworkDown;
    case WSAECONNREFUSED:
        return kHlpConnectionRefused;
    case WSAHOST_NOT_FOUND:
    case WSANO_DATA:
        return kHlpHostNotFound;
    default:
        return kHlpSocketError;
    }
}

std::int32_t SocketNetwork::Open(std::uint16_t transport, const ServerAddress& destination,
                                 bool broadcast, std::unique_ptr<DatagramChannel>& channel) {
    if (transport != kTransportIp && transport != kTransportIpx) return kHlpUnsupportedTransport;
    const bool ipx = transport == kTransportIpx;
    UniqueSocket socket(::socket(transport, SOCK_DGRAM, ipx ? kIpxProtocol : IPPROTO_UDP));
    if (!socket) return MapSocketError(WSAGetLastError());

    u_long nonBlocking = 1;
    if (ioctlsocket(socket.Get(), FIONBIO, &nonBlocking) == SOCKET_ERROR) {
        return MapSocketError(WSAGetLastError());
    }
    if (broadcast) {
        const BOOL on = TRUE;
        const int size = kBroadcastReceiveBuffer;
        if (setsockopt(socket.Get(), SOL_SOCKET, SO_BROADCAST, reinterpret_cast<const char*>(&on),
                       sizeof on) == SOCKET_ERROR ||
            setsockopt(socket.Get(), SOL_SOCKET, SO_RCVBUF, reinterpret_cast<const char*>(&size),
                       sizeof size) == SOCKET_ERROR) {
            return MapSocketError(WSAGetLastError());
        }
    }
    // Bound to any local address of the transport's family.
    ServerAddress local{};
    local.family = transport;
    if (bind(socket.Get(), reinterpret_cast<const sockaddr*>(&local), AddressLength(transport)) ==
        SOCKET_ERROR) {
        return MapSocketError(WSAGetLastError());
    }
    channel = std::make_unique<SocketChannel>(std::move(socket), destination);
    return kHlpOk;
}

std::int32_t SocketNetwork::Resolve(const char* hostName, std::uint8_t (&address)[4]) {
    const hostent* host = gethostbyname(hostName);
    if (host == nullptr) return MapSocketError(WSAGetLastError());
    if (host->h_addrtype != AF_INET || host->h_length != 4 || host->h_addr_list[0] == nullptr) {
        return kHlpHostNotFound;
    }
    std::memcpy(address, host->h_addr_list[0], 4);
    return kHlpOk;
}

}  // namespace kvr::browse
