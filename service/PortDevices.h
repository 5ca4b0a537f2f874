#pragma once
// DOS names (COM3 ...) of the redirected ports, pointing at the port driver's
// devices "\Device\<port key name>".
namespace svc {

enum class PortDeviceMode { Define, Remove };

// Walks the port keys; defines the name of each redirected port in define
// mode and removes it otherwise. Stops at the first key that cannot be opened
// or lacks DosDevices or IsRedirected.
void DefinePortDevices(PortDeviceMode mode);

}  // namespace svc
