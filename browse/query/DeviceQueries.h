#pragma once
// The questions the library puts to one device over SNMP: its details, a
// summary of its dial-out capabilities and the names of its serial ports.
// Each returns 0 or an error code of the library.
#include <cstdint>

#include "DeviceRecords.h"
#include "QueryContext.h"
#include "ResultSink.h"

namespace kvr::browse {

// The five objects a discovery reply answers, in the order the fast reader
// expects them.
void BuildDiscoveryRequest(snmp::Request& request);

// The device's hardware type number. A type from 128 to 255 written in one
// byte, without the leading zero that keeps a BER INTEGER positive, reads as
// a negative number; it is taken as the byte it was meant to be.
std::uint32_t HardwareTypeOf(const snmp::DiscoveryAnswer& answer);

// The record of a discovery reply: cleared, then transport 2, family 2,
// port 1549, the device's address, name, hardware type, version and
// capability.
void FillDiscoveryRecord(const snmp::DiscoveryAnswer& answer, DeviceDetailRecord& record);

// Sends the discovery request and reads the first reply that is not
// noSuchName. -131 for a major version below 4, -132 when wantedHardwareType
// is not -1 and differs from the device's, -55 when nothing came in time.
std::int32_t QuerySingleDevice(QueryContext& query, std::int32_t wantedHardwareType,
                               DeviceDetailRecord& record);

// Bytes 0-7: the device's version value; 8: IP dial-out flag; 12: the third
// flag. Each flag is 1 when its object has the value 3.
struct ServerSummary {
    std::uint8_t version[8];
    std::uint32_t ipDialOut;
    std::uint32_t thirdFlag;
};
static_assert(sizeof(ServerSummary) == 16);

// Asks once and waits for one reply (the context should send once).
std::int32_t QueryServerInfo(QueryContext& query, ServerSummary& summary);

// A serial port as a callback receives it from a device with the newer table.
struct SerialPortEntry {
    char name[256];
    std::uint32_t capabilities;
};
static_assert(sizeof(SerialPortEntry) == 260);

inline constexpr std::uint32_t kPortMaskIp = 1;
inline constexpr std::uint32_t kPortMaskIpx = 2;

// Walks the newer serial port table, reporting the ports whose mask has
// portMask set; a device without that table has its older one walked, every
// row reported.
std::int32_t QuerySerialNames(QueryContext& query, std::uint32_t portMask, ResultSink& sink);

}  // namespace kvr::browse
