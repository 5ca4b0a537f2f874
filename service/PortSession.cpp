#include "PortSession.h"

#include "Progress.h"
#include "SessionRegistry.h"

namespace svc {
namespace {

constexpr DWORD kTickMs = 1000;
// How long what is still queued at the end may take to go out.
constexpr DWORD kFlushMs = 2000;

// Every piece one server message can become: a data message as large as the
// receive buffer holds, in pipe pieces, or the three messages of an open.
constexpr std::size_t kMostPiecesPerServerMessage =
    (wire::kMaxReceivableData + portpipe::kPipePayloadMax - 1) / portpipe::kPipePayloadMax;
static_assert(kMostPiecesPerServerMessage >= 3 && kMostPiecesPerServerMessage <= DriverPipe::kSlots);

// A lamp call lands on the library's thread a little after it was made, and
// its flash starts then: asking again only after this much more time makes
// sure the lamp has gone dark and will light again.
constexpr DWORD kLampRepostSlackMs = 40;

void CALLBACK WakeApc(ULONG_PTR) {}

}  // namespace

bool LampMirror::ShouldLight(DWORD now) {
    if (m_lit && now - m_litAt < kLampFlashMs + kLampRepostSlackMs) return false;
    m_lit = true;
    m_litAt = now;
    return true;
}

void LampMirror::Set(bool lit, DWORD now) {
    m_lit = lit;
    m_litAt = now;
}

PortSession::PortSession(HANDLE pipe, const SessionEnvironment& environment)
    : m_environment(environment),
      m_id(GetCurrentThreadId()),
      m_forcedFlowControl(reg::kNotForced),
      m_pipe(pipe, *this),
      m_wire(environment.connect, *this),
      m_server(m_wire) {
    DuplicateHandle(GetCurrentProcess(), GetCurrentThread(), GetCurrentProcess(), m_thread.Put(), 0, FALSE,
                    DUPLICATE_SAME_ACCESS);
    m_ui = m_environment.ui->createUI();
    if (m_ui == nullptr) Progress(L"[%lu] No user-interface instance: the session goes on without windows.", m_id);
    RegisterSession(*this);
}

PortSession::~PortSession() {
    // Late callbacks from the user-interface thread must find the session
    // gone; once it is, nothing of the environment may be touched.
    const UiApi* ui = m_environment.ui;
    UnregisterSession(*this);
    if (m_ui != nullptr) ui->destroyUI(m_ui);
    m_ui = nullptr;
    m_server.Close();
    m_pipe.Close();
    m_portKey = kvr::RegKey();
    m_redirectionsKey = kvr::RegKey();
    // The link and the pipe wait for their cancelled I/O as they go.
}

void PortSession::Run() {
    Progress(L"[%lu] Port driver connected.", m_id);
    m_pipe.StartRead();
    m_lastTick = Now();
    for (;;) {
        const bool tick = Now() - m_lastTick >= kTickMs;
        if (tick) m_lastTick = Now();
        RunSteps(tick);
        if (Ending()) break;
        // I/O that completed at once may have left work for the steps.
        const DWORD sinceTick = Now() - m_lastTick;
        WaitForIo(StepsPending() || sinceTick >= kTickMs ? 0 : kTickMs - sinceTick);
    }
    // What was queued before the end still goes out (an open's answer or the
    // server's last data to the driver, the driver's last data to the server)
    // unless its taker stops taking it.
    m_server.EndBatch();
    const DWORD flushStart = Now();
    for (int i = 0; i < 100 && !(m_pipe.Idle() && m_server.Idle()) && Now() - flushStart < kFlushMs; ++i)
        WaitForIo(50);
}

void PortSession::WaitForIo(DWORD ms) {
    HANDLE events[4];
    DWORD count = 0;
    m_pipe.AddWaits(events, count);
    m_server.AddWaits(events, count);
    m_environment.clock->Wait(ms, events, count);
    m_pipe.Poll();
    m_server.Poll();
}

void PortSession::End(const wchar_t* why) {
    if (Ending()) return;
    Progress(L"[%lu] %ls", m_id, why);
    m_state = SessionState::Ending;
}

void PortSession::HandOver(bool SessionInbox::*answered, DWORD SessionInbox::*answer, DWORD result) {
    AcquireSRWLockExclusive(&m_inbox.lock);
    m_inbox.*answered = true;
    m_inbox.*answer = result;
    ReleaseSRWLockExclusive(&m_inbox.lock);
    // Wakes the loop, so the answer is acted on now rather than at the next tick.
    QueueUserAPC(WakeApc, m_thread.Get(), 0);
}

// --- The relay -----------------------------------------------------------------

void PortSession::ReadDriverWhenRoom() {
    // Before the open only the first message is read; a read that brought
    // nothing to dispatch is issued again, so the driver's close is seen.
    if (!Ending() && !m_pipe.ReadPending() &&
        (m_state == SessionState::Opening || (m_state == SessionState::Online && m_server.HasRoomForData())))
        m_pipe.StartRead();
    // What the run of reads brought goes out together.
    if (!m_pipe.Reading()) m_server.EndBatch();
}

void PortSession::OnDriverRoom() { m_server.Resume(); }

void PortSession::OnServerRoom() { ReadDriverWhenRoom(); }

void PortSession::OnDriverLost(unsigned long error) {
    if (error == ERROR_MORE_DATA) {
        Progress(L"[%lu] The driver sent a message longer than %zu bytes.", m_id, portpipe::kPipeMessageSize);
        End(L"Ending the session.");
    } else {
        Progress(L"[%lu] Pipe I/O failed (%lu): the driver closed the port.", m_id, error);
        End(L"Ending the session.");
    }
}

void PortSession::OnServerLost(unsigned long error) {
    if (error == 0)
        Progress(L"[%lu] The server closed the connection.", m_id);
    else if (error == WSAEMSGSIZE)
        Progress(L"[%lu] The server sent a message too large to receive; ending the session.", m_id);
    else
        Progress(L"[%lu] The server connection failed (%lu).", m_id, error);
    End(L"Ending the session.");
}

bool PortSession::CanTakeServerMessage() { return !Ending() && m_pipe.Room() >= kMostPiecesPerServerMessage; }

void PortSession::Sent(bool queued) {
    m_lastServerWrite = Now();
    if (!queued) End(L"Cannot send to the server.");
}

void PortSession::SendPipeStatus(std::uint32_t type, std::uint32_t value) {
    const bool queued = m_pipe.QueueBuilt([&](std::uint8_t* slot, std::size_t capacity) {
        switch (type) {
        case portpipe::PipeOpenResult: return portpipe::BuildPipeOpenResult(slot, capacity, value);
        case portpipe::PipeModemStatus:
            return portpipe::BuildPipeModemStatus(slot, capacity, static_cast<std::uint8_t>(value));
        default: return portpipe::BuildPipeLineStatus(slot, capacity, static_cast<std::uint8_t>(value));
        }
    });
    if (!queued) End(L"Cannot write to the pipe.");
}

void PortSession::ForwardServerData(const ServerMessage& message) {
    const bool sent = portpipe::ForEachPipePiece(
        message.data, message.dataLength, [this](const std::uint8_t* piece, std::size_t length) {
            return m_pipe.QueueBuilt([&](std::uint8_t* slot, std::size_t capacity) {
                return portpipe::BuildPipeData(slot, capacity, piece, length);
            });
        });
    if (!sent) {
        End(L"Cannot write to the pipe.");
        return;
    }
    if (m_ui != nullptr && m_receiveLamp.ShouldLight(Now())) m_environment.ui->updateReceiveLED(m_ui, kLampRD);
}

// --- Thread entry ---------------------------------------------------------------

DWORD WINAPI SessionThread(void* start) {
    const SessionStart given = *static_cast<SessionStart*>(start);
    delete static_cast<SessionStart*>(start);
    {
        PortSession session(given.pipe, *given.environment);
        session.Run();
    }
    Progress(L"[%lu] Session ended.", GetCurrentThreadId());
    return 0;
}

}  // namespace svc
