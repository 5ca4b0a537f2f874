#pragma once
// The installed service as the set-up sees it: whether it is registered and
// running, starting it and stopping it until its process has ended.
#include <windows.h>

#include <string>

namespace setup {

enum class ServiceState { Absent, Stopped, Running, Other, Unknown };

const char* StateName(ServiceState state);

class ServiceControl {
public:
    explicit ServiceControl(const wchar_t* name) : m_name(name) {}

    ServiceState State() const;
    // Starts the service and waits until it reports running; false (with a
    // message) when it cannot be started or stops on the way.
    bool Start(DWORD timeoutMs, std::string& message) const;
    // Stops a running service and waits for the stopped report and for its
    // process to end, so its files can be replaced. A service that is not
    // registered or already stopped is fine.
    bool Stop(DWORD timeoutMs, std::string& message) const;

private:
    const wchar_t* m_name;
};

// "text of the system's message (code)".
std::string SystemMessage(DWORD code);

}  // namespace setup
