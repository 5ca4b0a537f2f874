#pragma once
#include <windows.h>

namespace svc {

// The service's work: start-up, the pipe listener until stopped, shut-down.
void RunServer(int argc, wchar_t** argv);
// Signalled by the control and console handlers.
void SignalStop();

}  // namespace svc
