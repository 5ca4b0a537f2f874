#pragma once
// The sessions that are alive. The user-interface library calls back on its
// own thread, possibly after its session has ended; a callback finds its
// session here or touches nothing.
#include <cstddef>

#include "AuthInfo.h"

namespace svc {

struct PortSession;

void RegisterSession(PortSession& session);
// Returns once no callback is using the session any more.
void UnregisterSession(PortSession& session);

// How many sessions are alive: tests and benchmarks wait for it to fall.
std::size_t LiveSessionCount();

// Runs action on the live session that owns info, under the registry's lock;
// returns false when there is none.
template <typename Action>
bool WithSessionOf(AuthInfo* info, Action&& action);

}  // namespace svc

#include "SessionRegistry.inl"
