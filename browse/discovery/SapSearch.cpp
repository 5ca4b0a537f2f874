#include "SapSearch.h"

#include <string_view>
#include <vector>

#include "BrowseErrors.h"
#include "NamePattern.h"
#include "QueryContext.h"
#include "SapRules.h"
#include "Trace.h"

namespace kvr::browse {

namespace {

// After the first response, this much silence ends a type's collection.
constexpr std::uint32_t kQuietEndsCollectionMs = 1000;

ServerAddress SapDestination() {
    ServerAddress destination{};
    destination.family = kTransportIpx;
    // Network 0, node FF-FF-FF-FF-FF-FF, socket 0x0452.
    for (int i = 4; i < 10; ++i) destination.data[i] = 0xFF;
    destination.data[10] = static_cast<std::uint8_t>(kSapIpxSocket >> 8);
    destination.data[11] = static_cast<std::uint8_t>(kSapIpxSocket);
    return destination;
}

// The server types to ask for, or -80 for a filter no catalogue entry has.
std::int32_t QuestionsFor(const Catalogue& catalogue, std::string_view filter,
                          std::vector<SapQuestion>& questions) {
    if (!IsSpecificPattern(filter)) {
        for (const DeviceTypeEntry& entry : catalogue.Entries()) {
            for (std::size_t i = 0; i < entry.fields.sapTypeCount; ++i) {
                const auto type = static_cast<std::uint16_t>(entry.fields.sapTypes[i]);
                questions.push_back({type, entry.fields.sapTypes[i] == kNamedSapType, entry.name,
                                     entry.fields.code});
            }
        }
        return kHlpOk;
    }
    const DeviceTypeEntry* entry = catalogue.FindByCode(filter);
    if (entry == nullptr) return kHlpUnknownDeviceType;
    if (entry->fields.sapTypeCount > 0) {
        questions.push_back({static_cast<std::uint16_t>(entry->fields.sapTypes[0]), false,
                             entry->name, entry->fields.code});
    }
    return kHlpOk;
}

// Collects the answers to one query: until the overall time-out while none
// has come, then until a second passes without data.
std::int32_t Collect(const SearchEnvironment& env, QueryContext& query, const SapQuestion& question,
                     const SapFilter& filter) {
    bool answered = false;
    std::uint32_t lastData = query.Now();
    for (;;) {
        const std::uint32_t now = query.Now();
        std::uint32_t wait;
        if (answered) {
            if (now - lastData >= kQuietEndsCollectionMs) {
                Trace("the second is up");
                return kHlpOk;
            }
            wait = kQuietEndsCollectionMs - (now - lastData);
        } else {
            if (query.Timer().Check(now) == RetryTimer::State::TimedOut) {
                Trace("SAP Timeout");
                return kHlpOk;
            }
            wait = query.Timer().MillisToLimit(now);
        }
        std::size_t length = 0;
        const std::int32_t received = query.ReceiveWithin(wait, length, kSapResponseBufferSize);
        if (received != kHlpOk) return received;
        if (length == 0) continue;
        answered = true;
        lastData = query.Now();
        std::int32_t result = kHlpOk;
        ForEachSapEntry(query.Reply(), length, [&](const SapEntry& entry) {
            DeviceRecord record;
            if (result != kHlpOk || !ReadSapEntry(entry, question, filter, env.catalogue, record)) {
                return;
            }
            result = env.sink.Report(NoticeKind::Device, &record, sizeof record, false);
        });
        if (result != kHlpOk) return result;
    }
}

}  // namespace

std::int32_t SearchSap(const SearchEnvironment& env, const SearchParameters& params) {
    std::vector<SapQuestion> questions;
    const std::string_view filter = params.typeFilter ? params.typeFilter : "*";
    if (const std::int32_t result = QuestionsFor(env.catalogue, filter, questions); result != kHlpOk) {
        return result;
    }
    if (questions.empty()) return kHlpOk;

    std::unique_ptr<DatagramChannel> channel;
    std::int32_t result = env.network.Open(kTransportIpx, SapDestination(), true, channel);
    if (result != kHlpOk) return result;
    const ListenTime listen = ListenTimeFor(params.timeoutSeconds);
    // Each query is sent once; its collection ends on its own time-outs.
    QueryContext query(std::move(channel), listen.seconds, params.community, true);
    const SapFilter sapFilter{params.namePattern ? params.namePattern : "", params.ipxVersionFilter};
    for (const SapQuestion& question : questions) {
        query.Timer().Clear();
        std::uint8_t bytes[kSapQueryLength];
        BuildSapQuery(question.serverType, bytes);
        result = query.SendBytes(bytes, sizeof bytes);
        if (result == kHlpOk) result = Collect(env, query, question, sapFilter);
        if (result != kHlpOk) return result;
    }
    return kHlpOk;
}

}  // namespace kvr::browse
