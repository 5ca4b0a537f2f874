#include "PortRedirections.h"

#include <cstdio>
#include <cstring>
#include <string>
#include <utility>

#include "BrowseErrors.h"
#include "Catalogue.h"
#include "Registry.h"
#include "RegistryNames.h"
#include "ServerRecord.h"
#include "ServerStore.h"
#include "TypeCodes.h"

namespace kvr::browse {

namespace {

constexpr std::size_t kPathSize = 256;     // server paths and port names, NUL included
constexpr std::size_t kPortKeyPathSize = 64;

struct EntryName {
    char text[12];
    explicit EntryName(long index) { std::snprintf(text, sizeof(text), "%ld", index); }
};

// The DOS name follows the flag: defined when the port becomes redirected,
// removed when it stops. Failures are ignored: the names are the port
// driver's business, and the service defines them again at its start.
void FollowRedirectedFlag(const RegKey& portKey, std::uint16_t portIndex, const char* dosName,
                          bool redirected) {
    std::string stored;
    if (!dosName) {
        auto text = portKey.ReadAnyAsText(reg::kDosDevicesA);
        if (!text) return;
        stored = std::move(*text);
        dosName = stored.c_str();
    }
    char target[64];
    if (dosName[0] == '\0' || !PortDeviceTarget(portIndex, target, sizeof(target))) return;
    if (redirected)
        DefineDosDeviceA(DDD_RAW_TARGET_PATH, dosName, target);
    else
        DefineDosDeviceA(DDD_RAW_TARGET_PATH | DDD_REMOVE_DEFINITION | DDD_EXACT_MATCH_ON_REMOVE,
                         dosName, target);
}

// Empties Redirections. Entries are removed with whatever lies below them,
// and an entry that cannot be removed fails the write: the old list must not
// live on behind the new one.
bool DeleteAllEntries(const RegKey& redirections) {
    while (const auto name = redirections.SubKeyNameA(0)) {
        if (!redirections.DeleteTree(name->c_str())) break;
    }
    return redirections.SubKeyCount() == 0u;
}

int WriteEntry(const RegKey& redirections, long index, const RedirectionRecord& record) {
    char serverPath[kPathSize];
    if (const int status = RegisterServer(&record.device, serverPath, sizeof(serverPath));
        status != kHlpOk)
        return status;
    if (serverPath[0] == '\0') return kHlpRegistryFailure;  // an empty path would name the root

    char portName[kPathSize];
    CopyBounded(portName, record.portName, sizeof(record.portName));
    const RegKey entry = RegKey::Create(redirections.Get(), EntryName(index).text);
    if (!entry || !entry.WriteText(reg::kEntryPortA, portName) ||
        !entry.WriteText(reg::kEntryServerA, serverPath))
        return kHlpRegistryFailure;
    return kHlpOk;
}

// Fills one record from entry `index`. A server key that has gone leaves the
// device part as the caller's record held it: the port name alone is still
// worth showing, and the next write registers the server again.
int ReadEntry(const RegKey& redirections, long index, RedirectionRecord& record) {
    const RegKey entry = RegKey::Open(redirections.Get(), EntryName(index).text);
    if (!entry) return kHlpRegistryFailure;

    std::memset(record.portName, 0, sizeof(record.portName));
    const auto portName = entry.ReadAnyAsText(reg::kEntryPortA);
    if (!portName) return kHlpRegistryFailure;
    CopyBounded(record.portName, portName->c_str(), portName->size() + 1);

    // A path cut short would name another key, so an overlong one is refused.
    const auto serverPath = entry.ReadAnyAsText(reg::kEntryServerA);
    if (!serverPath || serverPath->size() >= kPathSize) return kHlpRegistryFailure;

    LONG openError = ERROR_SUCCESS;
    const RegKey server = RegKey::Open(HKEY_LOCAL_MACHINE, serverPath->c_str(), KEY_READ, &openError);
    if (!server) return openError == ERROR_FILE_NOT_FOUND ? kHlpOk : kHlpRegistryFailure;

    ServerAddress address{};
    if (!server.ReadBytes(reg::kAddressA, &address, sizeof(address))) return kHlpRegistryFailure;
    const auto typeText = server.ReadAnyAsText(reg::kDeviceTypeA);
    if (!typeText) return kHlpRegistryFailure;
    const auto name = server.ReadAnyAsText(reg::kNameA);
    if (!name) return kHlpRegistryFailure;

    record.device = DeviceRecordOf(address, typeText->c_str(), typeText->size() + 1, name->c_str(),
                                   name->size() + 1);
    FillTypeCode(LoadedCatalogue(), record.device);
    return kHlpOk;
}

// A 32-bit flag of any type; shorter data is taken as far as it goes, and a
// missing value is 0.
bool ReadFlag(const RegKey& portKey) {
    DWORD flag = 0;
    return portKey.ReadBytes(reg::kIsRedirectedA, &flag, sizeof(flag)) && flag != 0;
}

}  // namespace

int SetPortRedirections(std::uint16_t portIndex, const char* dosName, bool redirected, long count,
                        const RedirectionRecord* records) {
    if (count < 0 || (count > 0 && !records)) return kHlpMissingArgument;

    char portPath[kPortKeyPathSize];
    if (!PortKeyPath(portIndex, portPath, sizeof(portPath))) return kHlpRegistryFailure;
    const RegKey portKey = RegKey::Create(HKEY_LOCAL_MACHINE, portPath);
    if (!portKey) return kHlpRegistryFailure;
    if (dosName && !portKey.WriteText(reg::kDosDevicesA, dosName)) return kHlpRegistryFailure;

    const bool wasRedirected = ReadFlag(portKey);
    if (!portKey.WriteDword(reg::kIsRedirectedA, redirected ? 1 : 0)) return kHlpRegistryFailure;
    if (wasRedirected != redirected) FollowRedirectedFlag(portKey, portIndex, dosName, redirected);

    const RegKey redirections = RegKey::Create(portKey.Get(), reg::kRedirectionsA);
    if (!redirections || !DeleteAllEntries(redirections)) return kHlpRegistryFailure;

    int status = kHlpOk;
    for (long i = 0; i < count; ++i) {
        const int entryStatus = WriteEntry(redirections, i, records[i]);
        if (status == kHlpOk) status = entryStatus;
    }
    return status;
}

int CountPortRedirections(std::uint16_t portIndex, long* count) {
    if (!count) return kHlpMissingArgument;
    *count = 0;
    char portPath[kPortKeyPathSize];
    if (!PortKeyPath(portIndex, portPath, sizeof(portPath))) return kHlpRegistryFailure;
    const RegKey portKey = RegKey::Open(HKEY_LOCAL_MACHINE, portPath);
    if (!portKey) return kHlpRegistryFailure;
    const RegKey redirections = RegKey::Open(portKey.Get(), reg::kRedirectionsA);
    if (!redirections) return kHlpOk;
    const auto subkeys = redirections.SubKeyCount();
    if (!subkeys) return kHlpRegistryFailure;
    *count = static_cast<long>(*subkeys);
    return kHlpOk;
}

int GetPortRedirections(std::uint16_t portIndex, char* dosName, bool* redirected,
                        unsigned long dosNameSize, long* count, RedirectionRecord* records) {
    if (!count || (*count > 0 && !records)) return kHlpMissingArgument;

    char portPath[kPortKeyPathSize];
    if (!PortKeyPath(portIndex, portPath, sizeof(portPath))) return kHlpRegistryFailure;
    const RegKey portKey = RegKey::Open(HKEY_LOCAL_MACHINE, portPath);
    if (!portKey) return kHlpRegistryFailure;

    if (dosName) {
        if (dosNameSize == 0) return kHlpRegistryFailure;
        std::memset(dosName, 0, dosNameSize);
        // A text that fills the buffer without its NUL did not fit either.
        if (!portKey.ReadBytes(reg::kDosDevicesA, dosName, dosNameSize) ||
            memchr(dosName, '\0', dosNameSize) == nullptr) {
            std::memset(dosName, 0, dosNameSize);
            return kHlpRegistryFailure;
        }
    }
    if (redirected) *redirected = ReadFlag(portKey);

    const long requested = *count;
    const RegKey redirections = RegKey::Open(portKey.Get(), reg::kRedirectionsA);
    if (!redirections) {
        *count = 0;
        return kHlpOk;
    }
    const auto subkeys = redirections.SubKeyCount();
    if (!subkeys) return kHlpRegistryFailure;
    *count = static_cast<long>(*subkeys);

    int status = kHlpOk;
    for (long i = 0; i < requested; ++i) {
        const int entryStatus = ReadEntry(redirections, i, records[i]);
        if (status == kHlpOk) status = entryStatus;
    }
    // The caller sizes its table by the count it asked for; entries it could
    // not hold must not look as if they had been read.
    if (status == kHlpOk && *count > requested) status = kHlpBufferFull;
    return status;
}

}  // namespace kvr::browse
