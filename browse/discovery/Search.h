#pragma once
// What a find operation asks for, shared by the TCP/IP and IPX searches.
#include <cstdint>

#include "Catalogue.h"
#include "Network.h"
#include "ResultSink.h"

namespace kvr::browse {

struct SearchParameters {
    const char* namePattern = "*";   // "*", only asterisks or empty: every device
    const char* typeFilter = "*";    // "*" or a catalogue code
    std::uint16_t timeoutSeconds = 0;
    const char* community = nullptr;  // null: "public"
    const std::uint32_t* ipxVersionFilter = nullptr;
};

// The seams a search runs on.
struct SearchEnvironment {
    Network& network;
    const Catalogue& catalogue;
    ResultSink& sink;
};

// Time-outs of searches that listen for many answers: 0 means 20 s, 0xFFFF
// means 5 s with the request sent only once.
struct ListenTime {
    std::uint16_t seconds;
    bool sendOnce;
};
ListenTime ListenTimeFor(std::uint16_t timeoutSeconds);

}  // namespace kvr::browse
