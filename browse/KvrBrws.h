#pragma once
// KVRBRWS.DLL: the browsing library's flat exports. Every export returns 0 or
// one of the negative codes of BrowseErrors.h and never throws. Strings are
// single-byte (ANSI); the caller owns every buffer it passes.
#include <windows.h>

#include "BrowseErrors.h"
#include "DeviceRecords.h"

#ifdef KVRBRWS_BUILDING
#define KVRBRWS_API
#else
#define KVRBRWS_API __declspec(dllimport)
#endif

// Transports: 2 TCP/IP (UDP queries), 6 IPX/SPX. Time-outs are seconds.
// A callback, when given, receives each record instead of the buffer: it is
// passed 0 and a notice (kind 1 device, 2 serial port; the record; count 1)
// and returns 0 to go on or any other value, which ends the call with it.
struct HLPNOTICE {
    WORD kind;
    const void* record;
    WORD count;
};
typedef LONG(WINAPI* HLPCALLBACK)(DWORD reserved, const HLPNOTICE* notice);

extern "C" {

// Starts Windows Sockets 1.1; repeated starts are harmless.
KVRBRWS_API LONG WINAPI HLPInitStack(WORD transport);
// Ends one start.
KVRBRWS_API LONG WINAPI HLPCloseStack(WORD transport);

// Finds devices whose name matches namePattern ("*": all) and whose type code
// matches typeFilter ("*": any): on TCP/IP by the configured lookup methods,
// on IPX by SAP queries. Records (DeviceRecord) go to the buffer or the
// callback; *count gets their number. ipxVersionFilter: 8 bytes, the first
// 32 bits the minimum version (IPX only).
KVRBRWS_API LONG WINAPI HLPFindVersionDevices(WORD transport, DWORD reserved,
                                              const char* namePattern, const char* typeFilter,
                                              void* buffer, WORD bufferSize, WORD* count,
                                              HLPCALLBACK callback, WORD timeout,
                                              const char* community,
                                              const DWORD* ipxVersionFilter);
KVRBRWS_API LONG WINAPI HLPFindDevices(WORD transport, DWORD reserved, const char* namePattern,
                                       const char* typeFilter, void* buffer, WORD bufferSize,
                                       WORD* count, HLPCALLBACK callback, WORD timeout,
                                       const char* community);

// Asks the device at target (20 bytes: transport, then its address), or the
// host hostName, for its details and names its type.
KVRBRWS_API LONG WINAPI HLPFindADevice(const void* target, const char* hostName,
                                       DeviceDetailRecord* device, WORD timeout,
                                       const char* community);
// Fills a 16-byte summary: version value, IP dial-out flag, third flag.
KVRBRWS_API LONG WINAPI HLPGetServerInfo(const void* target, void* summary, WORD timeout,
                                         const char* community);
// Lists the device's serial port names (256 bytes each in the buffer).
KVRBRWS_API LONG WINAPI HLPGetSerialNames(WORD transport, DWORD reserved, const void* target,
                                          void* buffer, WORD bufferSize, WORD* count,
                                          HLPCALLBACK callback, WORD timeout,
                                          const char* community);

// Replaces port N's redirection list with `count` entries (registering each
// entry's server), stores the DOS name when one is given and the redirected
// flag; the DOS name is defined or removed when the flag changes.
KVRBRWS_API LONG WINAPI HLPSetPortRedirections(WORD portIndex, const char* dosName, BOOL redirected,
                                               LONG count, const RedirectionRecord* records);

// Number of entries stored for port N (0 when the port has no list).
KVRBRWS_API LONG WINAPI HLPGetNumberPortRedirections(WORD portIndex, LONG* count);

// Reads the DOS name, the redirected flag and the first *count entries of
// port N. On return *count holds the number of entries stored; when that is
// more than were asked for the result is -6 (the table was too small).
KVRBRWS_API LONG WINAPI HLPGetPortRedirections(WORD portIndex, char* dosName, BOOL* redirected,
                                               DWORD dosNameSize, LONG* count,
                                               RedirectionRecord* records);

// Stores the device among the known servers (overwriting one of that name).
KVRBRWS_API LONG WINAPI HLPAddDeviceToServers(const DeviceRecord* device);

}  // extern "C"
