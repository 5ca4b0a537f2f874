#include "NetworkCheck.h"

#include "Handles.h"

namespace kvr {

namespace {
constexpr int kIpxDatagramProtocol = 1000;
}

SocketsGuard::SocketsGuard() {
    WSADATA data;
    m_started = ::WSAStartup(MAKEWORD(1, 1), &data) == 0;
}

SocketsGuard::~SocketsGuard() {
    if (m_started) ::WSACleanup();
}

bool IsTransportAvailable(int family) {
    int protocol = 0;
    if (family == kFamilyIp) protocol = IPPROTO_UDP;
    else if (family == kFamilyIpx) protocol = kIpxDatagramProtocol;
    else return false;
    // A socket needs a started stack; ask one of our own so the answer does
    // not depend on who else started it.
    SocketsGuard guard;
    if (!guard.Started()) return false;
    const UniqueSocket socket(::socket(family, SOCK_DGRAM, protocol));
    return socket.IsValid();
}

}  // namespace kvr
