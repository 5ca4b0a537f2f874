#include "ServerStore.h"

#include <cstring>

#include "BrowseErrors.h"
#include "RegistryAccess.h"
#include "RegistryNames.h"
#include "ServerRecord.h"
#include "TypeCodes.h"

namespace kvr::browse {

namespace {

// Longest subkey name the registry gives, plus its NUL.
constexpr DWORD kKeyNameSize = 257;

int ReadServerKey(HKEY base, const char* name, DeviceRecord& out) {
    const UniqueHKey server = OpenKeyForReading(base, name);
    if (!server) return kHlpRegistryFailure;
    ServerAddress address{};
    if (!ReadBytes(server.Get(), reg::kAddressA, &address, sizeof(address))) return kHlpRegistryFailure;
    const auto typeText = ReadText(server.Get(), reg::kDeviceTypeA);
    if (!typeText) return kHlpRegistryFailure;
    out = DeviceRecordOf(address, typeText->c_str(), typeText->size() + 1, name, std::strlen(name) + 1);
    LookUpTypeCode(out.typeText, out.typeCode);
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

    const UniqueHKey baseKey = CreateKey(HKEY_LOCAL_MACHINE, base);
    if (!baseKey) return kHlpRegistryFailure;
    const UniqueHKey serverKey = CreateKey(baseKey.Get(), server.name);
    if (!serverKey) return kHlpRegistryFailure;
    if (!WriteBinary(serverKey.Get(), reg::kAddressA, &server.address, sizeof(server.address)) ||
        !WriteText(serverKey.Get(), reg::kDeviceTypeA, server.typeText) ||
        !WriteText(serverKey.Get(), reg::kNameA, server.name))
        return kHlpRegistryFailure;
    return kHlpOk;
}

int ReadKnownServer(std::uint16_t transport, const char* name, DeviceRecord& out) {
    if (!name) return kHlpMissingArgument;
    const UniqueHKey base = OpenKeyForReading(HKEY_LOCAL_MACHINE, ServerBaseKeyFor(transport));
    if (!base) return kHlpRegistryFailure;
    return ReadServerKey(base.Get(), name, out);
}

bool HasKnownServers(std::uint16_t transport) {
    return static_cast<bool>(OpenKeyForReading(HKEY_LOCAL_MACHINE, ServerBaseKeyFor(transport)));
}

int ForEachKnownServer(std::uint16_t transport, KnownServerVisitor visit, void* context) {
    LONG openError = ERROR_SUCCESS;
    const UniqueHKey base =
        OpenKeyForReading(HKEY_LOCAL_MACHINE, ServerBaseKeyFor(transport), &openError);
    if (!base) return openError == ERROR_FILE_NOT_FOUND ? kHlpOk : kHlpRegistryFailure;
    for (DWORD index = 0;; ++index) {
        char name[kKeyNameSize];
        DWORD nameLength = kKeyNameSize;
        const LONG result =
            RegEnumKeyExA(base.Get(), index, name, &nameLength, nullptr, nullptr, nullptr, nullptr);
        if (result == ERROR_NO_MORE_ITEMS) return kHlpOk;
        if (result != ERROR_SUCCESS) return kHlpRegistryFailure;
        DeviceRecord server;
        if (const int status = ReadServerKey(base.Get(), name, server); status != kHlpOk) return status;
        if (const int stop = visit(context, server); stop != 0) return stop;
    }
}

}  // namespace kvr::browse
