#pragma once
// Choosing the routing-table row through which a server is reached. Plain C++
// without windows.h. IPv4 addresses and masks are held as they lie in memory
// in network order (the s_addr form), so equality and AND need no swapping.
#include <cstdint>
#include <vector>

struct RouteRecord {
    std::uint32_t destination = 0;
    std::uint32_t mask = 0;
    std::uint32_t nextHop = 0;
    std::uint16_t type = 0;
    std::uint32_t metric1 = 0;
    std::uint32_t ifIndex = 0;  // interface of the row taken; used when adding
};

// One row of the routing table.
struct RouteRow {
    std::uint32_t destination = 0;
    std::uint32_t mask = 0;
    std::uint32_t nextHop = 0;
    std::uint32_t type = 0;
    std::uint32_t metric1 = 0;
    std::uint32_t ifIndex = 0;
};

// a.b.c.d in the s_addr form of a little-endian host (as every Windows host is).
constexpr std::uint32_t Ipv4(std::uint8_t a, std::uint8_t b, std::uint8_t c, std::uint8_t d) {
    return static_cast<std::uint32_t>(a) | (static_cast<std::uint32_t>(b) << 8) |
           (static_cast<std::uint32_t>(c) << 16) | (static_cast<std::uint32_t>(d) << 24);
}

// Masks are ordered by their four bytes in network order read as a
// little-endian number. For contiguous masks this ordering agrees with the
// prefix length: a longer prefix either fills a byte further along (a more
// significant one in this reading) or sets more leading bits of the same byte.
std::uint32_t MaskRank(std::uint32_t mask);

// Feeds the rows of one walk in table order and keeps the row the server's
// traffic takes: the matching route with the largest mask, else a default
// route, preferring one whose gateway lies on the local subnet.
class RouteSelector {
public:
    // local/localMask/localIf describe the local address the connection uses
    // (all zero when unknown; interface 0 means any interface).
    RouteSelector(std::uint32_t local, std::uint32_t localMask, std::uint32_t localIf,
                  std::uint32_t target);

    void Consider(const RouteRow& row);

    bool Found() const { return m_found; }
    const RouteRecord& Record() const { return m_record; }

private:
    std::uint32_t m_local;
    std::uint32_t m_localMask;
    std::uint32_t m_localIf;
    std::uint32_t m_target;
    bool m_found = false;
    bool m_defaultTaken = false;
    RouteRecord m_record;
};

// The whole rule over a table at once.
bool SelectRoute(const std::vector<RouteRow>& rows, std::uint32_t local, std::uint32_t localMask,
                 std::uint32_t localIf, std::uint32_t target, RouteRecord& out);
