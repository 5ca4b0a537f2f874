#pragma once
#include <mutex>

namespace svc {

std::mutex& SessionRegistryLock();
PortSession* FindSessionLocked(AuthInfo* info);

template <typename Action>
bool WithSessionOf(AuthInfo* info, Action&& action) {
    std::lock_guard<std::mutex> hold(SessionRegistryLock());
    PortSession* session = FindSessionLocked(info);
    if (session == nullptr) return false;
    action(*session);
    return true;
}

}  // namespace svc
