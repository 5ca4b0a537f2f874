#include "RouteSelection.h"

std::uint32_t MaskRank(std::uint32_t mask) {
    // mask lies in memory as the network-order bytes; read them little-endian.
    const std::uint8_t* bytes = reinterpret_cast<const std::uint8_t*>(&mask);
    return static_cast<std::uint32_t>(bytes[0]) | (static_cast<std::uint32_t>(bytes[1]) << 8) |
           (static_cast<std::uint32_t>(bytes[2]) << 16) | (static_cast<std::uint32_t>(bytes[3]) << 24);
}

RouteSelector::RouteSelector(std::uint32_t local, std::uint32_t localMask, std::uint32_t localIf,
                             std::uint32_t target)
    : m_local(local), m_localMask(localMask), m_localIf(localIf), m_target(target) {}

void RouteSelector::Consider(const RouteRow& row) {
    if (m_localIf != 0 && row.ifIndex != m_localIf) return;

    const bool isDefault = row.destination == 0;
    const bool matches = !isDefault && row.destination == (m_target & row.mask);
    if (!isDefault && !matches) return;
    if (MaskRank(row.mask) < MaskRank(m_record.mask)) return;

    if (isDefault) {
        const bool gatewayIsLocal = (row.nextHop & m_localMask) == (m_local & m_localMask);
        const bool firstDefault = !m_defaultTaken;
        m_defaultTaken = true;
        if (!gatewayIsLocal && !firstDefault) return;
    }

    m_record.destination = row.destination;
    m_record.mask = row.mask;
    m_record.nextHop = row.nextHop;
    m_record.type = static_cast<std::uint16_t>(row.type & 0xFFFF);
    m_record.metric1 = row.metric1;
    m_record.ifIndex = row.ifIndex;
    m_found = true;
}

bool SelectRoute(const std::vector<RouteRow>& rows, std::uint32_t local, std::uint32_t localMask,
                 std::uint32_t localIf, std::uint32_t target, RouteRecord& out) {
    RouteSelector selector(local, localMask, localIf, target);
    for (const RouteRow& row : rows) selector.Consider(row);
    out = selector.Record();
    return selector.Found();
}
