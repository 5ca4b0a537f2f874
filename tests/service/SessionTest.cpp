#include <algorithm>
#include <functional>
#include <string>

#include "PasswordScramble.h"
#include "UiCallValues.h"
#include "SessionFixture.h"

namespace {

std::string PasswordOf(const rasim::ClientMessage& login) {
    char16_t out[kScrambledChars + 1];
    const auto n = UnscramblePassword(login.password.data(), login.password.size(), out, std::size(out));
    return std::string(out, out + n);
}

// Accepts the first login and echoes data until the service goes.
void AcceptAndEcho(FakeConnection& c, int) {
    rasim::ClientMessage m;
    if (!c.AcceptLogin(0x0300, "welcome")) return;
    rasim::Bytes reply;
    while (c.Read(m)) {
        if (m.type != wire::kData) continue;
        reply.clear();
        rasim::AppendData(reply, m.data.data(), m.data.size());
        c.Send(reply);
    }
}

// Answers the first login with what build appends, then waits for the
// service to leave.
FakeServer::Script ReplyToLogin(std::function<void(rasim::Bytes&)> build) {
    return [build](FakeConnection& c, int) {
        rasim::ClientMessage m;
        if (!c.ReadType(wire::kLogin, m)) return;
        rasim::Bytes reply;
        build(reply);
        c.Send(reply);
        c.WaitClosed();
    };
}

FakeServer::Script DisconnectLogin(std::uint8_t reason) {
    return ReplyToLogin([reason](rasim::Bytes& reply) { rasim::AppendDisconnect(reply, reason, "why"); });
}

DWORD TypeCredentials(AuthInfo& info) {
    wcscpy(info.userName, L"typed");
    wcscpy(info.password, L"typedpw");
    return kUiConfirmed;
}

}  // namespace

using SessionTest = SessionFixture;

TEST_F(SessionTest, UnredirectedOrUnknownPortsAnswerOneAndEnd) {
    AddPort(L"Plain", L"COM7", 0);
    for (const wchar_t* key : {L"Plain", L"NoSuchKey", L"..\\Plain"}) {
        portdrv::PortDriverClient client;
        ASSERT_TRUE(Open(client, key));
        const auto m = Next(client);
        ASSERT_EQ(portpipe::PipeOpenResult, m.type) << key;
        EXPECT_EQ(1u, ValueOf(m));
        EXPECT_TRUE(Closed(client));
    }
}

TEST_F(SessionTest, ListenerServesSeveralDriversAtOnce) {
    AddPort(L"Plain", L"COM7", 0);
    portdrv::PortDriverClient clients[4];
    for (auto& client : clients) ASSERT_TRUE(client.Connect(m_pipeName, 10000));
    // Every driver is connected before any opens: each has its own session.
    for (auto& client : clients) ASSERT_TRUE(client.SendOpen(L"Plain"));
    for (auto& client : clients) {
        const auto m = Next(client);
        EXPECT_EQ(portpipe::PipeOpenResult, m.type);
        EXPECT_EQ(1u, ValueOf(m));
    }
    EXPECT_EQ(4, FakeUi::Instance().Count("CreateUI"));
}

TEST_F(SessionTest, ListenerEndsAtOnceOnStop) {
    SetEvent(m_stop);
    const DWORD start = GetTickCount();
    m_listener.join();
    m_listener = std::thread([] {});
    EXPECT_LT(GetTickCount() - start, 5000u);
}

TEST_F(SessionTest, FirstMessageOtherThanOpenEndsTheSession) {
    portdrv::PortDriverClient client;
    ASSERT_TRUE(client.Connect(m_pipeName, 10000));
    ASSERT_TRUE(client.SendData("x", 1));
    EXPECT_TRUE(Closed(client));
}

TEST_F(SessionTest, RefusedServerIsSkippedAndTheNextCompletesTheOpen) {
    FakeServer good(AcceptAndEcho);
    AddPort(L"Two", L"COM3", 1);
    AddEntry(L"Two", 0, AddServer(L"Refusing", ClosedAddress()), L"modem1");
    AddEntry(L"Two", 1, AddServer(L"Good", good.Address()), L"modem2");
    SetGlobal(reg::kSilent, 1);

    portdrv::PortDriverClient client;
    ASSERT_TRUE(Open(client, L"Two"));
    ExpectOpened(client);
    EXPECT_EQ((std::vector<DWORD>{kNarrateAttempting, kNarrateAttempting, kNarrateConnected}),
              FakeUi::Instance().Narrations());
    ASSERT_TRUE(FakeUi::Instance().WaitFor("CreateModem"));
    const auto calls = FakeUi::Instance().Calls();
    const auto modem = std::find_if(calls.begin(), calls.end(), [](const UiCall& c) { return c.name == "CreateModem"; });
    EXPECT_EQ(L"COM3", modem->text);
    EXPECT_EQ(1, FakeUi::Instance().Count("DestroyNarrationWindow"));
}

TEST_F(SessionTest, DataAndSettingsFlowBothWays) {
    std::vector<rasim::ClientMessage> seen;
    std::mutex seenLock;
    FakeServer server([&](FakeConnection& c, int) {
        rasim::ClientMessage m;
        if (!c.ReadType(wire::kLogin, m)) return;
        rasim::Bytes reply;
        rasim::AppendLoginAccepted(reply, 0x0200, "v2", false);
        rasim::AppendData(reply, reinterpret_cast<const std::uint8_t*>("hi"), 2);  // right behind: not a flag
        rasim::AppendModemStatus(reply, 0x04 | 0x01);
        c.Send(reply);
        while (c.Read(m)) {
            std::lock_guard<std::mutex> hold(seenLock);
            seen.push_back(m);
            if (m.type == wire::kData && m.data == rasim::Bytes{'b', 'y', 'e'}) break;
        }
    });
    AddPort(L"Flow", L"COM4", 1);
    AddEntry(L"Flow", 0, AddServer(L"Server", server.Address()), L"modem");
    SetGlobal(reg::kSilent, 1);
    ScratchRegistry::SetDword(PortKey(L"Flow"), reg::kForcedFlowControl, 0x00030001);

    portdrv::PortDriverClient client;
    ASSERT_TRUE(Open(client, L"Flow"));
    ExpectOpened(client);
    auto m = Next(client);
    ASSERT_EQ(portpipe::PipeData, m.type);
    EXPECT_EQ((std::vector<std::uint8_t>{'h', 'i'}), m.payload);
    m = Next(client);
    ASSERT_EQ(portpipe::PipeModemStatus, m.type);
    EXPECT_EQ(0xB0, m.payload[0]);

    ASSERT_TRUE(client.SendBaudRate(19200));
    ASSERT_TRUE(client.SendLineControl(0x1B));
    ASSERT_TRUE(client.SendModemControl(0x01));
    ASSERT_TRUE(client.SendHandFlow(0x08, 0x02, 0, 0));
    ASSERT_TRUE(client.Send(9, "ignored", 7));
    ASSERT_TRUE(client.SendData("bye", 3));
    EXPECT_TRUE(Closed(client));  // the server leaves after "bye"

    std::lock_guard<std::mutex> hold(seenLock);
    ASSERT_EQ(5u, seen.size());
    const std::array<std::uint8_t, 8> expected[] = {
        {7, 0, 0, 0, 0, 0, 0, 0},  // 19200
        {0, 1, 8, 3, 0, 0, 2, 0},  // 8 data bits, even parity, one stop bit, no break
        {0, 0, 0, 0, 0, 0, 0, 1},  // DTR on
        {0, 0, 0, 0, 3, 1, 0, 0},  // forced flow control wins over what the driver asked
    };
    for (size_t i = 0; i < 4; ++i) {
        EXPECT_EQ(wire::kSettings, seen[i].type);
        EXPECT_EQ(expected[i], seen[i].settings) << i;
    }
    EXPECT_EQ(1, FakeUi::Instance().Count("UpdateReceiveLED"));
    EXPECT_TRUE(FakeUi::Instance().WaitFor("UpdateSendLED"));
    EXPECT_TRUE(FakeUi::Instance().WaitFor("UpdateModemLEDs"));
}

TEST_F(SessionTest, LongServerDataReachesTheDriverIn1020BytePieces) {
    FakeServer server(ReplyToLogin([](rasim::Bytes& reply) {
        rasim::AppendLoginAccepted(reply, 0x0300, "", false);
        rasim::AppendData(reply, nullptr, 0);
        rasim::Bytes data(2045);
        for (size_t i = 0; i < data.size(); ++i) data[i] = static_cast<std::uint8_t>(i * 7);
        rasim::AppendData(reply, data.data(), data.size());
    }));
    AddPort(L"Long", L"COM5", 1);
    AddEntry(L"Long", 0, AddServer(L"Server", server.Address()), L"modem");
    SetGlobal(reg::kSilent, 1);
    portdrv::PortDriverClient client;
    ASSERT_TRUE(Open(client, L"Long"));
    ExpectOpened(client);
    std::vector<std::uint8_t> all;
    for (size_t expected : {1020u, 1020u, 5u}) {
        const auto m = Next(client);
        ASSERT_EQ(portpipe::PipeData, m.type);
        EXPECT_EQ(expected, m.payload.size());
        all.insert(all.end(), m.payload.begin(), m.payload.end());
    }
    for (size_t i = 0; i < all.size(); ++i) ASSERT_EQ(static_cast<std::uint8_t>(i * 7), all[i]) << i;
    // The empty message sends nothing to the driver but lights the lamp; the
    // data right behind it finds the lamp still lit and flashing.
    const auto calls = FakeUi::Instance().Calls();
    EXPECT_EQ(1, FakeUi::Instance().Count("UpdateReceiveLED"));
    EXPECT_EQ(static_cast<DWORD>(kLampRD),
              std::find_if(calls.begin(), calls.end(), [](const UiCall& c) { return c.name == "UpdateReceiveLED"; })->value);
}

TEST_F(SessionTest, MessageTooLargeForTheReceiveBufferEndsTheSession) {
    FakeServer server(ReplyToLogin([](rasim::Bytes& reply) {
        rasim::AppendLoginAccepted(reply, 0x0300, "", false);
        rasim::Bytes data(2046, 0x55);
        rasim::AppendData(reply, data.data(), data.size());
    }));
    AddPort(L"Big", L"COM5", 1);
    AddEntry(L"Big", 0, AddServer(L"Server", server.Address()), L"modem");
    SetGlobal(reg::kSilent, 1);
    portdrv::PortDriverClient client;
    ASSERT_TRUE(Open(client, L"Big"));
    ExpectOpened(client);
    EXPECT_TRUE(Closed(client));
}

TEST_F(SessionTest, ServerClosingWhileOnlineEndsTheSession) {
    FakeServer server([](FakeConnection& c, int) {
        rasim::ClientMessage m;
        if (!c.AcceptLogin()) return;
        c.ReadType(wire::kData, m);  // then hang up
    });
    AddPort(L"Drop", L"COM5", 1);
    AddEntry(L"Drop", 0, AddServer(L"Server", server.Address()), L"modem");
    SetGlobal(reg::kSilent, 1);
    portdrv::PortDriverClient client;
    ASSERT_TRUE(Open(client, L"Drop"));
    ExpectOpened(client);
    ASSERT_TRUE(client.SendData("x", 1));
    EXPECT_TRUE(Closed(client));
    EXPECT_TRUE(FakeUi::Instance().WaitFor("DestroyUI"));
}

TEST_F(SessionTest, DriverClosingEndsTheSessionAndItsConnection) {
    HANDLE serverSawClose = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    FakeServer server([&](FakeConnection& c, int) {
        if (!c.AcceptLogin()) return;
        c.WaitClosed();
        SetEvent(serverSawClose);
    });
    AddPort(L"Close", L"COM5", 1);
    AddEntry(L"Close", 0, AddServer(L"Server", server.Address()), L"modem");
    SetGlobal(reg::kSilent, 1);
    {
        portdrv::PortDriverClient client;
        ASSERT_TRUE(Open(client, L"Close"));
        ExpectOpened(client);
    }
    EXPECT_EQ(WAIT_OBJECT_0, WaitForSingleObject(serverSawClose, 20000));
    EXPECT_TRUE(FakeUi::Instance().WaitFor("DestroyUI"));
    CloseHandle(serverSawClose);
}

TEST_F(SessionTest, BusyServerIsRetriedWithinTheReopenIntervalThenTheNextEntry) {
    FakeServer busy(DisconnectLogin(wire::kReasonPortInUse));
    FakeServer good(AcceptAndEcho);
    AddPort(L"Busy", L"COM3", 1);
    AddEntry(L"Busy", 0, AddServer(L"BusyOne", busy.Address()), L"modem");
    AddEntry(L"Busy", 1, AddServer(L"Good", good.Address()), L"modem");
    SetGlobal(reg::kSilent, 1);
    SetGlobal(reg::kReopen, 7000);

    portdrv::PortDriverClient client;
    ASSERT_TRUE(Open(client, L"Busy"));
    // Tries at 0, 3 and 6 seconds (3 seconds after each login), then the
    // 7-second interval has passed and the walk moves on.
    for (int tries = 1; tries <= 3; ++tries) {
        ASSERT_TRUE(FakeUi::Instance().WaitFor("PostNarration", tries)) << tries;
        Sleep(100);  // the refusal reaches the session
        EXPECT_EQ(tries, busy.Connections());
        Advance(2000);
        EXPECT_EQ(tries, busy.Connections()) << "retried before 3 seconds";
        Advance(1000);
    }
    ExpectOpened(client);
    EXPECT_EQ(3, busy.Connections());
    EXPECT_EQ((std::vector<DWORD>{kNarrateAttempting, kNarrateAttempting, kNarrateAttempting, kNarrateInUse,
                                  kNarrateAttempting, kNarrateConnected}),
              FakeUi::Instance().Narrations());
}

TEST_F(SessionTest, SilentLoginThenCredentialsRequiredOpensTheDialog) {
    std::vector<std::string> logins;
    FakeServer server([&](FakeConnection& c, int) {
        rasim::ClientMessage m;
        while (c.ReadType(wire::kLogin, m)) {
            logins.push_back(m.user + ":" + PasswordOf(m));
            rasim::Bytes reply;
            if (m.password.empty())
                rasim::AppendCredentialsRequired(reply);
            else
                rasim::AppendLoginAccepted(reply, 0x0300, "", false);
            c.Send(reply);
            if (!m.password.empty()) break;
        }
        c.WaitClosed();
    });
    AddPort(L"Silent", L"COM3", 1);
    AddEntry(L"Silent", 0, AddServer(L"Server", server.Address()), L"modem");
    SetGlobal(reg::kSilent, 1);
    SetGlobalString(reg::kUsername, L"alice");
    FakeUi::Instance().OnAuth(TypeCredentials);

    portdrv::PortDriverClient client;
    ASSERT_TRUE(Open(client, L"Silent"));
    ExpectOpened(client);
    EXPECT_EQ((std::vector<std::string>{"alice:", "typed:typedpw"}), logins);
    EXPECT_EQ(1, FakeUi::Instance().Count("CreateAuthWindow"));
}

TEST_F(SessionTest, CancelledAuthenticationEndsTheSessionWithoutAnswer) {
    FakeServer server([](FakeConnection& c, int) { c.WaitClosed(); });
    AddPort(L"Ask", L"COM3", 1);
    AddEntry(L"Ask", 0, AddServer(L"Server", server.Address()), L"modem");
    FakeUi::Instance().OnAuth([](AuthInfo& info) {
        wcscpy(info.userName, L"edited");
        return kUiCancelled;
    });
    portdrv::PortDriverClient client;
    ASSERT_TRUE(Open(client, L"Ask"));
    EXPECT_TRUE(Closed(client));
}

TEST_F(SessionTest, CachedPasswordRejectedTriesSilentThenTheDialog) {
    std::vector<std::string> logins;
    std::mutex lock;
    FakeServer server([&](FakeConnection& c, int index) {
        rasim::ClientMessage m;
        while (c.ReadType(wire::kLogin, m)) {
            const std::string password = PasswordOf(m);
            {
                std::lock_guard<std::mutex> hold(lock);
                logins.push_back(m.user + ":" + password);
            }
            rasim::Bytes reply;
            // The first session logs in; later the cached password is refused.
            const bool accept = (index == 0 && password == "first") || password == "typedpw";
            if (accept)
                rasim::AppendLoginAccepted(reply, 0x0300, "", false);
            else
                rasim::AppendCredentialsRequired(reply);
            c.Send(reply);
            if (accept) break;
        }
        c.WaitClosed();
    });
    AddPort(L"Cache", L"COM3", 1);
    AddEntry(L"Cache", 0, AddServer(L"Server", server.Address()), L"modem");
    SetGlobal(reg::kSilent, 0);
    SetGlobal(reg::kPasswordCaching, reg::kCacheNeverExpires);
    FakeUi::Instance().OnAuth([](AuthInfo& info) {
        wcscpy(info.userName, L"bob");
        wcscpy(info.password, L"first");
        return kUiConfirmed;
    });
    {
        portdrv::PortDriverClient client;
        ASSERT_TRUE(Open(client, L"Cache"));
        ExpectOpened(client);
    }
    ASSERT_TRUE(FakeUi::Instance().WaitFor("DestroyUI"));
    SetGlobal(reg::kSilent, 1);
    FakeUi::Instance().OnAuth(TypeCredentials);
    portdrv::PortDriverClient client;
    ASSERT_TRUE(Open(client, L"Cache"));
    ExpectOpened(client);
    std::lock_guard<std::mutex> hold(lock);
    EXPECT_EQ((std::vector<std::string>{"bob:first", "bob:first", "bob:", "typed:typedpw"}), logins);
    EXPECT_EQ(2, FakeUi::Instance().Count("CreateAuthWindow"));
}

TEST_F(SessionTest, ExpiredPasswordAnswers) {
    enum class Answer { Decline, ChangeAccepted, ChangeRefusedThenDecline };
    for (Answer answer : {Answer::Decline, Answer::ChangeAccepted, Answer::ChangeRefusedThenDecline}) {
        FakeUi::Instance().Reset();
        std::vector<std::string> changes;
        FakeServer server([&](FakeConnection& c, int) {
            rasim::ClientMessage m;
            if (!c.AcceptLogin(0x0300, "", true)) return;
            rasim::Bytes reply;
            while (c.ReadType(wire::kChangePassword, m)) {
                char16_t old[18], fresh[18];
                old[UnscramblePassword(m.password.data(), m.password.size(), old, 18)] = 0;
                fresh[UnscramblePassword(m.newPassword.data(), m.newPassword.size(), fresh, 18)] = 0;
                changes.push_back(std::string(old, old + std::char_traits<char16_t>::length(old)) + ">" +
                                  std::string(fresh, fresh + std::char_traits<char16_t>::length(fresh)));
                reply.clear();
                if (answer == Answer::ChangeAccepted)
                    rasim::AppendPasswordChanged(reply);
                else
                    rasim::AppendPasswordChangeFailed(reply);
                c.Send(reply);
            }
        });
        AddPort(L"Expired", L"COM3", 1);
        AddEntry(L"Expired", 0, AddServer(L"Server", server.Address()), L"modem");
        SetGlobal(reg::kSilent, 0);
        SetGlobalString(reg::kUsername, L"carol");
        SetGlobalString(reg::kPassword, L"oldpw");
        SetGlobal(reg::kPasswordCaching, 0);
        FakeUi::Instance().OnAuth([](AuthInfo& info) {
            wcscpy(info.password, L"oldpw");
            return kUiConfirmed;
        });
        int changeCalls = 0;
        FakeUi::Instance().OnChange([&](AuthInfo& info) {
            ++changeCalls;
            if (answer == Answer::Decline || changeCalls > 1) return kUiCancelled;
            wcscpy(info.newPassword, L"newpw");
            return kUiConfirmed;
        });
        portdrv::PortDriverClient client;
        ASSERT_TRUE(Open(client, L"Expired"));
        ExpectOpened(client);
        const auto calls = FakeUi::Instance().Calls();
        std::vector<DWORD> modes;
        for (const auto& call : calls)
            if (call.name == "ChangePassword") modes.push_back(call.value);
        switch (answer) {
        case Answer::Decline:
            EXPECT_EQ(std::vector<DWORD>{0}, modes);
            EXPECT_TRUE(changes.empty());
            break;
        case Answer::ChangeAccepted:
            EXPECT_EQ(std::vector<DWORD>{0}, modes);
            EXPECT_EQ(std::vector<std::string>{"oldpw>newpw"}, changes);
            break;
        case Answer::ChangeRefusedThenDecline:
            EXPECT_EQ((std::vector<DWORD>{0, 1}), modes);
            EXPECT_EQ(std::vector<std::string>{"oldpw>newpw"}, changes);
            break;
        }
        client.Close();
        FakeUi::Instance().WaitFor("DestroyUI");
    }
}

TEST_F(SessionTest, EntryWithoutPortEndsTheWalk) {
    FakeServer refusing(DisconnectLogin(wire::kReasonRefused));
    FakeServer never(AcceptAndEcho);
    AddPort(L"Gap", L"COM3", 1);
    AddEntry(L"Gap", 0, AddServer(L"Refusing", refusing.Address()), L"modem");
    AddEntry(L"Gap", 1, AddServer(L"NoPort", never.Address()), L"");
    AddEntry(L"Gap", 2, AddServer(L"Never", never.Address()), L"modem");
    SetGlobal(reg::kSilent, 1);
    portdrv::PortDriverClient client;
    ASSERT_TRUE(Open(client, L"Gap"));
    EXPECT_TRUE(Closed(client));
    EXPECT_EQ(0, never.Connections());
    EXPECT_EQ((std::vector<DWORD>{kNarrateAttempting, kNarrateRefused}), FakeUi::Instance().Narrations());
}

TEST_F(SessionTest, DisconnectReasonsNarrateTheirTexts) {
    const struct {
        std::uint8_t reason;
        std::vector<DWORD> narrations;
    } cases[] = {
        {2, {kNarrateAttempting, kNarrateRefused}},  {3, {kNarrateAttempting, kNarrateTimedOut}},
        {4, {kNarrateAttempting, kNarrateFailed}},   {5, {kNarrateAttempting, kNarrateDisabled}},
        {6, {kNarrateAttempting, kNarrateUnknownPort}}, {9, {kNarrateAttempting, kNarrateFailed}},
        {0, {kNarrateAttempting}},
    };
    for (const auto& c : cases) {
        FakeUi::Instance().Reset();
        FakeServer server(DisconnectLogin(c.reason));
        AddPort(L"Reason", L"COM3", 1);
        AddEntry(L"Reason", 0, AddServer(L"Server", server.Address()), L"modem");
        SetGlobal(reg::kSilent, 1);
        portdrv::PortDriverClient client;
        ASSERT_TRUE(Open(client, L"Reason"));
        EXPECT_TRUE(Closed(client));
        EXPECT_EQ(c.narrations, FakeUi::Instance().Narrations()) << int(c.reason);
    }
}

TEST_F(SessionTest, LateCallbackAfterTheSessionEndedTouchesNothing) {
    AddPort(L"Plain", L"COM7", 0);
    // Credentials are not ready, so the dialog is asked for before the port
    // turns out not to be redirected; the user answers after the session ended.
    FakeUi::Instance().SetAnswerDelay(1500);
    FakeUi::Instance().OnAuth(TypeCredentials);
    portdrv::PortDriverClient client;
    ASSERT_TRUE(Open(client, L"Plain"));
    EXPECT_EQ(1u, ValueOf(Next(client)));
    EXPECT_TRUE(Closed(client));
    FakeUi::Instance().JoinAnswers();
    EXPECT_EQ(1, FakeUi::Instance().Count("CreateAuthWindow"));
}

TEST_F(SessionTest, DriverMessageLongerThanTheReadBufferEndsTheSession) {
    FakeServer server(AcceptAndEcho);
    AddPort(L"Huge", L"COM3", 1);
    AddEntry(L"Huge", 0, AddServer(L"Server", server.Address()), L"modem");
    SetGlobal(reg::kSilent, 1);
    portdrv::PortDriverClient client;
    ASSERT_TRUE(Open(client, L"Huge"));
    ExpectOpened(client);
    const std::vector<char> data(1021, 'x');  // 1025 bytes with the type
    // The write itself may already see the pipe break.
    client.SendData(data.data(), data.size());
    EXPECT_TRUE(Closed(client));
}

TEST_F(SessionTest, MistypedRegistryValuesTakeTheirDefaults) {
    FakeServer good(AcceptAndEcho);
    // IsRedirected stored as text counts as absent: not redirected.
    ScratchRegistry::SetString(PortKey(L"Text"), reg::kDosDevices, L"COM6");
    ScratchRegistry::SetString(PortKey(L"Text"), reg::kIsRedirected, L"1");
    portdrv::PortDriverClient plain;
    ASSERT_TRUE(Open(plain, L"Text"));
    EXPECT_EQ(1u, ValueOf(Next(plain)));

    // A server address of the wrong size cannot be connected: the next entry is tried.
    AddPort(L"Odd", L"COM3", 1);
    const std::wstring broken = AddServer(L"Broken", good.Address());
    const BYTE shortAddress[6] = {2, 0, 1, 2, 3, 4};
    ScratchRegistry::SetBinary(broken, reg::kAddress, shortAddress, sizeof(shortAddress));
    AddEntry(L"Odd", 0, broken, L"modem");
    AddEntry(L"Odd", 1, AddServer(L"Good", good.Address()), L"modem");
    SetGlobal(reg::kSilent, 1);
    portdrv::PortDriverClient client;
    ASSERT_TRUE(Open(client, L"Odd"));
    ExpectOpened(client);
    EXPECT_EQ(1, good.Connections());
}

TEST_F(SessionTest, SecondAcceptanceDoesNotOpenThePortTwice) {
    FakeServer server(ReplyToLogin([](rasim::Bytes& reply) {
        rasim::AppendLoginAccepted(reply, 0x0300, "", false);
        rasim::AppendLoginAccepted(reply, 0x0300, "", false);
        rasim::AppendPasswordChanged(reply);
        rasim::AppendData(reply, reinterpret_cast<const std::uint8_t*>("x"), 1);
    }));
    AddPort(L"Twice", L"COM3", 1);
    AddEntry(L"Twice", 0, AddServer(L"Server", server.Address()), L"modem");
    SetGlobal(reg::kSilent, 1);
    portdrv::PortDriverClient client;
    ASSERT_TRUE(Open(client, L"Twice"));
    ExpectOpened(client);
    const auto m = Next(client);
    EXPECT_EQ(portpipe::PipeData, m.type);
    EXPECT_EQ(1, FakeUi::Instance().Count("CreateModem"));
}
