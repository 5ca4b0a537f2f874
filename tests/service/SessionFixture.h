#pragma once
// Runs the service's pipe listener and sessions in this process, against a
// scratch registry, a fake user-interface library and fake servers.
#include <gtest/gtest.h>
#include <winsock2.h>

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

class SessionFixture : public ::testing::Test {
protected:
    void SetUp() override {
        WSADATA wsa;
        WSAStartup(MAKEWORD(2, 2), &wsa);
        m_pipeName = L"\\\\.\\pipe\\kvrtest_" + std::to_wstring(GetCurrentProcessId()) + L"_" +
                     std::to_wstring(++s_serial);
        m_cache = std::make_unique<PasswordCache>((L"KvrTestCache" + std::to_wstring(GetCurrentProcessId())).c_str());
        FakeUi::Instance().Reset();
        svc::SetSessionEnvironment({&FakeUi::Api(), m_cache.get()});
        m_stop = CreateEventW(nullptr, TRUE, FALSE, nullptr);
        m_connect = CreateEventW(nullptr, TRUE, FALSE, nullptr);
        m_listener = std::thread([this] { m_lastPipe = svc::RunPipeListener(m_pipeName, m_stop, m_connect, nullptr); });
        // Defaults that keep tests quick: no silent login, ask for nothing.
        SetGlobal(reg::kSilent, 0);
    }
    void TearDown() override {
        SetEvent(m_stop);
        m_listener.join();
        if (m_lastPipe != INVALID_HANDLE_VALUE) CloseHandle(m_lastPipe);
        CloseHandle(m_stop);
        CloseHandle(m_connect);
        FakeUi::Instance().JoinAnswers();
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
    HANDLE m_stop = nullptr;
    HANDLE m_connect = nullptr;
    HANDLE m_lastPipe = INVALID_HANDLE_VALUE;
    std::thread m_listener;
    static inline int s_serial = 0;
};
