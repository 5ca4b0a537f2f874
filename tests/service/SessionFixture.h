#pragma once
// Runs the service's pipe listener and sessions in this process, against a
// scratch registry, a fake user-interface library, fake servers and a
// virtual clock that moves only when a test advances it.
#include <gtest/gtest.h>
#include <winsock2.h>

#include <atomic>
#include <cstring>
#include <string>
#include <thread>

#include "FakeServer.h"
#include "FakeUi.h"
#include "PasswordCache.h"
#include "PipeListener.h"
#include "PortDriverClient.h"
#include "PortSession.h"
#include "RegistryNames.h"
#include "ScratchRegistry.h"
#include "ServerConnect.h"
#include "SessionRegistry.h"

// Starts just before the tick count wraps, so every elapsed time must be
// taken by unsigned subtraction. The session loop's wait wakes often to see
// time the test has moved on.
class VirtualClock final : public svc::SessionClock {
public:
    DWORD Now() override { return m_now.load(); }
    void Wait(DWORD ms, const HANDLE* events, DWORD count) override {
        if (ms > 10) ms = 10;
        if (count == 0)
            SleepEx(ms, TRUE);
        else
            WaitForMultipleObjectsEx(count, events, FALSE, ms, TRUE);
    }
    void Advance(DWORD ms) { m_now += ms; }

private:
    std::atomic<DWORD> m_now{0xFFFFFFFFu - 4500};
};

class SessionFixture : public ::testing::Test {
protected:
    void SetUp() override {
        WSADATA wsa;
        WSAStartup(MAKEWORD(2, 2), &wsa);
        m_pipeName = L"\\\\.\\pipe\\kvrtest_" + std::to_wstring(GetCurrentProcessId()) + L"_" +
                     std::to_wstring(++s_serial);
        m_cache = std::make_unique<PasswordCache>((L"KvrTestCache" + std::to_wstring(GetCurrentProcessId())).c_str());
        FakeUi::Instance().Reset();
        m_environment = {&FakeUi::Api(), m_cache.get(), &m_clock, HKEY_LOCAL_MACHINE, &svc::ConnectToAddress};
        m_stop = CreateEventW(nullptr, TRUE, FALSE, nullptr);
        m_listener = std::thread([this] {
            svc::PipeListener listener(m_pipeName, nullptr, kvr::UniqueHandle(CreateEventW(nullptr, TRUE, FALSE, nullptr)),
                                       m_environment);
            m_listenerResult = listener.Run(m_stop);
        });
        // Defaults that keep tests quick: no silent login, ask for nothing.
        SetGlobal(reg::kSilent, 0);
    }
    void TearDown() override {
        SetEvent(m_stop);
        m_listener.join();
        CloseHandle(m_stop);
        // Sessions use this fixture's environment: they must all be gone. A
        // driver gone before its open is seen at a tick of the clock.
        for (int i = 0; i < 400 && svc::LiveSessionCount() != 0; ++i) {
            m_clock.Advance(1000);
            Sleep(25);
        }
        EXPECT_EQ(0u, svc::LiveSessionCount()) << "a session outlived its test";
        FakeUi::Instance().JoinAnswers();
    }

    // Moves the clock on in steps, giving the sessions time to act on each.
    void Advance(DWORD ms, DWORD step = 1000) {
        for (DWORD done = 0; done < ms; done += step) {
            m_clock.Advance(step < ms - done ? step : ms - done);
            Sleep(40);
        }
    }
    // Moves the clock on a second at a time until done() holds; false if it
    // never does within limitMs of clock time.
    template <typename Done>
    bool AdvanceUntil(Done done, DWORD limitMs = 300000) {
        for (DWORD moved = 0; moved <= limitMs; moved += 1000) {
            for (int i = 0; i < 20; ++i) {
                if (done()) return true;
                Sleep(10);
            }
            m_clock.Advance(1000);
        }
        return done();
    }

    static void SetGlobal(const wchar_t* name, DWORD value) { ScratchRegistry::SetDword(reg::kRezorivKey, name, value); }
    static void SetGlobalString(const wchar_t* name, const std::wstring& value) {
        ScratchRegistry::SetString(reg::kRezorivKey, name, value);
    }

    // A server key named name reaching the address.
    static std::wstring AddServer(const std::wstring& name, const sockaddr_in& address) {
        const std::wstring key = std::wstring(reg::kTcpServersKey) + L"\\" + name;
        BYTE stored[16] = {};
        std::memcpy(stored, &address, sizeof(address));
        ScratchRegistry::SetBinary(key, reg::kAddress, stored, sizeof(stored));
        ScratchRegistry::SetString(key, reg::kName, name);
        return key;
    }
    // An address where nothing listens: connections are refused at once.
    static sockaddr_in ClosedAddress() {
        SOCKET s = socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
        sockaddr_in a{};
        a.sin_family = AF_INET;
        a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        bind(s, reinterpret_cast<sockaddr*>(&a), sizeof(a));
        int length = sizeof(a);
        getsockname(s, reinterpret_cast<sockaddr*>(&a), &length);
        closesocket(s);
        return a;
    }
    static std::wstring PortKey(const std::wstring& key) { return std::wstring(reg::kPortsKey) + L"\\" + key; }
    static void AddPort(const std::wstring& key, const std::wstring& dosName, DWORD redirected) {
        ScratchRegistry::SetString(PortKey(key), reg::kDosDevices, dosName);
        ScratchRegistry::SetDword(PortKey(key), reg::kIsRedirected, redirected);
    }
    // Appends entry index to the port's list; empty texts leave a value out.
    static void AddEntry(const std::wstring& key, int index, const std::wstring& serverKey, const std::wstring& port) {
        const std::wstring entry = PortKey(key) + L"\\" + reg::kRedirections + L"\\" + std::to_wstring(index);
        RegCloseKey(ScratchRegistry::Create(entry));
        if (!serverKey.empty()) ScratchRegistry::SetString(entry, reg::kEntryServer, serverKey);
        if (!port.empty()) ScratchRegistry::SetString(entry, reg::kEntryPort, port);
    }

    bool Open(portdrv::PortDriverClient& client, const std::wstring& portKey) {
        return client.Connect(m_pipeName, 10000) && client.SendOpen(portKey);
    }
    // The next message of the driver, or type 0 when the pipe closed.
    static portdrv::Message Next(portdrv::PortDriverClient& client, DWORD timeoutMs = 20000) {
        portdrv::Message message;
        if (client.Receive(message, timeoutMs) != portdrv::ReadResult::Message) message.type = 0;
        return message;
    }
    static std::uint32_t ValueOf(const portdrv::Message& m) {
        return m.payload.size() >= 4 ? m.payload[0] | m.payload[1] << 8 | m.payload[2] << 16 | m.payload[3] << 24
                                     : 0xFFFFFFFF;
    }
    // The three messages of a completed open.
    static void ExpectOpened(portdrv::PortDriverClient& client) {
        auto m = Next(client);
        ASSERT_EQ(portpipe::PipeOpenResult, m.type);
        EXPECT_EQ(0u, ValueOf(m));
        m = Next(client);
        ASSERT_EQ(portpipe::PipeModemStatus, m.type);
        EXPECT_EQ(0x30, m.payload[0]);
        m = Next(client);
        ASSERT_EQ(portpipe::PipeLineStatus, m.type);
        EXPECT_EQ(0x60, m.payload[0]);
    }
    static bool Closed(portdrv::PortDriverClient& client) { return Next(client).type == 0; }

    ScratchRegistry m_registry;
    std::wstring m_pipeName;
    std::unique_ptr<PasswordCache> m_cache;
    VirtualClock m_clock;
    svc::SessionEnvironment m_environment{};
    HANDLE m_stop = nullptr;
    bool m_listenerResult = false;
    std::thread m_listener;
    static inline int s_serial = 0;
};
