#pragma once
#include <windows.h>

namespace svc {

// Start-up steps owned by the route helper and the password cache.
void OnStartLoadRoutes();
// Creates the password mutex and clears UsernameModTick; returns the mutex.
HANDLE OnStartPasswordCache();

}  // namespace svc
