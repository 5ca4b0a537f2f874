#pragma once
// DOS names (COM3 ...) of the redirected ports, pointing at the port driver's
// devices "\Device\<port key name>".
#include <windows.h>

namespace svc {

enum class PortDeviceMode { Define, Remove };

// Walks the port keys under root; defines the name of each redirected port in
// define mode and removes it otherwise. A key with an empty DosDevices is
// skipped; the walk stops at the first key that cannot be opened or lacks
// DosDevices or IsRedirected.
void DefinePortDevices(PortDeviceMode mode, HKEY root = HKEY_LOCAL_MACHINE);

}  // namespace svc
