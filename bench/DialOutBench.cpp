// Figures of the dial-out path under Wine, each against the bare transport
// measured in the same run (medians of several runs):
//   bare figures: a message-mode pipe (round trip, one-way stream) and TCP;
//   the simulator's own ceiling straight over TCP (echo, swallow, flood);
//   a) 1-byte echo round trip through the service;
//   b) relay of 1020-byte pieces one direction at a time, and both at once
//      (the echo), with the service's CPU time per MB;
//   c) PipeOpen to PipeOpenResult with credentials ready;
//   d) 255 sessions streaming both ways at once, every byte checked, with the
//      service's threads, handles and memory before, during and after;
//   e) 1000 open and close cycles, and how soon the service is back at idle.
#include <winsock2.h>
#include <ws2tcpip.h>
#include <psapi.h>
#include <tlhelp32.h>

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <functional>
#include <thread>
#include <vector>

#include "Clock.h"
#include "DialOutRig.h"
#include "ReceiveFramer.h"
#include "Registry.h"
#include "WireCodec.h"

namespace {

using kvr::NowMs;

constexpr int kRuns = 3;
constexpr size_t kStreamBytes = 8 << 20;

double Median(std::vector<double> values) {
    if (values.empty()) return -1;
    std::sort(values.begin(), values.end());
    return values[values.size() / 2];
}

double MBps(size_t bytes, double ms) { return ms > 0 ? static_cast<double>(bytes) / 1048576.0 / (ms / 1000.0) : -1; }

// A pattern that shows a lost, doubled or reordered piece.
std::vector<std::uint8_t> Pattern(size_t bytes, unsigned seed) {
    std::vector<std::uint8_t> data(bytes);
    for (size_t i = 0; i < bytes; ++i) data[i] = static_cast<std::uint8_t>((i * 31 + seed) ^ (i >> 8));
    return data;
}

bool IsFlood(const std::vector<std::uint8_t>& data) {
    for (size_t i = 0; i < data.size(); ++i)
        if (data[i] != static_cast<std::uint8_t>((i ^ (i >> 8)) & 0xFF)) return false;
    return true;
}

// --- The service process as the operating system sees it ---------------------

struct ProcessFigures {
    DWORD threads = 0;
    DWORD handles = 0;
    double residentMB = 0;
    double cpuSeconds = 0;
};

// Wine gives no handle count per process, but lists every handle of the
// system: the service's are counted there.
DWORD HandlesOf(DWORD id) {
    using Query = LONG(WINAPI*)(ULONG, PVOID, ULONG, PULONG);
    static const auto query =
        reinterpret_cast<Query>(GetProcAddress(GetModuleHandleW(L"ntdll.dll"), "NtQuerySystemInformation"));
    struct Entry {
        ULONG process;
        UCHAR type, flags;
        USHORT handle;
        PVOID object;
        ACCESS_MASK access;
    };
    constexpr ULONG kSystemHandleInformation = 16;
    static std::vector<std::uint8_t> buffer(8 << 20);
    ULONG length = 0;
    if (query == nullptr ||
        query(kSystemHandleInformation, buffer.data(), static_cast<ULONG>(buffer.size()), &length) != 0)
        return 0;
    const ULONG count = *reinterpret_cast<const ULONG*>(buffer.data());
    const auto* entries = reinterpret_cast<const Entry*>(buffer.data() + sizeof(ULONG_PTR));
    DWORD mine = 0;
    for (ULONG i = 0; i < count; ++i) mine += entries[i].process == id;
    return mine;
}

class ProcessWatch {
public:
    explicit ProcessWatch(DWORD id)
        : m_id(id), m_process(OpenProcess(PROCESS_QUERY_INFORMATION | PROCESS_VM_READ, FALSE, id)) {}
    ~ProcessWatch() {
        if (m_process != nullptr) CloseHandle(m_process);
    }
    ProcessFigures Sample() const {
        ProcessFigures f;
        if (m_process == nullptr) return f;
        f.handles = HandlesOf(m_id);
        PROCESS_MEMORY_COUNTERS memory{};
        memory.cb = sizeof(memory);
        if (K32GetProcessMemoryInfo(m_process, &memory, sizeof(memory)))
            f.residentMB = static_cast<double>(memory.WorkingSetSize) / 1048576.0;
        FILETIME created, exited, kernel, user;
        if (GetProcessTimes(m_process, &created, &exited, &kernel, &user))
            f.cpuSeconds = (Ticks(kernel) + Ticks(user)) / 1e7;
        const HANDLE snapshot = CreateToolhelp32Snapshot(TH32CS_SNAPTHREAD, 0);
        if (snapshot != INVALID_HANDLE_VALUE) {
            THREADENTRY32 entry{};
            entry.dwSize = sizeof(entry);
            for (BOOL more = Thread32First(snapshot, &entry); more; more = Thread32Next(snapshot, &entry))
                f.threads += entry.th32OwnerProcessID == m_id;
            CloseHandle(snapshot);
        }
        return f;
    }

private:
    static double Ticks(const FILETIME& t) {
        return static_cast<double>((static_cast<ULONGLONG>(t.dwHighDateTime) << 32) | t.dwLowDateTime);
    }
    DWORD m_id;
    HANDLE m_process;
};

void PrintFigures(const char* when, const ProcessFigures& f) {
    std::printf("   %-8s %4lu threads, %5lu handles, %7.1f MB resident\n", when, static_cast<unsigned long>(f.threads),
                static_cast<unsigned long>(f.handles), f.residentMB);
}

// --- Bare transports ----------------------------------------------------------------

// A message-mode pipe whose server thread echoes every message, or only reads.
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
        m_echo = true;
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
        return MBps(bytes, NowMs() - begin);
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

// --- The simulator straight over TCP ---------------------------------------------

class DirectDevice {
public:
    // Logs in and sends the dial command; false if the modem does not connect.
    bool Dial(unsigned short port, const std::string& command) {
        m_socket = socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
        const BOOL on = TRUE;
        setsockopt(m_socket, IPPROTO_TCP, TCP_NODELAY, reinterpret_cast<const char*>(&on), sizeof(on));
        const DWORD timeoutMs = 20000;
        setsockopt(m_socket, SOL_SOCKET, SO_RCVTIMEO, reinterpret_cast<const char*>(&timeoutMs), sizeof(timeoutMs));
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_port = htons(port);
        inet_pton(AF_INET, "127.0.0.2", &address.sin_addr);
        if (connect(m_socket, reinterpret_cast<sockaddr*>(&address), sizeof(address)) != 0) return false;
        std::uint8_t message[64];
        SendAll(message, wire::BuildLogin(message, sizeof(message), u"bench", nullptr, u"modem1"));
        const std::string line = command + "\r";
        SendAll(message, wire::BuildData(message, sizeof(message), reinterpret_cast<const std::uint8_t*>(line.data()),
                                         line.size()));
        std::string text;
        return ReadUntil([&](const std::uint8_t* data, size_t n) {
            text.append(reinterpret_cast<const char*>(data), n);
            return text.find("CONNECT 28800\r\n") != std::string::npos;
        });
    }
    ~DirectDevice() {
        if (m_socket != INVALID_SOCKET) closesocket(m_socket);
    }
    void SendAll(const std::uint8_t* data, size_t n) {
        for (size_t at = 0; at < n;) {
            const int sent = send(m_socket, reinterpret_cast<const char*>(data + at), static_cast<int>(n - at), 0);
            if (sent <= 0) return;
            at += static_cast<size_t>(sent);
        }
    }
    // Sends data in 1020-byte data messages.
    void SendData(const std::vector<std::uint8_t>& data) {
        std::vector<std::uint8_t> batch;
        for (size_t at = 0; at < data.size(); at += 1020) {
            const size_t n = std::min<size_t>(1020, data.size() - at);
            const size_t old = batch.size();
            batch.resize(old + wire::kDataHeaderSize + n);
            wire::BuildData(batch.data() + old, batch.size() - old, data.data() + at, n);
            if (batch.size() >= 64 << 10) {
                SendAll(batch.data(), batch.size());
                batch.clear();
            }
        }
        SendAll(batch.data(), batch.size());
    }
    // Feeds received data to take(data, n) until it returns true.
    bool ReadUntil(const std::function<bool(const std::uint8_t*, size_t)>& take) {
        for (;;) {
            bool done = false;
            while (!done) {
                const wire::FrameStatus status = m_framer.Next();
                if (status != wire::FrameStatus::Message) break;
                if (m_framer.Last().type == wire::kData) done = take(m_framer.Last().data, m_framer.Last().dataLength);
            }
            if (done) return true;
            const auto tail = m_framer.WritableTail();
            const int n = recv(m_socket, reinterpret_cast<char*>(tail.data), static_cast<int>(tail.size), 0);
            if (n <= 0) return false;
            m_framer.Commit(static_cast<size_t>(n));
        }
    }

private:
    SOCKET m_socket = INVALID_SOCKET;
    wire::ReceiveFramer m_framer;
};

double DirectRoundTripMs(unsigned short port, int rounds) {
    DirectDevice device;
    if (!device.Dial(port, "ATD1")) return -1;
    std::vector<double> times;
    for (int i = 0; i < rounds; ++i) {
        const double start = NowMs();
        device.SendData({static_cast<std::uint8_t>('a' + i % 26)});
        if (!device.ReadUntil([](const std::uint8_t*, size_t) { return true; })) return -1;
        times.push_back(NowMs() - start);
    }
    return Median(times);
}

struct Ceiling {
    double echoEachWay = -1, swallow = -1, flood = -1;
};

Ceiling DirectCeiling(unsigned short port) {
    std::vector<double> echo, swallow, flood;
    for (int run = 0; run < kRuns; ++run) {
        {
            DirectDevice device;
            const auto data = Pattern(kStreamBytes, run);
            if (!device.Dial(port, "ATD1")) break;
            std::vector<std::uint8_t> back;
            back.reserve(data.size());
            const double begin = NowMs();
            std::thread writer([&] { device.SendData(data); });
            device.ReadUntil([&](const std::uint8_t* p, size_t n) {
                back.insert(back.end(), p, p + n);
                return back.size() >= data.size();
            });
            const double ms = NowMs() - begin;
            writer.join();
            echo.push_back(back == data ? MBps(data.size(), ms) : -1);
        }
        {
            DirectDevice device;
            const auto data = Pattern(kStreamBytes, run);
            if (!device.Dial(port, "AT*S" + std::to_string(data.size()))) break;
            std::string text;
            const double begin = NowMs();
            std::thread writer([&] { device.SendData(data); });
            device.ReadUntil([&](const std::uint8_t* p, size_t n) {
                text.append(reinterpret_cast<const char*>(p), n);
                return text.find("SUNK") != std::string::npos;
            });
            swallow.push_back(MBps(data.size(), NowMs() - begin));
            writer.join();
        }
        {
            DirectDevice device;
            if (!device.Dial(port, "AT*F" + std::to_string(kStreamBytes))) break;
            std::vector<std::uint8_t> got;
            got.reserve(kStreamBytes);
            const double begin = NowMs();
            device.ReadUntil([&](const std::uint8_t* p, size_t n) {
                got.insert(got.end(), p, p + n);
                return got.size() >= kStreamBytes;
            });
            flood.push_back(got.size() == kStreamBytes && IsFlood(got) ? MBps(got.size(), NowMs() - begin) : -1);
        }
    }
    return {Median(echo), Median(swallow), Median(flood)};
}

// --- Through the service --------------------------------------------------------------

bool Dial(portdrv::PortDriverClient& client, const std::string& command) {
    const std::string line = command + "\r";
    if (!client.SendData(line.data(), line.size())) return false;
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

// Writes data in 1020-byte pieces on a thread of its own; a reader that gives
// up cancels it.
class PipeWriter {
public:
    PipeWriter(portdrv::PortDriverClient& client, const std::vector<std::uint8_t>& data) : m_client(client) {
        m_thread = std::thread([this, &data] {
            for (size_t at = 0; at < data.size(); at += 1020)
                if (!m_client.SendData(data.data() + at, std::min<size_t>(1020, data.size() - at))) return;
        });
    }
    ~PipeWriter() {
        m_client.CancelPendingIo();
        m_thread.join();
    }
    void Finish() { m_thread.join(); m_thread = std::thread([] {}); }

private:
    portdrv::PortDriverClient& m_client;
    std::thread m_thread;
};

enum class EchoResult { Intact, Stalled, Corrupted };

// Streams data through an open, dialled port and takes the echo; MB/s each
// way, or -1 when a byte went missing, changed or stalled (result tells which).
double Echo(portdrv::PortDriverClient& client, const std::vector<std::uint8_t>& data, EchoResult* result = nullptr,
            DWORD patienceMs = 20000) {
    std::vector<std::uint8_t> received;
    received.reserve(data.size());
    const double begin = NowMs();
    PipeWriter writer(client, data);
    portdrv::Message m;
    while (received.size() < data.size() && client.Receive(m, patienceMs) == portdrv::ReadResult::Message)
        if (m.type == portpipe::PipeData) received.insert(received.end(), m.payload.begin(), m.payload.end());
    const double ms = NowMs() - begin;
    if (received.size() == data.size()) writer.Finish();
    if (result != nullptr)
        *result = received == data                   ? EchoResult::Intact
                  : received.size() < data.size()    ? EchoResult::Stalled
                                                     : EchoResult::Corrupted;
    return received == data ? MBps(data.size(), ms) : -1;
}

struct Relay {
    double bare = -1, toDevice = -1, toDriver = -1, echoEachWay = -1;  // MB/s
    double toDeviceRatio = -1, toDriverRatio = -1, echoRatio = -1;     // of the bare pipe one way
    double cpuMsPerMB = -1;
};

// Each run measures the bare pipe again right before the relay: on a shared
// machine the load changes from minute to minute, and a ratio means something
// only between figures taken together.
Relay MeasureRelay(DialOutRig& rig, const ProcessWatch& service) {
    std::vector<double> bare, toDevice, toDriver, echo, toDeviceRatio, toDriverRatio, echoRatio;
    double cpu = 0, megabytes = 0;
    const auto cpuNow = [&] { return service.Sample().cpuSeconds; };
    const auto ratio = [](double relay, double pipe) { return relay > 0 && pipe > 0 ? relay / pipe : -1; };
    for (int run = 0; run < kRuns; ++run) {
        const auto data = Pattern(kStreamBytes, 7 + run);
        {
            BarePipe pipe;
            bare.push_back(pipe.StreamMBps(kStreamBytes));
        }
        {
            portdrv::PortDriverClient client;
            if (!rig.Open(client) || !Dial(client, "AT*S" + std::to_string(data.size()))) break;
            const double cpu0 = cpuNow(), begin = NowMs();
            PipeWriter writer(client, data);
            std::string text;
            portdrv::Message m;
            while (text.find("SUNK") == std::string::npos && client.Receive(m, 20000) == portdrv::ReadResult::Message)
                if (m.type == portpipe::PipeData) text.append(m.payload.begin(), m.payload.end());
            const bool done = text.find("SUNK") != std::string::npos;
            toDevice.push_back(done ? MBps(data.size(), NowMs() - begin) : -1);
            if (done) writer.Finish();
            cpu += cpuNow() - cpu0;
            megabytes += data.size() / 1048576.0;
        }
        {
            portdrv::PortDriverClient client;
            if (!rig.Open(client) || !Dial(client, "AT*F" + std::to_string(kStreamBytes))) break;
            const double cpu0 = cpuNow(), begin = NowMs();
            std::vector<std::uint8_t> got;
            got.reserve(kStreamBytes);
            portdrv::Message m;
            while (got.size() < kStreamBytes && client.Receive(m, 20000) == portdrv::ReadResult::Message)
                if (m.type == portpipe::PipeData) got.insert(got.end(), m.payload.begin(), m.payload.end());
            toDriver.push_back(got.size() == kStreamBytes && IsFlood(got) ? MBps(got.size(), NowMs() - begin) : -1);
            cpu += cpuNow() - cpu0;
            megabytes += got.size() / 1048576.0;
        }
        {
            portdrv::PortDriverClient client;
            if (!rig.Open(client) || !Dial(client, "ATD1")) break;
            const double cpu0 = cpuNow();
            echo.push_back(Echo(client, data));
            cpu += cpuNow() - cpu0;
            megabytes += 2 * data.size() / 1048576.0;
        }
        toDeviceRatio.push_back(ratio(toDevice.back(), bare.back()));
        toDriverRatio.push_back(ratio(toDriver.back(), bare.back()));
        echoRatio.push_back(ratio(2 * echo.back(), bare.back()));
    }
    return {Median(bare),          Median(toDevice),      Median(toDriver),  Median(echo),
            Median(toDeviceRatio), Median(toDriverRatio), Median(echoRatio), megabytes > 0 ? 1000.0 * cpu / megabytes : -1};
}

double MedianOpenMs(DialOutRig& rig, int opens) {
    std::vector<double> times;
    for (int i = 0; i < opens; ++i) {
        portdrv::PortDriverClient client;
        if (!client.Connect(rig.PipeName(), 10000)) return -1;
        const double start = NowMs();
        client.SendOpen(rig.PortKey());
        portdrv::Message m;
        if (client.Receive(m, 20000) != portdrv::ReadResult::Message || m.type != portpipe::PipeOpenResult) return -1;
        times.push_back(NowMs() - start);
    }
    return Median(times);
}

void SetWindows(bool on) {
    const kvr::RegKey options = kvr::RegKey::Create(HKEY_LOCAL_MACHINE, reg::kRezorivKey, KEY_ALL_ACCESS);
    if (on) {
        options.DeleteValue(reg::kNarrate);
        options.DeleteValue(reg::kModemLocation);
    } else {
        options.WriteDword(reg::kNarrate, 0);
        options.WriteText(reg::kModemLocation, L"OFF");
    }
}

// The service's figures at idle, under load and after, and how soon it was idle again.
void PrintLevels(const char* loadName, const ProcessFigures& idle, const ProcessFigures& load,
                 const ProcessFigures& after, double idleMs) {
    PrintFigures("idle", idle);
    PrintFigures(loadName, load);
    PrintFigures("after", after);
    if (idleMs >= 0)
        std::printf("   back at the idle threads and handles %.1f s after the last close\n", idleMs / 1000.0);
    else
        std::printf("   NOT back at the idle threads and handles 30 s after the last close\n");
}

// Waits until the service is back at the idle figures; the time taken, or -1.
double BackToIdleMs(const ProcessWatch& service, const ProcessFigures& idle, DWORD limitMs, ProcessFigures& last) {
    const double begin = NowMs();
    for (;;) {
        last = service.Sample();
        const double ms = NowMs() - begin;
        if (last.threads <= idle.threads && last.handles <= idle.handles + 8) return ms;
        if (ms > limitMs) return -1;
        Sleep(100);
    }
}

// The idle level after a few open-close cycles: what the first windows load
// stays for the life of the process.
ProcessFigures WarmIdle(DialOutRig& rig, const ProcessWatch& service) {
    for (int i = 0; i < 10; ++i) {
        portdrv::PortDriverClient client;
        rig.Open(client);
    }
    ProcessFigures idle = service.Sample();
    for (int i = 0; i < 100 && idle.threads > 1; ++i) {
        Sleep(100);
        idle = service.Sample();
    }
    return idle;
}

void ManySessions(DialOutRig& rig, const ProcessWatch& service, int sessions, size_t bytesEach) {
    const ProcessFigures before = WarmIdle(rig, service);
    std::vector<std::unique_ptr<portdrv::PortDriverClient>> clients;
    for (int i = 0; i < sessions; ++i) {
        clients.push_back(std::make_unique<portdrv::PortDriverClient>());
        if (!rig.Open(*clients.back()) || !Dial(*clients.back(), "ATD1")) {
            std::printf("d) session %d did not open\n", i);
            clients.pop_back();
            break;
        }
    }
    const int opened = static_cast<int>(clients.size());
    std::atomic<int> intact{0}, stalled{0};
    std::atomic<bool> streaming{true};
    ProcessFigures during;
    std::thread sampler([&] {
        while (streaming) {
            const ProcessFigures f = service.Sample();
            if (f.threads > during.threads) during = f;
            Sleep(200);
        }
    });
    const double begin = NowMs();
    std::vector<std::thread> streams;
    for (int i = 0; i < opened; ++i)
        streams.emplace_back([&, i] {
            EchoResult result = EchoResult::Stalled;
            // Hundreds of threads share two processors here: a session may
            // wait long for its turn without being stuck.
            Echo(*clients[i], Pattern(bytesEach, static_cast<unsigned>(i)), &result, 120000);
            if (result == EchoResult::Intact) ++intact;
            if (result == EchoResult::Stalled) ++stalled;
        });
    for (auto& t : streams) t.join();
    const double seconds = (NowMs() - begin) / 1000.0;
    streaming = false;
    sampler.join();
    clients.clear();
    ProcessFigures after;
    const double idleMs = BackToIdleMs(service, before, 30000, after);
    std::printf("d) %d sessions x %zu KB each way (idle level after 10 warm-up cycles): %d opened, %d intact, %d short after 120 s without data, %.2f MB/s"
                " in all each way, %.1f s\n",
                sessions, bytesEach >> 10, opened, intact.load(), stalled.load(),
                opened * (bytesEach / 1048576.0) / seconds,
                seconds);
    PrintLevels("during", before, during, after, idleMs);
}

void OpenCloseCycles(DialOutRig& rig, const ProcessWatch& service, int cycles) {
    const ProcessFigures before = WarmIdle(rig, service);
    const double begin = NowMs();
    int completed = 0;
    for (int i = 0; i < cycles; ++i) {
        portdrv::PortDriverClient client;
        if (!rig.Open(client)) break;
        ++completed;
    }
    const double seconds = (NowMs() - begin) / 1000.0;
    const ProcessFigures atEnd = service.Sample();
    ProcessFigures after;
    const double idleMs = BackToIdleMs(service, before, 30000, after);
    std::printf("e) %d open and close cycles of %d, idle level taken after 10 warm-up cycles: %.1f s (%.1f ms each)\n", completed, cycles, seconds,
                1000.0 * seconds / std::max(completed, 1));
    PrintLevels("at end", before, atEnd, after, idleMs);
}

void ReportRelay(DialOutRig& rig, const ProcessWatch& service) {
    const Relay relay = MeasureRelay(rig, service);
    std::printf("b) relay of 1020-byte pieces, %zu MB, each run against the bare pipe one way measured just before"
                " it (median %.2f MB/s); medians of the runs' figures and of their ratios:\n",
                kStreamBytes >> 20, relay.bare);
    std::printf("   driver to device (device swallows): %.2f MB/s, %.0f%% of the bare pipe\n", relay.toDevice,
                100.0 * relay.toDeviceRatio);
    std::printf("   device to driver (device floods):   %.2f MB/s, %.0f%%\n", relay.toDriver, 100.0 * relay.toDriverRatio);
    std::printf("   both at once (echo): %.2f MB/s each way, together %.0f%%\n", relay.echoEachWay,
                100.0 * relay.echoRatio);
    std::printf("   service CPU time: %.1f ms per MB relayed\n", relay.cpuMsPerMB);
}

void ReportOpen(DialOutRig& rig, double bareTcp) {
    const double open = MedianOpenMs(rig, 15);
    SetWindows(false);
    const double openWithoutWindows = MedianOpenMs(rig, 15);
    SetWindows(true);
    std::printf("c) PipeOpen to PipeOpenResult, credentials ready (median of 15): %.3f ms = %.1f bare TCP round"
                " trips without the windows; %.3f ms = %.1f with them\n",
                openWithoutWindows, openWithoutWindows / bareTcp, open, open / bareTcp);
}

}  // namespace

int main(int argc, char** argv) {
    setvbuf(stdout, nullptr, _IONBF, 0);
    WSADATA wsa;
    WSAStartup(MAKEWORD(2, 2), &wsa);
    // "--service DIR" measures another build's KVRSVC.EXE (and its KVRAUTH.DLL);
    // "--parts abcde" runs only the parts named.
    std::wstring serviceDir;
    std::string parts = "abcde";
    for (int i = 1; i + 1 < argc; i += 2) {
        const std::string option = argv[i], value = argv[i + 1];
        if (option == "--service") serviceDir.assign(value.begin(), value.end());
        if (option == "--parts") parts = value;
    }
    const auto part = [&parts](char name) { return parts.find(name) != std::string::npos; };
    std::printf("Dial-out path under Wine (medians of %d runs unless said)\n\n", kRuns);

    double barePipe = 0, bareTcp = 0;
    std::vector<double> pipeRuns;
    {
        BarePipe pipe;
        barePipe = pipe.RoundTripMs(400);
        for (int run = 0; run < kRuns; ++run) pipeRuns.push_back(pipe.StreamMBps(kStreamBytes));
    }
    const double barePipeMBps = Median(pipeRuns);
    bareTcp = BareTcpRoundTripMs(400);
    std::printf("bare pipe: round trip %.3f ms, one way %.2f MB/s; bare TCP round trip %.3f ms\n", barePipe,
                barePipeMBps, bareTcp);

    DialOutRig rig("", "127.0.0.2", L"", serviceDir);
    if (!rig.Ready()) {
        std::printf("the service did not start\n");
        return 1;
    }
    const ProcessWatch service(rig.Service().Id());
    const double direct = DirectRoundTripMs(rig.SimulatorPort(), 400);
    if (part('b')) {
        const Ceiling ceiling = DirectCeiling(rig.SimulatorPort());
        std::printf("simulator straight over TCP: echo %.2f MB/s each way, swallows %.2f MB/s, floods %.2f MB/s;"
                    " 1-byte echo %.3f ms\n\n",
                    ceiling.echoEachWay, ceiling.swallow, ceiling.flood, direct);
    }

    if (part('a')) {
        portdrv::PortDriverClient client;
        if (!rig.Open(client) || !Dial(client, "ATD1")) {
            std::printf("the port did not open\n");
            return 1;
        }
        const double roundTrip = ServiceRoundTripMs(client, 400);
        std::printf("a) 1-byte echo round trip: %.3f ms; bare pipe + bare TCP = %.3f ms -> %+.0f%%"
                    " (bare pipe + the simulator straight = %.3f ms -> %+.0f%%)\n",
                    roundTrip, barePipe + bareTcp, 100.0 * (roundTrip / (barePipe + bareTcp) - 1.0),
                    barePipe + direct, 100.0 * (roundTrip / (barePipe + direct) - 1.0));
    }

    if (part('b')) ReportRelay(rig, service);
    if (part('c')) ReportOpen(rig, bareTcp);
    if (part('d')) ManySessions(rig, service, 255, 128 << 10);
    if (part('e')) OpenCloseCycles(rig, service, 1000);
    return 0;
}
