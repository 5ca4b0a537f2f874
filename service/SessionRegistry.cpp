#include "SessionRegistry.h"

#include <set>

#include "PortSession.h"

namespace svc {
namespace {

std::set<PortSession*>& Sessions() {
    static std::set<PortSession*> sessions;
    return sessions;
}

}  // namespace

std::mutex& SessionRegistryLock() {
    static std::mutex lock;
    return lock;
}

PortSession* FindSessionLocked(AuthInfo* info) {
    for (PortSession* session : Sessions())
        if (&session->authInfo == info) return session;
    return nullptr;
}

void RegisterSession(PortSession& session) {
    std::lock_guard<std::mutex> hold(SessionRegistryLock());
    Sessions().insert(&session);
}

void UnregisterSession(PortSession& session) {
    std::lock_guard<std::mutex> hold(SessionRegistryLock());
    Sessions().erase(&session);
}

}  // namespace svc
