// Runs rasim.exe as the service would meet it: a child process on loopback,
// a plain TCP client speaking the wire protocol, and its event lines on stdout.
#include <winsock2.h>
#include <ws2tcpip.h>
#include <windows.h>

#include <gtest/gtest.h>

#include <condition_variable>
#include <cstring>
#include <deque>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "SnmpCodec.h"
#include "TestPeerCodec.h"
#include "framework/Handles.h"

namespace {

using peer::Bytes;
using peer::operator+;

constexpr char kAddress[] = "127.0.0.23";  // a loopback address no other test uses
constexpr DWORD kWaitMs = 20000;           // only reached when something is broken

std::wstring ProgramPath() {
    wchar_t path[MAX_PATH];
    const DWORD n = GetModuleFileNameW(nullptr, path, MAX_PATH);
    std::wstring dir(path, n);
    return dir.substr(0, dir.find_last_of(L"\\/") + 1) + L"rasim.exe";
}

// The simulator as a child process: its stdin is a pipe we hold (closing it
// asks the program to end), its stdout lines are collected by a reader thread.
class RasimProcess {
public:
    explicit RasimProcess(const std::string& args) {
        SECURITY_ATTRIBUTES inherit{sizeof inherit, nullptr, TRUE};
        kvr::UniqueHandle outRead, outWrite, inRead, inWrite;
        if (!CreatePipe(outRead.Put(), outWrite.Put(), &inherit, 0) ||
            !CreatePipe(inRead.Put(), inWrite.Put(), &inherit, 0))
            return;
        SetHandleInformation(outRead.Get(), HANDLE_FLAG_INHERIT, 0);
        SetHandleInformation(inWrite.Get(), HANDLE_FLAG_INHERIT, 0);
        STARTUPINFOW startup{};
        startup.cb = sizeof startup;
        startup.dwFlags = STARTF_USESTDHANDLES;
        startup.hStdInput = inRead.Get();
        startup.hStdOutput = outWrite.Get();
        startup.hStdError = outWrite.Get();
        std::wstring commandLine = L"\"" + ProgramPath() + L"\" " + std::wstring(args.begin(), args.end());
        PROCESS_INFORMATION info{};
        if (!CreateProcessW(nullptr, commandLine.data(), nullptr, nullptr, TRUE, CREATE_NO_WINDOW,
                            nullptr, nullptr, &startup, &info))
            return;
        m_process.Reset(info.hProcess);
        CloseHandle(info.hThread);
        m_stdin = std::move(inWrite);
        m_stdout = std::move(outRead);
        // Our copies of the child's ends must go, or the reader never sees the end.
        outWrite.Reset();
        inRead.Reset();
        m_reader = std::thread([this] { ReadLines(); });
    }

    ~RasimProcess() {
        if (m_process) {
            m_stdin.Reset();
            if (WaitForSingleObject(m_process.Get(), 5000) != WAIT_OBJECT_0)
                TerminateProcess(m_process.Get(), 99);
            WaitForSingleObject(m_process.Get(), kWaitMs);
        }
        if (m_reader.joinable()) m_reader.join();
    }

    bool Started() const { return m_process.IsValid(); }

    // The next line starting with prefix, skipping others; "" after the wait.
    std::string WaitLine(const std::string& prefix) {
        std::unique_lock lock(m_mutex);
        std::string found;
        m_changed.wait_for(lock, std::chrono::milliseconds(kWaitMs), [&] {
            while (m_next < m_lines.size()) {
                const std::string& line = m_lines[m_next++];
                if (line.compare(0, prefix.size(), prefix) == 0) {
                    found = line;
                    return true;
                }
            }
            return m_ended;
        });
        return found;
    }

    // The port from the READY line.
    unsigned short WaitReady() {
        const std::string line = WaitLine(std::string("READY ") + kAddress + ":");
        return line.empty() ? 0 : static_cast<unsigned short>(std::stoi(line.substr(line.rfind(':') + 1)));
    }

    void CloseStdin() { m_stdin.Reset(); }

    DWORD WaitExit() {
        DWORD code = 12345;
        if (WaitForSingleObject(m_process.Get(), kWaitMs) == WAIT_OBJECT_0)
            GetExitCodeProcess(m_process.Get(), &code);
        return code;
    }

private:
    void ReadLines() {
        char buffer[4096];
        DWORD got = 0;
        std::string partial;
        while (ReadFile(m_stdout.Get(), buffer, sizeof buffer, &got, nullptr) && got > 0) {
            std::lock_guard lock(m_mutex);
            for (DWORD i = 0; i < got; ++i) {
                if (buffer[i] == '\n') {
                    m_lines.push_back(partial);
                    partial.clear();
                } else {
                    partial.push_back(buffer[i]);
                }
            }
            m_changed.notify_all();
        }
        std::lock_guard lock(m_mutex);
        m_ended = true;
        m_changed.notify_all();
    }

    kvr::UniqueHandle m_process;
    kvr::UniqueHandle m_stdin;
    kvr::UniqueHandle m_stdout;
    std::thread m_reader;
    std::mutex m_mutex;
    std::condition_variable m_changed;
    std::vector<std::string> m_lines;
    std::size_t m_next = 0;
    bool m_ended = false;
};

// A blocking TCP client with a receive time-out, reading whole server messages.
class WireClient {
public:
    bool Connect(unsigned short port, const char* host = kAddress) {
        m_socket.Reset(socket(AF_INET, SOCK_STREAM, IPPROTO_TCP));
        if (!m_socket) return false;
        DWORD timeout = kWaitMs;
        setsockopt(m_socket.Get(), SOL_SOCKET, SO_RCVTIMEO, reinterpret_cast<const char*>(&timeout),
                   sizeof timeout);
        setsockopt(m_socket.Get(), SOL_SOCKET, SO_SNDTIMEO, reinterpret_cast<const char*>(&timeout),
                   sizeof timeout);
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_port = htons(port);
        inet_pton(AF_INET, host, &address.sin_addr);
        return connect(m_socket.Get(), reinterpret_cast<sockaddr*>(&address), sizeof address) == 0;
    }

    bool Send(const Bytes& bytes) {
        std::size_t at = 0;
        while (at < bytes.size()) {
            const int n = send(m_socket.Get(), reinterpret_cast<const char*>(bytes.data() + at),
                               static_cast<int>(bytes.size() - at), 0);
            if (n <= 0) return false;
            at += static_cast<std::size_t>(n);
        }
        return true;
    }

    // False when the connection ended or the time-out passed first.
    bool Next(peer::ServerMessage& message) {
        for (;;) {
            std::size_t length = 0;
            const auto status = peer::ParseServerMessage(m_buffer.data(), m_buffer.size(), message, length);
            if (status == peer::Parse::kComplete) {
                m_buffer.erase(m_buffer.begin(), m_buffer.begin() + static_cast<std::ptrdiff_t>(length));
                return true;
            }
            if (status == peer::Parse::kUnknown || !Fill()) return false;
        }
    }

    // True once the server has closed (end of stream or reset), with no message left.
    bool ClosedByServer() {
        peer::ServerMessage m;
        if (Next(m)) return false;
        return m_closed;
    }

    // The text of the next data message ("" and a failure when another came).
    std::string NextText() {
        peer::ServerMessage m;
        if (!Next(m) || m.type != 0) return "<no data message>";
        return std::string(m.data.begin(), m.data.end());
    }

private:
    bool Fill() {
        char chunk[65536];
        const int n = recv(m_socket.Get(), chunk, sizeof chunk, 0);
        if (n <= 0) {
            m_closed = n == 0 || WSAGetLastError() != WSAETIMEDOUT;
            return false;
        }
        m_buffer.insert(m_buffer.end(), chunk, chunk + n);
        return true;
    }

    kvr::UniqueSocket m_socket;
    Bytes m_buffer;
    bool m_closed = false;
};

class RasimProgram : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        WSADATA wsa;
        WSAStartup(MAKEWORD(2, 2), &wsa);
    }
    static void TearDownTestSuite() { WSACleanup(); }

    // Starts the simulator with the given options after the listen address.
    void Start(const std::string& options) {
        m_rasim = std::make_unique<RasimProcess>(std::string("--listen ") + kAddress + ":0 " + options);
        ASSERT_TRUE(m_rasim->Started());
        m_port = m_rasim->WaitReady();
        ASSERT_NE(0, m_port) << "no READY line";
    }

    WireClient Connect() {
        WireClient client;
        EXPECT_TRUE(client.Connect(m_port));
        return client;
    }

    std::unique_ptr<RasimProcess> m_rasim;
    unsigned short m_port = 0;
};

constexpr DWORD kGuardMs = 200;
const char kDevice[] = "--device DEV1 --port P1 --port P2 --user alice:secret --guard-ms 200 ";

TEST_F(RasimProgram, LoginDialEchoHooksAndHangUp) {
    ASSERT_NO_FATAL_FAILURE(Start(kDevice));
    WireClient client = Connect();
    ASSERT_TRUE(client.Send(peer::Login("alice", {}, "p2")));
    peer::ServerMessage m;
    ASSERT_TRUE(client.Next(m));
    EXPECT_EQ(3, m.type);
    EXPECT_EQ(0x0300, m.version);
    EXPECT_EQ("Welcome to DEV1", m.text);
    EXPECT_TRUE(m.hasFlag);
    EXPECT_EQ(0, m.flag);
    EXPECT_NE("", m_rasim->WaitLine("LOGIN 1 user=alice port=p2 password=(silent) result=accepted"));

    ASSERT_TRUE(client.Send(peer::Settings({6, 1, 8, 1, 4, 3, 2, 1})));
    EXPECT_NE("", m_rasim->WaitLine("SETTINGS 1 06 01 08 01 04 03 02 01"));

    ASSERT_TRUE(client.Send(peer::Data("AT\r")));
    EXPECT_EQ("\r\nOK\r\n", client.NextText());
    ASSERT_TRUE(client.Send(peer::Data("ATDT5551234\r")));
    ASSERT_TRUE(client.Next(m));
    ASSERT_EQ(5, m.type);
    EXPECT_EQ(0x04, m.status[0] & 0x04) << "carrier";
    EXPECT_EQ("\r\nCONNECT 28800\r\n", client.NextText());

    // One megabyte each way, in the service's piece size, every byte checked.
    const std::size_t kTotal = 1 << 20, kPiece = 1020, kWindow = 64 * 1024;
    Bytes echoed;
    echoed.reserve(kTotal);
    auto pattern = [](std::size_t i) { return static_cast<std::uint8_t>((i * 131 + (i >> 9)) & 0xFF); };
    for (std::size_t sent = 0; sent < kTotal;) {
        Bytes piece(std::min(kPiece, kTotal - sent));
        for (std::size_t i = 0; i < piece.size(); ++i) piece[i] = pattern(sent + i);
        ASSERT_TRUE(client.Send(peer::Data(piece)));
        sent += piece.size();
        while (echoed.size() + kWindow < sent || (sent == kTotal && echoed.size() < kTotal)) {
            ASSERT_TRUE(client.Next(m)) << "echo stopped at " << echoed.size();
            ASSERT_EQ(0, m.type);
            echoed.insert(echoed.end(), m.data.begin(), m.data.end());
        }
    }
    ASSERT_EQ(kTotal, echoed.size());
    for (std::size_t i = 0; i < kTotal; ++i) ASSERT_EQ(pattern(i), echoed[i]) << "byte " << i;

    // The guarded escape needs silence before the pluses; the silence after
    // is the simulator's to time.
    Sleep(kGuardMs + 100);
    ASSERT_TRUE(client.Send(peer::Data("+++")));
    EXPECT_EQ("+++", client.NextText());
    EXPECT_EQ("\r\nOK\r\n", client.NextText());
    ASSERT_TRUE(client.Send(peer::Data("AT*B2045\r")));
    ASSERT_TRUE(client.Next(m));
    ASSERT_EQ(0, m.type);
    ASSERT_EQ(2045u, m.data.size());
    for (std::size_t i = 0; i < m.data.size(); ++i) ASSERT_EQ(i & 0xFF, m.data[i]) << i;
    EXPECT_EQ("\r\nOK\r\n", client.NextText());
    ASSERT_TRUE(client.Send(peer::KeepAlive()));
    EXPECT_NE("", m_rasim->WaitLine("KEEPALIVE 1"));
    ASSERT_TRUE(client.Send(peer::Data("ATH\r")));
    ASSERT_TRUE(client.Next(m));
    ASSERT_EQ(5, m.type);
    EXPECT_EQ(0, m.status[0] & 0x04) << "carrier";
    EXPECT_EQ("\r\nOK\r\n", client.NextText());
    ASSERT_TRUE(client.Send(peer::Data("AT*X\r")));
    EXPECT_TRUE(client.ClosedByServer());
    EXPECT_NE("", m_rasim->WaitLine("CLOSED 1 reason=dropped"));
}

TEST_F(RasimProgram, ServerDisconnectHookEndsTheSession) {
    ASSERT_NO_FATAL_FAILURE(Start(kDevice));
    WireClient client = Connect();
    ASSERT_TRUE(client.Send(peer::Login("alice", {}, "P1") + peer::Data("AT*D2\r")));
    peer::ServerMessage m;
    ASSERT_TRUE(client.Next(m));
    EXPECT_EQ(3, m.type);
    ASSERT_TRUE(client.Next(m));
    EXPECT_EQ(2, m.type);
    EXPECT_EQ(2, m.reason);
    EXPECT_TRUE(client.ClosedByServer());
}

// Each row: options, the logins sent one after another on one connection,
// and the answers expected: "A" accepted (with flag), "C" credentials
// required, "Dn" disconnect with reason n (which ends the connection).
struct LoginCase {
    const char* name;
    const char* options;
    std::vector<Bytes> logins;
    std::vector<std::string> answers;
};

std::string Answer(const peer::ServerMessage& m) {
    switch (m.type) {
    case 2: return std::string("D").append(std::to_string(m.reason));
    case 3: return m.hasFlag ? std::string("A").append(std::to_string(m.flag)) : "A";
    case 6: return "C";
    default: return "type " + std::to_string(m.type);
    }
}

TEST_F(RasimProgram, AnswersLogins) {
    const Bytes secret = peer::Scrambled(u"secret", 0x2A5B);
    const Bytes wrong = peer::Scrambled(u"Secret", 0x2A5B);
    const LoginCase cases[] = {
        {"unknown port", "", {peer::Login("alice", {}, "P7")}, {"D6"}},
        {"refused", "--refuse 5", {peer::Login("alice", secret, "P1")}, {"D5"}},
        {"silent login needs credentials, then the password is taken", "--require-credentials",
         {peer::Login("alice", {}, "P1"), peer::Login("alice", secret, "P1")}, {"C", "A0"}},
        {"wrong password, then the right one", "",
         {peer::Login("alice", wrong, "P1"), peer::Login("alice", secret, "P1")}, {"C", "A0"}},
        {"older version carries no flag", "--version 0x0200 --expired",
         {peer::Login("alice", secret, "P1")}, {"A"}},
        {"expired", "--expired", {peer::Login("alice", secret, "P1")}, {"A1"}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        ASSERT_NO_FATAL_FAILURE(Start(std::string(kDevice) + c.options));
        WireClient client = Connect();
        std::vector<std::string> got;
        for (const auto& login : c.logins) {
            ASSERT_TRUE(client.Send(login));
            peer::ServerMessage m;
            ASSERT_TRUE(client.Next(m));
            got.push_back(Answer(m));
        }
        EXPECT_EQ(c.answers, got);
        if (got.back()[0] == 'D') {
            EXPECT_TRUE(client.ClosedByServer());
        } else if (got.back()[0] == 'A') {
            // The acceptance ends exactly where it should: the next message parses.
            ASSERT_TRUE(client.Send(peer::Data("AT\r")));
            EXPECT_EQ("\r\nOK\r\n", client.NextText());
        }
    }
}

TEST_F(RasimProgram, BusyAnswersPortInUseNTimesThenAccepts) {
    ASSERT_NO_FATAL_FAILURE(Start(std::string(kDevice) + "--busy 2"));
    std::vector<std::string> got;
    for (int i = 0; i < 3; ++i) {
        WireClient client = Connect();
        ASSERT_TRUE(client.Send(peer::Login("alice", {}, "P1")));
        peer::ServerMessage m;
        ASSERT_TRUE(client.Next(m));
        got.push_back(Answer(m));
        if (m.type == 2) {
            EXPECT_EQ("port in use", m.text);
            EXPECT_TRUE(client.ClosedByServer());
        }
    }
    EXPECT_EQ((std::vector<std::string>{"D1", "D1", "A0"}), got);
}

TEST_F(RasimProgram, ChangesAnExpiredPasswordOrRefuses) {
    const Bytes oldPassword = peer::Scrambled(u"secret", 0x1122);
    const Bytes newPassword = peer::Scrambled(u"better", 0x3344);
    for (const bool refuse : {false, true}) {
        SCOPED_TRACE(refuse ? "refused" : "changed");
        ASSERT_NO_FATAL_FAILURE(Start(std::string(kDevice) + "--expired" + (refuse ? " --refuse-change" : "")));
        {
            WireClient client = Connect();
            ASSERT_TRUE(client.Send(peer::Login("alice", oldPassword, "P1")));
            peer::ServerMessage m;
            ASSERT_TRUE(client.Next(m));
            EXPECT_EQ("A1", Answer(m));
            ASSERT_TRUE(client.Send(peer::ChangePassword(oldPassword, newPassword)));
            ASSERT_TRUE(client.Next(m));
            EXPECT_EQ(refuse ? 11 : 10, m.type);
        }
        // A new login shows what the device now holds.
        WireClient again = Connect();
        ASSERT_TRUE(again.Send(peer::Login("alice", refuse ? oldPassword : newPassword, "P1")));
        peer::ServerMessage m;
        ASSERT_TRUE(again.Next(m));
        EXPECT_EQ(refuse ? "A1" : "A0", Answer(m));
    }
}

TEST_F(RasimProgram, UnknownMessageTypeEndsTheConnection) {
    ASSERT_NO_FATAL_FAILURE(Start(kDevice));
    WireClient client = Connect();
    ASSERT_TRUE(client.Send(Bytes{8, 1, 2, 3}));
    EXPECT_TRUE(client.ClosedByServer());
    EXPECT_NE("", m_rasim->WaitLine("PROTOCOL-ERROR 1"));
}

TEST_F(RasimProgram, EndsAtTheEndOfStandardInput) {
    ASSERT_NO_FATAL_FAILURE(Start(kDevice));
    WireClient client = Connect();
    EXPECT_NE("", m_rasim->WaitLine("CONNECTED 1 device=DEV1"));
    m_rasim->CloseStdin();
    EXPECT_NE("", m_rasim->WaitLine("STOPPED"));
    EXPECT_EQ(0u, m_rasim->WaitExit());
}

TEST_F(RasimProgram, EachListenAddressIsADeviceWithItsOwnOptions) {
    // Options before the first --listen are shared; after it, they are the device's.
    m_rasim = std::make_unique<RasimProcess>(
        "--user alice:secret --listen 127.0.0.23:0 --device FIRST --port A --refuse 2 "
        "--listen 127.0.0.24:0 --device SECOND --port B");
    ASSERT_TRUE(m_rasim->Started());
    const unsigned short first = m_rasim->WaitReady();
    const std::string second = m_rasim->WaitLine("READY 127.0.0.24:");
    ASSERT_NE(0, first);
    ASSERT_NE("", second);
    WireClient a;
    ASSERT_TRUE(a.Connect(first));
    ASSERT_TRUE(a.Send(peer::Login("alice", {}, "A")));
    peer::ServerMessage m;
    ASSERT_TRUE(a.Next(m));
    EXPECT_EQ("D2", Answer(m));

    WireClient b;
    ASSERT_TRUE(b.Connect(static_cast<unsigned short>(std::stoi(second.substr(second.rfind(':') + 1))),
                          "127.0.0.24"));
    ASSERT_TRUE(b.Send(peer::Login("alice", peer::Scrambled(u"wrong", 0x0101), "B")));
    ASSERT_TRUE(b.Next(m));
    EXPECT_EQ("C", Answer(m)) << "the shared user list applies to the second device";
    ASSERT_TRUE(b.Send(peer::Login("alice", {}, "B")));
    ASSERT_TRUE(b.Next(m));
    EXPECT_EQ("A0", Answer(m));
    EXPECT_EQ("Welcome to SECOND", m.text);
}

TEST(RasimCommandLine, RejectsBadOptionsWithExitCode2) {
    for (const char* args : {"", "--listen 127.0.0.23:0", "--listen 10.0.0.1:1549 --port P1",
                             "--listen 127.0.0.23:99999 --port P1", "--listen 127.0.0.23:0 --port P1 --busy x",
                             "--listen 127.0.0.23:0 --port P1 --user nopassword", "--bogus",
                             "--listen 127.0.0.23:0 --port P1 --snmp-version 4.0",
                             "--listen 127.0.0.23:0 --port P1 --port-mask Q:1"}) {
        RasimProcess rasim(args);
        ASSERT_TRUE(rasim.Started()) << args;
        EXPECT_NE("", rasim.WaitLine("rasim: ")) << args;
        EXPECT_EQ(2u, rasim.WaitExit()) << args;
    }
}

// Refused before anything is bound: a test network namespace is the only
// place for other addresses, and 192.0.2.1 (a documentation address) is not
// this machine's, so the listen fails without any traffic.
TEST(RasimCommandLine, OtherAddressesOnlyWithAllowAnyAddress) {
    RasimProcess refused("--listen 192.0.2.1:0 --port P1");
    EXPECT_NE("", refused.WaitLine("rasim: --listen: only loopback"));
    EXPECT_EQ(2u, refused.WaitExit());
    RasimProcess tried("--listen 192.0.2.1:0 --port P1 --allow-any-address");
    EXPECT_NE("", tried.WaitLine("rasim: cannot listen on 192.0.2.1:"));
    EXPECT_EQ(1u, tried.WaitExit());
}

// A UDP client on loopback with a receive time-out.
class UdpClient {
public:
    UdpClient() {
        m_socket.Reset(socket(AF_INET, SOCK_DGRAM, IPPROTO_UDP));
        DWORD timeout = kWaitMs;
        setsockopt(m_socket.Get(), SOL_SOCKET, SO_RCVTIMEO, reinterpret_cast<const char*>(&timeout), sizeof timeout);
    }

    bool SendTo(const char* host, unsigned short port, const Bytes& bytes) {
        sockaddr_in to{};
        to.sin_family = AF_INET;
        to.sin_port = htons(port);
        inet_pton(AF_INET, host, &to.sin_addr);
        return sendto(m_socket.Get(), reinterpret_cast<const char*>(bytes.data()), static_cast<int>(bytes.size()), 0,
                      reinterpret_cast<const sockaddr*>(&to), sizeof to) == static_cast<int>(bytes.size());
    }
    // The next datagram; empty after the time-out.
    Bytes Receive() {
        char buffer[2048];
        const int n = recv(m_socket.Get(), buffer, sizeof buffer, 0);
        return n > 0 ? Bytes(buffer, buffer + n) : Bytes{};
    }
    bool Pending() {
        u_long waiting = 0;
        ioctlsocket(m_socket.Get(), FIONREAD, &waiting);
        return waiting != 0;
    }

private:
    kvr::UniqueSocket m_socket;
};

// A UDP port free right now, for an agent port shared by several devices.
unsigned short FreeUdpPort() {
    kvr::UniqueSocket s(socket(AF_INET, SOCK_DGRAM, IPPROTO_UDP));
    sockaddr_in local{};
    local.sin_family = AF_INET;
    local.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    int length = sizeof local;
    if (bind(s.Get(), reinterpret_cast<sockaddr*>(&local), sizeof local) != 0 ||
        getsockname(s.Get(), reinterpret_cast<sockaddr*>(&local), &length) != 0)
        return 0;
    return ntohs(local.sin_port);
}

unsigned short PortOf(const std::string& line) {
    return line.empty() ? 0 : static_cast<unsigned short>(std::stoi(line.substr(line.rfind(':') + 1)));
}

const std::vector<std::vector<std::uint16_t>> kDiscoveryOids = {
    {1, 3, 6, 1, 4, 1, 5821, 1, 7, 1, 0},     {1, 3, 6, 1, 4, 1, 5821, 1, 10, 1, 1, 3, 2},
    {1, 3, 6, 1, 4, 1, 5821, 1, 7, 3, 0},     {1, 3, 6, 1, 4, 1, 5821, 4, 3, 14, 0},
    {1, 3, 6, 1, 4, 1, 5821, 1, 11, 11, 0}};

// A request as the browsing library encodes it.
Bytes Request(const std::vector<std::vector<std::uint16_t>>& oids, const char* community = "public") {
    snmp::Request request;
    request.SetCommunity(community, std::strlen(community));
    for (const auto& oid : oids) request.AddBinding(oid.data(), oid.size());
    std::uint8_t buffer[snmp::kMessageBufferSize];
    std::size_t length = 0;
    request.Encode(buffer, sizeof buffer, length);
    return Bytes(buffer, buffer + length);
}

// The device name read from a discovery answer ("" when it is not one).
std::string DiscoveredName(const Bytes& answer, std::string* address = nullptr) {
    snmp::DiscoveryAnswer found;
    if (snmp::ReadDiscoveryReply(answer.data(), answer.size(), found) != 0) return "";
    if (address != nullptr)
        *address = std::to_string(found.address[0]) + "." + std::to_string(found.address[1]) + "." +
                   std::to_string(found.address[2]) + "." + std::to_string(found.address[3]);
    return std::string(found.name, found.nameLength);
}

class RasimUdp : public RasimProgram {};

// Two devices on one agent port, told apart by the address asked; the
// discovery port answered by both, one of them twice.
TEST_F(RasimUdp, AnswersSnmpPerAddressAndDiscoveryForEveryDevice) {
    const unsigned short snmpPort = FreeUdpPort();
    ASSERT_NE(0, snmpPort);
    m_rasim = std::make_unique<RasimProcess>(
        "--snmp-port " + std::to_string(snmpPort) + " --discovery --discovery-port 0 "
        "--listen 127.0.0.25:0 --device FIRST --port A --discovery-duplicates 2 "
        "--listen 127.0.0.26:0 --device SECOND --port B");
    ASSERT_TRUE(m_rasim->Started());
    EXPECT_EQ(snmpPort, PortOf(m_rasim->WaitLine("SNMP-READY 127.0.0.25:")));
    EXPECT_EQ(snmpPort, PortOf(m_rasim->WaitLine("SNMP-READY 127.0.0.26:")));
    const unsigned short discoveryPort = PortOf(m_rasim->WaitLine("DISCOVERY-READY 0.0.0.0:"));
    ASSERT_NE(0, discoveryPort);

    UdpClient client;
    for (const char* address : {"127.0.0.25", "127.0.0.26"}) {
        SCOPED_TRACE(address);
        ASSERT_TRUE(client.SendTo(address, snmpPort, Request(kDiscoveryOids)));
        std::string reported;
        EXPECT_EQ(address == std::string("127.0.0.25") ? "FIRST" : "SECOND", DiscoveredName(client.Receive(), &reported));
        EXPECT_EQ(address, reported);
    }
    EXPECT_NE("", m_rasim->WaitLine("SNMP FIRST pdu=get oids=5 result=ok"));

    // A unicast on loopback stands in for the broadcast: every device of the process answers.
    ASSERT_TRUE(client.SendTo("127.0.0.25", discoveryPort, Request(kDiscoveryOids)));
    std::vector<std::string> names;
    for (int i = 0; i < 3; ++i) names.push_back(DiscoveredName(client.Receive()));
    EXPECT_EQ((std::vector<std::string>{"FIRST", "FIRST", "SECOND"}), names);
    EXPECT_NE("", m_rasim->WaitLine("DISCOVERY FIRST peer=127.0.0.1:"));
    EXPECT_NE("", m_rasim->WaitLine("DISCOVERY SECOND peer=127.0.0.1:"));
}

// Each row: options, the request's community, the event line expected and
// whether an answer comes.
TEST_F(RasimUdp, SilentAgentsAndOtherCommunitiesGetNoAnswer) {
    struct Row {
        const char* options;
        const char* community;
        const char* line;
        bool answered;
    };
    const Row rows[] = {
        {"", "public", "SNMP DEV pdu=get oids=5 result=ok", true},
        {"--snmp-silent", "public", "SNMP DEV pdu=get oids=5 result=ignored-silent", false},
        {"--community inside", "public", "SNMP DEV pdu=get oids=5 result=ignored-community", false},
        {"--community inside", "inside", "SNMP DEV pdu=get oids=5 result=ok", true},
        {"--snmp-error 5", "public", "SNMP DEV pdu=get oids=5 result=error-5", true},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.options);
        m_rasim.reset();
        m_rasim = std::make_unique<RasimProcess>(std::string("--listen 127.0.0.27:0 --device DEV --port A "
                                                             "--snmp-port 0 ") + row.options);
        ASSERT_TRUE(m_rasim->Started());
        const unsigned short port = PortOf(m_rasim->WaitLine("SNMP-READY 127.0.0.27:"));
        ASSERT_NE(0, port);
        UdpClient client;
        ASSERT_TRUE(client.SendTo("127.0.0.27", port, Request(kDiscoveryOids, row.community)));
        // The answer is sent before the line is written.
        EXPECT_NE("", m_rasim->WaitLine(row.line));
        if (row.answered) {
            EXPECT_FALSE(client.Receive().empty());
        } else {
            EXPECT_FALSE(client.Pending());
        }
    }
}

TEST_F(RasimUdp, AGivenSnmpPortInUseEndsWithExitCode1) {
    const unsigned short port = FreeUdpPort();
    kvr::UniqueSocket holder(socket(AF_INET, SOCK_DGRAM, IPPROTO_UDP));
    sockaddr_in local{};
    local.sin_family = AF_INET;
    local.sin_addr.s_addr = htonl(INADDR_ANY);
    local.sin_port = htons(port);
    ASSERT_EQ(0, bind(holder.Get(), reinterpret_cast<sockaddr*>(&local), sizeof local));
    RasimProcess rasim("--listen 127.0.0.28:0 --port A --snmp-port " + std::to_string(port));
    EXPECT_NE("", rasim.WaitLine("rasim: cannot open the SNMP agent on UDP 127.0.0.28:" + std::to_string(port)));
    EXPECT_EQ(1u, rasim.WaitExit());
}

// A hundred devices in one process, each with its agent and discovery,
// served by the one select loop.
TEST_F(RasimUdp, HundredDevicesAnswerFromOneProcess) {
    constexpr int kDevices = 100;
    const unsigned short snmpPort = FreeUdpPort();
    std::string args = "--snmp-port " + std::to_string(snmpPort) + " --discovery --discovery-port 0";
    for (int i = 1; i <= kDevices; ++i)
        args += " --listen 127.0.1." + std::to_string(i) + ":0 --device D" + std::to_string(i) + " --port A";
    m_rasim = std::make_unique<RasimProcess>(args);
    ASSERT_TRUE(m_rasim->Started());
    const unsigned short discoveryPort = PortOf(m_rasim->WaitLine("DISCOVERY-READY 0.0.0.0:"));
    ASSERT_NE(0, discoveryPort);

    UdpClient client;
    for (int i = 1; i <= kDevices; ++i) {
        const std::string address = "127.0.1." + std::to_string(i);
        ASSERT_TRUE(client.SendTo(address.c_str(), snmpPort, Request(kDiscoveryOids)));
        ASSERT_EQ(std::string("D").append(std::to_string(i)), DiscoveredName(client.Receive())) << address;
    }
    ASSERT_TRUE(client.SendTo("127.0.0.1", discoveryPort, Request(kDiscoveryOids)));
    std::vector<bool> seen(kDevices + 1, false);
    for (int i = 0; i < kDevices; ++i) {
        const std::string name = DiscoveredName(client.Receive());
        ASSERT_FALSE(name.empty()) << "after " << i << " answers";
        seen[static_cast<std::size_t>(std::stoi(name.substr(1)))] = true;
    }
    for (int i = 1; i <= kDevices; ++i) EXPECT_TRUE(seen[static_cast<std::size_t>(i)]) << i;
}

}  // namespace
