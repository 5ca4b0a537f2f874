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

extern "C" {

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
