#pragma once
// A local port's configuration: SOFTWARE\Quelt\Rezoriv\Ports\Dialout<N> with
// DosDevices, IsRedirected and the ordered entries Redirections\0, \1, ...,
// each naming a remote port and the key of its server. Results are 0 or a
// BrowseError code; nothing is rolled back when a write fails half-way.
#include <cstdint>

#include "DeviceRecords.h"

namespace kvr::browse {

// Writes the DOS name (unless null) and the flag, defines or removes the DOS
// name when the flag changes, and replaces the entries with `count` records,
// registering each record's server. Every entry is attempted; the result is
// the first failing entry's code, so a later success never hides a failure.
// -5 (before anything is written) for a negative count or a null array with
// a positive count.
int SetPortRedirections(std::uint16_t portIndex, const char* dosName, bool redirected, long count,
                        const RedirectionRecord* records);

// Number of entry subkeys of the port; 0 when it has no Redirections key.
int CountPortRedirections(std::uint16_t portIndex, long* count);

// Reads the DOS name (when dosName is given, into dosNameSize bytes), the flag
// (when given) and the first *count entries into records; *count then holds
// the number of entries stored. A missing entry is -8; an entry whose server
// key has gone gets its port name and keeps the device part the caller's
// record held. Every entry is attempted and the first failure is the result;
// more entries stored than were asked for is -6 after the asked ones are read.
int GetPortRedirections(std::uint16_t portIndex, char* dosName, bool* redirected,
                        unsigned long dosNameSize, long* count, RedirectionRecord* records);

}  // namespace kvr::browse
