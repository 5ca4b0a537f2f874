#include "PortRedirections.h"

#include <cstdio>
#include <cstring>
#include <string>
#include <utility>

#include "BrowseErrors.h"
#include "RegistryAccess.h"
#include "RegistryNames.h"
#include "ServerRecord.h"
#include "ServerStore.h"
#include "TypeCodes.h"

namespace kvr::browse {

namespace {

constexpr std::size_t kPathSize = 256;     // server paths and port names, NUL included
constexpr DWORD kKeyNameSize = 257;        // longest subkey name plus NUL
constexpr std::size_t kPortKeyPathSize = 64;

struct EntryName {
    char text[12];
    explicit EntryName(long index) { std::snprintf(text, sizeof(text), "%ld", index); }
};

// The DOS name follows the flag: defined when the port becomes redirected,
// removed when it stops. Failures are ignored: the names are the port
// driver's business, and the service defines them again at its start.
void FollowRedirectedFlag(HKEY portKey, std::uint16_t portIndex, const char* dosName,
                          bool redirected) {
    std::string stored;
    if (!dosName) {
        auto text = ReadText(portKey, reg::kDosDevicesA);
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
bool DeleteAllEntries(HKEY redirections) {
    for (;;) {
        char name[kKeyNameSize];
        DWORD nameLength = kKeyNameSize;
        if (RegEnumKeyExA(redirections, 0, name, &nameLength, nullptr, nullptr, nullptr, nullptr) !=
            ERROR_SUCCESS)
            break;
        if (RegDeleteTreeA(redirections, name) != ERROR_SUCCESS) break;
    }
    DWORD remaining = 0;
    return RegQueryInfoKeyA(redirections, nullptr, nullptr, nullptr, &remaining, nullptr, nullptr,
                            nullptr, nullptr, nullptr, nullptr, nullptr) == ERROR_SUCCESS &&
           remaining == 0;
}

int WriteEntry(HKEY redirections, long index, const RedirectionRecord& record) {
    char serverPath[kPathSize];
    if (const int status = RegisterServer(&record.device, serverPath, sizeof(serverPath));
        status != kHlpOk)
        return status;
    if (serverPath[0] == '\0') return kHlpRegistryFailure;  // an empty path would name the root

    char portName[kPathSize];
    CopyBounded(portName, record.portName, sizeof(record.portName));
    const UniqueHKey entry = CreateKey(redirections, EntryName(index).text);
    if (!entry || !WriteText(entry.Get(), reg::kEntryPortA, portName) ||
        !WriteText(entry.Get(), reg::kEntryServerA, serverPath))
        return kHlpRegistryFailure;
    return kHlpOk;
}

// Fills one record from entry `index`. A server key that has gone leaves the
// device part as the caller's record held it: the port name alone is still
// worth showing, and the next write registers the server again.
int ReadEntry(HKEY redirections, long index, RedirectionRecord& record) {
    const UniqueHKey entry = OpenKeyForReading(redirections, EntryName(index).text);
    if (!entry) return kHlpRegistryFailure;

    std::memset(record.portName, 0, sizeof(record.portName));
    const auto portName = ReadText(entry.Get(), reg::kEntryPortA);
    if (!portName) return kHlpRegistryFailure;
    CopyBounded(record.portName, portName->c_str(), portName->size() + 1);

    // A path cut short would name another key, so an overlong one is refused.
    const auto serverPath = ReadText(entry.Get(), reg::kEntryServerA);
    if (!serverPath || serverPath->size() >= kPathSize) return kHlpRegistryFailure;

    LONG openError = ERROR_SUCCESS;
    const UniqueHKey server = OpenKeyForReading(HKEY_LOCAL_MACHINE, serverPath->c_str(), &openError);
    if (!server) return openError == ERROR_FILE_NOT_FOUND ? kHlpOk : kHlpRegistryFailure;

    ServerAddress address{};
    if (!ReadBytes(server.Get(), reg::kAddressA, &address, sizeof(address))) return kHlpRegistryFailure;
    const auto typeText = ReadText(server.Get(), reg::kDeviceTypeA);
    if (!typeText) return kHlpRegistryFailure;
    const auto name = ReadText(server.Get(), reg::kNameA);
    if (!name) return kHlpRegistryFailure;

    record.device = DeviceRecordOf(address, typeText->c_str(), typeText->size() + 1, name->c_str(),
                                   name->size() + 1);
    LookUpTypeCode(record.device.typeText, record.device.typeCode);
    return kHlpOk;
}

bool ReadFlag(HKEY portKey) { return ReadDword(portKey, reg::kIsRedirectedA).value_or(0) != 0; }

}  // namespace

int SetPortRedirections(std::uint16_t portIndex, const char* dosName, bool redirected, long count,
                        const RedirectionRecord* records) {
    if (count < 0 || (count > 0 && !records)) return kHlpMissingArgument;

    char portPath[kPortKeyPathSize];
    if (!PortKeyPath(portIndex, portPath, sizeof(portPath))) return kHlpRegistryFailure;
    const UniqueHKey portKey = CreateKey(HKEY_LOCAL_MACHINE, portPath);
    if (!portKey) return kHlpRegistryFailure;
    if (dosName && !WriteText(portKey.Get(), reg::kDosDevicesA, dosName)) return kHlpRegistryFailure;

    const bool wasRedirected = ReadFlag(portKey.Get());
    if (!WriteDword(portKey.Get(), reg::kIsRedirectedA, redirected ? 1 : 0)) return kHlpRegistryFailure;
    if (wasRedirected != redirected) FollowRedirectedFlag(portKey.Get(), portIndex, dosName, redirected);

    const UniqueHKey redirections = CreateKey(portKey.Get(), reg::kRedirectionsA);
    if (!redirections || !DeleteAllEntries(redirections.Get())) return kHlpRegistryFailure;

    int status = kHlpOk;
    for (long i = 0; i < count; ++i) {
        const int entryStatus = WriteEntry(redirections.Get(), i, records[i]);
        if (status == kHlpOk) status = entryStatus;
    }
    return status;
}

int CountPortRedirections(std::uint16_t portIndex, long* count) {
    if (!count) return kHlpMissingArgument;
    *count = 0;
    char portPath[kPortKeyPathSize];
    if (!PortKeyPath(portIndex, portPath, sizeof(portPath))) return kHlpRegistryFailure;
    const UniqueHKey portKey = OpenKeyForReading(HKEY_LOCAL_MACHINE, portPath);
    if (!portKey) return kHlpRegistryFailure;
    const UniqueHKey redirections = OpenKeyForReading(portKey.Get(), reg::kRedirectionsA);
    if (!redirections) return kHlpOk;
    DWORD subkeys = 0;
    if (RegQueryInfoKeyA(redirections.Get(), nullptr, nullptr, nullptr, &subkeys, nullptr, nullptr,
                         nullptr, nullptr, nullptr, nullptr, nullptr) != ERROR_SUCCESS)
        return kHlpRegistryFailure;
    *count = static_cast<long>(subkeys);
    return kHlpOk;
}

int GetPortRedirections(std::uint16_t portIndex, char* dosName, bool* redirected,
                        unsigned long dosNameSize, long* count, RedirectionRecord* records) {
    if (!count || (*count > 0 && !records)) return kHlpMissingArgument;

    char portPath[kPortKeyPathSize];
    if (!PortKeyPath(portIndex, portPath, sizeof(portPath))) return kHlpRegistryFailure;
    const UniqueHKey portKey = OpenKeyForReading(HKEY_LOCAL_MACHINE, portPath);
    if (!portKey) return kHlpRegistryFailure;

    if (dosName) {
        if (dosNameSize == 0) return kHlpRegistryFailure;
        std::memset(dosName, 0, dosNameSize);
        // A text that fills the buffer without its NUL did not fit either.
        if (!ReadBytes(portKey.Get(), reg::kDosDevicesA, dosName, dosNameSize) ||
            memchr(dosName, '\0', dosNameSize) == nullptr) {
            std::memset(dosName, 0, dosNameSize);
            return kHlpRegistryFailure;
        }
    }
    if (redirected) *redirected = ReadFlag(portKey.Get());

    const long requested = *count;
    const UniqueHKey redirections = OpenKeyForReading(portKey.Get(), reg::kRedirectionsA);
    if (!redirections) {
        *count = 0;
        return kHlpOk;
    }
    DWORD subkeys = 0;
    if (RegQueryInfoKeyA(redirections.Get(), nullptr, nullptr, nullptr, &subkeys, nullptr, nullptr,
                         nullptr, nullptr, nullptr, nullptr, nullptr) != ERROR_SUCCESS)
        return kHlpRegistryFailure;
    *count = static_cast<long>(subkeys);

    int status = kHlpOk;
    for (long i = 0; i < requested; ++i) {
        const int entryStatus = ReadEntry(redirections.Get(), i, records[i]);
        if (status == kHlpOk) status = entryStatus;
    }
    // The caller sizes its table by the count it asked for; entries it could
    // not hold must not look as if they had been read.
    if (status == kHlpOk && *count > requested) status = kHlpBufferFull;
    return status;
}

}  // namespace kvr::browse
