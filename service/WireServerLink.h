#pragma once
// The server wire protocol as a ServerLink: one stream socket, a fixed ring
// of queued messages sent gathered in one send, and the receive framer.
// Sends and receives are overlapped; one that completes at once is handled at
// once, one that is pending signals its event and is finished by Poll. No call
// here ever waits, except Connect.
#include <winsock2.h>

#include "Handles.h"
#include "PieceRing.h"
#include "ReceiveFramer.h"
#include "ServerLink.h"
#include "SessionEnvironment.h"

namespace svc {

class WireServerLink final : public ServerLink {
public:
    // Several data messages of the driver's largest piece (1020 bytes and a
    // 3-byte header) fit; a login or password change fits one slot.
    static constexpr std::size_t kSendSlots = 16;
    static constexpr std::size_t kSendSlotSize = 1024;

    WireServerLink(ServerConnector connect, ServerEvents& events);
    ~WireServerLink() override;
    WireServerLink(const WireServerLink&) = delete;
    WireServerLink& operator=(const WireServerLink&) = delete;

    bool Connect(const BYTE* address, int length) override;
    bool Connected() const override { return m_socket.IsValid(); }
    SOCKET Socket() const override { return m_socket.Get(); }

    bool QueueData(const std::uint8_t* data, std::size_t length) override;
    bool QueueLogin(const char16_t* user, const std::uint16_t* scrambledOrNull, const char16_t* port) override;
    bool QueueSettings(const SerialSettings& settings) override;
    bool QueueKeepAlive() override;
    bool QueueChangePassword(const std::uint16_t* oldScrambled, const std::uint16_t* newScrambled) override;
    bool HasRoomForData() const override { return m_socket.IsValid() && m_queue.Free() > 0; }
    void BeginBatch() override { m_batch = true; }
    void EndBatch() override;
    bool Idle() const override { return m_queue.Empty(); }

    void Resume() override;
    void Close() override;
    bool Busy() const override { return m_send.pending || m_receive.pending; }
    void AddWaits(HANDLE* events, DWORD& count) const override;
    void Poll() override;

    // Why the last delivery stopped, for the session's progress lines.
    bool DiscardedUnknown() const { return m_discarded; }

private:
    struct Operation {
        WSAOVERLAPPED overlapped{};
        kvr::UniqueHandle event;
        bool pending = false;
    };

    // Builds one message into the back slot with build(slot, capacity) -> length.
    template <typename Build>
    bool Queue(Build build);
    void StartSend();
    bool TakeSent(DWORD bytes);
    void StartReceive();
    void Deliver();
    // Hands out every complete message while the session has room; true when
    // all are out and the next receive may be issued.
    bool DeliverReady();
    void Lose(unsigned long error);
    void AwaitIdle();

    ServerConnector m_connect;
    ServerEvents& m_events;
    kvr::UniqueSocket m_socket;
    PieceRing<kSendSlots, kSendSlotSize> m_queue;
    wire::ReceiveFramer m_framer;
    Operation m_send;
    Operation m_receive;
    WSABUF m_gather[kSendSlots] = {};
    std::size_t m_sendingPieces = 0;
    DWORD m_sendingBytes = 0;
    bool m_holding = false;     // a message waits for the session's room
    bool m_delivering = false;  // Deliver is on the stack
    bool m_sending = false;     // StartSend is on the stack
    bool m_batch = false;       // queued messages wait for EndBatch
    bool m_discarded = false;
};

}  // namespace svc
