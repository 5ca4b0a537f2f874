#pragma once
// The objects a simulated device's SNMP agent holds, kept in SNMP order so Get
// finds an object and GetNext finds the one after any identifier. Plain C++.
#include <cstddef>
#include <cstdint>
#include <vector>

#include "Options.h"

namespace rasim {

using OidPath = std::vector<std::uint32_t>;

struct MibValue {
    std::uint8_t type = 0x05;            // BER tag: 0x02 INTEGER, 0x04 OCTET STRING, 0x40 IpAddress
    std::int32_t integer = 0;            // INTEGER
    std::vector<std::uint8_t> bytes;     // OCTET STRING, IpAddress

    static MibValue Integer(std::int32_t value);
    static MibValue Octets(const void* data, std::size_t length);
    static MibValue IpAddress(std::uint32_t hostOrder);
};

struct MibObject {
    OidPath oid;
    MibValue value;
};

// The identifiers the agent serves, all under the enterprise arc.
namespace mib {
extern const OidPath kVersion;          // 1.7.1.0: four version bytes and the capability
extern const OidPath kIpDialOut;        // 1.10.1.1.3.2
extern const OidPath kFlag3;            // 1.10.1.1.3.3
extern const OidPath kHardware;         // 1.7.3.0
extern const OidPath kAddress;          // 4.3.14.0
extern const OidPath kName;             // 1.11.11.0
extern const OidPath kPortName;         // 1.17.2.1.1 column (row i = i-th port)
extern const OidPath kPortMask;         // 1.17.2.1.2 column
extern const OidPath kOldPortName;      // 1.12.2.1.1 column
OidPath Under(const OidPath& column, std::uint32_t row);
}  // namespace mib

class DeviceMib {
public:
    DeviceMib() = default;
    explicit DeviceMib(const DeviceConfig& device);

    // Replaces an object of the same identifier.
    void Set(const OidPath& oid, MibValue value);

    // The object with exactly this identifier, or null.
    const MibObject* Find(const std::uint32_t* ids, std::size_t count) const;
    // The first object after this identifier in SNMP order, or null past the end.
    const MibObject* Next(const std::uint32_t* ids, std::size_t count) const;

    const std::vector<MibObject>& Objects() const { return m_objects; }

private:
    std::vector<MibObject> m_objects;  // sorted by identifier
};

}  // namespace rasim
