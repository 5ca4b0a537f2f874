#pragma once
// The UDP side of the simulated devices: the devices' SNMP agents and one
// discovery socket per process answering for every device with --discovery.
// The sockets join the main select loop; none needs a thread.
//
// Under Wine a UDP bind to a 127.x address other than 127.0.0.1 becomes a
// bind to 0.0.0.0, so devices cannot each own port 161 of their address.
// Devices sharing a port therefore share one socket, and each request goes
// to the device its destination address names (IP_PKTINFO).
#include <winsock2.h>
#include <mswsock.h>

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "DeviceMib.h"
#include "Options.h"
#include "SnmpAgent.h"
#include "framework/Handles.h"

namespace rasim {

using EmitFn = std::function<void(const std::string&)>;

std::string AddressText(std::uint32_t address, std::uint16_t port);

// A UDP socket that tells each datagram's destination address and can send
// from a chosen source address, where the stack allows.
class DatagramSocket {
public:
    struct Datagram {
        const std::uint8_t* data = nullptr;
        std::size_t length = 0;
        sockaddr_in peer{};
        std::uint32_t destination = 0;  // host order; 0 when the stack did not say
    };

    // shared: other sockets (other processes) may bind the same port.
    bool Open(std::uint32_t address, std::uint16_t port, bool shared, int& error);
    SOCKET Get() const { return m_socket.Get(); }
    std::uint16_t Port() const { return m_port; }

    // Calls handle for each datagram waiting, a bounded number per call so a
    // flood on one socket cannot starve the others.
    void Drain(const std::function<void(const Datagram&)>& handle);
    // Sends to a single host only; source 0 lets the stack choose.
    bool SendTo(const sockaddr_in& peer, std::uint32_t source, const std::uint8_t* data, std::size_t length);

private:
    kvr::UniqueSocket m_socket;
    std::uint16_t m_port = 0;
    LPFN_WSARECVMSG m_recvMsg = nullptr;
    bool m_sourceSettable = true;  // cleared when the stack refuses a chosen source
};

// One device's agent: its objects and its answers.
class DeviceAgent {
public:
    explicit DeviceAgent(const DeviceConfig& device);

    const DeviceConfig& Device() const { return m_device; }
    std::size_t Answer(const std::uint8_t* request, std::size_t length, std::uint8_t* out,
                       std::size_t capacity, AnswerNote& note) const {
        return m_agent.Answer(request, length, out, capacity, &note);
    }

private:
    DeviceConfig m_device;
    DeviceMib m_mib;
    SnmpAgent m_agent;
};

// One SNMP port and the devices answering on it.
class AgentPort {
public:
    AgentPort(std::uint16_t port, EmitFn emit) : m_requestedPort(port), m_emit(std::move(emit)) {}

    void Add(const DeviceAgent* device) { m_devices.push_back(device); }
    bool Open(int& error);
    std::uint16_t RequestedPort() const { return m_requestedPort; }
    const DatagramSocket& Socket() const { return m_socket; }
    const std::vector<const DeviceAgent*>& Devices() const { return m_devices; }
    void OnReadable();

private:
    const DeviceAgent* DeviceFor(std::uint32_t destination) const;

    std::uint16_t m_requestedPort;
    EmitFn m_emit;
    std::vector<const DeviceAgent*> m_devices;
    DatagramSocket m_socket;
};

// The process's discovery port on 0.0.0.0: every request is answered by each
// discovering device, always back to the requester, never to a broadcast.
class DiscoveryResponder {
public:
    DiscoveryResponder(std::vector<const DeviceAgent*> devices, EmitFn emit)
        : m_devices(std::move(devices)), m_emit(std::move(emit)) {}

    bool Open(std::uint16_t port, int& error) { return m_socket.Open(INADDR_ANY, port, true, error); }
    const DatagramSocket& Socket() const { return m_socket; }
    void OnReadable();

private:
    std::vector<const DeviceAgent*> m_devices;
    EmitFn m_emit;
    DatagramSocket m_socket;
};

// All UDP sockets of the process, for the select loop.
class UdpResponders {
public:
    UdpResponders(const std::vector<DeviceConfig>& devices, std::uint16_t discoveryPort, EmitFn emit);

    // Opens every socket; on failure returns false with a message for stderr.
    bool Open(std::string& error);
    // The SNMP-READY and DISCOVERY-READY lines.
    void AnnounceReady() const;
    void AddTo(fd_set& readable) const;
    void Serve(fd_set& readable);

private:
    std::vector<std::unique_ptr<DeviceAgent>> m_agents;
    std::vector<std::unique_ptr<AgentPort>> m_ports;
    std::unique_ptr<DiscoveryResponder> m_discovery;  // null when no device discovers
    std::uint16_t m_discoveryPort;
    EmitFn m_emit;
};

}  // namespace rasim
