#include "WireServerLink.h"

namespace svc {

WireServerLink::WireServerLink(ServerConnector connect, ServerEvents& events)
    : m_connect(connect), m_events(events) {
    m_send.event.Reset(CreateEventW(nullptr, TRUE, FALSE, nullptr));
    m_receive.event.Reset(CreateEventW(nullptr, TRUE, FALSE, nullptr));
}

WireServerLink::~WireServerLink() {
    Close();
    AwaitIdle();
}

void WireServerLink::AwaitIdle() {
    // A closed socket's pending operations complete at once, into their
    // records: wait for that before the records are used again or go.
    for (Operation* operation : {&m_send, &m_receive}) {
        if (operation->pending) WaitForSingleObject(operation->event.Get(), 5000);
        operation->pending = false;
    }
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
    m_batch = false;
    if (m_socket) CancelIo(reinterpret_cast<HANDLE>(m_socket.Get()));
    m_socket.Reset();
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

void WireServerLink::AddWaits(HANDLE* events, DWORD& count) const {
    if (m_send.pending) events[count++] = m_send.event.Get();
    if (m_receive.pending) events[count++] = m_receive.event.Get();
}

void WireServerLink::Poll() {
    if (!m_socket) {
        // Closed: what was pending only has to finish.
        for (Operation* operation : {&m_send, &m_receive})
            if (operation->pending && HasOverlappedIoCompleted(&operation->overlapped)) operation->pending = false;
        return;
    }
    DWORD bytes = 0, flags = 0;
    if (m_send.pending && HasOverlappedIoCompleted(&m_send.overlapped)) {
        m_send.pending = false;
        if (!WSAGetOverlappedResult(m_socket.Get(), &m_send.overlapped, &bytes, FALSE, &flags)) {
            Lose(static_cast<unsigned long>(WSAGetLastError()));
            return;
        }
        m_sending = true;
        const bool taken = TakeSent(bytes);
        m_sending = false;
        if (taken) StartSend();
    }
    if (m_receive.pending && m_socket && HasOverlappedIoCompleted(&m_receive.overlapped)) {
        m_receive.pending = false;
        if (!WSAGetOverlappedResult(m_socket.Get(), &m_receive.overlapped, &bytes, FALSE, &flags)) {
            Lose(static_cast<unsigned long>(WSAGetLastError()));
            return;
        }
        if (bytes == 0) {
            Lose(0);
            return;
        }
        m_framer.Commit(bytes);
        Deliver();
    }
}

void WireServerLink::EndBatch() {
    m_batch = false;
    StartSend();
}

void WireServerLink::StartSend() {
    if (m_sending || m_batch) return;
    m_sending = true;
    while (!m_send.pending && !m_queue.Empty() && m_socket) {
        // Everything queued goes out in one send, in order.
        m_sendingPieces = m_queue.Count();
        m_sendingBytes = 0;
        for (std::size_t i = 0; i < m_sendingPieces; ++i) {
            m_gather[i].buf = reinterpret_cast<char*>(const_cast<std::uint8_t*>(m_queue.Piece(i)));
            m_gather[i].len = static_cast<ULONG>(m_queue.PieceLength(i));
            m_sendingBytes += m_gather[i].len;
        }
        m_send.overlapped = {};
        m_send.overlapped.hEvent = m_send.event.Get();
        DWORD sent = 0;
        if (WSASend(m_socket.Get(), m_gather, static_cast<DWORD>(m_sendingPieces), &sent, 0, &m_send.overlapped,
                    nullptr) == 0) {
            if (!TakeSent(sent)) return;
            continue;
        }
        const int error = WSAGetLastError();
        if (error == WSA_IO_PENDING) {
            m_send.pending = true;
            break;
        }
        m_sending = false;
        Lose(static_cast<unsigned long>(error));
        return;
    }
    m_sending = false;
}

bool WireServerLink::TakeSent(DWORD bytes) {
    if (bytes != m_sendingBytes) {
        m_sending = false;
        Lose(static_cast<unsigned long>(WSAEMSGSIZE));
        return false;
    }
    m_queue.Pop(m_sendingPieces);
    m_events.OnServerRoom();  // may queue more: the loop sending takes it
    return true;
}

void WireServerLink::StartReceive() {
    // Each immediate receive is delivered here; Deliver asks for the next.
    while (!m_receive.pending && !m_holding && m_socket) {
        const wire::ReceiveSpace tail = m_framer.WritableTail();
        WSABUF buffer{static_cast<ULONG>(tail.size), reinterpret_cast<char*>(tail.data)};
        DWORD flags = 0, received = 0;
        m_receive.overlapped = {};
        m_receive.overlapped.hEvent = m_receive.event.Get();
        if (WSARecv(m_socket.Get(), &buffer, 1, &received, &flags, &m_receive.overlapped, nullptr) == 0) {
            if (received == 0) {
                Lose(0);
                return;
            }
            m_framer.Commit(received);
            if (!DeliverReady()) return;
            continue;
        }
        const int error = WSAGetLastError();
        if (error == WSA_IO_PENDING) {
            m_receive.pending = true;
            return;
        }
        Lose(static_cast<unsigned long>(error));
        return;
    }
}

void WireServerLink::Resume() {
    if (m_holding && !m_delivering) {
        m_holding = false;
        Deliver();
    }
}

void WireServerLink::Deliver() {
    if (DeliverReady()) StartReceive();
}

bool WireServerLink::DeliverReady() {
    if (m_delivering) return false;
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
        m_delivering = false;
        if (status == wire::FrameStatus::Overflow) {
            // A message larger than the receive buffer can never complete.
            Lose(static_cast<unsigned long>(WSAEMSGSIZE));
            return false;
        }
        m_discarded = m_discarded || status == wire::FrameStatus::Discarded;
        return true;  // everything complete is delivered: read on
    }
    m_delivering = false;
    return false;
}

}  // namespace svc
