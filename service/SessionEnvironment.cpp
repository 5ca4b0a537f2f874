#include "SessionEnvironment.h"

#include "ServerConnect.h"

namespace svc {
namespace {

class TickClock final : public SessionClock {
public:
    DWORD Now() override { return GetTickCount(); }
    void Wait(DWORD ms, const HANDLE* events, DWORD count) override {
        if (count == 0)
            SleepEx(ms, TRUE);
        else
            WaitForMultipleObjectsEx(count, events, FALSE, ms, TRUE);
    }
};

}  // namespace

SessionClock& SystemClock() {
    static TickClock clock;
    return clock;
}

SessionEnvironment SystemEnvironment(PasswordCache* cache) {
    return SessionEnvironment{&KvrAuthUi(), cache, &SystemClock(), HKEY_LOCAL_MACHINE, &ConnectToAddress};
}

}  // namespace svc
