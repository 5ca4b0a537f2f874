#pragma once
// The process-wide set of live instances. A handle from the caller is only
// looked up here, never dereferenced, so a stale or made-up handle is refused
// instead of crashing the service. Handles are issued from a counter, never
// reused, so a stale handle cannot reach a newer instance that happens to
// live at the same address.
#include <windows.h>

#include <cstdint>
#include <memory>
#include <mutex>
#include <unordered_map>

namespace kvr {

// Closed when DestroyUI is accepted. Results are delivered to the caller
// only while holding it open, so once DestroyUI returns no callback runs and
// no AuthInfo is written. Recursive: a callback may call DestroyUI itself.
struct CallbackGate {
    std::recursive_mutex lock;
    bool closed = false;
};

class InstanceRegistry {
public:
    static InstanceRegistry& Instance();

    // Issues a new handle for the instance running on threadId.
    const void* Add(DWORD threadId, std::shared_ptr<CallbackGate> gate);
    void Remove(const void* handle);
    bool IsLive(const void* handle) const;

    // Checks and posts under one lock so that the instance cannot end in
    // between. Returns 0, kUiInvalidHandle or the system's error code.
    DWORD Post(const void* handle, UINT message, WPARAM wParam, LPARAM lParam);
    // As Post, and on success forgets the instance and closes its gate: every
    // later call with the handle is refused.
    DWORD PostFinal(const void* handle, UINT message);

private:
    struct Entry {
        DWORD threadId;
        std::shared_ptr<CallbackGate> gate;
    };
    mutable std::mutex m_lock;
    std::unordered_map<const void*, Entry> m_live;
    std::uintptr_t m_lastHandle = 0;
};

}  // namespace kvr
