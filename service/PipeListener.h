#pragma once
#include <windows.h>

#include <string>

namespace svc {

// Serves the pipe: one session thread per connected instance, until the stop
// event is signalled or an instance cannot be created. Returns the instance
// still waiting for a client (or INVALID_HANDLE_VALUE); shut-down closes it.
HANDLE RunPipeListener(const std::wstring& pipeName, HANDLE stopEvent, HANDLE connectEvent,
                       SECURITY_ATTRIBUTES* security);

}  // namespace svc
