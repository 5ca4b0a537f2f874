// Faults of the session found in review, each with the smallest fixture that
// shows it, and the timed behaviour on the virtual clock.
#include <algorithm>
#include <atomic>
#include <string>

#include "SessionFixture.h"
#include "UiCallValues.h"

namespace {

// Accepts the first login, then reads until the service goes.
void AcceptAndListen(FakeConnection& c, int) {
    if (!c.AcceptLogin()) return;
    c.WaitClosed();
}

}  // namespace

class SessionFaultTest : public SessionFixture {
protected:
    void OpenOnline(portdrv::PortDriverClient& client, FakeServer& server, const wchar_t* key) {
        AddPort(key, L"COM3", 1);
        AddEntry(key, 0, AddServer(L"Server", server.Address()), L"modem");
        SetGlobal(reg::kSilent, 1);
        ASSERT_TRUE(Open(client, key));
        ExpectOpened(client);
    }
    // True once every session has ended, giving the clock at most limitMs.
    bool SessionsEndWithin(DWORD limitMs) {
        return AdvanceUntil([] { return svc::LiveSessionCount() == 0; }, limitMs);
    }
};

// A first message of 0 to 3 bytes holds no type: nothing is dispatched and
// the read is issued again, so the driver's open that follows is served.
TEST_F(SessionFaultTest, ShortFirstMessageIsReadAgain) {
    AddPort(L"Plain", L"COM7", 0);
    const std::uint8_t bytes[3] = {1, 0, 0};
    for (std::size_t length = 0; length <= 3; ++length) {
        portdrv::PortDriverClient client;
        ASSERT_TRUE(client.Connect(m_pipeName, 10000));
        ASSERT_TRUE(client.SendBytes(bytes, length)) << length;
        ASSERT_TRUE(client.SendOpen(L"Plain"));
        const auto m = Next(client);
        ASSERT_EQ(portpipe::PipeOpenResult, m.type) << length;
        EXPECT_EQ(1u, ValueOf(m));
        EXPECT_TRUE(Closed(client));
    }
    // A driver that leaves after a short message ends its session too.
    {
        portdrv::PortDriverClient client;
        ASSERT_TRUE(client.Connect(m_pipeName, 10000));
        ASSERT_TRUE(client.SendBytes(bytes, 2));
        ASSERT_TRUE(FakeUi::Instance().WaitFor("CreateUI", 5));
    }
    EXPECT_TRUE(SessionsEndWithin(0)) << "the session did not see the driver leave";
}

// A driver that closes its end before the open completes is seen within a
// tick, whatever the server and the user are doing.
TEST_F(SessionFaultTest, DriverGoneBeforeTheOpenCompletesEndsTheSession) {
    enum class Waiting { ForLoginAnswer, ForBusyServer, ForUser };
    for (Waiting waiting : {Waiting::ForLoginAnswer, Waiting::ForBusyServer, Waiting::ForUser}) {
        FakeUi::Instance().Reset();
        std::atomic<bool> serverSawClose{false};
        FakeServer server([&](FakeConnection& c, int) {
            rasim::ClientMessage m;
            if (waiting == Waiting::ForBusyServer && c.ReadType(wire::kLogin, m)) {
                rasim::Bytes reply;
                rasim::AppendDisconnect(reply, wire::kReasonPortInUse, "busy");
                c.Send(reply);
            }
            c.WaitClosed();  // never answers the login otherwise
            serverSawClose = true;
        });
        const std::wstring key = L"Gone" + std::to_wstring(static_cast<int>(waiting));
        AddPort(key, L"COM3", 1);
        AddEntry(key, 0, AddServer(L"Server", server.Address()), L"modem");
        SetGlobal(reg::kSilent, waiting == Waiting::ForUser ? 0 : 1);
        SetGlobal(reg::kReopen, 600000);
        {
            portdrv::PortDriverClient client;
            ASSERT_TRUE(Open(client, key));
            ASSERT_TRUE(FakeUi::Instance().WaitFor(waiting == Waiting::ForUser ? "CreateAuthWindow" : "PostNarration"));
            while (server.Connections() == 0) Sleep(10);
            Sleep(100);
        }
        EXPECT_TRUE(SessionsEndWithin(3000)) << static_cast<int>(waiting);
        const int connections = server.Connections();
        Advance(10000);
        EXPECT_EQ(connections, server.Connections()) << "a busy server was retried for nobody";
        for (int i = 0; i < 200 && !serverSawClose; ++i) Sleep(25);
        EXPECT_TRUE(serverSawClose) << static_cast<int>(waiting);
        EXPECT_EQ(0, FakeUi::Instance().Count("CreateModem"));
    }
}

// Online, the server stops reading and the driver floods until its writes
// stall; then the driver goes. The session must end within a few seconds.
TEST_F(SessionFaultTest, SessionWhoseDriverHasGoneEndsWhileItsServerStalls) {
    HANDLE release = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    FakeServer server([&](FakeConnection& c, int) {
        if (!c.AcceptLogin()) return;
        WaitForSingleObject(release, 60000);  // reads nothing meanwhile
    });
    portdrv::PortDriverClient client;
    OpenOnline(client, server, L"Stall");

    // The driver floods until a write has waited a second for room (or a
    // bounded amount went out), then goes.
    std::atomic<int> written{0};
    std::thread flood([&] {
        const std::vector<char> piece(1020, 'f');
        while (written < 8192 && client.SendData(piece.data(), piece.size())) ++written;
    });
    for (int last = -1; last != written;) {
        last = written;
        Sleep(1000);
    }
    client.CancelPendingIo();
    flood.join();
    client.Close();
    EXPECT_TRUE(SessionsEndWithin(5000)) << written << " messages written";
    SetEvent(release);
    CloseHandle(release);
}

// An entry whose server key, or the key's address, is missing names no
// device: it is skipped as a failed entry instead of reaching the server of
// the entry before it.
TEST_F(SessionFaultTest, EntryWithoutServerKeyOrAddressIsSkipped) {
    FakeServer refusing([](FakeConnection& c, int) {
        rasim::ClientMessage m;
        if (!c.ReadType(wire::kLogin, m)) return;
        rasim::Bytes reply;
        rasim::AppendDisconnect(reply, wire::kReasonRefused, "no");
        c.Send(reply);
        c.WaitClosed();
    });
    AddPort(L"Holes", L"COM3", 1);
    AddEntry(L"Holes", 0, AddServer(L"Refusing", refusing.Address()), L"modem");
    AddEntry(L"Holes", 1, std::wstring(reg::kTcpServersKey) + L"\\Gone", L"modem");
    const std::wstring noAddress = std::wstring(reg::kTcpServersKey) + L"\\Bare";
    ScratchRegistry::SetString(noAddress, reg::kName, L"Bare Server");
    AddEntry(L"Holes", 2, noAddress, L"modem");
    SetGlobal(reg::kSilent, 1);

    portdrv::PortDriverClient client;
    ASSERT_TRUE(Open(client, L"Holes"));
    EXPECT_TRUE(Closed(client));  // the list ends without an answer
    EXPECT_EQ(1, refusing.Connections());
    std::vector<std::pair<DWORD, std::wstring>> narrations;
    for (const auto& call : FakeUi::Instance().Calls())
        if (call.name == "PostNarration") narrations.emplace_back(call.value, call.text);
    EXPECT_EQ((std::vector<std::pair<DWORD, std::wstring>>{{kNarrateAttempting, L"Refusing"},
                                                           {kNarrateRefused, L"Refusing"},
                                                           {kNarrateFailed, L"Gone"},
                                                           {kNarrateFailed, L"Bare Server"}}),
              narrations);
}

// Entries are tried by their decimal names, 0, 1, 2, ..., not in the
// registry's text order (0, 1, 10, 2, ...).
TEST_F(SessionFaultTest, EntriesPastTenAreWalkedInDecimalOrder) {
    FakeServer second(AcceptAndListen);
    FakeServer tenth(AcceptAndListen);
    AddPort(L"Many", L"COM3", 1);
    const std::wstring closed = AddServer(L"Closed", ClosedAddress());
    for (int i = 0; i <= 10; ++i) {
        if (i == 2)
            AddEntry(L"Many", i, AddServer(L"Second", second.Address()), L"modem");
        else if (i == 10)
            AddEntry(L"Many", i, AddServer(L"Tenth", tenth.Address()), L"modem");
        else
            AddEntry(L"Many", i, closed, L"modem");
    }
    SetGlobal(reg::kSilent, 1);
    portdrv::PortDriverClient client;
    ASSERT_TRUE(Open(client, L"Many"));
    ExpectOpened(client);
    EXPECT_EQ(1, second.Connections());
    EXPECT_EQ(0, tenth.Connections());
}

// A stopped listener closes the instance it was waiting on itself, with the
// connect record still alive: no client can reach it afterwards.
TEST_F(SessionFaultTest, StoppedListenerLeavesNoInstanceBehind) {
    SetEvent(m_stop);
    m_listener.join();
    m_listener = std::thread([] {});
    EXPECT_TRUE(m_listenerResult);
    HANDLE pipe = CreateFileW(m_pipeName.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING,
                              FILE_FLAG_OVERLAPPED, nullptr);
    EXPECT_EQ(INVALID_HANDLE_VALUE, pipe);
    EXPECT_EQ(static_cast<DWORD>(ERROR_FILE_NOT_FOUND), GetLastError());
    if (pipe != INVALID_HANDLE_VALUE) CloseHandle(pipe);
}

// After 120 s without a write the session sends a keep-alive, and not before.
TEST_F(SessionFaultTest, KeepAliveAfter120SecondsIdle) {
    std::atomic<int> keepAlives{0};
    std::atomic<int> data{0};
    FakeServer server([&](FakeConnection& c, int) {
        rasim::ClientMessage m;
        if (!c.AcceptLogin()) return;
        while (c.Read(m)) {
            if (m.type == wire::kKeepAlive) ++keepAlives;
            if (m.type == wire::kData) ++data;
        }
    });
    portdrv::PortDriverClient client;
    OpenOnline(client, server, L"Idle");
    Advance(60000, 60000);
    ASSERT_TRUE(client.SendData("x", 1));  // a write: idle from here
    while (data == 0) Sleep(10);
    Advance(119000, 119000);
    Sleep(200);
    EXPECT_EQ(0, keepAlives.load());
    Advance(1000);
    for (int i = 0; i < 200 && keepAlives == 0; ++i) Sleep(10);
    EXPECT_EQ(1, keepAlives.load());
    Advance(119000, 119000);
    Sleep(200);
    EXPECT_EQ(1, keepAlives.load());
    Advance(1000);
    for (int i = 0; i < 200 && keepAlives < 2; ++i) Sleep(10);
    EXPECT_EQ(2, keepAlives.load());
}

// A disconnect from the server while online ends the session: the driver's
// pipe closes and nothing more is narrated.
TEST_F(SessionFaultTest, DisconnectWhileOnlineEndsTheSession) {
    FakeServer server([](FakeConnection& c, int) {
        rasim::ClientMessage m;
        if (!c.AcceptLogin()) return;
        rasim::Bytes reply;
        if (!c.ReadType(wire::kData, m)) return;
        reply.clear();
        rasim::AppendDisconnect(reply, wire::kReasonRefused, "bye");
        c.Send(reply);
        c.WaitClosed();
    });
    portdrv::PortDriverClient client;
    OpenOnline(client, server, L"Hangup");
    ASSERT_TRUE(client.SendData("x", 1));
    EXPECT_TRUE(Closed(client));
    EXPECT_TRUE(FakeUi::Instance().WaitFor("DestroyUI"));
    EXPECT_EQ((std::vector<DWORD>{kNarrateAttempting, kNarrateConnected}), FakeUi::Instance().Narrations());
}

// The send lamp is asked for only when it is not already lit and flashing.
TEST_F(SessionFaultTest, LampIsLitOnlyWhenItIsDark) {
    FakeServer server(AcceptAndListen);
    portdrv::PortDriverClient client;
    OpenOnline(client, server, L"Lamp");
    for (int i = 0; i < 20; ++i) ASSERT_TRUE(client.SendData("x", 1));
    ASSERT_TRUE(FakeUi::Instance().WaitFor("UpdateSendLED"));
    Sleep(200);
    EXPECT_EQ(1, FakeUi::Instance().Count("UpdateSendLED"));
    Advance(kLampFlashMs + 100);
    ASSERT_TRUE(client.SendData("y", 1));
    EXPECT_TRUE(FakeUi::Instance().WaitFor("UpdateSendLED", 2));
}

// Without a user-interface instance (its thread could not start) the session
// goes on without windows: the open completes and data flows.
TEST_F(SessionFaultTest, SessionGoesOnWithoutItsWindows) {
    FakeUi::Instance().SetCreateFails(true);
    FakeServer server([](FakeConnection& c, int) {
        rasim::ClientMessage m;
        if (!c.AcceptLogin()) return;
        rasim::Bytes reply;
        while (c.ReadType(wire::kData, m)) {
            reply.clear();
            rasim::AppendData(reply, m.data.data(), m.data.size());
            c.Send(reply);
        }
    });
    portdrv::PortDriverClient client;
    OpenOnline(client, server, L"Blind");
    ASSERT_TRUE(client.SendData("ping", 4));
    const auto m = Next(client);
    ASSERT_EQ(portpipe::PipeData, m.type);
    EXPECT_EQ((std::vector<std::uint8_t>{'p', 'i', 'n', 'g'}), m.payload);
    EXPECT_EQ(std::vector<std::string>{"CreateUI"}, [] {
        std::vector<std::string> names;
        for (const auto& call : FakeUi::Instance().Calls()) names.push_back(call.name);
        return names;
    }());
}
