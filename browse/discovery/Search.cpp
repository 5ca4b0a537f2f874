#include "Search.h"

namespace kvr::browse {

ListenTime ListenTimeFor(std::uint16_t timeoutSeconds) {
    if (timeoutSeconds == 0) return {20, false};
    if (timeoutSeconds == 0xFFFF) return {5, true};
    return {timeoutSeconds, false};
}

}  // namespace kvr::browse
