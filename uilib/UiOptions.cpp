#include "UiOptions.h"

#include "Handles.h"
#include "RegistryNames.h"

namespace kvr {

namespace {

constexpr DWORD kLocationChars = 8;

UniqueHKey OpenGlobalKey() {
    UniqueHKey key;
    if (::RegCreateKeyExW(HKEY_LOCAL_MACHINE, reg::kRezorivKey, 0, nullptr, 0, KEY_QUERY_VALUE | KEY_SET_VALUE,
                          nullptr, key.Put(), nullptr) != ERROR_SUCCESS)
        key.Reset();
    return key;
}

enum class Read { Ok, Missing, Failed };

Read ReadDword(HKEY key, LPCWSTR name, DWORD& value) {
    DWORD type = 0, data = 0, size = sizeof data;
    const LONG rc = ::RegQueryValueExW(key, name, nullptr, &type, reinterpret_cast<BYTE*>(&data), &size);
    if (rc == ERROR_FILE_NOT_FOUND) return Read::Missing;
    if (rc != ERROR_SUCCESS || type != REG_DWORD || size != sizeof data) return Read::Failed;
    value = data;
    return Read::Ok;
}

Read ReadString(HKEY key, LPCWSTR name, std::wstring& value) {
    wchar_t data[kLocationChars] = {};
    DWORD type = 0, size = sizeof data;
    const LONG rc = ::RegQueryValueExW(key, name, nullptr, &type, reinterpret_cast<BYTE*>(data), &size);
    if (rc == ERROR_FILE_NOT_FOUND) return Read::Missing;
    if (rc != ERROR_SUCCESS || (type != REG_SZ && type != REG_EXPAND_SZ)) return Read::Failed;
    value.assign(data, ::wcsnlen(data, size / sizeof(wchar_t)));
    return Read::Ok;
}

}  // namespace

ModemOptions ReadModemOptions() {
    ModemOptions options;
    const UniqueHKey key = OpenGlobalKey();
    if (!key) return options;
    for (auto [name, value] : {std::pair{reg::kModemSize, &options.size},
                               std::pair{reg::kModemAlwaysOnTop, &options.alwaysOnTop},
                               std::pair{reg::kModemX, &options.x}, std::pair{reg::kModemY, &options.y}})
        if (ReadDword(key.Get(), name, *value) == Read::Failed) return options;
    ReadString(key.Get(), reg::kModemLocation, options.location);
    return options;
}

bool SaveModemOptions(const ModemOptions& options) {
    const UniqueHKey key = OpenGlobalKey();
    if (!key) return false;
    for (auto [name, value] : {std::pair{reg::kModemSize, options.size},
                               std::pair{reg::kModemAlwaysOnTop, options.alwaysOnTop},
                               std::pair{reg::kModemX, options.x}, std::pair{reg::kModemY, options.y}})
        if (::RegSetValueExW(key.Get(), name, 0, REG_DWORD, reinterpret_cast<const BYTE*>(&value),
                             sizeof value) != ERROR_SUCCESS)
            return false;
    return true;
}

bool NarrationEnabled() {
    const UniqueHKey key = OpenGlobalKey();
    if (!key) return false;
    DWORD narrate = 1;
    return ReadDword(key.Get(), reg::kNarrate, narrate) != Read::Failed && narrate != 0;
}

}  // namespace kvr
