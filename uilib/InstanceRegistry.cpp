#include "InstanceRegistry.h"

#include "AuthInfo.h"

namespace kvr {

namespace {
DWORD PostError() {
    const DWORD error = ::GetLastError();
    return error != 0 ? error : ERROR_INVALID_THREAD_ID;
}
}  // namespace

InstanceRegistry& InstanceRegistry::Instance() {
    static InstanceRegistry registry;
    return registry;
}

const void* InstanceRegistry::Add(DWORD threadId, std::shared_ptr<CallbackGate> gate) {
    std::lock_guard guard(m_lock);
    // Steps of 16 keep handles away from small integers a caller might pass by mistake.
    m_lastHandle += 16;
    const void* handle = reinterpret_cast<const void*>(m_lastHandle);
    m_live[handle] = Entry{threadId, std::move(gate)};
    return handle;
}

void InstanceRegistry::Remove(const void* handle) {
    std::lock_guard guard(m_lock);
    m_live.erase(handle);
}

bool InstanceRegistry::IsLive(const void* handle) const {
    std::lock_guard guard(m_lock);
    return handle != nullptr && m_live.count(handle) != 0;
}

DWORD InstanceRegistry::Post(const void* handle, UINT message, WPARAM wParam, LPARAM lParam) {
    std::lock_guard guard(m_lock);
    const auto it = m_live.find(handle);
    if (handle == nullptr || it == m_live.end()) return kUiInvalidHandle;
    if (!::PostThreadMessageW(it->second.threadId, message, wParam, lParam)) return PostError();
    return 0;
}

DWORD InstanceRegistry::PostFinal(const void* handle, UINT message) {
    std::shared_ptr<CallbackGate> gate;
    {
        std::lock_guard guard(m_lock);
        const auto it = m_live.find(handle);
        if (handle == nullptr || it == m_live.end()) return kUiInvalidHandle;
        if (!::PostThreadMessageW(it->second.threadId, message, 0, 0)) return PostError();
        gate = std::move(it->second.gate);
        m_live.erase(it);
    }
    // Outside the registry lock: a callback in flight may itself call an
    // export. This waits for it to finish.
    if (gate) {
        std::lock_guard gateGuard(gate->lock);
        gate->closed = true;
    }
    return 0;
}

}  // namespace kvr
