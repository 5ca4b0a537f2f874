#include "DeviceQueries.h"

#include <algorithm>
#include <cstring>
#include <iterator>
#include <memory>
#include <span>

#include "BrowseErrors.h"
#include "Trace.h"

namespace kvr::browse {

namespace {

// Every object lies under the device maker's enterprise arc 1.3.6.1.4.1.5821;
// the codec holds the five of the discovery request.
using snmp::kDeviceNameOid;
using snmp::kHardwareTypeOid;
using snmp::kIpDialOutOid;
using snmp::kOwnAddressOid;
using snmp::kVersionOid;
constexpr std::uint16_t kThirdFlagOid[] = {1, 3, 6, 1, 4, 1, 5821, 1, 10, 1, 1, 3, 3};
constexpr std::uint16_t kPortNameColumn[] = {1, 3, 6, 1, 4, 1, 5821, 1, 17, 2, 1, 1};
constexpr std::uint16_t kPortMaskColumn[] = {1, 3, 6, 1, 4, 1, 5821, 1, 17, 2, 1, 2};
constexpr std::uint16_t kGroupNameColumn[] = {1, 3, 6, 1, 4, 1, 5821, 1, 12, 2, 1, 1};
constexpr std::size_t kColumnIds = std::size(kPortNameColumn);
constexpr std::int32_t kNoSuchName = 2;
constexpr std::int32_t kMinMajorVersion = 4;

void AddBinding(snmp::Request& request, std::span<const std::uint16_t> oid) {
    request.AddBinding(oid.data(), oid.size());
}

// 1 when an object's value is 3, whether the device sent it as a number or as
// one byte.
std::uint32_t IsThree(const snmp::Value& value) {
    if (value.type == snmp::kOctetString) return value.length == 1 && value.bytes[0] == 3;
    return value.type != snmp::kNull && value.type != snmp::kObjectId && value.integer == 3;
}

// Waits for the next datagram, resending on expired intervals: 0 with a reply,
// -55 at the overall time-out, or a receive error.
std::int32_t AwaitReply(QueryContext& query) {
    QueryContext::Outcome outcome{};
    const std::int32_t waited = query.WaitForReply(outcome);
    if (waited != kHlpOk) return waited;
    return outcome == QueryContext::Outcome::TimedOut ? kHlpNoAnswer : kHlpOk;
}

std::int32_t DecodeAnswer(QueryContext& query, snmp::Reply& reply) {
    const std::int32_t decoded = snmp::DecodeReply(query.Reply(), query.ReplyLength(), reply);
    return decoded != kHlpOk ? decoded : snmp::ReplyResult(reply);
}

bool IsAfter(const snmp::Oid& later, const snmp::Oid& earlier) {
    return std::lexicographical_compare(earlier.ids, earlier.ids + earlier.count, later.ids,
                                        later.ids + later.count);
}

// One table walk with GetNextRequest over the given columns. Each row is
// handed to onRow(reply); the walk ends when the first object leaves the
// first column. rows counts the rows seen.
template <typename OnRow>
std::int32_t WalkColumns(QueryContext& query, std::span<const std::uint16_t* const> columns,
                         std::size_t& rows, OnRow&& onRow) {
    rows = 0;
    snmp::Oid previous;
    snmp::Oid instance;  // sub-identifiers after the column's
    auto reply = std::make_unique<snmp::Reply>();
    for (;;) {
        snmp::Request& request = query.NewRequest(snmp::kGetNextRequest);
        for (const std::uint16_t* column : columns) {
            std::uint16_t ids[snmp::kMaxSubIds];
            std::copy_n(column, kColumnIds, ids);
            std::copy_n(instance.ids, instance.count, ids + kColumnIds);
            request.AddBinding(ids, kColumnIds + instance.count);
        }
        std::int32_t result = query.SendRequest();
        if (result == kHlpOk) result = AwaitReply(query);
        if (result == kHlpOk) result = DecodeAnswer(query, *reply);
        if (result != kHlpOk) return result;
        if (reply->bindingCount < columns.size()) return kHlpUndecodable;

        const snmp::Oid& first = reply->bindings[0].oid;
        snmp::Oid column;
        std::copy_n(columns[0], kColumnIds, column.ids);
        column.count = kColumnIds;
        if (!snmp::OidPrefixEqual(first, column, kColumnIds)) return kHlpOk;
        // An agent that does not move forward would keep the walk going forever.
        if (rows > 0 && !IsAfter(first, previous)) return kHlpUndecodable;
        previous = first;
        instance.count = std::min(first.count - kColumnIds, snmp::kMaxSubIds - kColumnIds);
        std::copy_n(first.ids + kColumnIds, instance.count, instance.ids);
        ++rows;
        result = onRow(*reply);
        if (result != kHlpOk) return result;
    }
}

void CopyName(const snmp::Value& value, char (&name)[256]) {
    std::memset(name, 0, sizeof name);
    if (value.type != snmp::kOctetString || value.bytes == nullptr) return;
    std::memcpy(name, value.bytes, std::min(value.length, sizeof name - 1));
}

}  // namespace

void BuildDiscoveryRequest(snmp::Request& request) {
    AddBinding(request, kVersionOid);
    AddBinding(request, kIpDialOutOid);
    AddBinding(request, kHardwareTypeOid);
    AddBinding(request, kOwnAddressOid);
    AddBinding(request, kDeviceNameOid);
}

std::uint32_t HardwareTypeOf(const snmp::DiscoveryAnswer& answer) {
    const std::int32_t number = answer.hardwareType;
    return static_cast<std::uint32_t>(number < 0 && number >= -128 ? number + 256 : number);
}

void FillDiscoveryRecord(const snmp::DiscoveryAnswer& answer, DeviceDetailRecord& record) {
    std::memset(&record, 0, sizeof record);
    record.device.transport = kTransportIp;
    const ServerAddress address = IpDestination(answer.address, kDiscoveredServerTcpPort);
    std::memcpy(record.device.address, &address, sizeof address);
    std::memcpy(record.device.name, answer.name, std::min(answer.nameLength, snmp::kMaxDeviceName));
    record.hardwareType = HardwareTypeOf(answer);
    std::memcpy(record.version, answer.version, sizeof record.version);
    record.capability = answer.capability;
}

std::int32_t QuerySingleDevice(QueryContext& query, std::int32_t wantedHardwareType,
                               DeviceDetailRecord& record) {
    BuildDiscoveryRequest(query.NewRequest(snmp::kGetRequest));
    std::int32_t result = query.SendRequest();
    snmp::DiscoveryAnswer answer;
    while (result == kHlpOk) {
        result = AwaitReply(query);
        if (result != kHlpOk) return result;
        result = snmp::ReadDiscoveryReply(query.Reply(), query.ReplyLength(), answer);
        if (result == HlpSnmpError(kNoSuchName)) result = kHlpOk;
        else if (result == kHlpOk) break;
    }
    if (result != kHlpOk) return result;
    if (answer.majorVersion < kMinMajorVersion) {
        Trace("Version verification failed :");
        return kHlpVersionTooOld;
    }
    if (wantedHardwareType != -1 && wantedHardwareType != static_cast<std::int32_t>(HardwareTypeOf(answer))) {
        Trace("Hardware type verification failed :");
        return kHlpWrongHardwareType;
    }
    FillDiscoveryRecord(answer, record);
    return kHlpOk;
}

std::int32_t QueryServerInfo(QueryContext& query, ServerSummary& summary) {
    snmp::Request& request = query.NewRequest(snmp::kGetRequest);
    AddBinding(request, kVersionOid);
    AddBinding(request, kIpDialOutOid);
    AddBinding(request, kThirdFlagOid);
    std::int32_t result = query.SendRequest();
    if (result == kHlpOk) result = AwaitReply(query);
    auto reply = std::make_unique<snmp::Reply>();
    if (result == kHlpOk) result = DecodeAnswer(query, *reply);
    if (result != kHlpOk) return result;
    if (reply->bindingCount < 3) return kHlpUndecodable;

    std::memset(&summary, 0, sizeof summary);
    const snmp::Value& version = reply->bindings[0].value;
    if (version.bytes != nullptr) {
        std::memcpy(summary.version, version.bytes, std::min(version.length, sizeof summary.version));
    }
    summary.ipDialOut = IsThree(reply->bindings[1].value);
    summary.thirdFlag = IsThree(reply->bindings[2].value);
    return kHlpOk;
}

std::int32_t QuerySerialNames(QueryContext& query, std::uint32_t portMask, ResultSink& sink) {
    static constexpr const std::uint16_t* kNewerTable[] = {kPortNameColumn, kPortMaskColumn};
    std::size_t rows = 0;
    std::int32_t result = WalkColumns(query, kNewerTable, rows, [&](const snmp::Reply& reply) {
        SerialPortEntry entry;
        CopyName(reply.bindings[0].value, entry.name);
        entry.capabilities = static_cast<std::uint32_t>(reply.bindings[1].value.integer);
        if ((entry.capabilities & portMask) == 0) return static_cast<std::int32_t>(kHlpOk);
        // A buffer takes the name alone; a callback gets the mask too.
        return sink.HasCallback() ? sink.Report(NoticeKind::SerialPort, &entry, sizeof entry, false)
                                  : sink.Report(NoticeKind::SerialPort, entry.name,
                                                sizeof entry.name, false);
    });
    if (result != kHlpOk || rows > 0) return result;

    Trace("Device not 4.0. Have to get GroupName OID");
    static constexpr const std::uint16_t* kOlderTable[] = {kGroupNameColumn};
    return WalkColumns(query, kOlderTable, rows, [&](const snmp::Reply& reply) {
        char name[256];
        CopyName(reply.bindings[0].value, name);
        return sink.Report(NoticeKind::SerialPort, name, sizeof name, false);
    });
}

}  // namespace kvr::browse
