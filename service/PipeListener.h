#pragma once
#include <windows.h>

#include <string>

#include "Handles.h"
#include "SessionEnvironment.h"

namespace svc {

// Serves the pipe: one session thread per connected instance. The instance
// waiting for a client and its connect record belong to the listener, so the
// record outlives the instance whatever ends the wait.
class PipeListener {
public:
    PipeListener(std::wstring pipeName, SECURITY_ATTRIBUTES* security, kvr::UniqueHandle connectEvent,
                 const SessionEnvironment& environment);
    ~PipeListener();
    PipeListener(const PipeListener&) = delete;
    PipeListener& operator=(const PipeListener&) = delete;

    // Runs until stop is signalled (true) or an instance cannot be created
    // (false, logged). The waiting instance is closed before it returns.
    bool Run(HANDLE stop);

private:
    HANDLE CreateInstance() const;
    void StartSession(kvr::UniqueFile pipe) const;
    void CloseWaitingInstance();

    std::wstring m_pipeName;
    SECURITY_ATTRIBUTES* m_security;
    kvr::UniqueHandle m_connectEvent;
    const SessionEnvironment& m_environment;
    kvr::UniqueFile m_waiting;
    OVERLAPPED m_connect{};
};

}  // namespace svc
