// The framework's root class registry and its user-interface thread.
#include <gtest/gtest.h>

#include <mutex>
#include <string>
#include <vector>

#include "Handles.h"
#include "Object.h"
#include "UIThread.h"

namespace kvr {
namespace {

class CAnimal : public CObject {
    KVR_DECLARE_DYNAMIC(CAnimal)
};
KVR_IMPLEMENT_DYNAMIC(CAnimal, CObject)

class CDog : public CAnimal {
    KVR_DECLARE_DYNCREATE(CDog)
};
KVR_IMPLEMENT_DYNCREATE(CDog, CAnimal)

class CStone : public CObject {
    KVR_DECLARE_DYNCREATE(CStone)
};
KVR_IMPLEMENT_DYNCREATE(CStone, CObject)

TEST(RuntimeClass, KindFollowsTheBaseChain) {
    struct Case {
        const CRuntimeClass* of;
        const CRuntimeClass* kind;
        bool expected;
    };
    const Case cases[] = {
        {KVR_RUNTIME_CLASS(CDog), KVR_RUNTIME_CLASS(CDog), true},
        {KVR_RUNTIME_CLASS(CDog), KVR_RUNTIME_CLASS(CAnimal), true},
        {KVR_RUNTIME_CLASS(CDog), KVR_RUNTIME_CLASS(CObject), true},
        {KVR_RUNTIME_CLASS(CAnimal), KVR_RUNTIME_CLASS(CDog), false},
        {KVR_RUNTIME_CLASS(CStone), KVR_RUNTIME_CLASS(CAnimal), false},
        {KVR_RUNTIME_CLASS(CDog), nullptr, false},
    };
    for (const Case& c : cases)
        EXPECT_EQ(c.of->IsDerivedFrom(c.kind), c.expected)
            << c.of->m_lpszClassName << " of " << (c.kind ? c.kind->m_lpszClassName : "null");
}

TEST(RuntimeClass, CreatesRegisteredClassesByName) {
    std::unique_ptr<CObject> dog(CRuntimeClass::CreateObject("CDog"));
    ASSERT_NE(dog, nullptr);
    EXPECT_EQ(dog->GetRuntimeClass(), KVR_RUNTIME_CLASS(CDog));
    EXPECT_TRUE(dog->IsKindOf(KVR_RUNTIME_CLASS(CAnimal)));
    EXPECT_FALSE(dog->IsKindOf(KVR_RUNTIME_CLASS(CStone)));

    EXPECT_EQ(CRuntimeClass::FromName("CAnimal"), KVR_RUNTIME_CLASS(CAnimal));
    EXPECT_EQ(CRuntimeClass::CreateObject("CAnimal"), nullptr) << "not creatable by name";
    EXPECT_EQ(CRuntimeClass::CreateObject("CCat"), nullptr);
    EXPECT_EQ(CRuntimeClass::FromName("CWinThread"), KVR_RUNTIME_CLASS(CWinThread));
}

// Records what the thread handled; signals when it is destroyed.
struct Journal {
    std::mutex lock;
    std::vector<std::string> entries;
    UniqueHandle destroyed{::CreateEventW(nullptr, TRUE, FALSE, nullptr)};

    void Add(std::string entry) {
        std::lock_guard guard(lock);
        entries.push_back(std::move(entry));
    }
    std::vector<std::string> Entries() {
        std::lock_guard guard(lock);
        return entries;
    }
    bool WaitDestroyed() { return ::WaitForSingleObject(destroyed.Get(), 30000) == WAIT_OBJECT_0; }
};

constexpr UINT kMsgA = WM_USER + 1, kMsgB = WM_USER + 2, kMsgModal = WM_USER + 3,
               kMsgDeferred = WM_USER + 4, kMsgEndModal = WM_USER + 5, kMsgQuit = WM_USER + 6,
               kMsgUnhandled = WM_USER + 7, kMsgForeign = WM_USER + 8;

class CBaseTestThread : public CWinThread {
    KVR_DECLARE_THREAD_MESSAGE_MAP()
public:
    explicit CBaseTestThread(Journal& journal) : m_journal(journal) {}
    ~CBaseTestThread() override { ::SetEvent(m_journal.destroyed.Get()); }

protected:
    void OnA(WPARAM w, LPARAM) { m_journal.Add("base A " + std::to_string(w)); }
    void OnB(WPARAM w, LPARAM) { m_journal.Add("base B " + std::to_string(w)); }
    void OnQuit(WPARAM, LPARAM) { ::PostQuitMessage(0); }
    bool InitInstance() override { return m_init; }

    Journal& m_journal;

public:
    bool m_init = true;
};

KVR_BEGIN_THREAD_MESSAGE_MAP(CBaseTestThread, CWinThread)
    KVR_ON_THREAD_MESSAGE(kMsgA, OnA)
    KVR_ON_THREAD_MESSAGE(kMsgB, OnB)
    KVR_ON_THREAD_MESSAGE(kMsgQuit, OnQuit)
KVR_END_THREAD_MESSAGE_MAP()

class CDerivedTestThread : public CBaseTestThread {
    KVR_DECLARE_THREAD_MESSAGE_MAP()
public:
    using CBaseTestThread::CBaseTestThread;

protected:
    void OnB(WPARAM w, LPARAM) { m_journal.Add("derived B " + std::to_string(w)); }
    void OnModal(WPARAM, LPARAM) {
        m_journal.Add("modal begins");
        const bool ended = RunModalLoop([this] { return m_endModal; });
        m_journal.Add(ended ? "modal ends" : "modal quits");
    }
    void OnForeign(WPARAM, LPARAM) {
        // A loop like a message box's: it dispatches what it gets, and a
        // thread message dispatched that way would be lost.
        m_journal.Add("foreign begins");
        RunForeignModalLoop([this] {
            MSG msg;
            while (!m_endModal && ::GetMessageW(&msg, nullptr, 0, 0) > 0) ::DispatchMessageW(&msg);
            return 0;
        });
        m_journal.Add("foreign ends");
    }
    void OnDeferred(WPARAM, LPARAM) { m_journal.Add("deferred"); }
    void OnEndModal(WPARAM, LPARAM) {
        m_journal.Add("end modal");
        m_endModal = true;
    }
    bool DefersWhileModal(UINT message) const override { return message == kMsgDeferred; }

private:
    bool m_endModal = false;
};

KVR_BEGIN_THREAD_MESSAGE_MAP(CDerivedTestThread, CBaseTestThread)
    KVR_ON_THREAD_MESSAGE(kMsgB, OnB)
    KVR_ON_THREAD_MESSAGE(kMsgModal, OnModal)
    KVR_ON_THREAD_MESSAGE(kMsgForeign, OnForeign)
    KVR_ON_THREAD_MESSAGE(kMsgDeferred, OnDeferred)
    KVR_ON_THREAD_MESSAGE(kMsgEndModal, OnEndModal)
KVR_END_THREAD_MESSAGE_MAP()

// Posts the messages in order, then a quit, and returns what was handled once
// the thread has deleted itself.
std::vector<std::string> RunThread(const std::vector<std::pair<UINT, WPARAM>>& messages) {
    Journal journal;
    auto* thread = new CDerivedTestThread(journal);
    EXPECT_TRUE(thread->CreateThread(THREAD_PRIORITY_ABOVE_NORMAL));
    for (const auto& [message, wParam] : messages) EXPECT_TRUE(thread->PostThreadMessage(message, wParam, 0));
    EXPECT_TRUE(thread->PostThreadMessage(kMsgQuit, 0, 0));
    EXPECT_TRUE(journal.WaitDestroyed());
    return journal.Entries();
}

TEST(UIThread, DerivedTableWinsAndChainsToTheBase) {
    using V = std::vector<std::string>;
    EXPECT_EQ(RunThread({{kMsgA, 1}, {kMsgB, 2}, {kMsgUnhandled, 3}, {kMsgA, 4}}),
              (V{"base A 1", "derived B 2", "base A 4"}));
}

TEST(UIThread, DeferredMessageWaitsForTheModalLoopOthersDoNot) {
    using V = std::vector<std::string>;
    EXPECT_EQ(RunThread({{kMsgModal, 0}, {kMsgDeferred, 0}, {kMsgA, 1}, {kMsgEndModal, 0}, {kMsgA, 2}}),
              (V{"modal begins", "base A 1", "end modal", "modal ends", "deferred", "base A 2"}));
}

TEST(UIThread, ForeignModalLoopLosesNoThreadMessages) {
    using V = std::vector<std::string>;
    EXPECT_EQ(RunThread({{kMsgForeign, 0}, {kMsgDeferred, 0}, {kMsgA, 1}, {kMsgEndModal, 0}, {kMsgA, 2}}),
              (V{"foreign begins", "base A 1", "end modal", "foreign ends", "deferred", "base A 2"}));
}

TEST(UIThread, QuitInsideModalLoopEndsItAndThenTheThreadAfterWorkPostedBefore) {
    using V = std::vector<std::string>;
    // The quit posted by RunThread() arrives while the modal loop still runs;
    // the deferred message was posted before it, so it still runs.
    EXPECT_EQ(RunThread({{kMsgModal, 0}, {kMsgDeferred, 0}}), (V{"modal begins", "modal quits", "deferred"}));
}

TEST(UIThread, FailedInitialisationReportsFailureAndDeletes) {
    Journal journal;
    auto* thread = new CDerivedTestThread(journal);
    thread->m_init = false;
    EXPECT_FALSE(thread->CreateThread());
    EXPECT_TRUE(journal.WaitDestroyed());
}

}  // namespace
}  // namespace kvr
