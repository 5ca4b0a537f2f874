#pragma once
// The port driver's end of a session: the pipe instance, one read at a time
// into a fixed buffer, and a fixed ring of messages toward the driver written
// one message per write. Reads and writes are overlapped; one that completes
// at once is handled at once, one that is pending signals its event and is
// finished by Poll. No call here ever waits.
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

    // Reads the next message unless a read is pending.
    void StartRead();
    bool ReadPending() const { return m_read.pending; }
    // A run of reads that completed at once is being handed out.
    bool Reading() const { return m_reading; }

    // Queues one message behind the others and starts writing; false when
    // there is no room (or no pipe).
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

    // Adds the events of pending reads and writes to events[count..]; the
    // session waits on them and then calls Poll.
    void AddWaits(HANDLE* events, DWORD& count) const;
    // Finishes the reads and writes that have completed.
    void Poll();

    // A look at the pipe's state: true once the driver has closed its end,
    // even with messages of it still unread.
    bool Gone() const;
    // Closes the instance; pending reads and writes complete with an error.
    void Close();
    bool Busy() const { return m_read.pending || m_write.pending; }

private:
    struct Operation {
        OVERLAPPED overlapped{};
        kvr::UniqueHandle event;
        bool pending = false;
    };
    void StartWrite();
    void FinishRead(DWORD bytes);
    void FinishWrite(DWORD bytes);
    // Drops a written message; false (and the pipe lost) when it went short.
    bool TakeWritten(DWORD bytes);
    void Lose(unsigned long error);

    kvr::UniqueFile m_pipe;
    DriverEvents& m_events;
    PieceRing<kSlots, portpipe::kPipeMessageSize> m_queue;
    std::uint8_t m_receive[portpipe::kPipeMessageSize] = {};
    Operation m_read;
    Operation m_write;
    // A read or write started while one is being finished on the stack is
    // left to that loop, so a long run of messages does not nest calls.
    bool m_reading = false;
    bool m_readAgain = false;
    bool m_writing = false;
};

}  // namespace svc
