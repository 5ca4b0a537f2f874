#pragma once
// The device side of SNMP version 1: answers GetRequest and GetNextRequest
// from a DeviceMib with a GetResponse. Plain C++ over byte buffers, so it is
// tested in process and also builds natively. Every BER length is written in
// its shortest form and every integer in its fewest bytes, as agents do; the
// browsing library's discovery reader depends on that.
#include <cstddef>
#include <cstdint>
#include <string>

#include "DeviceMib.h"
#include "Options.h"

namespace rasim {

struct AgentSettings {
    std::string community = "public";  // other communities get no answer
    bool forceError = false;           // answer every request with errorStatus
    std::int32_t errorStatus = 0;

    static AgentSettings From(const SnmpBehaviour& snmp);
};

enum class AnswerResult {
    kOk,
    kNoSuchName,
    kError,             // the forced error-status
    kTooBig,            // the answer did not fit: tooBig sent instead, or nothing
    kIgnoredCommunity,
    kIgnoredPdu,        // not a GetRequest or GetNextRequest
    kIgnoredVersion,    // not version 1
    kIgnoredSilent,     // --snmp-silent: decided by the socket, not the agent
    kUndecodable,
};

// What happened to one request, for the event line.
struct AnswerNote {
    std::uint8_t pduType = 0;
    std::size_t bindings = 0;
    AnswerResult result = AnswerResult::kUndecodable;
    std::int32_t errorStatus = 0;
};

// "pdu=get oids=5 result=ok": the fields of the SNMP and DISCOVERY lines.
std::string Describe(const AnswerNote& note);

class SnmpAgent {
public:
    SnmpAgent(const DeviceMib& mib, AgentSettings settings) : m_mib(mib), m_settings(std::move(settings)) {}

    // Writes the answer to request into out and returns its length; 0 means
    // no answer (wrong community, not a request, undecodable, or too big even
    // for a tooBig answer).
    std::size_t Answer(const std::uint8_t* request, std::size_t length, std::uint8_t* out,
                       std::size_t capacity, AnswerNote* note = nullptr) const;

private:
    const DeviceMib& m_mib;
    AgentSettings m_settings;
};

}  // namespace rasim
