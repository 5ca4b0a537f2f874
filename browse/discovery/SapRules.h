#pragma once
// SAP messages and the rules that turn advertised entries into device
// records. Plain C++ over bytes: responses come from the network.
#include <cstddef>
#include <cstdint>
#include <string_view>

#include "DeviceRecords.h"

namespace kvr::browse {

class Catalogue;

inline constexpr std::size_t kSapQueryLength = 4;
inline constexpr std::size_t kSapResponseBufferSize = 576;
inline constexpr std::size_t kSapEntryLength = 64;
inline constexpr std::size_t kSapNameLength = 48;
inline constexpr std::int32_t kNamedSapType = 0x01CE;

// A general service query for one server type.
void BuildSapQuery(std::uint16_t serverType, std::uint8_t (&query)[kSapQueryLength]);

struct SapEntry {
    std::uint16_t serverType = 0;
    char name[kSapNameLength] = {};  // not terminated
    std::uint8_t network[4] = {};
    std::uint8_t node[6] = {};
    std::uint8_t socket[2] = {};     // network order
};

// Calls onEntry(const SapEntry&) for each whole entry of a response; bytes
// after the last whole entry are ignored.
template <typename OnEntry>
void ForEachSapEntry(const std::uint8_t* data, std::size_t length, OnEntry&& onEntry);

// What the search asked for with one SAP type.
struct SapQuestion {
    std::uint16_t serverType = 0;
    bool nameRule = false;        // answers read by the layout of the name
    const char* typeText = "";    // from the catalogue entry that listed it
    const char* typeCode = "";
};

struct SapFilter {
    std::string_view namePattern;  // specific when it holds more than asterisks
    const std::uint32_t* versionFilter = nullptr;
};

// Fills record from an entry by the rule of the question. False when the
// entry is to be skipped.
bool ReadSapEntry(const SapEntry& entry, const SapQuestion& question, const SapFilter& filter,
                  const Catalogue& catalogue, DeviceRecord& record);

// -- implementation of the template --

SapEntry ParseSapEntry(const std::uint8_t* bytes);

template <typename OnEntry>
void ForEachSapEntry(const std::uint8_t* data, std::size_t length, OnEntry&& onEntry) {
    constexpr std::size_t kResponseTypeLength = 2;
    if (data == nullptr || length < kResponseTypeLength) return;
    for (std::size_t at = kResponseTypeLength; length - at >= kSapEntryLength; at += kSapEntryLength) {
        onEntry(ParseSapEntry(data + at));
    }
}

}  // namespace kvr::browse
