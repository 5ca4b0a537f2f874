#include "DeviceMib.h"

#include <algorithm>

namespace rasim {
namespace {

OidPath Enterprise(std::initializer_list<std::uint32_t> tail) {
    OidPath oid{1, 3, 6, 1, 4, 1, 5821};
    oid.insert(oid.end(), tail);
    return oid;
}

// SNMP order: sub-identifier by sub-identifier, a prefix before what extends it.
bool Less(const std::uint32_t* a, std::size_t aCount, const std::uint32_t* b, std::size_t bCount) {
    return std::lexicographical_compare(a, a + aCount, b, b + bCount);
}

}  // namespace

namespace mib {
const OidPath kVersion = Enterprise({1, 7, 1, 0});
const OidPath kIpDialOut = Enterprise({1, 10, 1, 1, 3, 2});
const OidPath kFlag3 = Enterprise({1, 10, 1, 1, 3, 3});
const OidPath kHardware = Enterprise({1, 7, 3, 0});
const OidPath kAddress = Enterprise({4, 3, 14, 0});
const OidPath kName = Enterprise({1, 11, 11, 0});
const OidPath kPortName = Enterprise({1, 17, 2, 1, 1});
const OidPath kPortMask = Enterprise({1, 17, 2, 1, 2});
const OidPath kOldPortName = Enterprise({1, 12, 2, 1, 1});

OidPath Under(const OidPath& column, std::uint32_t row) {
    OidPath oid = column;
    oid.push_back(row);
    return oid;
}
}  // namespace mib

MibValue MibValue::Integer(std::int32_t value) {
    MibValue v;
    v.type = 0x02;
    v.integer = value;
    return v;
}

MibValue MibValue::Octets(const void* data, std::size_t length) {
    MibValue v;
    v.type = 0x04;
    const auto* p = static_cast<const std::uint8_t*>(data);
    v.bytes.assign(p, p + length);
    return v;
}

MibValue MibValue::IpAddress(std::uint32_t hostOrder) {
    MibValue v;
    v.type = 0x40;
    v.bytes = {static_cast<std::uint8_t>(hostOrder >> 24), static_cast<std::uint8_t>(hostOrder >> 16),
               static_cast<std::uint8_t>(hostOrder >> 8), static_cast<std::uint8_t>(hostOrder)};
    return v;
}

DeviceMib::DeviceMib(const DeviceConfig& device) {
    const SnmpBehaviour& snmp = device.snmp;
    const std::uint8_t version[5] = {snmp.version[0], snmp.version[1], snmp.version[2], snmp.version[3],
                                     snmp.capability};
    Set(mib::kVersion, MibValue::Octets(version, sizeof version));
    Set(mib::kIpDialOut, MibValue::Integer(snmp.ipDialOut));
    Set(mib::kFlag3, MibValue::Integer(snmp.flag3));
    Set(mib::kHardware, MibValue::Integer(snmp.hardware));
    Set(mib::kAddress, MibValue::IpAddress(device.address));
    Set(mib::kName, MibValue::Octets(device.name.data(), device.name.size()));
    for (std::size_t i = 0; i < device.ports.size(); ++i) {
        const std::string& port = device.ports[i];
        const auto row = static_cast<std::uint32_t>(i + 1);
        switch (snmp.serialTable) {
        case SerialTable::kNewer:
            Set(mib::Under(mib::kPortName, row), MibValue::Octets(port.data(), port.size()));
            Set(mib::Under(mib::kPortMask, row),
                MibValue::Integer(static_cast<std::int32_t>(PortMaskOf(device, port))));
            break;
        case SerialTable::kOlder:
            Set(mib::Under(mib::kOldPortName, row), MibValue::Octets(port.data(), port.size()));
            break;
        case SerialTable::kNone:
            break;
        }
    }
}

void DeviceMib::Set(const OidPath& oid, MibValue value) {
    auto at = std::lower_bound(m_objects.begin(), m_objects.end(), oid, [](const MibObject& o, const OidPath& id) {
        return Less(o.oid.data(), o.oid.size(), id.data(), id.size());
    });
    if (at != m_objects.end() && at->oid == oid) {
        at->value = std::move(value);
    } else {
        m_objects.insert(at, MibObject{oid, std::move(value)});
    }
}

const MibObject* DeviceMib::Find(const std::uint32_t* ids, std::size_t count) const {
    for (const auto& object : m_objects)
        if (std::equal(object.oid.begin(), object.oid.end(), ids, ids + count)) return &object;
    return nullptr;
}

const MibObject* DeviceMib::Next(const std::uint32_t* ids, std::size_t count) const {
    for (const auto& object : m_objects)
        if (Less(ids, count, object.oid.data(), object.oid.size())) return &object;
    return nullptr;
}

}  // namespace rasim
