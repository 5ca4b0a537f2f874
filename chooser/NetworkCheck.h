#pragma once
// Whether a network transport is usable here: a datagram socket of its
// family can be opened.
#include <winsock2.h>

namespace kvr {

// Starts Windows Sockets 1.1 for its lifetime, and cleans up only if the
// start succeeded.
class SocketsGuard {
public:
    SocketsGuard();
    ~SocketsGuard();
    SocketsGuard(const SocketsGuard&) = delete;
    SocketsGuard& operator=(const SocketsGuard&) = delete;
    bool Started() const { return m_started; }

private:
    bool m_started = false;
};

inline constexpr int kFamilyIp = 2;
inline constexpr int kFamilyIpx = 6;

// Opens and closes at once a datagram socket of the family (2: UDP, 6: IPX
// protocol 1000); any other family, or no Windows Sockets, fails.
bool IsTransportAvailable(int family);

}  // namespace kvr
