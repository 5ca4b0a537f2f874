#pragma once
// The global options the library reads and writes under
// HKEY_LOCAL_MACHINE\SOFTWARE\Quelt\Rezoriv (the key is created if missing).
#include <windows.h>

#include <string>

namespace kvr {

struct ModemOptions {
    DWORD size = 1;  // 1 = small, 2 = large
    DWORD alwaysOnTop = 1;
    DWORD x = 1;
    DWORD y = 1;
    std::wstring location = L"ON";  // anything but "ON" hides the modem window
};

// A read that fails for any reason but a missing value stops the reading:
// the rest keep the values they had.
ModemOptions ReadModemOptions();
// Writes size, on-top, x and y in that order, stopping at the first failure.
bool SaveModemOptions(const ModemOptions& options);
// Narrate: default 1; any failure but a missing value counts as off.
bool NarrationEnabled();

}  // namespace kvr
