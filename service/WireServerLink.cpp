#include "WireServerLink.h"

#include "Progress.h"

namespace svc {

WireServerLink::WireServerLink(ServerConnector connect, ServerEvents& events)
    : m_connect(connect), m_events(events) {
    m_send.link = this;
    m_receive.link = this;
}

WireServerLink::~WireServerLink() {
    Close();
    AwaitIdle();
}

void WireServerLink::AwaitIdle() {
    // Cancelled I/O completes into this object: let it before reusing it.
    for (int i = 0; i < 500 && Busy(); ++i) SleepEx(10, TRUE);
}

bool WireServerLink::Connect(const BYTE* address, int length) {
    Close();
    AwaitIdle();
    m_socket.Reset(m_connect(address, length));
    if (!m_socket) return false;
    m_framer.Reset();
    m_discarded = false;
    StartReceive();
    return m_socket.IsValid();
}

void WireServerLink::Close() {
    m_socket.Reset();  // pending sends and receives complete with an error
    m_queue.Clear();
    m_framer.Reset();
    m_holding = false;
}

void WireServerLink::Lose(unsigned long error) {
    Close();
    m_events.OnServerLost(error);
}

template <typename Build>
bool WireServerLink::Queue(Build build) {
    if (!m_socket || m_queue.Free() == 0) return false;
    const std::size_t length = build(m_queue.Back(), kSendSlotSize);
    if (length == 0 || !m_queue.Push(length)) return false;
    StartSend();
    return true;
}

bool WireServerLink::QueueData(const std::uint8_t* data, std::size_t length) {
    // The caller's pieces are at most a pipe message's payload, so one slot
    // always holds them whole.
    if (length > kSendSlotSize - wire::kDataHeaderSize) return false;
    return Queue([&](std::uint8_t* slot, std::size_t capacity) { return wire::BuildData(slot, capacity, data, length); });
}

bool WireServerLink::QueueLogin(const char16_t* user, const std::uint16_t* scrambledOrNull, const char16_t* port) {
    return Queue([&](std::uint8_t* slot, std::size_t capacity) {
        return wire::BuildLogin(slot, capacity, user, scrambledOrNull, port);
    });
}

bool WireServerLink::QueueSettings(const SerialSettings& settings) {
    return Queue([&](std::uint8_t* slot, std::size_t capacity) { return wire::BuildSettings(slot, capacity, settings); });
}

bool WireServerLink::QueueKeepAlive() {
    return Queue([](std::uint8_t* slot, std::size_t capacity) { return wire::BuildKeepAlive(slot, capacity); });
}

bool WireServerLink::QueueChangePassword(const std::uint16_t* oldScrambled, const std::uint16_t* newScrambled) {
    return Queue([&](std::uint8_t* slot, std::size_t capacity) {
        return wire::BuildChangePassword(slot, capacity, oldScrambled, newScrambled);
    });
}

void WireServerLink::StartSend() {
    if (m_sendPending || m_queue.Empty() || !m_socket) return;
    // Everything queued goes out in one send, in order.
    m_sendingPieces = m_queue.Count();
    m_sendingBytes = 0;
    for (std::size_t i = 0; i < m_sendingPieces; ++i) {
        m_gather[i].buf = reinterpret_cast<char*>(const_cast<std::uint8_t*>(m_queue.Piece(i)));
        m_gather[i].len = static_cast<ULONG>(m_queue.PieceLength(i));
        m_sendingBytes += m_gather[i].len;
    }
    m_send.overlapped = {};
    if (WSASend(m_socket.Get(), m_gather, static_cast<DWORD>(m_sendingPieces), nullptr, 0, &m_send.overlapped,
                SendDone) == SOCKET_ERROR &&
        WSAGetLastError() != WSA_IO_PENDING) {
        Lose(static_cast<unsigned long>(WSAGetLastError()));
        return;
    }
    m_sendPending = true;
}

void CALLBACK WireServerLink::SendDone(DWORD error, DWORD bytes, WSAOVERLAPPED* overlapped, DWORD) {
    WireServerLink& link = *CONTAINING_RECORD(overlapped, IoRecord, overlapped)->link;
    link.m_sendPending = false;
    if (!link.m_socket) return;  // closed by us: the queue is gone already
    if (error != 0 || bytes != link.m_sendingBytes) {
        link.Lose(error != 0 ? error : static_cast<unsigned long>(WSAEMSGSIZE));
        return;
    }
    link.m_queue.Pop(link.m_sendingPieces);
    link.StartSend();
    link.m_events.OnServerRoom();
}

void WireServerLink::StartReceive() {
    if (m_receivePending || m_holding || !m_socket) return;
    const wire::ReceiveSpace tail = m_framer.WritableTail();
    WSABUF buffer{static_cast<ULONG>(tail.size), reinterpret_cast<char*>(tail.data)};
    DWORD flags = 0;
    m_receive.overlapped = {};
    if (WSARecv(m_socket.Get(), &buffer, 1, nullptr, &flags, &m_receive.overlapped, ReceiveDone) == SOCKET_ERROR &&
        WSAGetLastError() != WSA_IO_PENDING) {
        Lose(static_cast<unsigned long>(WSAGetLastError()));
        return;
    }
    m_receivePending = true;
}

void CALLBACK WireServerLink::ReceiveDone(DWORD error, DWORD bytes, WSAOVERLAPPED* overlapped, DWORD) {
    WireServerLink& link = *CONTAINING_RECORD(overlapped, IoRecord, overlapped)->link;
    link.m_receivePending = false;
    if (!link.m_socket) return;
    if (error != 0 || bytes == 0) {
        link.Lose(error);
        return;
    }
    link.m_framer.Commit(bytes);
    link.Deliver();
}

void WireServerLink::Resume() {
    if (m_holding && !m_delivering) {
        m_holding = false;
        Deliver();
    }
}

void WireServerLink::Deliver() {
    m_delivering = true;
    for (;;) {
        if (!m_socket) break;  // the session closed the link on a message
        if (!m_events.CanTakeServerMessage()) {
            m_holding = true;
            break;
        }
        const wire::FrameStatus status = m_framer.Next();
        if (status == wire::FrameStatus::Message) {
            m_events.OnServerMessage(m_framer.Last());
            continue;
        }
        if (status == wire::FrameStatus::Overflow) {
            // A message larger than the receive buffer can never complete.
            m_delivering = false;
            Lose(static_cast<unsigned long>(WSAEMSGSIZE));
            return;
        }
        m_discarded = m_discarded || status == wire::FrameStatus::Discarded;
        m_delivering = false;
        StartReceive();
        return;
    }
    m_delivering = false;
}

}  // namespace svc
