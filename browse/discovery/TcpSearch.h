#pragma once
// The TCP/IP search: the broadcast query ("Proprietary"), name resolution
// followed by a direct query ("DNS"), and the known servers with the device
// description file ("DeviceFile"), run in the configured order.
#include <cstdint>

#include "FieldString.h"
#include "Search.h"

namespace kvr::browse {

// 0 or an error code. A specific search stops after the first method that
// found a device.
std::int32_t SearchTcp(const SearchEnvironment& env, const SearchParameters& params,
                       const LookupOrder& order);

// The methods one by one; found is what each contributes to the stop rule.
std::int32_t RunBroadcastMethod(const SearchEnvironment& env, const SearchParameters& params,
                                std::uint16_t& found);
std::int32_t RunDnsMethod(const SearchEnvironment& env, const SearchParameters& params,
                          std::uint16_t& found);
std::int32_t RunDeviceFileMethod(const SearchEnvironment& env, const SearchParameters& params,
                                 std::uint16_t& found);

// Names a device from its hardware type: the catalogue entry's name and code,
// else the hardware type table's display name and "ORD<number>". False when
// neither knows the type.
bool NameDeviceType(const Catalogue& catalogue, std::uint32_t hardwareType, DeviceRecord& device);

}  // namespace kvr::browse
