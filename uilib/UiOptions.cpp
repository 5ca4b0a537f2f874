#include "UiOptions.h"

#include "Registry.h"
#include "RegistryNames.h"

namespace kvr {

namespace {

constexpr DWORD kLocationChars = 8;

RegKey OpenGlobalKey() {
    return RegKey::Create(HKEY_LOCAL_MACHINE, reg::kRezorivKey, KEY_QUERY_VALUE | KEY_SET_VALUE);
}

enum class Read { Ok, Missing, Failed };

Read ReadDword(const RegKey& key, LPCWSTR name, DWORD& value) {
    DWORD data = 0;
    const RegValueInfo info = key.Query(name, &data, sizeof data);
    if (info.status == ERROR_FILE_NOT_FOUND) return Read::Missing;
    if (info.status != ERROR_SUCCESS || info.type != REG_DWORD || info.size != sizeof data) return Read::Failed;
    value = data;
    return Read::Ok;
}

Read ReadString(const RegKey& key, LPCWSTR name, std::wstring& value) {
    wchar_t data[kLocationChars] = {};
    const RegValueInfo info = key.Query(name, data, sizeof data);
    if (info.status == ERROR_FILE_NOT_FOUND) return Read::Missing;
    if (info.status != ERROR_SUCCESS || (info.type != REG_SZ && info.type != REG_EXPAND_SZ)) return Read::Failed;
    value.assign(data, ::wcsnlen(data, info.size / sizeof(wchar_t)));
    return Read::Ok;
}

}  // namespace

ModemOptions ReadModemOptions() {
    ModemOptions options;
    const RegKey key = OpenGlobalKey();
    if (!key) return options;
    for (auto [name, value] : {std::pair{reg::kModemSize, &options.size},
                               std::pair{reg::kModemAlwaysOnTop, &options.alwaysOnTop},
                               std::pair{reg::kModemX, &options.x}, std::pair{reg::kModemY, &options.y}})
        if (ReadDword(key, name, *value) == Read::Failed) return options;
    ReadString(key, reg::kModemLocation, options.location);
    return options;
}

bool SaveModemOptions(const ModemOptions& options) {
    const RegKey key = OpenGlobalKey();
    if (!key) return false;
    for (auto [name, value] : {std::pair{reg::kModemSize, options.size},
                               std::pair{reg::kModemAlwaysOnTop, options.alwaysOnTop},
                               std::pair{reg::kModemX, options.x}, std::pair{reg::kModemY, options.y}})
        if (!key.WriteDword(name, value)) return false;
    return true;
}

bool NarrationEnabled() {
    const RegKey key = OpenGlobalKey();
    if (!key) return false;
    DWORD narrate = 1;
    return ReadDword(key, reg::kNarrate, narrate) != Read::Failed && narrate != 0;
}

}  // namespace kvr
