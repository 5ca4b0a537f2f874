// Figures of the dial-out path under Wine, each against the bare transport
// measured in the same run:
//   a) round trip of one byte: driver -> service -> device -> back, against a
//      bare pipe round trip plus a bare loopback TCP round trip;
//   b) relay throughput of 1020-byte pieces against a bare pipe;
//   c) time from PipeOpen to PipeOpenResult with credentials ready, against
//      a bare TCP round trip;
//   d) 64 sessions streaming at once, every byte checked.
#include <winsock2.h>
#include <ws2tcpip.h>

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <thread>
#include <vector>

#include "Clock.h"
#include "DialOutRig.h"
#include "ReceiveFramer.h"
#include "WireCodec.h"

namespace {

using kvr::NowMs;

double Median(std::vector<double> values) {
    std::sort(values.begin(), values.end());
    return values[values.size() / 2];
}

// A message-mode pipe whose server thread echoes every message.
class BarePipe {
public:
    BarePipe() {
        m_name = L"\\\\.\\pipe\\kvrbench" + std::to_wstring(GetCurrentProcessId());
        m_server = CreateNamedPipeW(m_name.c_str(), PIPE_ACCESS_DUPLEX,
                                    PIPE_TYPE_MESSAGE | PIPE_READMODE_MESSAGE | PIPE_WAIT, 1, 0, 0, 1000, nullptr);
        m_thread = std::thread([this] {
            ConnectNamedPipe(m_server, nullptr);
            std::vector<char> buffer(4096);
            DWORD n = 0;
            while (ReadFile(m_server, buffer.data(), static_cast<DWORD>(buffer.size()), &n, nullptr) && n != 0) {
                if (m_echo) WriteFile(m_server, buffer.data(), n, &n, nullptr);
                m_received += n;
            }
        });
        m_client = CreateFileW(m_name.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, 0, nullptr);
        DWORD mode = PIPE_READMODE_MESSAGE;
        SetNamedPipeHandleState(m_client, &mode, nullptr, nullptr);
    }
    ~BarePipe() {
        CloseHandle(m_client);
        m_thread.join();
        CloseHandle(m_server);
    }
    double RoundTripMs(int rounds) {
        std::vector<double> times;
        char message[5] = {1, 2, 3, 4, 5};
        char reply[16];
        DWORD n = 0;
        for (int i = 0; i < rounds; ++i) {
            const double start = NowMs();
            WriteFile(m_client, message, sizeof(message), &n, nullptr);
            ReadFile(m_client, reply, sizeof(reply), &n, nullptr);
            times.push_back(NowMs() - start);
        }
        return Median(times);
    }
    // One-way streaming of 1024-byte messages, in MB/s.
    double StreamMBps(size_t bytes) {
        m_echo = false;
        const size_t start = m_received;
        std::vector<char> message(1024, 'x');
        const double begin = NowMs();
        DWORD n = 0;
        for (size_t sent = 0; sent < bytes; sent += message.size())
            WriteFile(m_client, message.data(), static_cast<DWORD>(message.size()), &n, nullptr);
        while (m_received - start < bytes) Sleep(0);
        return static_cast<double>(bytes) / 1048576.0 / ((NowMs() - begin) / 1000.0);
    }

private:
    std::wstring m_name;
    HANDLE m_server = INVALID_HANDLE_VALUE;
    HANDLE m_client = INVALID_HANDLE_VALUE;
    std::thread m_thread;
    std::atomic<bool> m_echo{true};
    std::atomic<size_t> m_received{0};
};

double BareTcpRoundTripMs(int rounds) {
    SOCKET listener = socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    bind(listener, reinterpret_cast<sockaddr*>(&address), sizeof(address));
    listen(listener, 1);
    int length = sizeof(address);
    getsockname(listener, reinterpret_cast<sockaddr*>(&address), &length);
    std::thread echo([listener] {
        SOCKET s = accept(listener, nullptr, nullptr);
        char buffer[64];
        int n = 0;
        while ((n = recv(s, buffer, sizeof(buffer), 0)) > 0) send(s, buffer, n, 0);
        closesocket(s);
    });
    SOCKET client = socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
    const BOOL on = TRUE;
    setsockopt(client, IPPROTO_TCP, TCP_NODELAY, reinterpret_cast<const char*>(&on), sizeof(on));
    connect(client, reinterpret_cast<sockaddr*>(&address), sizeof(address));
    std::vector<double> times;
    char byte[4] = {0, 0, 1, 'x'};  // the size of a one-byte data message
    for (int i = 0; i < rounds; ++i) {
        const double start = NowMs();
        send(client, byte, sizeof(byte), 0);
        int got = 0;
        while (got < static_cast<int>(sizeof(byte))) got += recv(client, byte + got, sizeof(byte) - got, 0);
        times.push_back(NowMs() - start);
    }
    closesocket(client);
    closesocket(listener);
    echo.join();
    return Median(times);
}

// The simulator's own share of a round trip: logged in and dialled straight
// over TCP, one-byte data messages echoed.
double DirectSimulatorRoundTripMs(unsigned short port, int rounds) {
    SOCKET s = socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
    const BOOL on = TRUE;
    setsockopt(s, IPPROTO_TCP, TCP_NODELAY, reinterpret_cast<const char*>(&on), sizeof(on));
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(port);
    inet_pton(AF_INET, "127.0.0.2", &address.sin_addr);
    if (connect(s, reinterpret_cast<sockaddr*>(&address), sizeof(address)) != 0) return -1;
    wire::ReceiveFramer framer;
    std::string text;
    auto readUntil = [&](auto done) {
        while (!done()) {
            const auto tail = framer.WritableTail();
            const int n = recv(s, reinterpret_cast<char*>(tail.data), static_cast<int>(tail.size), 0);
            if (n <= 0) return false;
            framer.Commit(static_cast<size_t>(n));
            framer.Drain([&](const wire::ServerMessage& m) {
                if (m.type == wire::kData) text.append(reinterpret_cast<const char*>(m.data), m.dataLength);
                if (m.type == wire::kLoginAccepted) text += "<accepted>";
            });
        }
        return true;
    };
    std::uint8_t message[64];
    send(s, reinterpret_cast<const char*>(message),
         static_cast<int>(wire::BuildLogin(message, sizeof(message), u"bench", nullptr, u"modem1")), 0);
    const std::uint8_t dial[] = "ATD1\r";
    send(s, reinterpret_cast<const char*>(message),
         static_cast<int>(wire::BuildData(message, sizeof(message), dial, sizeof(dial) - 1)), 0);
    if (!readUntil([&] { return text.find("CONNECT 28800\r\n") != std::string::npos; })) return -1;
    std::vector<double> times;
    for (int i = 0; i < rounds; ++i) {
        text.clear();
        const std::uint8_t byte = 'x';
        const double start = NowMs();
        send(s, reinterpret_cast<const char*>(message), static_cast<int>(wire::BuildData(message, sizeof(message), &byte, 1)), 0);
        if (!readUntil([&] { return !text.empty(); })) return -1;
        times.push_back(NowMs() - start);
    }
    closesocket(s);
    return Median(times);
}

bool Dial(portdrv::PortDriverClient& client) {
    const char command[] = "ATD1\r";
    if (!client.SendData(command, sizeof(command) - 1)) return false;
    std::string seen;
    while (seen.find("CONNECT 28800\r\n") == std::string::npos) {
        portdrv::Message m;
        if (client.Receive(m, 20000) != portdrv::ReadResult::Message) return false;
        if (m.type == portpipe::PipeData) seen.append(m.payload.begin(), m.payload.end());
    }
    return true;
}

double ServiceRoundTripMs(portdrv::PortDriverClient& client, int rounds) {
    std::vector<double> times;
    for (int i = 0; i < rounds; ++i) {
        const char byte = static_cast<char>('a' + i % 26);
        const double start = NowMs();
        client.SendData(&byte, 1);
        portdrv::Message m;
        do {
            if (client.Receive(m, 20000) != portdrv::ReadResult::Message) return -1;
        } while (m.type != portpipe::PipeData);
        times.push_back(NowMs() - start);
    }
    return Median(times);
}

// Streams bytes through an open, dialled port; the modem echoes them back.
// Returns MB/s each way, or -1 when a byte went missing or changed.
double Stream(portdrv::PortDriverClient& client, size_t bytes, unsigned seed) {
    std::vector<std::uint8_t> sent(bytes);
    for (size_t i = 0; i < bytes; ++i) sent[i] = static_cast<std::uint8_t>((i * 31 + seed) ^ (i >> 8));
    std::vector<std::uint8_t> received;
    received.reserve(bytes);
    const double begin = NowMs();
    std::thread reader([&] {
        portdrv::Message m;
        while (received.size() < bytes && client.Receive(m, 20000) == portdrv::ReadResult::Message)
            if (m.type == portpipe::PipeData) received.insert(received.end(), m.payload.begin(), m.payload.end());
    });
    for (size_t at = 0; at < bytes; at += 1020) client.SendData(sent.data() + at, std::min<size_t>(1020, bytes - at));
    reader.join();
    const double seconds = (NowMs() - begin) / 1000.0;
    return received == sent ? static_cast<double>(bytes) / 1048576.0 / seconds : -1;
}

}  // namespace

int main() {
    setvbuf(stdout, nullptr, _IONBF, 0);
    WSADATA wsa;
    WSAStartup(MAKEWORD(2, 2), &wsa);
    std::printf("Dial-out path under Wine (medians of repeated runs)\n\n");

    double barePipe = 0, bareTcp = 0, barePipeMBps = 0;
    {
        BarePipe pipe;
        barePipe = pipe.RoundTripMs(400);
        barePipeMBps = pipe.StreamMBps(8 << 20);
    }
    bareTcp = BareTcpRoundTripMs(400);

    DialOutRig rig("", "127.0.0.2", L"");
    if (!rig.Ready()) {
        std::printf("the service did not start\n");
        return 1;
    }
    auto medianOpenMs = [&rig] {
        std::vector<double> opens;
        for (int i = 0; i < 15; ++i) {
            portdrv::PortDriverClient client;
            if (!client.Connect(rig.PipeName(), 10000)) return -1.0;
            const double start = NowMs();
            client.SendOpen(rig.PortKey());
            portdrv::Message m;
            if (client.Receive(m, 20000) != portdrv::ReadResult::Message || m.type != portpipe::PipeOpenResult)
                return -1.0;
            opens.push_back(NowMs() - start);
        }
        return Median(opens);
    };
    const double open = medianOpenMs();
    // The same without the narration and modem windows, whose drawing competes
    // for the processor with the session.
    HKEY options = nullptr;
    RegCreateKeyExW(HKEY_LOCAL_MACHINE, reg::kRezorivKey, 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &options, nullptr);
    const DWORD off = 0;
    const wchar_t hidden[] = L"OFF";
    RegSetValueExW(options, reg::kNarrate, 0, REG_DWORD, reinterpret_cast<const BYTE*>(&off), sizeof(off));
    RegSetValueExW(options, reg::kModemLocation, 0, REG_SZ, reinterpret_cast<const BYTE*>(hidden), sizeof(hidden));
    const double openWithoutWindows = medianOpenMs();
    RegDeleteValueW(options, reg::kNarrate);
    RegDeleteValueW(options, reg::kModemLocation);
    RegCloseKey(options);

    portdrv::PortDriverClient client;
    if (!rig.Open(client) || !Dial(client)) {
        std::printf("the port did not open\n");
        return 1;
    }
    const double roundTrip = ServiceRoundTripMs(client, 400);
    const double relayMBps = Stream(client, 8 << 20, 1);

    const double direct = DirectSimulatorRoundTripMs(rig.SimulatorPort(), 400);
    std::printf("a) 1-byte echo round trip: %.3f ms through the service; bare pipe %.3f ms + bare TCP %.3f ms = %.3f ms"
                " -> service adds %.0f%%\n",
                roundTrip, barePipe, bareTcp, barePipe + bareTcp, 100.0 * (roundTrip / (barePipe + bareTcp) - 1.0));
    std::printf("   (the simulator alone, straight over TCP: %.3f ms; bare pipe + simulator = %.3f ms"
                " -> service adds %.0f%%)\n",
                direct, barePipe + direct, 100.0 * (roundTrip / (barePipe + direct) - 1.0));
    std::printf("b) relay of 1020-byte pieces: %.2f MB/s each way (echoed); bare pipe one way %.2f MB/s -> %.0f%%\n",
                relayMBps, barePipeMBps, 100.0 * relayMBps / barePipeMBps);
    std::printf("c) PipeOpen to PipeOpenResult with credentials ready: %.3f ms = %.1f bare TCP round trips"
                " (%.3f ms without the narration and modem windows)\n",
                open, open / bareTcp, openWithoutWindows);

    constexpr int kSessions = 64;
    constexpr size_t kBytesEach = 256 << 10;
    std::vector<std::unique_ptr<portdrv::PortDriverClient>> clients;
    for (int i = 0; i < kSessions; ++i) {
        clients.push_back(std::make_unique<portdrv::PortDriverClient>());
        if (!rig.Open(*clients.back()) || !Dial(*clients.back())) {
            std::printf("d) session %d did not open\n", i);
            return 1;
        }
    }
    std::atomic<int> intact{0};
    std::vector<double> rates(kSessions);
    const double begin = NowMs();
    std::vector<std::thread> streams;
    for (int i = 0; i < kSessions; ++i)
        streams.emplace_back([&, i] {
            rates[i] = Stream(*clients[i], kBytesEach, static_cast<unsigned>(i));
            if (rates[i] > 0) ++intact;
        });
    for (auto& t : streams) t.join();
    const double seconds = (NowMs() - begin) / 1000.0;
    std::printf("d) %d sessions x %zu KB each way: %d intact, %.2f MB/s in all each way, %.1f s\n", kSessions,
                kBytesEach >> 10, intact.load(), kSessions * (kBytesEach / 1048576.0) / seconds, seconds);
    return intact == kSessions ? 0 : 1;
}
