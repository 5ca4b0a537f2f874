// The flat exports of KVRBRWS.DLL. Each one turns its arguments into the
// store's calls and stops every exception at the boundary.
#include "KvrBrws.h"

#include <new>

#include "PortRedirections.h"
#include "ServerStore.h"

namespace {

template <typename Call>
LONG Guarded(Call&& call) noexcept {
    try {
        return call();
    } catch (const std::bad_alloc&) {
        return kHlpOutOfMemory;
    } catch (...) {
        return kHlpRegistryFailure;  // the store does nothing but registry work
    }
}

}  // namespace

extern "C" {

// Nothing to set up: every export opens what it needs and closes it again.
// Thread notifications stay on because the static C++ runtime relies on them.
BOOL WINAPI DllMain(HINSTANCE, DWORD, LPVOID) { return TRUE; }

LONG WINAPI HLPSetPortRedirections(WORD portIndex, const char* dosName, BOOL redirected, LONG count,
                                   const RedirectionRecord* records) {
    return Guarded([&] {
        return kvr::browse::SetPortRedirections(portIndex, dosName, redirected != FALSE, count,
                                                records);
    });
}

LONG WINAPI HLPGetNumberPortRedirections(WORD portIndex, LONG* count) {
    return Guarded([&] {
        if (!count) return static_cast<int>(kHlpMissingArgument);
        long value = 0;
        const int status = kvr::browse::CountPortRedirections(portIndex, &value);
        *count = static_cast<LONG>(value);
        return status;
    });
}

LONG WINAPI HLPGetPortRedirections(WORD portIndex, char* dosName, BOOL* redirected,
                                   DWORD dosNameSize, LONG* count, RedirectionRecord* records) {
    return Guarded([&] {
        if (!count) return static_cast<int>(kHlpMissingArgument);
        long value = *count;
        bool flag = redirected && *redirected != FALSE;
        const int status = kvr::browse::GetPortRedirections(
            portIndex, dosName, redirected ? &flag : nullptr, dosNameSize, &value, records);
        *count = static_cast<LONG>(value);
        if (redirected) *redirected = flag ? TRUE : FALSE;
        return status;
    });
}

LONG WINAPI HLPAddDeviceToServers(const DeviceRecord* device) {
    return Guarded([&] { return kvr::browse::RegisterServer(device, nullptr, 0); });
}

}  // extern "C"
