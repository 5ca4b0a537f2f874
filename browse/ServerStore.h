#pragma once
// The known-server store: one key per server under SOFTWARE\Quelt\Servers\TCP
// or \SPX holding Address (16 bytes), DeviceType and Name. Servers are added
// or overwritten, never deleted. Results are 0 or a BrowseError code.
#include <cstddef>
#include <cstdint>
#include <type_traits>

#include "DeviceRecords.h"

namespace kvr::browse {

// Stores the device under its name (cut to 48 characters) and, when pathOut
// is given, returns the server key's path relative to HKEY_LOCAL_MACHINE
// there ("" when it does not fit). -5 for a null record, a record without a
// name, or a name holding "\" (it would land in another key); -8 when the
// registry fails.
int RegisterServer(const DeviceRecord* device, char* pathOut, std::size_t pathSize);

// Reads the known server `name` of the transport (TCP for 2, SPX otherwise)
// into out: name = the key name, type text and address from the key, type
// code from the catalogue. -8 when the key or one of its values is missing.
int ReadKnownServer(std::uint16_t transport, const char* name, DeviceRecord& out);

// True when the transport's base key of known servers exists.
bool HasKnownServers(std::uint16_t transport);

// Called for each known server; a non-zero return ends the walk and becomes
// the result of ForEachKnownServer.
using KnownServerVisitor = int (*)(void* context, const DeviceRecord& server);

// Walks the known servers of the transport in the registry's enumeration
// order. No servers at all is 0; a failed enumeration or a server key
// without its values ends the walk with -8.
int ForEachKnownServer(std::uint16_t transport, KnownServerVisitor visit, void* context);

template <typename Visit>
int ForEachKnownServer(std::uint16_t transport, Visit&& visit) {
    return ForEachKnownServer(
        transport,
        [](void* context, const DeviceRecord& server) {
            return (*static_cast<std::remove_reference_t<Visit>*>(context))(server);
        },
        &visit);
}

}  // namespace kvr::browse
