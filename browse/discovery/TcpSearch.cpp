#include "TcpSearch.h"

#include <windows.h>

#include <cstdio>
#include <cstring>
#include <string>
#include <string_view>

#include "BrowseErrors.h"
#include "DeviceFile.h"
#include "DeviceQueries.h"
#include "Handles.h"
#include "NamePattern.h"
#include "ServerRecord.h"
#include "ServerStore.h"
#include "Trace.h"
#include "TypeCodes.h"

namespace kvr::browse {

namespace {

constexpr std::uint8_t kBroadcastAddress[4] = {255, 255, 255, 255};
constexpr std::int32_t kNoSuchNameResult = HlpSnmpError(2);
constexpr std::uint32_t kMinMajorVersion = 4;
constexpr std::uint8_t kOffersIpDialOut = 3;
constexpr std::uint32_t kDevicePathSize = 256;
constexpr std::size_t kDeviceFileTextSize = 48;
// Device files are short lists; a larger file is not one.
constexpr DWORD kMaxDeviceFileBytes = 4 * 1024 * 1024;

std::string_view PatternOf(const SearchParameters& params) {
    return params.namePattern ? params.namePattern : "";
}

std::string_view FilterOf(const SearchParameters& params) {
    return params.typeFilter ? params.typeFilter : "*";
}

bool IsSpecific(const SearchParameters& params) { return IsSpecificPattern(PatternOf(params)); }

bool KeepBroadcastReply(const SearchParameters& params, const snmp::DiscoveryAnswer& answer) {
    if (answer.dialOut != kOffersIpDialOut) return false;
    if (IsSpecific(params)) {
        return MatchesReplyName(PatternOf(params),
                                std::string_view(answer.name, answer.nameLength));
    }
    return answer.majorVersion >= static_cast<std::int8_t>(kMinMajorVersion);
}

// The single-device query of the DNS and device-file steps: port 161 of the
// address, the search's time-out unchanged, its type filter.
std::int32_t QueryOneDevice(const SearchEnvironment& env, const SearchParameters& params,
                            const std::uint8_t (&address)[4], std::uint16_t& found) {
    std::unique_ptr<DatagramChannel> channel;
    const ServerAddress destination = IpDestination(address, kSnmpUdpPort);
    std::int32_t result = env.network.Open(kTransportIp, destination, false, channel);
    if (result != kHlpOk) return result;
    QueryContext query(std::move(channel), params.timeoutSeconds, params.community, false);
    DeviceDetailRecord record;
    result = QuerySingleDevice(query, env.catalogue.HardwareTypeForFilter(FilterOf(params)), record);
    if (result != kHlpOk) return result;
    result = env.sink.Report(NoticeKind::Device, &record.device, sizeof record.device, false);
    if (result == kHlpOk) ++found;
    return result;
}

std::int32_t ReportUnique(const SearchEnvironment& env, const DeviceRecord& device,
                          std::uint16_t& found) {
    const std::uint16_t before = env.sink.Count();
    const std::int32_t result = env.sink.Report(NoticeKind::Device, &device, sizeof device, true);
    if (result == kHlpOk && env.sink.Count() != before) ++found;
    return result;
}

std::int32_t ReportKnownServers(const SearchEnvironment& env, const SearchParameters& params) {
    std::uint16_t ignored = 0;
    if (!HasKnownServers(kTransportIp)) return kHlpOk;
    if (!IsSpecific(params)) {
        return ForEachKnownServer(kTransportIp, [&](const DeviceRecord& server) {
            return static_cast<int>(ReportUnique(env, server, ignored));
        });
    }
    DeviceRecord server;
    const std::string pattern(PatternOf(params));
    const int read = ReadKnownServer(kTransportIp, pattern.c_str(), server);
    if (read != kHlpOk) return read;
    if (!MatchesPattern(FilterOf(params), server.typeText)) return kHlpOk;
    return ReportUnique(env, server, ignored);
}

bool ReadWholeFile(const char* path, std::string& bytes) {
    const UniqueFile file(CreateFileA(path, GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                      nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file) return false;
    LARGE_INTEGER size{};
    if (!GetFileSizeEx(file.Get(), &size) || size.QuadPart > kMaxDeviceFileBytes) return false;
    bytes.resize(static_cast<std::size_t>(size.QuadPart));
    DWORD read = 0;
    if (!bytes.empty() &&
        !ReadFile(file.Get(), bytes.data(), static_cast<DWORD>(bytes.size()), &read, nullptr)) {
        return false;
    }
    bytes.resize(read);
    return true;
}

// The device file's sections; empty when the setting or the file is missing.
std::vector<DeviceFileSection> ReadDeviceFileSections() {
    // The full path buffer for both kinds of search: a shorter one would lose
    // any longer path without a word.
    char path[kDevicePathSize] = {};
    std::string bytes;
    if (ReadDeviceFile(path, sizeof path) != kHlpOk || !ReadWholeFile(path, bytes)) return {};
    return ParseDeviceFile(bytes);
}

std::int32_t FindInDeviceFile(const SearchEnvironment& env, const SearchParameters& params,
                              std::uint16_t& found) {
    const std::vector<DeviceFileSection> sections = ReadDeviceFileSections();
    for (const DeviceFileSection& section : sections) {
        if (!section.HasValue(PatternOf(params))) continue;
        const std::string* address = section.Find("IPAddress");
        if (address == nullptr) return kHlpOk;
        const auto bytes = ParseDottedAddress(*address);
        const std::uint8_t ip[4] = {bytes[0], bytes[1], bytes[2], bytes[3]};
        return QueryOneDevice(env, params, ip, found);
    }
    return kHlpOk;
}

std::int32_t ListDeviceFile(const SearchEnvironment& env, std::uint16_t& found) {
    const std::vector<DeviceFileSection> sections = ReadDeviceFileSections();
    for (const DeviceFileSection& section : sections) {
        const std::string* version = section.Find("Version");
        const std::string* address = section.Find("IPAddress");
        if (version == nullptr || address == nullptr || LeadingVersionNumber(*version) < kMinMajorVersion) {
            continue;
        }
        DeviceRecord device{};
        device.transport = kTransportIp;
        const auto bytes = ParseDottedAddress(*address);
        const std::uint8_t ip[4] = {bytes[0], bytes[1], bytes[2], bytes[3]};
        const ServerAddress serverAddress = IpDestination(ip, kDiscoveredServerTcpPort);
        std::memcpy(device.address, &serverAddress, sizeof serverAddress);
        // Names and types from the file are cut to 47 characters.
        if (const std::string* name = section.Find("Name")) {
            CopyBounded(device.name, kDeviceFileTextSize, name->c_str(), name->size() + 1);
        }
        if (const std::string* type = section.Find("Type")) {
            CopyBounded(device.typeText, kDeviceFileTextSize, type->c_str(), type->size() + 1);
        }
        if (FillTypeCode(env.catalogue, device) == nullptr) continue;
        if (const std::int32_t result = ReportUnique(env, device, found); result != kHlpOk) {
            return result;
        }
    }
    return kHlpOk;
}

}  // namespace

bool NameDeviceType(const Catalogue& catalogue, std::uint32_t hardwareType, DeviceRecord& device) {
    const auto number = static_cast<std::int32_t>(hardwareType);
    if (const DeviceTypeEntry* entry = catalogue.FindByHardwareType(number)) {
        CopyBounded(device.typeText, entry->name, sizeof entry->name);
        CopyBounded(device.typeCode, entry->fields.code, sizeof entry->fields.code);
        return true;
    }
    const char* displayName = nullptr;
    if (catalogue.HardwareTypeName(number, &displayName) != kHlpOk) return false;
    CopyBounded(device.typeText, displayName, std::strlen(displayName) + 1);
    std::snprintf(device.typeCode, sizeof device.typeCode, "ORD%u", hardwareType);
    return true;
}

std::int32_t RunBroadcastMethod(const SearchEnvironment& env, const SearchParameters& params,
                                std::uint16_t& found) {
    Trace(" -> QueltFindDevices");
    const ListenTime listen = ListenTimeFor(params.timeoutSeconds);
    std::unique_ptr<DatagramChannel> channel;
    std::int32_t result = env.network.Open(
        kTransportIp, IpDestination(kBroadcastAddress, kDiscoveryUdpPort), true, channel);
    if (result != kHlpOk) return result;
    QueryContext query(std::move(channel), listen.seconds, params.community, listen.sendOnce);
    BuildDiscoveryRequest(query.NewRequest(snmp::kGetRequest));
    result = query.SendRequest();
    snmp::DiscoveryAnswer answer;
    while (result == kHlpOk) {
        QueryContext::Outcome outcome{};
        result = query.WaitForReply(outcome);
        if (result != kHlpOk || outcome == QueryContext::Outcome::TimedOut) break;
        const std::int32_t read = snmp::ReadDiscoveryReply(query.Reply(), query.ReplyLength(), answer);
        // The filters come first: an error reply that does not pass them (an
        // agent's echo of the request holds no values) is skipped, so one
        // faulty device does not end the search. Whatever else arrives on the
        // port is not an answer.
        if (!answer.hasValues || !KeepBroadcastReply(params, answer)) continue;
        if (read == kHlpUndecodable || read == kNoSuchNameResult) continue;
        if (read != kHlpOk) return read;
        DeviceDetailRecord record;
        FillDiscoveryRecord(answer, record);
        if (!NameDeviceType(env.catalogue, record.hardwareType, record.device)) {
            Trace("Dumped because has no IP Rezoriv:");
            continue;
        }
        result = ReportUnique(env, record.device, found);
    }
    return result;
}

std::int32_t RunDnsMethod(const SearchEnvironment& env, const SearchParameters& params,
                          std::uint16_t& found) {
    Trace(" -> DNSFindOneDevice");
    if (!IsSpecific(params)) return kHlpOk;
    const std::string host(PatternOf(params));
    std::uint8_t address[4] = {};
    if (env.network.Resolve(host.c_str(), address) != kHlpOk) return kHlpOk;
    return QueryOneDevice(env, params, address, found);
}

std::int32_t RunDeviceFileMethod(const SearchEnvironment& env, const SearchParameters& params,
                                 std::uint16_t& found) {
    Trace(" -> ZDXDEVFindOneDevice");
    const std::int32_t known = ReportKnownServers(env, params);
    if (known != kHlpOk) return known;
    return IsSpecific(params) ? FindInDeviceFile(env, params, found) : ListDeviceFile(env, found);
}

std::int32_t SearchTcp(const SearchEnvironment& env, const SearchParameters& params,
                       const LookupOrder& order) {
    using Method = std::int32_t (*)(const SearchEnvironment&, const SearchParameters&,
                                    std::uint16_t&);
    for (int place = 1; place <= 3; ++place) {
        Method method = nullptr;
        if (order.deviceFile == place) method = RunDeviceFileMethod;
        else if (order.proprietary == place) method = RunBroadcastMethod;
        else if (order.dns == place) method = RunDnsMethod;
        if (method == nullptr) continue;
        std::uint16_t found = 0;
        if (const std::int32_t result = method(env, params, found); result != kHlpOk) return result;
        if (IsSpecific(params) && found > 0) break;
    }
    return kHlpOk;
}

}  // namespace kvr::browse
