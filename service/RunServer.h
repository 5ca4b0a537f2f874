#pragma once
#include <windows.h>

namespace svc {

// The service's work: start-up, the pipe listener until stopped, shut-down.
void RunServer(int argc, wchar_t** argv);
// Asks the running server to stop; for the control and console handlers.
// Does nothing when no server runs.
void SignalStop();

}  // namespace svc
