// rasim: simulated remote access devices on loopback for end-to-end tests of
// the dial-out service. One thread runs a select loop over all listeners,
// connections and UDP sockets (SNMP agents, discovery); a second one only
// watches standard input for its end.
#include <winsock2.h>
#include <ws2tcpip.h>
#include <windows.h>
#include <fcntl.h>
#include <io.h>
#include <shellapi.h>

#include <atomic>
#include <cstdio>
#include <list>
#include <memory>
#include <string>
#include <vector>

#include "AccessPolicy.h"
#include "Options.h"
#include "Session.h"
#include "UdpResponders.h"
#include "framework/Handles.h"

namespace {

using namespace rasim;

std::atomic<bool> g_stop{false};

constexpr std::size_t kReadChunk = 65536;
constexpr std::uint64_t kLingerMs = 5000;     // wait for the peer to close after a disconnect
constexpr long kPollMs = 100;                 // how soon a stop request is seen

void Emit(const std::string& line) {
    std::fputs(line.c_str(), stdout);
    std::fputc('\n', stdout);
    std::fflush(stdout);
}

std::string PeerText(const sockaddr_in& peer) {
    return AddressText(ntohl(peer.sin_addr.s_addr), ntohs(peer.sin_port));
}

BOOL WINAPI OnConsoleControl(DWORD) {
    g_stop = true;
    return TRUE;
}

DWORD WINAPI WatchStdin(void* handle) {
    char buffer[256];
    DWORD got = 0;
    while (ReadFile(static_cast<HANDLE>(handle), buffer, sizeof buffer, &got, nullptr) && got > 0) {
    }
    g_stop = true;
    return 0;
}

struct Device {
    DeviceConfig config;
    std::unique_ptr<AccessPolicy> policy;
    kvr::UniqueSocket listener;
};

struct Connection {
    int id = 0;
    kvr::UniqueSocket socket;
    std::unique_ptr<Session> session;
    bool draining = false;     // our side is shut, waiting for the peer's close
    std::uint64_t drainUntil = 0;
    std::uint64_t received = 0, transmitted = 0;
    std::string closeReason;   // set when the connection is done
};

void SetNonBlocking(SOCKET s) {
    u_long on = 1;
    ioctlsocket(s, FIONBIO, &on);
}

bool OpenListener(Device& device) {
    device.listener.Reset(socket(AF_INET, SOCK_STREAM, IPPROTO_TCP));
    if (!device.listener) return false;
    BOOL exclusive = TRUE;
    setsockopt(device.listener.Get(), SOL_SOCKET, SO_EXCLUSIVEADDRUSE,
               reinterpret_cast<const char*>(&exclusive), sizeof exclusive);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(device.config.address);
    address.sin_port = htons(device.config.tcpPort);
    if (bind(device.listener.Get(), reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 ||
        listen(device.listener.Get(), SOMAXCONN) != 0)
        return false;
    int length = sizeof address;
    if (getsockname(device.listener.Get(), reinterpret_cast<sockaddr*>(&address), &length) == 0)
        device.config.tcpPort = ntohs(address.sin_port);
    SetNonBlocking(device.listener.Get());
    return true;
}

class Server {
public:
    Server(std::vector<Device>& devices, UdpResponders& udp, std::uint32_t guardMs)
        : m_devices(devices), m_udp(udp), m_guardMs(guardMs) {}

    void Run() {
        while (!g_stop) {
            PollOnce();
        }
        for (auto& c : m_connections) Emit("CLOSED " + std::to_string(c.id) + " reason=stopped");
    }

private:
    void PollOnce() {
        fd_set readable, writable;
        FD_ZERO(&readable);
        FD_ZERO(&writable);
        for (auto& device : m_devices) FD_SET(device.listener.Get(), &readable);
        m_udp.AddTo(readable);
        std::uint64_t now = GetTickCount64();
        long waitMs = kPollMs;
        for (auto& c : m_connections) {
            // A peer that does not read its answers is not read either.
            if (!c.session->Backlogged() && readable.fd_count < FD_SETSIZE)
                FD_SET(c.socket.Get(), &readable);
            if (c.session->WantsToSend() && writable.fd_count < FD_SETSIZE)
                FD_SET(c.socket.Get(), &writable);
            const std::uint64_t deadline = c.session->NextDeadline();
            if (deadline != 0)
                waitMs = deadline <= now ? 0 : std::min<long>(waitMs, static_cast<long>(deadline - now));
        }
        timeval timeout{0, static_cast<long>(waitMs * 1000)};
        if (select(0, &readable, &writable, nullptr, &timeout) == SOCKET_ERROR) {
            Sleep(10);  // a socket closed under us; the next pass rebuilds the sets
            FD_ZERO(&readable);
            FD_ZERO(&writable);
        }
        now = GetTickCount64();
        for (std::size_t i = 0; i < m_devices.size(); ++i)
            if (FD_ISSET(m_devices[i].listener.Get(), &readable)) Accept(m_devices[i]);
        m_udp.Serve(readable);
        for (auto& c : m_connections) {
            if (FD_ISSET(c.socket.Get(), &readable)) Receive(c, now);
            if (c.closeReason.empty()) c.session->OnTick(now);
            if (c.closeReason.empty()) Flush(c);
            if (c.closeReason.empty()) c.session->Pump(now);
            if (c.closeReason.empty()) Flush(c);
            if (c.closeReason.empty()) ApplyCloseRequest(c, now);
        }
        for (auto it = m_connections.begin(); it != m_connections.end();) {
            if (it->closeReason.empty()) {
                ++it;
                continue;
            }
            Emit("CLOSED " + std::to_string(it->id) + " reason=" + it->closeReason +
                 " received=" + std::to_string(it->received) +
                 " sent=" + std::to_string(it->transmitted));
            it = m_connections.erase(it);
        }
    }

    void Accept(Device& device) {
        for (;;) {
            sockaddr_in peer{};
            int length = sizeof peer;
            kvr::UniqueSocket s(accept(device.listener.Get(), reinterpret_cast<sockaddr*>(&peer), &length));
            if (!s) return;
            SetNonBlocking(s.Get());
            BOOL noDelay = TRUE;
            setsockopt(s.Get(), IPPROTO_TCP, TCP_NODELAY, reinterpret_cast<const char*>(&noDelay),
                       sizeof noDelay);
            Connection c;
            c.id = ++m_lastId;
            c.socket = std::move(s);
            c.session = std::make_unique<Session>(c.id, device.config, *device.policy, m_guardMs, Emit);
            Emit("CONNECTED " + std::to_string(c.id) + " device=" + device.config.name +
                 " peer=" + PeerText(peer) +
                 " local=" + AddressText(device.config.address, device.config.tcpPort));
            m_connections.push_back(std::move(c));
        }
    }

    void Receive(Connection& c, std::uint64_t now) {
        const int n = recv(c.socket.Get(), m_buffer, static_cast<int>(sizeof m_buffer), 0);
        if (n > 0) {
            c.received += static_cast<std::uint64_t>(n);
            if (!c.draining)
                c.session->OnBytes(reinterpret_cast<const std::uint8_t*>(m_buffer),
                                   static_cast<std::size_t>(n), now);
        } else if (n == 0) {
            c.closeReason = c.draining ? "disconnected" : "peer-closed";
        } else if (WSAGetLastError() != WSAEWOULDBLOCK) {
            c.closeReason = c.draining ? "disconnected" : "error-" + std::to_string(WSAGetLastError());
        }
    }

    void Flush(Connection& c) {
        Bytes& out = c.session->Outgoing();
        std::size_t sent = 0;
        while (sent < out.size()) {
            const int n = send(c.socket.Get(), reinterpret_cast<const char*>(out.data() + sent),
                               static_cast<int>(std::min<std::size_t>(out.size() - sent, kReadChunk)), 0);
            if (n > 0) {
                sent += static_cast<std::size_t>(n);
                c.transmitted += static_cast<std::uint64_t>(n);
            } else {
                if (WSAGetLastError() != WSAEWOULDBLOCK)
                    c.closeReason = "error-" + std::to_string(WSAGetLastError());
                break;
            }
        }
        out.erase(out.begin(), out.begin() + static_cast<std::ptrdiff_t>(sent));
    }

    void ApplyCloseRequest(Connection& c, std::uint64_t now) {
        switch (c.session->Close()) {
        case Session::CloseRequest::kNone:
            break;
        case Session::CloseRequest::kNow:
            c.closeReason = "dropped";
            break;
        case Session::CloseRequest::kAfterFlush:
            if (c.draining) {
                if (now >= c.drainUntil) c.closeReason = "disconnected-no-peer-close";
            } else if (c.session->Outgoing().empty()) {
                // Shut our side but keep reading: closing with unread input would
                // reset the connection and could destroy the answer in flight.
                shutdown(c.socket.Get(), SD_SEND);
                c.draining = true;
                c.drainUntil = now + kLingerMs;
            }
            break;
        }
    }

    std::vector<Device>& m_devices;
    UdpResponders& m_udp;
    std::uint32_t m_guardMs;
    std::list<Connection> m_connections;
    int m_lastId = 0;
    char m_buffer[kReadChunk];
};

std::vector<std::string> Arguments() {
    std::vector<std::string> args;
    int count = 0;
    LPWSTR* argv = CommandLineToArgvW(GetCommandLineW(), &count);
    if (argv == nullptr) return args;
    for (int i = 1; i < count; ++i) {
        // The wire carries the low byte of each character, so that is what is compared.
        std::string arg;
        for (const wchar_t* p = argv[i]; *p; ++p) arg.push_back(static_cast<char>(*p & 0xFF));
        args.push_back(arg);
    }
    LocalFree(argv);
    return args;
}

// Opens every socket, serves until stopped; every socket is closed on return,
// before the socket layer is.
int RunDevices(const Config& config) {
    std::vector<Device> devices(config.devices.size());
    for (std::size_t i = 0; i < devices.size(); ++i) {
        devices[i].config = config.devices[i];
        devices[i].policy = std::make_unique<AccessPolicy>(devices[i].config);
        if (!OpenListener(devices[i])) {
            std::fprintf(stderr, "rasim: cannot listen on %s: error %d\n",
                         AddressText(devices[i].config.address, devices[i].config.tcpPort).c_str(),
                         WSAGetLastError());
            return 1;
        }
    }
    UdpResponders udp(config.devices, config.discoveryPort, Emit);
    std::string error;
    if (!udp.Open(error)) {
        std::fprintf(stderr, "rasim: %s\n", error.c_str());
        return 1;
    }
    SetConsoleCtrlHandler(OnConsoleControl, TRUE);
    kvr::UniqueHandle watcher;
    const HANDLE input = GetStdHandle(STD_INPUT_HANDLE);
    if (config.watchStdin && input != nullptr && input != INVALID_HANDLE_VALUE)
        watcher.Reset(CreateThread(nullptr, 0, WatchStdin, input, 0, nullptr));
    for (const auto& device : devices)
        Emit("READY " + AddressText(device.config.address, device.config.tcpPort));
    udp.AnnounceReady();  // after every READY: some parents take the first "READY " they see
    {
        Server server(devices, udp, config.guardMs);
        server.Run();
    }
    Emit("STOPPED");
    // The watcher may still sit in ReadFile; leaving the process ends it.
    return 0;
}

}  // namespace

int main() {
    _setmode(_fileno(stdout), _O_BINARY);  // lines end in LF only
    Config config;
    std::string error;
    if (!ParseCommandLine(Arguments(), config, error)) {
        std::fprintf(stderr, "rasim: %s\n%s", error.c_str(), kUsage);
        return 2;
    }
    if (config.help) {
        std::fputs(kUsage, stdout);
        return 0;
    }
    WSADATA wsa;
    if (WSAStartup(MAKEWORD(2, 2), &wsa) != 0) {
        std::fprintf(stderr, "rasim: the socket layer did not start\n");
        return 1;
    }
    const int code = RunDevices(config);
    WSACleanup();
    return code;
}
