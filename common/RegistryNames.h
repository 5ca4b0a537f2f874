#pragma once
// Registry keys (under HKEY_LOCAL_MACHINE unless noted) and value names shared
// by the service, the libraries and the Chooser. The service and the
// user-interface library use the wide forms, the browsing library the narrow.
// Names are compared without regard to case by the registry.

#define KVR_WIDEN2(s) L##s
#define KVR_WIDEN(s) KVR_WIDEN2(s)

#define KVR_REG_NAME(id, text)                        \
    inline constexpr char id##A[] = text;             \
    inline constexpr wchar_t id[] = KVR_WIDEN(text);

namespace reg {

// Global options.
KVR_REG_NAME(kRezorivKey, "SOFTWARE\\Quelt\\Rezoriv")
KVR_REG_NAME(kUsername, "Username")
KVR_REG_NAME(kPassword, "Password")
KVR_REG_NAME(kPasswordCaching, "PasswordCaching")
KVR_REG_NAME(kSilent, "Silent")
KVR_REG_NAME(kReopen, "Reopen")
KVR_REG_NAME(kUsernameModTick, "UsernameModTick")
KVR_REG_NAME(kNarrate, "Narrate")
KVR_REG_NAME(kModemSize, "ModemSize")
KVR_REG_NAME(kModemAlwaysOnTop, "ModemAlwaysOnTop")
KVR_REG_NAME(kModemX, "ModemX")
KVR_REG_NAME(kModemY, "ModemY")
KVR_REG_NAME(kModemLocation, "Modem_Location")
KVR_REG_NAME(kTransport, "Transport")
KVR_REG_NAME(kShowUsableOnly, "ShowUsableOnly")
KVR_REG_NAME(kBuffer, "buffer")
KVR_REG_NAME(kUpgradeFlag, "UpgradeFlag")

// Port keys: kPortsKey\Dialout<N>.
KVR_REG_NAME(kPortsKey, "SOFTWARE\\Quelt\\Rezoriv\\Ports")
KVR_REG_NAME(kPortKeyPrefix, "Dialout")
KVR_REG_NAME(kDosDevices, "DosDevices")
KVR_REG_NAME(kIsRedirected, "IsRedirected")
KVR_REG_NAME(kForcedFlowControl, "ForcedFlowControl")
KVR_REG_NAME(kRedirections, "Redirections")
KVR_REG_NAME(kEntryPort, "Port")
KVR_REG_NAME(kEntryServer, "Server")

// Known servers: kServersKey\TCP\<name> and kServersKey\SPX\<name>.
KVR_REG_NAME(kServersKey, "SOFTWARE\\Quelt\\Servers")
KVR_REG_NAME(kTcpServersKey, "SOFTWARE\\Quelt\\Servers\\TCP")
KVR_REG_NAME(kSpxServersKey, "SOFTWARE\\Quelt\\Servers\\SPX")
KVR_REG_NAME(kIpLookupMethods, "IPLookupMethods")
KVR_REG_NAME(kDeviceFile, "DeviceFile")
KVR_REG_NAME(kAddress, "Address")
KVR_REG_NAME(kDeviceType, "DeviceType")
KVR_REG_NAME(kName, "Name")

// Device-type catalogue.
KVR_REG_NAME(kLookupKey, "SOFTWARE\\Quelt\\Lookup")
KVR_REG_NAME(kManufacturerCodes, "ManufacturerCodes")
KVR_REG_NAME(kHardwareTypes, "HardwareTypes")

// Under HKEY_CURRENT_USER: the Chooser's window positions.
KVR_REG_NAME(kChooserUserKey, "Control Panel\\Quelt Chooser")
KVR_REG_NAME(kChooserPosition, "ChooserPosition")
KVR_REG_NAME(kBrowserPosition, "BrowserPosition")

// Defaults of the global values.
inline constexpr unsigned long kDefaultReopenMs = 12000;
inline constexpr unsigned long kDefaultSilent = 1;
inline constexpr unsigned long kDefaultPasswordCaching = 0;
inline constexpr unsigned long kCacheNeverExpires = 0xFFFFFFFF;
inline constexpr unsigned long kNotForced = 0xFFFFFFFF;

}  // namespace reg

#undef KVR_REG_NAME
