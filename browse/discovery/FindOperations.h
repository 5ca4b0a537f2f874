#pragma once
// The library's network operations over a Network: the flat exports call
// them with Windows Sockets, the tests with scripted networks. Each returns
// 0 or an error code of the library.
#include <cstdint>

#include "DeviceQueries.h"
#include "Search.h"

namespace kvr::browse {

// Loads the catalogue, runs the transport's search and releases the
// catalogue. count: the records in the buffer, or those handed to the callback.
std::int32_t FindDevices(Network& network, std::uint16_t transport, const SearchParameters& params,
                         ResultSink& sink, std::uint16_t& count);

// Queries the device at the 20-byte target, or at hostName when one is
// given, and names its type from the catalogue. A null out record does
// nothing; out is written only when the device answered.
std::int32_t FindADevice(Network& network, const std::uint8_t* target, const char* hostName,
                         DeviceDetailRecord* out, std::uint16_t timeoutSeconds,
                         const char* community);

std::int32_t GetServerInfo(Network& network, const std::uint8_t* target, ServerSummary* out,
                           std::uint16_t timeoutSeconds, const char* community);

std::int32_t GetSerialNames(Network& network, std::uint16_t transport, const std::uint8_t* target,
                            ResultSink& sink, std::uint16_t timeoutSeconds, const char* community,
                            std::uint16_t& count);

}  // namespace kvr::browse
