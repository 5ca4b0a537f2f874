#pragma once
// What a port session reaches outside itself: the user-interface library,
// the password cache, the clock, the registry and the connector. The service
// passes the real ones; tests pass fakes and a virtual clock.
#include <winsock2.h>
#include <windows.h>

#include "UiApi.h"

class PasswordCache;

namespace svc {

// Millisecond ticks, and the session loop's alertable wait.
class SessionClock {
public:
    virtual DWORD Now() = 0;
    // Waits up to ms, returning early once one of the events is signalled or
    // a call queued to the calling thread has run.
    virtual void Wait(DWORD ms, const HANDLE* events, DWORD count) = 0;

protected:
    ~SessionClock() = default;
};

// GetTickCount and an alertable wait.
SessionClock& SystemClock();

// A blocking stream connection to a stored server address; INVALID_SOCKET
// when it cannot be made.
using ServerConnector = SOCKET (*)(const BYTE* address, int length);

struct SessionEnvironment {
    const UiApi* ui;
    PasswordCache* cache;
    SessionClock* clock;
    HKEY registry;  // the root of the port and server keys: HKEY_LOCAL_MACHINE
    ServerConnector connect;
};

// The user-interface library, the system clock, HKEY_LOCAL_MACHINE and real
// connections, with the given cache.
SessionEnvironment SystemEnvironment(PasswordCache* cache);

}  // namespace svc
