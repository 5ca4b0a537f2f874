// The flat exports of KVRBRWS.DLL. Each one turns its arguments into the
// store's calls and stops every exception at the boundary.
// Windows Sockets must come before the windows.h that KvrBrws.h brings.
#include <winsock2.h>

#include "KvrBrws.h"

#include <cstddef>
#include <new>

#include "FindOperations.h"
#include "PortRedirections.h"
#include "ServerStore.h"
#include "SocketNetwork.h"

namespace {

using namespace kvr::browse;

template <typename Call>
LONG Guarded(Call&& call, LONG otherFailure) noexcept {
    try {
        return call();
    } catch (const std::bad_alloc&) {
        return kHlpOutOfMemory;
    } catch (...) {
        return otherFailure;
    }
}

// The store does nothing but registry work.
template <typename Call>
LONG GuardedStore(Call&& call) noexcept {
    return Guarded(call, kHlpRegistryFailure);
}

template <typename Call>
LONG GuardedNetwork(Call&& call) noexcept {
    return Guarded(call, kHlpSocketError);
}

bool IsKnownTransport(WORD transport) {
    return transport == kTransportIp || transport == kTransportIpx;
}

Network& Sockets() {
    static SocketNetwork network;
    return network;
}

// The notice a callback receives is the library's own.
static_assert(sizeof(HLPNOTICE) == sizeof(HlpNotice));
static_assert(offsetof(HLPNOTICE, record) == offsetof(HlpNotice, record));
static_assert(offsetof(HLPNOTICE, count) == offsetof(HlpNotice, count));

HlpCallback CallbackOf(HLPCALLBACK callback) {
    return reinterpret_cast<HlpCallback>(callback);
}

void Store(WORD* out, std::uint16_t value) {
    if (out) *out = value;
}

}  // namespace

extern "C" {

// Nothing to set up: every export opens what it needs and closes it again.
// Thread notifications stay on because the static C++ runtime relies on them.
BOOL WINAPI DllMain(HINSTANCE, DWORD, LPVOID) { return TRUE; }

LONG WINAPI HLPInitStack(WORD transport) {
    if (!IsKnownTransport(transport)) return kHlpUnsupportedTransport;
    // Windows Sockets counts its starts, so repeated starts are harmless.
    WSADATA data;
    const int error = WSAStartup(MAKEWORD(1, 1), &data);
    return error == 0 ? kHlpOk : MapSocketError(error);
}

LONG WINAPI HLPCloseStack(WORD transport) {
    if (!IsKnownTransport(transport)) return kHlpUnsupportedTransport;
    return WSACleanup() == 0 ? kHlpOk : kHlpCloseFailed;
}

LONG WINAPI HLPFindVersionDevices(WORD transport, DWORD, const char* namePattern,
                                  const char* typeFilter, void* buffer, WORD bufferSize,
                                  WORD* count, HLPCALLBACK callback, WORD timeout,
                                  const char* community, const DWORD* ipxVersionFilter) {
    return GuardedNetwork([&]() -> LONG {
        if (!IsKnownTransport(transport)) return kHlpUnsupportedTransport;
        if (!buffer && !callback) return kHlpMissingArgument;
        SearchParameters params;
        params.namePattern = namePattern ? namePattern : "*";
        params.typeFilter = typeFilter ? typeFilter : "*";
        params.timeoutSeconds = timeout;
        params.community = community;
        params.ipxVersionFilter = reinterpret_cast<const std::uint32_t*>(ipxVersionFilter);
        ResultSink sink(buffer, bufferSize, CallbackOf(callback));
        std::uint16_t found = 0;
        const LONG result = FindDevices(Sockets(), transport, params, sink, found);
        Store(count, found);
        return result;
    });
}

LONG WINAPI HLPFindDevices(WORD transport, DWORD reserved, const char* namePattern,
                           const char* typeFilter, void* buffer, WORD bufferSize, WORD* count,
                           HLPCALLBACK callback, WORD timeout, const char* community) {
    return HLPFindVersionDevices(transport, reserved, namePattern, typeFilter, buffer, bufferSize,
                                 count, callback, timeout, community, nullptr);
}

LONG WINAPI HLPFindADevice(const void* target, const char* hostName, DeviceDetailRecord* device,
                           WORD timeout, const char* community) {
    return GuardedNetwork([&] {
        return FindADevice(Sockets(), static_cast<const std::uint8_t*>(target), hostName, device,
                           timeout, community);
    });
}

LONG WINAPI HLPGetServerInfo(const void* target, void* summary, WORD timeout,
                             const char* community) {
    return GuardedNetwork([&] {
        return GetServerInfo(Sockets(), static_cast<const std::uint8_t*>(target),
                             static_cast<ServerSummary*>(summary), timeout, community);
    });
}

LONG WINAPI HLPGetSerialNames(WORD transport, DWORD, const void* target, void* buffer,
                              WORD bufferSize, WORD* count, HLPCALLBACK callback, WORD timeout,
                              const char* community) {
    return GuardedNetwork([&]() -> LONG {
        if (!IsKnownTransport(transport)) return kHlpUnsupportedTransport;
        if (!buffer && !callback) return kHlpMissingArgument;
        ResultSink sink(buffer, bufferSize, CallbackOf(callback));
        std::uint16_t found = 0;
        const LONG result = GetSerialNames(Sockets(), transport, static_cast<const std::uint8_t*>(target),
                                           sink, timeout, community, found);
        Store(count, found);
        return result;
    });
}

LONG WINAPI HLPSetPortRedirections(WORD portIndex, const char* dosName, BOOL redirected, LONG count,
                                   const RedirectionRecord* records) {
    return GuardedStore([&] {
        return SetPortRedirections(portIndex, dosName, redirected != FALSE, count,
                                                records);
    });
}

LONG WINAPI HLPGetNumberPortRedirections(WORD portIndex, LONG* count) {
    return GuardedStore([&] {
        if (!count) return static_cast<int>(kHlpMissingArgument);
        long value = 0;
        const int status = CountPortRedirections(portIndex, &value);
        *count = static_cast<LONG>(value);
        return status;
    });
}

LONG WINAPI HLPGetPortRedirections(WORD portIndex, char* dosName, BOOL* redirected,
                                   DWORD dosNameSize, LONG* count, RedirectionRecord* records) {
    return GuardedStore([&] {
        if (!count) return static_cast<int>(kHlpMissingArgument);
        long value = *count;
        bool flag = redirected && *redirected != FALSE;
        const int status = GetPortRedirections(
            portIndex, dosName, redirected ? &flag : nullptr, dosNameSize, &value, records);
        *count = static_cast<LONG>(value);
        if (redirected) *redirected = flag ? TRUE : FALSE;
        return status;
    });
}

LONG WINAPI HLPAddDeviceToServers(const DeviceRecord* device) {
    return GuardedStore([&] { return RegisterServer(device, nullptr, 0); });
}

}  // extern "C"
