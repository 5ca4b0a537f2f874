#include "UIThread.h"

#include <algorithm>
#include <utility>

namespace kvr {

KVR_IMPLEMENT_DYNAMIC(CWinThread, CObject)

namespace {
thread_local CWinThread* t_current = nullptr;
}

const ThreadMessageMap* CWinThread::GetThisMessageMap() {
    static const ThreadMessageEntry entries[] = {{0, nullptr}};
    static const ThreadMessageMap map = {nullptr, entries};
    return &map;
}

const ThreadMessageMap* CWinThread::GetMessageMap() const { return GetThisMessageMap(); }

CWinThread::CWinThread() = default;
CWinThread::~CWinThread() = default;

CWinThread* CWinThread::Current() { return t_current; }

bool CWinThread::CreateThread(int priority) {
    UniqueHandle ready(::CreateEventW(nullptr, TRUE, FALSE, nullptr));
    if (!ready) {
        if (m_bAutoDelete) delete this;
        return false;
    }
    m_ready = ready.Get();
    m_thread.Reset(::CreateThread(nullptr, 0, &ThreadProc, this, CREATE_SUSPENDED, &m_threadId));
    if (!m_thread) {
        if (m_bAutoDelete) delete this;
        return false;
    }
    // The object may delete itself as soon as the thread runs, so wait on a
    // handle of our own rather than on its member.
    UniqueHandle thread;
    if (!::DuplicateHandle(::GetCurrentProcess(), m_thread.Get(), ::GetCurrentProcess(),
                           thread.Put(), SYNCHRONIZE, FALSE, 0)) {
        ::TerminateThread(m_thread.Get(), 1);  // never ran: suspended since creation
        if (m_bAutoDelete) delete this;
        return false;
    }
    ::SetThreadPriority(m_thread.Get(), priority);
    ::ResumeThread(m_thread.Get());
    const HANDLE waits[] = {ready.Get(), thread.Get()};
    // Index 0 wins when both are set: a thread that was ready and ended at
    // once still started.
    return ::WaitForMultipleObjects(2, waits, FALSE, INFINITE) == WAIT_OBJECT_0;
}

DWORD WINAPI CWinThread::ThreadProc(void* param) {
    auto* self = static_cast<CWinThread*>(param);
    t_current = self;
    MSG msg;
    ::PeekMessageW(&msg, nullptr, WM_USER, WM_USER, PM_NOREMOVE);  // creates the queue
    if (self->InitInstance()) {
        ::SetEvent(std::exchange(self->m_ready, nullptr));
        self->Run();
    }
    const int code = self->ExitInstance();
    t_current = nullptr;
    if (self->m_bAutoDelete) delete self;
    return static_cast<DWORD>(code);
}

bool CWinThread::PostThreadMessage(UINT message, WPARAM wParam, LPARAM lParam) const {
    return ::PostThreadMessageW(m_threadId, message, wParam, lParam) != FALSE;
}

void CWinThread::AddMessageFilter(CMessageFilter* filter) { m_filters.push_back(filter); }

void CWinThread::RemoveMessageFilter(CMessageFilter* filter) {
    m_filters.erase(std::remove(m_filters.begin(), m_filters.end(), filter), m_filters.end());
}

int CWinThread::Run() {
    for (;;) {
        RunDeferred();
        if (!PumpMessage()) break;
    }
    return m_exitCode;
}

bool CWinThread::PumpMessage() {
    MSG msg;
    const BOOL got = ::GetMessageW(&msg, nullptr, 0, 0);
    if (got == 0 || got == -1) {
        if (got == 0) m_exitCode = static_cast<int>(msg.wParam);
        return false;
    }
    if (msg.hwnd == nullptr && msg.message >= WM_USER && HandleThreadMessage(msg)) return true;
    if (!PreTranslateMessage(msg)) {
        ::TranslateMessage(&msg);
        ::DispatchMessageW(&msg);
    }
    return true;
}

bool CWinThread::HandleThreadMessage(const MSG& msg) {
    // Only the messages that ask to wait are held back: a modal loop may
    // itself be waiting for a later thread message to end.
    if (m_modalDepth > 0 && DefersWhileModal(msg.message)) {
        m_deferred.push_back(msg);
        return true;
    }
    return DispatchThreadMessage(msg);
}

CWinThread::ForeignLoopScope::ForeignLoopScope(CWinThread& thread)
    : m_thread(thread),
      m_hook(::SetWindowsHookExW(WH_GETMESSAGE, &GetMessageHook, nullptr, ::GetCurrentThreadId())) {
    ++m_thread.m_modalDepth;
}

CWinThread::ForeignLoopScope::~ForeignLoopScope() {
    --m_thread.m_modalDepth;
    if (m_hook != nullptr) ::UnhookWindowsHookEx(m_hook);
}

LRESULT CALLBACK CWinThread::GetMessageHook(int code, WPARAM wParam, LPARAM lParam) {
    auto* msg = reinterpret_cast<MSG*>(lParam);
    CWinThread* thread = Current();
    // The hook sees every message the thread's loops take out of the queue;
    // ours (RunModalLoop's) handle thread messages themselves.
    if (code == HC_ACTION && wParam == PM_REMOVE && thread != nullptr &&
        msg->hwnd == nullptr && msg->message >= WM_USER) {
        const MSG taken = *msg;
        msg->message = WM_NULL;  // the foreign loop gets nothing to lose
        thread->HandleThreadMessage(taken);
    }
    return ::CallNextHookEx(nullptr, code, wParam, lParam);
}

void CWinThread::RunDeferred() {
    while (m_modalDepth == 0 && !m_deferred.empty()) {
        const MSG msg = m_deferred.front();
        m_deferred.pop_front();
        DispatchThreadMessage(msg);
    }
}

bool CWinThread::PreTranslateMessage(MSG& msg) {
    // Newest filter first: the most recently opened dialog gets its keys. A
    // filter may open or close dialogs, so walk a copy and skip the closed.
    const std::vector<CMessageFilter*> filters = m_filters;
    for (auto it = filters.rbegin(); it != filters.rend(); ++it) {
        if (std::find(m_filters.begin(), m_filters.end(), *it) == m_filters.end()) continue;
        if ((*it)->PreTranslateMessage(msg)) return true;
    }
    return false;
}

bool CWinThread::DispatchThreadMessage(const MSG& msg) {
    for (const ThreadMessageMap* map = GetMessageMap(); map != nullptr;
         map = map->pfnGetBaseMap ? map->pfnGetBaseMap() : nullptr) {
        for (const ThreadMessageEntry* e = map->entries; e->handler != nullptr; ++e) {
            if (e->message == msg.message) {
                // A failing handler loses its message, never the thread.
                try {
                    (this->*e->handler)(msg.wParam, msg.lParam);
                } catch (...) {
                }
                return true;
            }
        }
    }
    return false;
}

int CWinThread::ExitInstance() {
    for (const MSG& msg : m_deferred) OnDiscardThreadMessage(msg);
    m_deferred.clear();
    MSG msg;
    while (::PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE))
        if (msg.hwnd == nullptr && msg.message >= WM_USER) OnDiscardThreadMessage(msg);
    return m_exitCode;
}

}  // namespace kvr
