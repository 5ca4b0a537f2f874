#include "ServerStore.h"

#include <cstring>

#include "BrowseErrors.h"
#include "Catalogue.h"
#include "Registry.h"
#include "RegistryNames.h"
#include "ServerRecord.h"
#include "TypeCodes.h"

namespace kvr::browse {

namespace {

int ReadServerKey(const RegKey& base, const char* name, DeviceRecord& out) {
    const RegKey server = RegKey::Open(base.Get(), name);
    if (!server) return kHlpRegistryFailure;
    ServerAddress address{};
    if (!server.ReadBytes(reg::kAddressA, &address, sizeof(address))) return kHlpRegistryFailure;
    const auto typeText = server.ReadAnyAsText(reg::kDeviceTypeA);
    if (!typeText) return kHlpRegistryFailure;
    out = DeviceRecordOf(address, typeText->c_str(), typeText->size() + 1, name, std::strlen(name) + 1);
    FillTypeCode(LoadedCatalogue(), out);
    return kHlpOk;
}

}  // namespace

int RegisterServer(const DeviceRecord* device, char* pathOut, std::size_t pathSize) {
    if (pathOut && pathSize) pathOut[0] = '\0';
    if (!device) return kHlpMissingArgument;

    const StoredServer server = StoredServerOf(*device);
    // An empty name would put the values on the base key itself, and a "\"
    // would file the server under a key the store does not list.
    if (server.name[0] == '\0' || std::strchr(server.name, '\\')) return kHlpMissingArgument;

    const char* base = ServerBaseKeyFor(device->transport);
    if (pathOut && pathSize) {
        const std::size_t baseLength = std::strlen(base);
        const std::size_t nameLength = std::strlen(server.name);
        if (baseLength + nameLength + 1 < pathSize) {
            std::memcpy(pathOut, base, baseLength);
            pathOut[baseLength] = '\\';
            std::memcpy(pathOut + baseLength + 1, server.name, nameLength + 1);
        }
    }

    const RegKey baseKey = RegKey::Create(HKEY_LOCAL_MACHINE, base);
    if (!baseKey) return kHlpRegistryFailure;
    const RegKey serverKey = RegKey::Create(baseKey.Get(), server.name);
    if (!serverKey) return kHlpRegistryFailure;
    if (!serverKey.WriteBinary(reg::kAddressA, &server.address, sizeof(server.address)) ||
        !serverKey.WriteText(reg::kDeviceTypeA, server.typeText) || !serverKey.WriteText(reg::kNameA, server.name))
        return kHlpRegistryFailure;
    return kHlpOk;
}

int ReadKnownServer(std::uint16_t transport, const char* name, DeviceRecord& out) {
    if (!name) return kHlpMissingArgument;
    const RegKey base = RegKey::Open(HKEY_LOCAL_MACHINE, ServerBaseKeyFor(transport));
    if (!base) return kHlpRegistryFailure;
    return ReadServerKey(base, name, out);
}

bool HasKnownServers(std::uint16_t transport) {
    return static_cast<bool>(RegKey::Open(HKEY_LOCAL_MACHINE, ServerBaseKeyFor(transport)));
}

int ForEachKnownServer(std::uint16_t transport, KnownServerVisitor visit, void* context) {
    LONG openError = ERROR_SUCCESS;
    const RegKey base = RegKey::Open(HKEY_LOCAL_MACHINE, ServerBaseKeyFor(transport), KEY_READ, &openError);
    if (!base) return openError == ERROR_FILE_NOT_FOUND ? kHlpOk : kHlpRegistryFailure;
    for (DWORD index = 0;; ++index) {
        LONG result = ERROR_SUCCESS;
        const auto name = base.SubKeyNameA(index, &result);
        if (result == ERROR_NO_MORE_ITEMS) return kHlpOk;
        if (!name) return kHlpRegistryFailure;
        DeviceRecord server;
        if (const int status = ReadServerKey(base, name->c_str(), server); status != kHlpOk) return status;
        if (const int stop = visit(context, server); stop != 0) return stop;
    }
}

}  // namespace kvr::browse
