#pragma once
// A scripted remote access server on a loopback address: each accepted
// connection runs the script on a thread of its own.
#include <winsock2.h>
#include <ws2tcpip.h>

#include <algorithm>
#include <atomic>
#include <functional>
#include <mutex>
#include <thread>
#include <vector>

#include "ServerCodec.h"
#include "WireTypes.h"

class FakeConnection {
public:
    explicit FakeConnection(SOCKET s) : m_socket(s) {
        const DWORD timeoutMs = 15000;  // a stuck test fails instead of hanging
        setsockopt(m_socket, SOL_SOCKET, SO_RCVTIMEO, reinterpret_cast<const char*>(&timeoutMs), sizeof(timeoutMs));
    }
    // The next complete message from the service; false when the connection
    // closed (or nothing came for 15 s).
    bool Read(rasim::ClientMessage& message) {
        for (;;) {
            const auto status = m_reader.Next(message);
            if (status == rasim::ParseStatus::kComplete) return true;
            if (status == rasim::ParseStatus::kUnknown) return false;
            std::uint8_t buffer[4096];
            const int n = recv(m_socket, reinterpret_cast<char*>(buffer), sizeof(buffer), 0);
            if (n <= 0) return false;
            m_reader.Append(buffer, static_cast<std::size_t>(n));
        }
    }
    // Reads until a message of the type comes (skipping keep-alives and settings).
    bool ReadType(std::uint8_t type, rasim::ClientMessage& message) {
        while (Read(message))
            if (message.type == type) return true;
        return false;
    }
    // Reads up to the login and accepts it; false when none came.
    bool AcceptLogin(std::uint16_t version = 0x0300, const char* text = "", bool expired = false) {
        rasim::ClientMessage login;
        if (!ReadType(wire::kLogin, login)) return false;
        rasim::Bytes reply;
        rasim::AppendLoginAccepted(reply, version, text, expired);
        Send(reply);
        return true;
    }
    // The bytes as data messages of at most `piece` bytes, each sent alone.
    void SendData(const rasim::Bytes& bytes, std::size_t piece) {
        for (std::size_t at = 0; at < bytes.size(); at += piece) {
            rasim::Bytes message;
            rasim::AppendData(message, bytes.data() + at, std::min(piece, bytes.size() - at));
            Send(message);
        }
    }
    void Send(const rasim::Bytes& bytes) {
        send(m_socket, reinterpret_cast<const char*>(bytes.data()), static_cast<int>(bytes.size()), 0);
    }
    // True once the service has closed its end.
    bool WaitClosed() {
        rasim::ClientMessage message;
        while (Read(message)) {
        }
        return true;
    }

private:
    SOCKET m_socket;
    rasim::ClientMessageReader m_reader;
};

class FakeServer {
public:
    using Script = std::function<void(FakeConnection&, int connectionIndex)>;

    explicit FakeServer(Script script, const char* address = "127.0.0.1") : m_script(std::move(script)) {
        m_listen = socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
        sockaddr_in local{};
        local.sin_family = AF_INET;
        inet_pton(AF_INET, address, &local.sin_addr);
        bind(m_listen, reinterpret_cast<sockaddr*>(&local), sizeof(local));
        listen(m_listen, 16);
        int length = sizeof(m_address);
        getsockname(m_listen, reinterpret_cast<sockaddr*>(&m_address), &length);
        m_acceptor = std::thread([this] { Accept(); });
    }
    ~FakeServer() {
        closesocket(m_listen);
        m_acceptor.join();
        std::lock_guard<std::mutex> hold(m_lock);
        for (auto& t : m_connections) t.join();
        for (SOCKET s : m_sockets) closesocket(s);
    }
    FakeServer(const FakeServer&) = delete;
    FakeServer& operator=(const FakeServer&) = delete;

    const sockaddr_in& Address() const { return m_address; }
    int Connections() const { return m_count.load(); }

private:
    void Accept() {
        for (;;) {
            SOCKET s = accept(m_listen, nullptr, nullptr);
            if (s == INVALID_SOCKET) return;
            const int index = m_count++;
            std::lock_guard<std::mutex> hold(m_lock);
            m_sockets.push_back(s);
            m_connections.emplace_back([this, s, index] {
                FakeConnection connection(s);
                m_script(connection, index);
                shutdown(s, SD_SEND);
            });
        }
    }

    Script m_script;
    SOCKET m_listen = INVALID_SOCKET;
    sockaddr_in m_address{};
    std::thread m_acceptor;
    std::mutex m_lock;
    std::vector<std::thread> m_connections;
    std::vector<SOCKET> m_sockets;
    std::atomic<int> m_count{0};
};
