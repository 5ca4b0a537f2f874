#pragma once
// A thread with its own message queue that routes thread messages (posted to
// the thread, not to a window) through a static handler table chained to the
// base class's table, and dispatches window messages as usual.
#include <windows.h>

#include <deque>
#include <vector>

#include "Handles.h"
#include "Object.h"

namespace kvr {

class CWinThread;

// Something (usually a modeless dialog) that wants a look at each message
// before it is translated and dispatched, e.g. for IsDialogMessage.
class CMessageFilter {
public:
    virtual bool PreTranslateMessage(MSG& msg) = 0;

protected:
    ~CMessageFilter() = default;
};

using ThreadMessageHandler = void (CWinThread::*)(WPARAM wParam, LPARAM lParam);

struct ThreadMessageEntry {
    UINT message;
    ThreadMessageHandler handler;
};

struct ThreadMessageMap {
    const ThreadMessageMap* (*pfnGetBaseMap)();
    const ThreadMessageEntry* entries;  // ends with a {0, nullptr} entry
};

#define KVR_DECLARE_THREAD_MESSAGE_MAP()                           \
protected:                                                        \
    static const ::kvr::ThreadMessageMap* GetThisMessageMap();    \
    const ::kvr::ThreadMessageMap* GetMessageMap() const override;

#define KVR_BEGIN_THREAD_MESSAGE_MAP(ThisClass, BaseClass)                          \
    const ::kvr::ThreadMessageMap* ThisClass::GetMessageMap() const {               \
        return GetThisMessageMap();                                                 \
    }                                                                               \
    const ::kvr::ThreadMessageMap* ThisClass::GetThisMessageMap() {                 \
        using ThisClassT = ThisClass;                                               \
        using BaseClassT = BaseClass;                                               \
        static const ::kvr::ThreadMessageEntry entries[] = {

// The handler must be a member `void Handler(WPARAM, LPARAM)` of this class.
#define KVR_ON_THREAD_MESSAGE(message, memberFn) \
    {(message), static_cast<::kvr::ThreadMessageHandler>(&ThisClassT::memberFn)},

#define KVR_END_THREAD_MESSAGE_MAP()                                                         \
    {0, nullptr}};                                                                           \
    static const ::kvr::ThreadMessageMap map = {&BaseClassT::GetThisMessageMap, entries};    \
    return &map;                                                                             \
    }

class CWinThread : public CObject {
    KVR_DECLARE_DYNAMIC(CWinThread)
public:
    CWinThread();
    ~CWinThread() override;
    CWinThread(const CWinThread&) = delete;
    CWinThread& operator=(const CWinThread&) = delete;

    // Starts the thread at the given priority and returns once its message
    // queue exists and InitInstance has succeeded, so messages may be posted
    // at once. On failure returns false; an auto-deleting object is then gone.
    bool CreateThread(int priority = THREAD_PRIORITY_NORMAL);

    DWORD ThreadId() const { return m_threadId; }
    bool PostThreadMessage(UINT message, WPARAM wParam, LPARAM lParam) const;

    void AddMessageFilter(CMessageFilter* filter);
    void RemoveMessageFilter(CMessageFilter* filter);

    // Runs the thread's message pump until done() says so. A modal dialog
    // uses this so that thread messages keep flowing while it is open.
    // Returns false if WM_QUIT arrived (it is re-posted for the outer loop).
    template <typename Done>
    bool RunModalLoop(Done done) {
        ++m_modalDepth;
        bool quit = false;
        while (!done()) {
            if (!PumpMessage()) {
                quit = true;
                break;
            }
        }
        --m_modalDepth;
        if (quit) ::PostQuitMessage(m_exitCode);
        return !quit;
    }

    // Runs a modal loop that is not ours (a message box, say), which would
    // drop thread messages: while it runs they are taken out of its hands
    // and handled (or deferred) as in RunModalLoop.
    template <typename Fn>
    auto RunForeignModalLoop(Fn fn) {
        ForeignLoopScope scope(*this);
        return fn();
    }

    // The framework object of the calling thread, if it runs one.
    static CWinThread* Current();

    bool m_bAutoDelete = true;

protected:
    virtual bool InitInstance() { return true; }
    // Discards what is still queued or deferred, returns the exit code.
    virtual int ExitInstance();
    virtual int Run();
    virtual bool PreTranslateMessage(MSG& msg);
    // Called for each thread message that will never be handled (still
    // queued when the loop ends) so that its data can be released.
    virtual void OnDiscardThreadMessage(const MSG&) {}
    // Thread messages that must wait until no modal loop is running.
    virtual bool DefersWhileModal(UINT) const { return false; }

    bool PumpMessage();  // false on WM_QUIT
    bool DispatchThreadMessage(const MSG& msg);

    static const ThreadMessageMap* GetThisMessageMap();
    virtual const ThreadMessageMap* GetMessageMap() const;

private:
    class ForeignLoopScope {
    public:
        explicit ForeignLoopScope(CWinThread& thread);
        ~ForeignLoopScope();
        ForeignLoopScope(const ForeignLoopScope&) = delete;
        ForeignLoopScope& operator=(const ForeignLoopScope&) = delete;

    private:
        CWinThread& m_thread;
        HHOOK m_hook;
    };

    static DWORD WINAPI ThreadProc(void* param);
    static LRESULT CALLBACK GetMessageHook(int code, WPARAM wParam, LPARAM lParam);
    // Handles a thread message now, or keeps it until no modal loop runs.
    bool HandleThreadMessage(const MSG& msg);
    void RunDeferred();

    UniqueHandle m_thread;
    DWORD m_threadId = 0;
    HANDLE m_ready = nullptr;  // owned by CreateThread; set once the thread may be used
    int m_modalDepth = 0;
    int m_exitCode = 0;
    std::vector<CMessageFilter*> m_filters;
    std::deque<MSG> m_deferred;
};

}  // namespace kvr
