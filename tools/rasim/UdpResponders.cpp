#include "UdpResponders.h"

#include <ws2tcpip.h>

#include <cstring>
#include <map>

#include "LogText.h"

namespace rasim {
namespace {

constexpr std::size_t kDatagramBuffer = 4096;
// An answer fits one Ethernet frame, as with common agents.
constexpr std::size_t kMaxAnswer = 1472;
constexpr int kBurst = 64;

std::string PeerText(const sockaddr_in& peer) {
    return AddressText(ntohl(peer.sin_addr.s_addr), ntohs(peer.sin_port));
}

// Only a single host gets an answer: broadcast, multicast and "any" peers are
// dropped, and the sockets never get SO_BROADCAST, so the stack refuses a
// send to a broadcast address anyway.
bool IsUnicastPeer(const sockaddr_in& peer) {
    const std::uint32_t address = ntohl(peer.sin_addr.s_addr);
    return address != INADDR_ANY && address != INADDR_BROADCAST && (address >> 28) < 0xE && peer.sin_port != 0;
}

std::uint32_t DestinationOf(WSAMSG& message) {
    for (WSACMSGHDR* c = WSA_CMSG_FIRSTHDR(&message); c != nullptr; c = WSA_CMSG_NXTHDR(&message, c)) {
        if (c->cmsg_level == IPPROTO_IP && c->cmsg_type == IP_PKTINFO) {
            IN_PKTINFO info;
            std::memcpy(&info, WSA_CMSG_DATA(c), sizeof info);
            return ntohl(info.ipi_addr.s_addr);
        }
    }
    return 0;
}

}  // namespace

std::string AddressText(std::uint32_t address, std::uint16_t port) {
    return std::to_string(address >> 24) + "." + std::to_string((address >> 16) & 0xFF) + "." +
           std::to_string((address >> 8) & 0xFF) + "." + std::to_string(address & 0xFF) + ":" +
           std::to_string(port);
}

bool DatagramSocket::Open(std::uint32_t address, std::uint16_t port, bool shared, int& error) {
    m_socket.Reset(socket(AF_INET, SOCK_DGRAM, IPPROTO_UDP));
    if (!m_socket) {
        error = WSAGetLastError();
        return false;
    }
    BOOL on = TRUE;
    setsockopt(m_socket.Get(), SOL_SOCKET, shared ? SO_REUSEADDR : SO_EXCLUSIVEADDRUSE,
               reinterpret_cast<const char*>(&on), sizeof on);
    DWORD pktInfo = 1;
    setsockopt(m_socket.Get(), IPPROTO_IP, IP_PKTINFO, reinterpret_cast<const char*>(&pktInfo), sizeof pktInfo);
    sockaddr_in local{};
    local.sin_family = AF_INET;
    local.sin_addr.s_addr = htonl(address);
    local.sin_port = htons(port);
    if (bind(m_socket.Get(), reinterpret_cast<sockaddr*>(&local), sizeof local) != 0) {
        error = WSAGetLastError();
        m_socket.Reset();
        return false;
    }
    m_port = port;
    int length = sizeof local;
    if (getsockname(m_socket.Get(), reinterpret_cast<sockaddr*>(&local), &length) == 0)
        m_port = ntohs(local.sin_port);
    u_long nonBlocking = 1;
    ioctlsocket(m_socket.Get(), FIONBIO, &nonBlocking);
    GUID id = WSAID_WSARECVMSG;
    DWORD got = 0;
    if (WSAIoctl(m_socket.Get(), SIO_GET_EXTENSION_FUNCTION_POINTER, &id, sizeof id, &m_recvMsg,
                 sizeof m_recvMsg, &got, nullptr, nullptr) != 0)
        m_recvMsg = nullptr;
    return true;
}

void DatagramSocket::Drain(const std::function<void(const Datagram&)>& handle) {
    std::uint8_t buffer[kDatagramBuffer];
    for (int i = 0; i < kBurst; ++i) {
        Datagram d;
        int received = SOCKET_ERROR;
        if (m_recvMsg != nullptr) {
            char control[WSA_CMSG_SPACE(sizeof(IN_PKTINFO))] = {};
            WSABUF data{static_cast<ULONG>(sizeof buffer), reinterpret_cast<char*>(buffer)};
            WSAMSG message{};
            message.name = reinterpret_cast<sockaddr*>(&d.peer);
            message.namelen = sizeof d.peer;
            message.lpBuffers = &data;
            message.dwBufferCount = 1;
            message.Control = {static_cast<ULONG>(sizeof control), control};
            DWORD bytes = 0;
            if (m_recvMsg(m_socket.Get(), &message, &bytes, nullptr, nullptr) == 0) {
                received = static_cast<int>(bytes);
                d.destination = DestinationOf(message);
            }
        } else {
            int peerLength = sizeof d.peer;
            received = recvfrom(m_socket.Get(), reinterpret_cast<char*>(buffer), static_cast<int>(sizeof buffer), 0,
                                reinterpret_cast<sockaddr*>(&d.peer), &peerLength);
        }
        if (received >= 0) {
            d.data = buffer;
            d.length = static_cast<std::size_t>(received);
            handle(d);
            continue;
        }
        const int error = WSAGetLastError();
        // An ICMP "port unreachable" for an earlier answer, or an oversized
        // datagram: skip it and read on.
        if (error != WSAECONNRESET && error != WSAEMSGSIZE) return;
    }
}

constexpr int kSendAttempts = 100;  // 10 ms apart

bool DatagramSocket::SendTo(const sockaddr_in& peer, std::uint32_t source, const std::uint8_t* data,
                            std::size_t length) {
    if (!IsUnicastPeer(peer)) return false;
    if (source != 0 && m_sourceSettable) {
        // The answer should come from the device's own address, as a client
        // with a connected socket expects.
        char control[WSA_CMSG_SPACE(sizeof(IN_PKTINFO))] = {};
        WSAMSG message{};
        WSABUF buffer{static_cast<ULONG>(length), reinterpret_cast<char*>(const_cast<std::uint8_t*>(data))};
        message.name = reinterpret_cast<sockaddr*>(const_cast<sockaddr_in*>(&peer));
        message.namelen = sizeof peer;
        message.lpBuffers = &buffer;
        message.dwBufferCount = 1;
        message.Control = {static_cast<ULONG>(sizeof control), control};
        WSACMSGHDR* header = WSA_CMSG_FIRSTHDR(&message);
        header->cmsg_level = IPPROTO_IP;
        header->cmsg_type = IP_PKTINFO;
        header->cmsg_len = WSA_CMSG_LEN(sizeof(IN_PKTINFO));
        IN_PKTINFO info{};
        info.ipi_addr.s_addr = htonl(source);
        std::memcpy(WSA_CMSG_DATA(header), &info, sizeof info);
        DWORD sent = 0;
        if (WSASendMsg(m_socket.Get(), &message, 0, &sent, nullptr, nullptr) == 0) return sent == length;
        m_sourceSettable = false;
    }
    // A burst of answers (a hundred devices at once) can fill the send queue:
    // wait for room rather than lose an answer.
    for (int attempt = 0; attempt < kSendAttempts; ++attempt) {
        if (sendto(m_socket.Get(), reinterpret_cast<const char*>(data), static_cast<int>(length), 0,
                   reinterpret_cast<const sockaddr*>(&peer), sizeof peer) == static_cast<int>(length))
            return true;
        if (WSAGetLastError() != WSAEWOULDBLOCK) return false;
        fd_set writable;
        FD_ZERO(&writable);
        FD_SET(m_socket.Get(), &writable);
        timeval wait{0, 10000};
        select(0, nullptr, &writable, nullptr, &wait);
    }
    return false;
}

DeviceAgent::DeviceAgent(const DeviceConfig& device)
    : m_device(device), m_mib(m_device), m_agent(m_mib, AgentSettings::From(m_device.snmp)) {}

bool AgentPort::Open(int& error) {
    // The port must be ours alone: a shared one would let another simulator
    // take its requests.
    const std::uint32_t address = m_devices.size() == 1 ? m_devices[0]->Device().address : INADDR_ANY;
    return m_socket.Open(address, m_requestedPort, false, error);
}

const DeviceAgent* AgentPort::DeviceFor(std::uint32_t destination) const {
    if (destination == 0) return m_devices.size() == 1 ? m_devices[0] : nullptr;
    for (const DeviceAgent* device : m_devices)
        if (device->Device().address == destination) return device;
    return nullptr;
}

void AgentPort::OnReadable() {
    m_socket.Drain([this](const DatagramSocket::Datagram& d) {
        const DeviceAgent* device = DeviceFor(d.destination);
        if (device == nullptr) {
            m_emit("SNMP-IGNORED peer=" + PeerText(d.peer) + " to=" + AddressText(d.destination, m_socket.Port()) +
                   " no-such-device");
            return;
        }
        std::uint8_t answer[kMaxAnswer];
        AnswerNote note;
        const std::size_t n = device->Answer(d.data, d.length, answer, sizeof answer, note);
        if (device->Device().snmp.silent) {
            note.result = AnswerResult::kIgnoredSilent;
        } else if (n != 0) {
            m_socket.SendTo(d.peer, device->Device().address, answer, n);
        }
        m_emit("SNMP " + EscapeField(device->Device().name) + " " + Describe(note));
    });
}

void DiscoveryResponder::OnReadable() {
    m_socket.Drain([this](const DatagramSocket::Datagram& d) {
        for (const DeviceAgent* device : m_devices) {
            std::uint8_t answer[kMaxAnswer];
            AnswerNote note;
            const std::size_t n = device->Answer(d.data, d.length, answer, sizeof answer, note);
            long replies = 0;
            for (long i = 0; n != 0 && i < device->Device().snmp.discoveryReplies; ++i)
                if (m_socket.SendTo(d.peer, 0, answer, n)) ++replies;
            m_emit("DISCOVERY " + EscapeField(device->Device().name) + " peer=" + PeerText(d.peer) +
                   " replies=" + std::to_string(replies) + " " + Describe(note));
        }
    });
}

UdpResponders::UdpResponders(const std::vector<DeviceConfig>& devices, std::uint16_t discoveryPort, EmitFn emit)
    : m_discoveryPort(discoveryPort) {
    std::map<std::uint16_t, AgentPort*> byPort;
    std::vector<const DeviceAgent*> discovering;
    for (const auto& device : devices) {
        m_agents.push_back(std::make_unique<DeviceAgent>(device));
        const DeviceAgent* agent = m_agents.back().get();
        if (device.snmp.discovery) discovering.push_back(agent);
        // Only a device given --snmp-port has an agent: under Wine every UDP
        // bind to 127.x is a bind to 0.0.0.0, so agents on a default port
        // would take each other's requests across parallel tests.
        if (!device.snmp.portGiven) continue;
        // Port 0 asks for a free port of the device's own.
        AgentPort*& port = byPort[device.snmp.port];
        if (port == nullptr || device.snmp.port == 0) {
            m_ports.push_back(std::make_unique<AgentPort>(device.snmp.port, emit));
            port = m_ports.back().get();
        }
        port->Add(agent);
    }
    if (!discovering.empty()) m_discovery = std::make_unique<DiscoveryResponder>(std::move(discovering), emit);
    m_emit = std::move(emit);
}

bool UdpResponders::Open(std::string& error) {
    int code = 0;
    for (auto& port : m_ports) {
        if (!port->Open(code)) {
            const DeviceConfig& first = port->Devices().front()->Device();
            error = "cannot open the SNMP agent on UDP " + AddressText(first.address, port->RequestedPort()) +
                    ": error " + std::to_string(code);
            return false;
        }
    }
    if (m_discovery && !m_discovery->Open(m_discoveryPort, code)) {
        error = "cannot open the discovery port UDP " + AddressText(INADDR_ANY, m_discoveryPort) + ": error " +
                std::to_string(code);
        return false;
    }
    return true;
}

void UdpResponders::AnnounceReady() const {
    for (const auto& port : m_ports)
        for (const DeviceAgent* device : port->Devices())
            m_emit("SNMP-READY " + AddressText(device->Device().address, port->Socket().Port()));
    if (m_discovery) m_emit("DISCOVERY-READY " + AddressText(INADDR_ANY, m_discovery->Socket().Port()));
}

void UdpResponders::AddTo(fd_set& readable) const {
    for (const auto& port : m_ports)
        if (readable.fd_count < FD_SETSIZE) FD_SET(port->Socket().Get(), &readable);
    if (m_discovery && readable.fd_count < FD_SETSIZE) FD_SET(m_discovery->Socket().Get(), &readable);
}

void UdpResponders::Serve(fd_set& readable) {
    for (auto& port : m_ports)
        if (FD_ISSET(port->Socket().Get(), &readable)) port->OnReadable();
    if (m_discovery && FD_ISSET(m_discovery->Socket().Get(), &readable)) m_discovery->OnReadable();
}

}  // namespace rasim
