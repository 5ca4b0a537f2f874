#pragma once
// The port driver's end of a session: the pipe instance, one read at a time
// into a fixed buffer, and a fixed ring of messages toward the driver written
// one message per write. Everything runs on the session's thread through
// completion routines, and nothing waits in them.
#include <windows.h>

#include <cstdint>

#include "Handles.h"
#include "PieceRing.h"
#include "PipeProtocol.h"

namespace svc {

class DriverEvents {
public:
    virtual void OnDriverMessage(const std::uint8_t* message, std::size_t length) = 0;
    // Queued messages have been written: there is room again.
    virtual void OnDriverRoom() = 0;
    // A read or write failed: the driver has gone (ERROR_MORE_DATA: it sent
    // a message longer than a read takes).
    virtual void OnDriverLost(unsigned long error) = 0;

protected:
    ~DriverEvents() = default;
};

class DriverPipe {
public:
    // Several pipe messages: every piece of the largest server message, the
    // three messages of a completed open, and more in flight.
    static constexpr std::size_t kSlots = 8;

    DriverPipe(HANDLE pipe, DriverEvents& events);
    ~DriverPipe();
    DriverPipe(const DriverPipe&) = delete;
    DriverPipe& operator=(const DriverPipe&) = delete;

    // Issues the next read unless one is pending.
    void StartRead();
    bool ReadPending() const { return m_readPending; }

    // Queues one message behind the others and starts writing; false when
    // there is no room (or no pipe).
    bool Queue(const std::uint8_t* message, std::size_t length);
    // Builds a message into the back slot with build(slot, capacity) -> length.
    template <typename Build>
    bool QueueBuilt(Build build) {
        if (!m_pipe || m_queue.Free() == 0) return false;
        const std::size_t length = build(m_queue.Back(), portpipe::kPipeMessageSize);
        if (length == 0 || !m_queue.Push(length)) return false;
        StartWrite();
        return true;
    }
    std::size_t Room() const { return m_queue.Free(); }
    bool Idle() const { return m_queue.Empty(); }

    // A zero-byte look at the pipe: true once the driver has closed its end.
    bool Gone() const;
    // Closes the instance; pending reads and writes complete with an error.
    void Close();
    bool Busy() const { return m_readPending || m_writePending; }

private:
    struct IoRecord {
        OVERLAPPED overlapped;
        DriverPipe* pipe;
    };
    static void CALLBACK ReadDone(DWORD error, DWORD bytes, OVERLAPPED* overlapped);
    static void CALLBACK WriteDone(DWORD error, DWORD bytes, OVERLAPPED* overlapped);
    void StartWrite();
    void Lose(unsigned long error);

    kvr::UniqueFile m_pipe;
    DriverEvents& m_events;
    PieceRing<kSlots, portpipe::kPipeMessageSize> m_queue;
    std::uint8_t m_receive[portpipe::kPipeMessageSize] = {};
    IoRecord m_read{};
    IoRecord m_write{};
    bool m_readPending = false;
    bool m_writePending = false;
};

}  // namespace svc
