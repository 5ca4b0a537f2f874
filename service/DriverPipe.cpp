#include "DriverPipe.h"

#include <winternl.h>

namespace svc {
namespace {

// The pipe's state as the pipe file system keeps it: closing once the other
// end has gone, whatever is still buffered.
constexpr ULONG kFilePipeLocalInformation = 24;
constexpr ULONG kPipeClosingState = 4;

struct PipeLocalInformation {
    ULONG namedPipeType, namedPipeConfiguration, maximumInstances, currentInstances, inboundQuota,
        readDataAvailable, outboundQuota, writeQuotaAvailable, namedPipeState, namedPipeEnd;
};

using QueryInformationFile = LONG(WINAPI*)(HANDLE, IO_STATUS_BLOCK*, void*, ULONG, ULONG);

QueryInformationFile QueryFile() {
    static const auto query = reinterpret_cast<QueryInformationFile>(
        reinterpret_cast<void*>(GetProcAddress(GetModuleHandleW(L"ntdll.dll"), "NtQueryInformationFile")));
    return query;
}

}  // namespace

DriverPipe::DriverPipe(HANDLE pipe, DriverEvents& events) : m_pipe(pipe), m_events(events) {
    m_read.event.Reset(CreateEventW(nullptr, TRUE, FALSE, nullptr));
    m_write.event.Reset(CreateEventW(nullptr, TRUE, FALSE, nullptr));
}

DriverPipe::~DriverPipe() {
    Close();
    // A closed pipe's pending operations complete at once, into their
    // records: wait for that before the records go.
    for (Operation* operation : {&m_read, &m_write}) {
        if (operation->pending) WaitForSingleObject(operation->event.Get(), 5000);
        operation->pending = false;
    }
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
    IO_STATUS_BLOCK status{};
    PipeLocalInformation information{};
    if (const QueryInformationFile query = QueryFile();
        query != nullptr &&
        query(m_pipe.Get(), &status, &information, sizeof(information), kFilePipeLocalInformation) == 0)
        return information.namedPipeState == kPipeClosingState;
    DWORD available = 0;
    if (PeekNamedPipe(m_pipe.Get(), nullptr, 0, nullptr, &available, nullptr)) return false;
    const DWORD error = GetLastError();
    return error == ERROR_BROKEN_PIPE || error == ERROR_PIPE_NOT_CONNECTED || error == ERROR_NO_DATA;
}

void DriverPipe::AddWaits(HANDLE* events, DWORD& count) const {
    if (m_read.pending) events[count++] = m_read.event.Get();
    if (m_write.pending) events[count++] = m_write.event.Get();
}

void DriverPipe::Poll() {
    if (!m_pipe) {
        // Closed: what was pending only has to finish.
        for (Operation* operation : {&m_read, &m_write})
            if (operation->pending && HasOverlappedIoCompleted(&operation->overlapped)) operation->pending = false;
        return;
    }
    DWORD bytes = 0;
    if (m_read.pending && HasOverlappedIoCompleted(&m_read.overlapped)) {
        m_read.pending = false;
        if (!GetOverlappedResult(m_pipe.Get(), &m_read.overlapped, &bytes, FALSE)) {
            Lose(GetLastError());
            return;
        }
        FinishRead(bytes);
    }
    if (m_write.pending && m_pipe && HasOverlappedIoCompleted(&m_write.overlapped)) {
        m_write.pending = false;
        if (!GetOverlappedResult(m_pipe.Get(), &m_write.overlapped, &bytes, FALSE)) {
            Lose(GetLastError());
            return;
        }
        FinishWrite(bytes);
    }
}

void DriverPipe::StartRead() {
    m_readAgain = true;
    if (m_reading) return;
    m_reading = true;
    while (m_readAgain && !m_read.pending && m_pipe) {
        m_readAgain = false;
        m_read.overlapped = {};
        m_read.overlapped.hEvent = m_read.event.Get();
        if (ReadFile(m_pipe.Get(), m_receive, sizeof(m_receive), nullptr, &m_read.overlapped)) {
            DWORD bytes = 0;
            GetOverlappedResult(m_pipe.Get(), &m_read.overlapped, &bytes, FALSE);
            m_events.OnDriverMessage(m_receive, bytes);  // may ask for the next read
            continue;
        }
        const DWORD error = GetLastError();
        if (error == ERROR_IO_PENDING) {
            m_read.pending = true;
            break;
        }
        m_reading = false;
        Lose(error);
        return;
    }
    m_reading = false;
}

void DriverPipe::FinishRead(DWORD bytes) {
    m_events.OnDriverMessage(m_receive, bytes);
}

void DriverPipe::StartWrite() {
    if (m_writing) return;
    m_writing = true;
    while (!m_write.pending && !m_queue.Empty() && m_pipe) {
        m_write.overlapped = {};
        m_write.overlapped.hEvent = m_write.event.Get();
        if (WriteFile(m_pipe.Get(), m_queue.Piece(0), static_cast<DWORD>(m_queue.PieceLength(0)), nullptr,
                      &m_write.overlapped)) {
            DWORD bytes = 0;
            GetOverlappedResult(m_pipe.Get(), &m_write.overlapped, &bytes, FALSE);
            if (!TakeWritten(bytes)) break;
            continue;
        }
        const DWORD error = GetLastError();
        if (error == ERROR_IO_PENDING) {
            m_write.pending = true;
            break;
        }
        m_writing = false;
        Lose(error);
        return;
    }
    m_writing = false;
}

bool DriverPipe::TakeWritten(DWORD bytes) {
    if (bytes != m_queue.PieceLength(0)) {
        m_writing = false;
        Lose(ERROR_WRITE_FAULT);
        return false;
    }
    m_queue.Pop();
    m_events.OnDriverRoom();  // may queue more: the loop writing takes it
    return true;
}

void DriverPipe::FinishWrite(DWORD bytes) {
    m_writing = true;
    const bool taken = TakeWritten(bytes);
    m_writing = false;
    if (taken) StartWrite();
}

}  // namespace svc
