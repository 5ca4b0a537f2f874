#include "ServiceHooks.h"

#include "PasswordCache.h"
#include "PortSession.h"
#include "RouteHelper.h"
#include "ServiceOptions.h"

namespace svc {

void OnStartLoadRoutes() { InitRouteHelper(); }

HANDLE OnStartPasswordCache() {
    HANDLE mutex = CreateMutexW(nullptr, FALSE, kPasswordMutexName);
    WriteUsernameModTick(0);
    // One cache for the whole service, shared by every session.
    static PasswordCache cache;
    SetSessionEnvironment({&KvrAuthUi(), &cache});
    return mutex;
}

}  // namespace svc
