#include "RunServer.h"

#include <winsock2.h>

#include <memory>
#include <mutex>

#include "CommandLine.h"
#include "Handles.h"
#include "PasswordCache.h"
#include "PipeListener.h"
#include "PortDevices.h"
#include "Progress.h"
#include "RouteHelper.h"
#include "ServiceOptions.h"
#include "ServiceStatus.h"

namespace svc {
namespace {

bool ReportStarting() { return Reporter().ReportStatus(SERVICE_START_PENDING, NO_ERROR, kStartWaitHintMs); }

// The handlers run on other threads: they reach the running server's stop
// event only through this slot, which RunServer fills and empties under its
// lock, so no handler can signal an event that has been closed.
class StopSlot {
public:
    static StopSlot& Instance() {
        static StopSlot* slot = new StopSlot;  // never destroyed: handlers may run at exit
        return *slot;
    }
    void Set(HANDLE event) {
        std::lock_guard<std::mutex> hold(m_lock);
        m_event = event;
    }
    void Signal() {
        std::lock_guard<std::mutex> hold(m_lock);
        if (m_event != nullptr) SetEvent(m_event);
    }

private:
    std::mutex m_lock;
    HANDLE m_event = nullptr;
};

// Fills the slot for as long as the server runs.
class StopRegistration {
public:
    explicit StopRegistration(HANDLE event) { StopSlot::Instance().Set(event); }
    ~StopRegistration() { StopSlot::Instance().Set(nullptr); }
    StopRegistration(const StopRegistration&) = delete;
    StopRegistration& operator=(const StopRegistration&) = delete;
};

class SocketLayer {
public:
    SocketLayer() {
        WSADATA wsa;
        m_started = WSAStartup(MAKEWORD(1, 1), &wsa) == 0;
    }
    ~SocketLayer() {
        if (m_started) WSACleanup();
    }
    SocketLayer(const SocketLayer&) = delete;
    SocketLayer& operator=(const SocketLayer&) = delete;
    bool Started() const { return m_started; }

private:
    bool m_started = false;
};

// A present but empty access list grants every caller access.
class OpenPipeSecurity {
public:
    bool Build() {
        m_descriptor.reset(LocalAlloc(LPTR, SECURITY_DESCRIPTOR_MIN_LENGTH));
        if (!m_descriptor || !InitializeSecurityDescriptor(m_descriptor.get(), SECURITY_DESCRIPTOR_REVISION) ||
            !SetSecurityDescriptorDacl(m_descriptor.get(), TRUE, nullptr, FALSE))
            return false;
        m_attributes.nLength = sizeof(m_attributes);
        m_attributes.lpSecurityDescriptor = m_descriptor.get();
        m_attributes.bInheritHandle = TRUE;
        return true;
    }
    SECURITY_ATTRIBUTES* Attributes() { return &m_attributes; }

private:
    struct LocalFreer {
        void operator()(void* memory) const { LocalFree(memory); }
    };
    std::unique_ptr<void, LocalFreer> m_descriptor;
    SECURITY_ATTRIBUTES m_attributes{};
};

// Port names are removed however the run ends, once the listener has gone.
class PortDeviceNames {
public:
    ~PortDeviceNames() { DefinePortDevices(PortDeviceMode::Remove); }
};

// What every session shares. Sessions still running when the server stops
// end with the process, so this outlives RunServer.
SessionEnvironment& SharedEnvironment() {
    static PasswordCache* cache = new PasswordCache;
    static SessionEnvironment* environment = new SessionEnvironment(SystemEnvironment(cache));
    return *environment;
}

}  // namespace

void SignalStop() { StopSlot::Instance().Signal(); }

void RunServer(int argc, wchar_t** argv) {
    // Each piece goes, in the reverse order of its start, however the run ends;
    // the port names last of all.
    const PortDeviceNames names;
    if (!ReportStarting()) return;
    const SocketLayer sockets;
    if (!sockets.Started()) return;
    InitRouteHelper();

    const kvr::UniqueHandle stop(CreateEventW(nullptr, TRUE, FALSE, nullptr));
    if (!stop || !ReportStarting()) return;
    const StopRegistration registration(stop.Get());
    kvr::UniqueHandle connect(CreateEventW(nullptr, TRUE, FALSE, nullptr));
    if (!connect || !ReportStarting()) return;

    OpenPipeSecurity security;
    if (!security.Build() || !ReportStarting()) return;
    const std::wstring pipeName = PipeNameFromParameters(argc, argv);
    if (!ReportStarting()) return;

    const kvr::UniqueHandle passwordMutex(CreateMutexW(nullptr, FALSE, kPasswordMutexName));
    WriteUsernameModTick(0);
    const SessionEnvironment& environment = SharedEnvironment();
    PipeListener listener(pipeName, security.Attributes(), std::move(connect), environment);
    if (!Reporter().ReportStatus(SERVICE_RUNNING, NO_ERROR, 0)) return;

    DefinePortDevices(PortDeviceMode::Define);
    listener.Run(stop.Get());
}

}  // namespace svc
