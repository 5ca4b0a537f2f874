#include "DriverPipe.h"

namespace svc {

DriverPipe::DriverPipe(HANDLE pipe, DriverEvents& events) : m_pipe(pipe), m_events(events) {
    m_read.pipe = this;
    m_write.pipe = this;
}

DriverPipe::~DriverPipe() {
    Close();
    // Cancelled I/O completes into this object: let it before it goes.
    for (int i = 0; i < 500 && Busy(); ++i) SleepEx(10, TRUE);
}

void DriverPipe::Close() {
    if (m_pipe) CancelIo(m_pipe.Get());
    m_pipe.Reset();
    m_queue.Clear();
}

void DriverPipe::Lose(unsigned long error) {
    Close();
    m_events.OnDriverLost(error);
}

bool DriverPipe::Gone() const {
    if (!m_pipe) return true;
    DWORD available = 0;
    if (PeekNamedPipe(m_pipe.Get(), nullptr, 0, nullptr, &available, nullptr)) return false;
    const DWORD error = GetLastError();
    return error == ERROR_BROKEN_PIPE || error == ERROR_PIPE_NOT_CONNECTED || error == ERROR_NO_DATA ||
           error == ERROR_INVALID_HANDLE;
}

void DriverPipe::StartRead() {
    if (m_readPending || !m_pipe) return;
    m_read.overlapped = {};
    if (!ReadFileEx(m_pipe.Get(), m_receive, sizeof(m_receive), &m_read.overlapped, ReadDone)) {
        Lose(GetLastError());
        return;
    }
    m_readPending = true;
}

void CALLBACK DriverPipe::ReadDone(DWORD error, DWORD bytes, OVERLAPPED* overlapped) {
    DriverPipe& pipe = *CONTAINING_RECORD(overlapped, IoRecord, overlapped)->pipe;
    pipe.m_readPending = false;
    if (!pipe.m_pipe) return;  // closed by us
    if (error != ERROR_SUCCESS) {
        pipe.Lose(error);
        return;
    }
    pipe.m_events.OnDriverMessage(pipe.m_receive, bytes);
}

bool DriverPipe::Queue(const std::uint8_t* message, std::size_t length) {
    if (!m_pipe || !m_queue.Push(message, length)) return false;
    StartWrite();
    return true;
}

void DriverPipe::StartWrite() {
    if (m_writePending || m_queue.Empty() || !m_pipe) return;
    m_write.overlapped = {};
    if (!WriteFileEx(m_pipe.Get(), m_queue.Piece(0), static_cast<DWORD>(m_queue.PieceLength(0)), &m_write.overlapped,
                     WriteDone)) {
        Lose(GetLastError());
        return;
    }
    m_writePending = true;
}

void CALLBACK DriverPipe::WriteDone(DWORD error, DWORD bytes, OVERLAPPED* overlapped) {
    DriverPipe& pipe = *CONTAINING_RECORD(overlapped, IoRecord, overlapped)->pipe;
    pipe.m_writePending = false;
    if (!pipe.m_pipe) return;
    if (error != ERROR_SUCCESS || bytes != pipe.m_queue.PieceLength(0)) {
        pipe.Lose(error != ERROR_SUCCESS ? error : static_cast<unsigned long>(ERROR_WRITE_FAULT));
        return;
    }
    pipe.m_queue.Pop();
    pipe.StartWrite();
    pipe.m_events.OnDriverRoom();
}

}  // namespace svc
