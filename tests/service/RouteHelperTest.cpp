#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "RouteHelper.h"
#include "RouteSelection.h"

namespace {

// Addresses in these tables are only data handed to the selection rule or a
// simulated agent; nothing is sent anywhere.
constexpr std::uint32_t kLocal = Ipv4(192, 0, 2, 10);
constexpr std::uint32_t kLocalMask = Ipv4(255, 255, 255, 0);
constexpr std::uint32_t kServer = Ipv4(198, 51, 100, 7);
constexpr std::uint32_t kOnLinkGateway = Ipv4(192, 0, 2, 1);
constexpr std::uint32_t kOffLinkGateway = Ipv4(203, 0, 113, 1);
constexpr std::uint32_t kNetGateway = Ipv4(192, 0, 2, 254);
constexpr std::uint32_t kMask24 = Ipv4(255, 255, 255, 0);
constexpr std::uint32_t kMask32 = Ipv4(255, 255, 255, 255);

RouteRow Row(std::uint32_t dest, std::uint32_t mask, std::uint32_t hop, std::uint32_t ifIndex = 2,
             std::uint32_t type = 4, std::uint32_t metric = 1) {
    return RouteRow{dest, mask, hop, type, metric, ifIndex};
}

std::uint32_t Prefix(int bits) {
    const std::uint32_t hostOrder = bits == 0 ? 0 : 0xFFFFFFFFu << (32 - bits);
    return Ipv4(hostOrder >> 24, (hostOrder >> 16) & 0xFF, (hostOrder >> 8) & 0xFF, hostOrder & 0xFF);
}

TEST(RouteSelection, MaskRankFollowsPrefixLengthForContiguousMasks) {
    for (int bits = 1; bits <= 32; ++bits)
        EXPECT_GT(MaskRank(Prefix(bits)), MaskRank(Prefix(bits - 1))) << bits;
    EXPECT_EQ(0x00FFFFFFu, MaskRank(kMask24));
}

struct SelectionCase {
    const char* what;
    std::vector<RouteRow> rows;
    std::uint32_t local, localMask, localIf;
    bool found;
    std::uint32_t nextHop;
    std::uint32_t mask;
};

const SelectionCase kSelectionCases[] = {
    {"network route beats an earlier default route",
     {Row(0, 0, kOnLinkGateway), Row(Ipv4(198, 51, 100, 0), kMask24, kNetGateway)},
     kLocal, kLocalMask, 0, true, kNetGateway, kMask24},
    {"network route beats a later default route",
     {Row(Ipv4(198, 51, 100, 0), kMask24, kNetGateway), Row(0, 0, kOnLinkGateway)},
     kLocal, kLocalMask, 0, true, kNetGateway, kMask24},
    {"host route beats the network route",
     {Row(kServer, kMask32, kOnLinkGateway), Row(Ipv4(198, 51, 100, 0), kMask24, kNetGateway)},
     kLocal, kLocalMask, 0, true, kOnLinkGateway, kMask32},
    {"second default route through an on-link gateway wins",
     {Row(0, 0, kOffLinkGateway), Row(0, 0, kOnLinkGateway)},
     kLocal, kLocalMask, 0, true, kOnLinkGateway, 0},
    {"first default route kept when the second is off-link",
     {Row(0, 0, kOnLinkGateway), Row(0, 0, kOffLinkGateway)},
     kLocal, kLocalMask, 0, true, kOnLinkGateway, 0},
    {"first default route kept when none is on-link",
     {Row(0, 0, kOffLinkGateway), Row(0, 0, Ipv4(203, 0, 113, 2))},
     kLocal, kLocalMask, 0, true, kOffLinkGateway, 0},
    {"route on another interface is skipped",
     {Row(Ipv4(198, 51, 100, 0), kMask24, kNetGateway, 3), Row(0, 0, kOnLinkGateway, 2)},
     kLocal, kLocalMask, 2, true, kOnLinkGateway, 0},
    {"interface 0 filters nothing",
     {Row(Ipv4(198, 51, 100, 0), kMask24, kNetGateway, 3), Row(0, 0, kOnLinkGateway, 2)},
     kLocal, kLocalMask, 0, true, kNetGateway, kMask24},
    {"route to another network is no candidate",
     {Row(Ipv4(198, 51, 101, 0), kMask24, kNetGateway)},
     kLocal, kLocalMask, 0, false, 0, 0},
    {"of two routes with equal masks the later is taken",
     {Row(Ipv4(198, 51, 100, 0), kMask24, kNetGateway), Row(Ipv4(198, 51, 100, 0), kMask24, kOnLinkGateway)},
     kLocal, kLocalMask, 0, true, kOnLinkGateway, kMask24},
    {"with the local address unknown every gateway counts as on-link",
     {Row(0, 0, kOffLinkGateway), Row(0, 0, kOnLinkGateway), Row(0, 0, Ipv4(203, 0, 113, 2))},
     0, 0, 0, true, Ipv4(203, 0, 113, 2), 0},
    {"empty table", {}, kLocal, kLocalMask, 0, false, 0, 0},
};

TEST(RouteSelection, RowTakenForTheServer) {
    for (const SelectionCase& c : kSelectionCases) {
        SCOPED_TRACE(c.what);
        RouteRecord record;
        EXPECT_EQ(c.found, SelectRoute(c.rows, c.local, c.localMask, c.localIf, kServer, record));
        EXPECT_EQ(c.nextHop, record.nextHop);
        EXPECT_EQ(c.mask, record.mask);
    }
}

TEST(RouteSelection, TakenRowIsCopiedWhole) {
    RouteRecord record;
    ASSERT_TRUE(SelectRoute({Row(Ipv4(198, 51, 100, 0), kMask24, kNetGateway, 5, 0x10004, 30)}, kLocal,
                            kLocalMask, 0, kServer, record));
    EXPECT_EQ(Ipv4(198, 51, 100, 0), record.destination);
    EXPECT_EQ(4, record.type);  // low 16 bits
    EXPECT_EQ(30u, record.metric1);
    EXPECT_EQ(5u, record.ifIndex);
}

// A simulated MIB-II agent serving a fixed address table and route table.
namespace agent {

struct Route {
    std::uint32_t dest, mask, hop, type, metric, ifIndex;
};
std::vector<Route> g_routes;  // ordered by destination bytes
std::uint32_t g_localAddress = 0, g_localMask = 0, g_localIf = 0;
std::vector<std::vector<UINT>> g_setNames;
// What a set request carried, copied before the caller frees it.
struct SetValue {
    BYTE type;
    UINT length;
    std::uint32_t address;
    AsnInteger32 number;
};
std::vector<SetValue> g_setValues;
AsnInteger32 g_setStatus = 0;
long g_outstanding = 0;
bool g_failAllocation = false;

LPVOID WINAPI MemAlloc(UINT bytes) {
    if (g_failAllocation) return nullptr;
    ++g_outstanding;
    return ::HeapAlloc(::GetProcessHeap(), HEAP_ZERO_MEMORY, bytes);
}
VOID WINAPI MemFree(LPVOID memory) {
    if (memory == nullptr) return;
    --g_outstanding;
    ::HeapFree(::GetProcessHeap(), 0, memory);
}
BOOL WINAPI Init(DWORD, HANDLE* trapEvent, AsnObjectIdentifier* view) {
    *trapEvent = nullptr;
    view->idLength = 0;
    view->ids = nullptr;
    return TRUE;
}

void SetName(SnmpVarBind& bind, std::vector<UINT> ids) {
    MemFree(bind.name.ids);
    bind.name.ids = static_cast<UINT*>(MemAlloc(static_cast<UINT>(ids.size() * sizeof(UINT))));
    std::copy(ids.begin(), ids.end(), bind.name.ids);
    bind.name.idLength = static_cast<UINT>(ids.size());
}
void SetAddress(AsnAny& value, std::uint32_t address) {
    value.asnType = ASN_IPADDRESS;
    value.asnValue.address.stream = static_cast<BYTE*>(MemAlloc(4));
    std::memcpy(value.asnValue.address.stream, &address, 4);
    value.asnValue.address.length = 4;
    value.asnValue.address.dynamic = TRUE;
}
void SetInteger(AsnAny& value, std::uint32_t number) {
    value.asnType = ASN_INTEGER;
    value.asnValue.number = static_cast<AsnInteger32>(number);
}
std::vector<UINT> Instance(const UINT* column, std::uint32_t address) {
    std::vector<UINT> ids(column, column + 10);
    const auto* bytes = reinterpret_cast<const std::uint8_t*>(&address);
    ids.insert(ids.end(), bytes, bytes + 4);
    return ids;
}
std::uint32_t InstanceAddress(const AsnObjectIdentifier& name) {
    std::uint8_t bytes[4] = {};
    for (UINT i = 0; i < 4 && 10 + i < name.idLength; ++i) bytes[i] = static_cast<std::uint8_t>(name.ids[10 + i]);
    std::uint32_t address;
    std::memcpy(&address, bytes, 4);
    return address;
}
std::uint32_t Key(std::uint32_t address) {
    const auto* b = reinterpret_cast<const std::uint8_t*>(&address);
    return (std::uint32_t{b[0]} << 24) | (b[1] << 16) | (b[2] << 8) | b[3];
}

BOOL WINAPI Query(BYTE type, SnmpVarBindList* list, AsnInteger32* status, AsnInteger32* index) {
    *status = 0;
    *index = 0;
    if (type == 0xA3) {
        for (UINT i = 0; i < list->len; ++i) {
            const auto& name = list->list[i].name;
            g_setNames.emplace_back(name.ids, name.ids + name.idLength);
            const AsnAny& value = list->list[i].value;
            SetValue copy{value.asnType, 0, 0, 0};
            if (value.asnType == ASN_IPADDRESS) {
                copy.length = value.asnValue.address.length;
                if (copy.length == 4) std::memcpy(&copy.address, value.asnValue.address.stream, 4);
            } else {
                copy.number = value.asnValue.number;
            }
            g_setValues.push_back(copy);
        }
        *status = g_setStatus;
        return TRUE;
    }
    for (UINT i = 0; i < list->len; ++i) {
        SnmpVarBind& bind = list->list[i];
        const UINT table = bind.name.ids[7];
        const UINT column = bind.name.ids[9];
        if (type == 0xA0 && table == 20) {
            if (InstanceAddress(bind.name) != g_localAddress) {
                *status = 2;
                *index = static_cast<AsnInteger32>(i + 1);
                return TRUE;
            }
            if (column == 1) SetAddress(bind.value, g_localAddress);
            if (column == 2) SetInteger(bind.value, g_localIf);
            if (column == 3) SetAddress(bind.value, g_localMask);
            continue;
        }
        if (type == 0xA1 && table == 21) {
            const Route* next = nullptr;
            for (const Route& route : g_routes)
                if (bind.name.idLength < 14 || Key(route.dest) > Key(InstanceAddress(bind.name))) {
                    next = &route;
                    break;
                }
            std::vector<UINT> ids(bind.name.ids, bind.name.ids + 10);
            if (next == nullptr) {  // past the column: on to the next one
                ids[9] = column + 1;
                SetName(bind, Instance(ids.data(), g_routes.empty() ? 0 : g_routes.front().dest));
                SetInteger(bind.value, 0);
                continue;
            }
            SetName(bind, Instance(ids.data(), next->dest));
            switch (column) {
                case 1: SetAddress(bind.value, next->dest); break;
                case 2: SetInteger(bind.value, next->ifIndex); break;
                case 3: SetInteger(bind.value, next->metric); break;
                case 7: SetAddress(bind.value, next->hop); break;
                case 8: SetInteger(bind.value, next->type); break;
                case 11: SetAddress(bind.value, next->mask); break;
                default: *status = 2; return TRUE;
            }
            continue;
        }
        *status = 5;
        return TRUE;
    }
    return TRUE;
}

}  // namespace agent

std::vector<std::string> g_lines;
void CaptureLine(const char* line) { g_lines.emplace_back(line); }

class RouteHelperAgentTest : public ::testing::Test {
protected:
    void SetUp() override {
        g_lines.clear();
        agent::g_routes.clear();
        agent::g_setNames.clear();
        agent::g_setValues.clear();
        agent::g_setStatus = 0;
        agent::g_outstanding = 0;
        agent::g_failAllocation = false;
        agent::g_localAddress = kLocal;
        agent::g_localMask = kLocalMask;
        agent::g_localIf = 2;
        SetRouteLogSink(&CaptureLine);
        ASSERT_TRUE(InitRouteHelperWithAgent({&agent::MemAlloc, &agent::MemFree, &agent::Init, &agent::Query}));
        g_lines.clear();
    }
    void TearDown() override {
        ShutdownRouteHelper();
        SetRouteLogSink(nullptr);
    }
};

TEST_F(RouteHelperAgentTest, AddressInformationGivesMaskAndInterface) {
    std::uint32_t mask = 1, ifIndex = 1;
    EXPECT_TRUE(GetAddressInformation(kLocal, mask, ifIndex));
    EXPECT_EQ(kLocalMask, mask);
    EXPECT_EQ(2u, ifIndex);
    EXPECT_EQ(std::vector<std::string>{"GetAddressInformation: SnmpExtensionQuery OK.\n"}, g_lines);

    EXPECT_FALSE(GetAddressInformation(Ipv4(192, 0, 2, 99), mask, ifIndex));
    EXPECT_EQ(0u, mask);
    EXPECT_EQ(0u, ifIndex);
    EXPECT_EQ(0, agent::g_outstanding);
}

TEST_F(RouteHelperAgentTest, WalkReadsEveryRowAndFreesWhatTheAgentReturned) {
    agent::g_routes = {
        {0, 0, kOffLinkGateway, 4, 1, 2},
        {Ipv4(198, 51, 100, 0), kMask24, kNetGateway, 4, 2, 2},
        {Ipv4(198, 51, 101, 0), kMask24, kOnLinkGateway, 4, 3, 2},
    };
    RouteRecord record;
    ASSERT_TRUE(GetIpRouteInfo(kLocal, kServer, record));
    EXPECT_EQ(Ipv4(198, 51, 100, 0), record.destination);
    EXPECT_EQ(kMask24, record.mask);
    EXPECT_EQ(kNetGateway, record.nextHop);
    EXPECT_EQ(2u, record.metric1);
    // One address lookup, then one request per row and the one that leaves the column.
    const std::vector<std::string> expected = {
        "GetAddressInformation: SnmpExtensionQuery OK.\n", "GetIpRouteInfo: SnmpExtensionQuery OK.\n",
        "GetIpRouteInfo: SnmpExtensionQuery OK.\n", "GetIpRouteInfo: SnmpExtensionQuery OK.\n",
        "GetIpRouteInfo: SnmpExtensionQuery OK.\n"};
    EXPECT_EQ(expected, g_lines);
    EXPECT_EQ(0, agent::g_outstanding);
}

TEST_F(RouteHelperAgentTest, WalkFiltersByTheLocalInterface) {
    agent::g_routes = {
        {0, 0, kOnLinkGateway, 4, 1, 2},
        {Ipv4(198, 51, 100, 0), kMask24, kNetGateway, 4, 2, 7},
    };
    RouteRecord record;
    ASSERT_TRUE(GetIpRouteInfo(kLocal, kServer, record));
    EXPECT_EQ(kOnLinkGateway, record.nextHop);
}

TEST_F(RouteHelperAgentTest, AllocationFailureIsReported) {
    agent::g_failAllocation = true;
    RouteRecord record;
    EXPECT_FALSE(GetIpRouteInfo(kLocal, kServer, record));
    EXPECT_EQ(std::vector<std::string>{"FindIpRoute: SnmpUtilMemAlloc of 50. dwords failed.\n"}, g_lines);
    ::SetLastError(0);
    EXPECT_FALSE(AddIpRoute(record));
    EXPECT_EQ(static_cast<DWORD>(ERROR_NOT_ENOUGH_MEMORY), ::GetLastError());
}

TEST_F(RouteHelperAgentTest, AddSendsFiveBindingsNamedByTheDestination) {
    RouteRecord route;
    route.destination = kServer;
    route.mask = kMask32;
    route.nextHop = kNetGateway;
    route.type = 4;
    route.metric1 = 9;
    ASSERT_TRUE(AddIpRoute(route));
    EXPECT_EQ(std::vector<std::string>{"AddIpRoute: SnmpExtensionQuery OK.\n"}, g_lines);

    const UINT columns[] = {1, 11, 7, 8, 3};
    ASSERT_EQ(5u, agent::g_setNames.size());
    for (std::size_t i = 0; i < 5; ++i) {
        const std::vector<UINT> name = {1, 3, 6, 1, 2, 1, 4, 21, 1, columns[i], 198, 51, 100, 7};
        EXPECT_EQ(name, agent::g_setNames[i]) << i;
    }
    const std::uint32_t addresses[] = {kServer, kMask32, kNetGateway};
    for (std::size_t i = 0; i < 3; ++i) {
        ASSERT_EQ(ASN_IPADDRESS, agent::g_setValues[i].type);
        ASSERT_EQ(4u, agent::g_setValues[i].length);
        EXPECT_EQ(addresses[i], agent::g_setValues[i].address) << i;
    }
    EXPECT_EQ(ASN_INTEGER, agent::g_setValues[3].type);
    EXPECT_EQ(4, agent::g_setValues[3].number);
    EXPECT_EQ(9, agent::g_setValues[4].number);
    EXPECT_EQ(0, agent::g_outstanding);
}

TEST_F(RouteHelperAgentTest, RefusedAddReportsTheErrorStatus) {
    agent::g_setStatus = 4;
    EXPECT_FALSE(AddIpRoute(RouteRecord{}));
    EXPECT_EQ(std::vector<std::string>{"AddIpRoute: SnmpExtensionQuery failed: 4.\n"}, g_lines);
}

TEST_F(RouteHelperAgentTest, PinAddsAHostRouteThroughTheSelectedGateway) {
    WSADATA wsa;
    ASSERT_EQ(0, ::WSAStartup(MAKEWORD(2, 2), &wsa));
    {
        // An unbound socket has no local address: the lookup runs with zeros.
        kvr::UniqueSocket socket(::socket(AF_INET, SOCK_STREAM, IPPROTO_TCP));
        ASSERT_TRUE(socket);
        agent::g_routes = {{0, 0, kOffLinkGateway, 4, 1, 2},
                           {Ipv4(198, 51, 100, 0), kMask24, kNetGateway, 3, 2, 2}};
        sockaddr_in server{};
        server.sin_family = AF_INET;
        server.sin_addr.s_addr = kServer;
        EXPECT_TRUE(PinRouteToServer(socket.Get(), server));
        ASSERT_EQ(5u, agent::g_setValues.size());
        EXPECT_EQ(kServer, agent::g_setValues[0].address);
        EXPECT_EQ(kMask32, agent::g_setValues[1].address);
        EXPECT_EQ(kNetGateway, agent::g_setValues[2].address);
        EXPECT_EQ(3, agent::g_setValues[3].number);

        agent::g_setValues.clear();
        server.sin_family = 6;  // an IPX server: no route is looked up
        EXPECT_FALSE(PinRouteToServer(socket.Get(), server));
        EXPECT_TRUE(agent::g_setValues.empty());
    }
    ::WSACleanup();
}

TEST(RouteHelperLibraries, MissingLibraryFailsQuietly) {
    g_lines.clear();
    SetRouteLogSink(&CaptureLine);
    EXPECT_FALSE(InitRouteHelperFromLibraries(L"kvr-no-such-snmpapi.dll", L"inetmib1.dll"));
    EXPECT_EQ(static_cast<DWORD>(ERROR_FILE_NOT_FOUND), ::GetLastError());
    EXPECT_EQ(std::vector<std::string>{"InitSnmp Initialize FAILED.\n"}, g_lines);
    RouteRecord record;
    EXPECT_FALSE(GetIpRouteInfo(Ipv4(127, 0, 0, 1), Ipv4(127, 0, 0, 1), record));
    EXPECT_FALSE(AddIpRoute(record));
    SetRouteLogSink(nullptr);
}

TEST(RouteHelperLibraries, PlatformAgentLoadsAndWalks) {
    g_lines.clear();
    SetRouteLogSink(&CaptureLine);
    const bool loaded = InitRouteHelper();
    ASSERT_EQ(1u, g_lines.size());
    EXPECT_EQ(loaded ? "InitSnmp Initialize OK.\n" : "InitSnmp Initialize FAILED.\n", g_lines[0]);
    if (loaded) {
        // Only reads the table; the outcome depends on the host.
        RouteRecord record;
        GetIpRouteInfo(Ipv4(127, 0, 0, 1), Ipv4(127, 0, 0, 1), record);
        for (const std::string& line : g_lines) EXPECT_EQ('\n', line.back());
    }
    ShutdownRouteHelper();
    SetRouteLogSink(nullptr);
}

}  // namespace
