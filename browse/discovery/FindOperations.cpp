#include "FindOperations.h"

#include <cstring>

#include "BrowseErrors.h"
#include "Catalogue.h"
#include "SapSearch.h"
#include "TcpSearch.h"

namespace kvr::browse {

namespace {

bool IsKnownTransport(std::uint16_t transport) {
    return transport == kTransportIp || transport == kTransportIpx;
}

// Holds the library-wide catalogue for one find operation.
class CatalogueLoad {
public:
    CatalogueLoad() : result_(LoadedCatalogue().Load()) {}
    ~CatalogueLoad() { LoadedCatalogue().Release(); }
    CatalogueLoad(const CatalogueLoad&) = delete;
    CatalogueLoad& operator=(const CatalogueLoad&) = delete;

    std::int32_t Result() const { return result_; }
    const Catalogue& Tables() const { return LoadedCatalogue(); }

private:
    std::int32_t result_;
};

std::int32_t OpenQuery(Network& network, std::uint16_t transport, const std::uint8_t* target,
                       std::uint16_t timeoutSeconds, const char* community, bool sendOnce,
                       std::unique_ptr<QueryContext>& query) {
    ServerAddress destination;
    std::int32_t result = QueryDestination(target, transport, destination);
    std::unique_ptr<DatagramChannel> channel;
    if (result == kHlpOk) result = network.Open(transport, destination, false, channel);
    if (result == kHlpOk) {
        query = std::make_unique<QueryContext>(std::move(channel), timeoutSeconds, community,
                                               sendOnce);
    }
    return result;
}

}  // namespace

std::int32_t FindDevices(Network& network, std::uint16_t transport, const SearchParameters& params,
                         ResultSink& sink, std::uint16_t& count) {
    count = 0;
    if (!IsKnownTransport(transport)) return kHlpUnsupportedTransport;
    const CatalogueLoad catalogue;
    if (catalogue.Result() != kHlpOk) return catalogue.Result();
    const SearchEnvironment env{network, catalogue.Tables(), sink};
    const std::int32_t result = transport == kTransportIp
                                    ? SearchTcp(env, params, ReadLookupOrder())
                                    : SearchSap(env, params);
    count = sink.Count();
    return result;
}

std::int32_t FindADevice(Network& network, const std::uint8_t* target, const char* hostName,
                         DeviceDetailRecord* out, std::uint16_t timeoutSeconds,
                         const char* community) {
    if (out == nullptr) return kHlpOk;
    if (target == nullptr && hostName == nullptr) return kHlpMissingArgument;

    std::uint8_t resolvedTarget[20] = {};
    if (hostName != nullptr) {
        std::uint8_t address[4];
        if (const std::int32_t resolved = network.Resolve(hostName, address); resolved != kHlpOk) {
            return resolved;
        }
        resolvedTarget[0] = kTransportIp;
        const ServerAddress destination = IpDestination(address, kSnmpUdpPort);
        std::memcpy(resolvedTarget + 4, &destination, sizeof destination);
        target = resolvedTarget;
    }
    const std::uint16_t transport = TargetTransport(target);
    if (!IsKnownTransport(transport)) return kHlpUnsupportedTransport;

    std::unique_ptr<QueryContext> query;
    const ListenTime listen = ListenTimeFor(timeoutSeconds);
    std::int32_t result =
        OpenQuery(network, transport, target, listen.seconds, community, false, query);
    DeviceDetailRecord record;
    if (result == kHlpOk) result = QuerySingleDevice(*query, -1, record);
    if (result != kHlpOk) return result;

    const CatalogueLoad catalogue;
    if (catalogue.Result() != kHlpOk) return catalogue.Result();
    // A type neither table knows keeps an empty type text.
    NameDeviceType(catalogue.Tables(), record.hardwareType, record.device);
    *out = record;
    return kHlpOk;
}

std::int32_t GetServerInfo(Network& network, const std::uint8_t* target, ServerSummary* out,
                           std::uint16_t timeoutSeconds, const char* community) {
    if (out == nullptr || target == nullptr) return kHlpMissingArgument;
    const std::uint16_t transport = TargetTransport(target);
    if (!IsKnownTransport(transport)) return kHlpUnsupportedTransport;
    std::unique_ptr<QueryContext> query;
    std::int32_t result = OpenQuery(network, transport, target, timeoutSeconds, community, true, query);
    ServerSummary summary;
    if (result == kHlpOk) result = QueryServerInfo(*query, summary);
    if (result == kHlpOk) *out = summary;
    return result;
}

std::int32_t GetSerialNames(Network& network, std::uint16_t transport, const std::uint8_t* target,
                            ResultSink& sink, std::uint16_t timeoutSeconds, const char* community,
                            std::uint16_t& count) {
    count = 0;
    if (!IsKnownTransport(transport)) return kHlpUnsupportedTransport;
    if (target == nullptr) return kHlpMissingArgument;
    std::unique_ptr<QueryContext> query;
    std::int32_t result =
        OpenQuery(network, transport, target, timeoutSeconds, community, false, query);
    if (result == kHlpOk) {
        result = QuerySerialNames(*query, transport == kTransportIp ? kPortMaskIp : kPortMaskIpx,
                                  sink);
    }
    count = sink.Count();
    return result;
}

}  // namespace kvr::browse
