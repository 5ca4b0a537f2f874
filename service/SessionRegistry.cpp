#include "SessionRegistry.h"

#include <set>

#include "PortSession.h"

namespace svc {
namespace {

// Never destroyed: sessions may still run while the process ends.
std::set<PortSession*>& Sessions() {
    static auto* sessions = new std::set<PortSession*>;
    return *sessions;
}

}  // namespace

std::mutex& SessionRegistryLock() {
    static auto* lock = new std::mutex;
    return *lock;
}

PortSession* FindSessionLocked(AuthInfo* info) {
    for (PortSession* session : Sessions())
        if (session->LentRecord() == info) return session;
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

namespace svc {

std::size_t LiveSessionCount() {
    std::lock_guard<std::mutex> hold(SessionRegistryLock());
    return Sessions().size();
}

}  // namespace svc
