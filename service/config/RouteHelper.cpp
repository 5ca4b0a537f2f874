#include "RouteHelper.h"

#include <cstdio>
#include <cstring>
#include <ctime>
#include <mutex>
#include <vector>

namespace {

constexpr BYTE kGetRequest = 0xA0;
constexpr BYTE kGetNextRequest = 0xA1;
constexpr BYTE kSetRequest = 0xA3;
constexpr UINT kNameCapacity = 50;  // identifier components allocated per binding name

constexpr UINT kIpAdEntAddr[] = {1, 3, 6, 1, 2, 1, 4, 20, 1, 1};
constexpr UINT kIpAdEntIfIndex[] = {1, 3, 6, 1, 2, 1, 4, 20, 1, 2};
constexpr UINT kIpAdEntNetMask[] = {1, 3, 6, 1, 2, 1, 4, 20, 1, 3};
constexpr UINT kIpRouteDest[] = {1, 3, 6, 1, 2, 1, 4, 21, 1, 1};
constexpr UINT kIpRouteIfIndex[] = {1, 3, 6, 1, 2, 1, 4, 21, 1, 2};
constexpr UINT kIpRouteMetric1[] = {1, 3, 6, 1, 2, 1, 4, 21, 1, 3};
constexpr UINT kIpRouteNextHop[] = {1, 3, 6, 1, 2, 1, 4, 21, 1, 7};
constexpr UINT kIpRouteType[] = {1, 3, 6, 1, 2, 1, 4, 21, 1, 8};
constexpr UINT kIpRouteMask[] = {1, 3, 6, 1, 2, 1, 4, 21, 1, 11};
constexpr UINT kColumnLength = 10;

void StdoutSink(const char* line) {
    std::fputs(line, stdout);
    std::fflush(stdout);
}

struct HelperState {
    // The agent is not known to be safe for concurrent sessions: one query at a time.
    std::mutex lock;
    kvr::UniqueModule snmpApi;
    kvr::UniqueModule mib;
    RouteAgent agent;
    bool ready = false;
    RouteLogSink sink = &StdoutSink;
};

HelperState& State() {
    static HelperState state;
    return state;
}

template <typename... Args>
void Log(const char* format, Args... args) {
    char line[160];
    std::snprintf(line, sizeof(line), format, args...);
    State().sink(line);
}

void Log(const char* text) { State().sink(text); }

// The variable bindings of one request. Names and values are allocated with
// the agent's allocator because a get-next replaces them in place.
class Bindings {
public:
    Bindings(const RouteAgent& agent, UINT count) : m_agent(agent), m_items(count) {
        for (SnmpVarBind& item : m_items) {
            item = SnmpVarBind{};
            item.value.asnType = ASN_NULL;
        }
        m_list.list = m_items.data();
        m_list.len = count;
    }
    ~Bindings() {
        for (SnmpVarBind& item : m_items) {
            FreeValue(item.value);
            if (item.name.ids != nullptr) m_agent.memFree(item.name.ids);
        }
    }
    Bindings(const Bindings&) = delete;
    Bindings& operator=(const Bindings&) = delete;

    // Sets binding i's name to column, followed by the address's four bytes
    // when instance is given.
    template <std::size_t N>
    bool SetName(UINT i, const UINT (&column)[N], const std::uint32_t* instance) {
        auto* ids = static_cast<UINT*>(m_agent.memAlloc(kNameCapacity * sizeof(UINT)));
        if (ids == nullptr) return false;
        UINT length = 0;
        for (UINT id : column) ids[length++] = id;
        if (instance != nullptr) {
            const auto* bytes = reinterpret_cast<const std::uint8_t*>(instance);
            for (int b = 0; b < 4; ++b) ids[length++] = bytes[b];
        }
        m_items[i].name.ids = ids;
        m_items[i].name.idLength = length;
        return true;
    }

    bool SetAddress(UINT i, std::uint32_t address) {
        auto* stream = static_cast<BYTE*>(m_agent.memAlloc(4));
        if (stream == nullptr) return false;
        std::memcpy(stream, &address, 4);
        AsnAny& value = m_items[i].value;
        value.asnType = ASN_IPADDRESS;
        value.asnValue.address.stream = stream;
        value.asnValue.address.length = 4;
        value.asnValue.address.dynamic = TRUE;
        return true;
    }

    void SetInteger(UINT i, AsnInteger32 number) {
        m_items[i].value.asnType = ASN_INTEGER;
        m_items[i].value.asnValue.number = number;
    }

    // An address value of four bytes; anything else is not an address.
    bool Address(UINT i, std::uint32_t& out) const {
        const AsnAny& value = m_items[i].value;
        if (value.asnType != ASN_IPADDRESS || value.asnValue.address.length != 4 ||
            value.asnValue.address.stream == nullptr)
            return false;
        std::memcpy(&out, value.asnValue.address.stream, 4);
        return true;
    }

    bool Integer(UINT i, std::uint32_t& out) const {
        const AsnAny& value = m_items[i].value;
        if (value.asnType != ASN_INTEGER && value.asnType != ASN_GAUGE32 &&
            value.asnType != ASN_UINTEGER32 && value.asnType != ASN_COUNTER32)
            return false;
        out = static_cast<std::uint32_t>(value.asnValue.number);
        return true;
    }

    const AsnObjectIdentifier& Name(UINT i) const { return m_items[i].name; }

    // Frees what the agent returned before the next request overwrites it.
    void ClearValues() {
        for (SnmpVarBind& item : m_items) FreeValue(item.value);
    }

    bool Query(BYTE type, AsnInteger32& errorStatus) {
        errorStatus = 0;
        AsnInteger32 errorIndex = 0;
        return m_agent.extensionQuery(type, &m_list, &errorStatus, &errorIndex) != FALSE;
    }

private:
    void FreeValue(AsnAny& value) {
        switch (value.asnType) {
            case ASN_OCTETSTRING:
            case ASN_IPADDRESS:
            case ASN_OPAQUE:
            case ASN_BITS:
            case ASN_SEQUENCE:
                if (value.asnValue.string.dynamic && value.asnValue.string.stream != nullptr)
                    m_agent.memFree(value.asnValue.string.stream);
                break;
            case ASN_OBJECTIDENTIFIER:
                if (value.asnValue.object.ids != nullptr) m_agent.memFree(value.asnValue.object.ids);
                break;
            default:
                break;
        }
        value = AsnAny{};
        value.asnType = ASN_NULL;
    }

    const RouteAgent& m_agent;
    std::vector<SnmpVarBind> m_items;
    SnmpVarBindList m_list{};
};

bool InitLocked(HelperState& state, const RouteAgent& agent) {
    state.agent = agent;
    HANDLE trapEvent = nullptr;
    AsnObjectIdentifier view{};
    state.agent.extensionInit(static_cast<DWORD>(std::time(nullptr)), &trapEvent, &view);
    if (view.ids != nullptr) state.agent.memFree(view.ids);
    state.ready = true;
    Log("InitSnmp Initialize %s\n", "OK.");
    return true;
}

bool FailInitLocked(HelperState& state) {
    state.ready = false;
    state.agent = RouteAgent{};
    state.mib.Reset();
    state.snmpApi.Reset();
    ::SetLastError(ERROR_FILE_NOT_FOUND);
    Log("InitSnmp Initialize %s\n", "FAILED.");
    return false;
}

bool GetAddressInformationLocked(const RouteAgent& agent, std::uint32_t local, std::uint32_t& mask,
                                 std::uint32_t& ifIndex) {
    mask = 0;
    ifIndex = 0;
    Bindings bindings(agent, 3);
    if (!bindings.SetName(0, kIpAdEntAddr, &local) || !bindings.SetName(1, kIpAdEntIfIndex, &local) ||
        !bindings.SetName(2, kIpAdEntNetMask, &local))
        return false;
    AsnInteger32 status = 0;
    if (!bindings.Query(kGetRequest, status) || status != 0) return false;
    std::uint32_t foundMask = 0;
    std::uint32_t foundIndex = 0;
    bindings.Address(2, foundMask);
    bindings.Integer(1, foundIndex);
    mask = foundMask;
    ifIndex = foundIndex;
    Log("GetAddressInformation: SnmpExtensionQuery OK.\n");
    return true;
}

// The walk has left the route table's destination column.
bool LeftDestinationColumn(const AsnObjectIdentifier& name) {
    return name.ids == nullptr || name.idLength < kColumnLength || name.ids[7] != 21 ||
           name.ids[9] != 1;
}

// The row's destination as named by the instance part of the first binding,
// so a misbehaving agent that does not advance ends the walk.
std::uint64_t InstanceKey(const AsnObjectIdentifier& name) {
    std::uint64_t key = 0;
    for (UINT i = kColumnLength; i < kColumnLength + 4; ++i)
        key = (key << 9) | (i < name.idLength ? (name.ids[i] & 0x1FF) + 1 : 0);
    return key;
}

}  // namespace

bool InitRouteHelper() { return InitRouteHelperFromLibraries(L"snmpapi.dll", L"inetmib1.dll"); }

bool InitRouteHelperFromLibraries(const wchar_t* snmpApiName, const wchar_t* mibName) {
    HelperState& state = State();
    std::lock_guard guard(state.lock);
    state.ready = false;
    state.agent = RouteAgent{};
    state.mib.Reset();
    state.snmpApi.Reset();

    RouteAgent agent;
    state.snmpApi.Reset(::LoadLibraryW(snmpApiName));
    if (!state.snmpApi) return FailInitLocked(state);
    agent.memAlloc = reinterpret_cast<decltype(agent.memAlloc)>(
        ::GetProcAddress(state.snmpApi.Get(), "SnmpUtilMemAlloc"));
    agent.memFree = reinterpret_cast<decltype(agent.memFree)>(
        ::GetProcAddress(state.snmpApi.Get(), "SnmpUtilMemFree"));
    if (agent.memAlloc == nullptr || agent.memFree == nullptr) return FailInitLocked(state);

    state.mib.Reset(::LoadLibraryW(mibName));
    if (!state.mib) return FailInitLocked(state);
    agent.extensionInit = reinterpret_cast<decltype(agent.extensionInit)>(
        ::GetProcAddress(state.mib.Get(), "SnmpExtensionInit"));
    agent.extensionQuery = reinterpret_cast<decltype(agent.extensionQuery)>(
        ::GetProcAddress(state.mib.Get(), "SnmpExtensionQuery"));
    if (agent.extensionInit == nullptr || agent.extensionQuery == nullptr) return FailInitLocked(state);

    return InitLocked(state, agent);
}

bool InitRouteHelperWithAgent(const RouteAgent& agent) {
    HelperState& state = State();
    std::lock_guard guard(state.lock);
    state.ready = false;
    state.mib.Reset();
    state.snmpApi.Reset();
    if (agent.memAlloc == nullptr || agent.memFree == nullptr || agent.extensionInit == nullptr ||
        agent.extensionQuery == nullptr)
        return FailInitLocked(state);
    return InitLocked(state, agent);
}

void ShutdownRouteHelper() {
    HelperState& state = State();
    std::lock_guard guard(state.lock);
    state.ready = false;
    state.agent = RouteAgent{};
    state.mib.Reset();
    state.snmpApi.Reset();
}

void SetRouteLogSink(RouteLogSink sink) {
    HelperState& state = State();
    std::lock_guard guard(state.lock);
    state.sink = sink != nullptr ? sink : &StdoutSink;
}

bool GetAddressInformation(std::uint32_t local, std::uint32_t& mask, std::uint32_t& ifIndex) {
    mask = 0;
    ifIndex = 0;
    HelperState& state = State();
    std::lock_guard guard(state.lock);
    if (!state.ready) return false;
    return GetAddressInformationLocked(state.agent, local, mask, ifIndex);
}

bool GetIpRouteInfo(std::uint32_t local, std::uint32_t target, RouteRecord& route) {
    route = RouteRecord{};
    HelperState& state = State();
    std::lock_guard guard(state.lock);
    if (!state.ready) return false;
    const RouteAgent& agent = state.agent;

    Bindings walk(agent, 6);
    if (!walk.SetName(0, kIpRouteDest, nullptr) || !walk.SetName(1, kIpRouteMask, nullptr) ||
        !walk.SetName(2, kIpRouteNextHop, nullptr) || !walk.SetName(3, kIpRouteType, nullptr) ||
        !walk.SetName(4, kIpRouteMetric1, nullptr) || !walk.SetName(5, kIpRouteIfIndex, nullptr)) {
        Log("FindIpRoute: SnmpUtilMemAlloc of %d. dwords failed.\n", static_cast<int>(kNameCapacity));
        return false;
    }

    std::uint32_t localMask = 0;
    std::uint32_t localIf = 0;
    GetAddressInformationLocked(agent, local, localMask, localIf);
    route = RouteRecord{};
    RouteSelector selector(local, localMask, localIf, target);

    std::uint64_t lastKey = 0;
    for (;;) {
        AsnInteger32 status = 0;
        if (!walk.Query(kGetNextRequest, status)) {
            Log("GetIpRouteInfo: SnmpExtensionQuery failed: %u.\n", static_cast<unsigned>(status));
            break;
        }
        Log("GetIpRouteInfo: SnmpExtensionQuery OK.\n");
        // A row from a request that reported an error is not trusted.
        if (status != 0 || LeftDestinationColumn(walk.Name(0))) break;
        const std::uint64_t key = InstanceKey(walk.Name(0));
        if (key <= lastKey) break;
        lastKey = key;

        RouteRow row;
        if (walk.Address(0, row.destination) && walk.Address(1, row.mask) &&
            walk.Address(2, row.nextHop) && walk.Integer(3, row.type) &&
            walk.Integer(4, row.metric1) && walk.Integer(5, row.ifIndex))
            selector.Consider(row);
        walk.ClearValues();
    }

    route = selector.Record();
    return selector.Found();
}

bool AddIpRoute(const RouteRecord& route) {
    HelperState& state = State();
    std::lock_guard guard(state.lock);
    if (!state.ready) return false;

    Bindings add(state.agent, 5);
    const std::uint32_t* instance = &route.destination;
    if (!add.SetName(0, kIpRouteDest, instance) || !add.SetName(1, kIpRouteMask, instance) ||
        !add.SetName(2, kIpRouteNextHop, instance) || !add.SetName(3, kIpRouteType, instance) ||
        !add.SetName(4, kIpRouteMetric1, instance) || !add.SetAddress(0, route.destination) ||
        !add.SetAddress(1, route.mask) || !add.SetAddress(2, route.nextHop)) {
        ::SetLastError(ERROR_NOT_ENOUGH_MEMORY);
        return false;
    }
    add.SetInteger(3, route.type);
    add.SetInteger(4, static_cast<AsnInteger32>(route.metric1));

    AsnInteger32 status = 0;
    const bool queried = add.Query(kSetRequest, status);
    if (queried && status == 0) {
        Log("AddIpRoute: SnmpExtensionQuery OK.\n");
        return true;
    }
    Log("AddIpRoute: SnmpExtensionQuery failed: %u.\n", static_cast<unsigned>(status));
    return false;
}

bool PinRouteToServer(SOCKET socket, const sockaddr_in& server) {
    if (server.sin_family != AF_INET) return false;
    sockaddr_in local{};
    int length = sizeof(local);
    if (::getsockname(socket, reinterpret_cast<sockaddr*>(&local), &length) != 0 ||
        local.sin_family != AF_INET)
        local = sockaddr_in{};

    RouteRecord route;
    if (!GetIpRouteInfo(local.sin_addr.s_addr, server.sin_addr.s_addr, route)) return false;
    route.destination = server.sin_addr.s_addr;
    route.mask = 0xFFFFFFFF;
    return AddIpRoute(route);
}
