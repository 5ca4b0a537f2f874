#include "ResultSink.h"

#include <cstring>

#include "BrowseErrors.h"

namespace kvr::browse {

ResultSink::ResultSink(void* buffer, std::uint16_t bufferSize, HlpCallback callback)
    : buffer_(static_cast<std::uint8_t*>(buffer)),
      size_(buffer ? bufferSize : 0),
      callback_(callback) {}

bool ResultSink::SeenBefore(const void* record, std::size_t size) const {
    const std::uint8_t* begin = callback_ ? reported_.data() : buffer_;
    const std::size_t used = callback_ ? reported_.size() : used_;
    // Records of one operation all have the same size.
    for (std::size_t at = 0; at + size <= used; at += size) {
        if (std::memcmp(begin + at, record, size) == 0) return true;
    }
    return false;
}

std::int32_t ResultSink::Report(NoticeKind kind, const void* record, std::size_t size,
                                bool dropDuplicates) {
    if (dropDuplicates && SeenBefore(record, size)) return kHlpOk;
    if (callback_) {
        const HlpNotice notice{static_cast<std::uint16_t>(kind), record, 1};
        const std::int32_t result = callback_(0, &notice);
        if (result != 0) return result;
        if (dropDuplicates) {
            const auto* bytes = static_cast<const std::uint8_t*>(record);
            reported_.insert(reported_.end(), bytes, bytes + size);
        }
        if (count_ < 0xFFFF) ++count_;
        return kHlpOk;
    }
    if (buffer_ == nullptr || size_ - used_ < size) return kHlpBufferFull;
    std::memcpy(buffer_ + used_, record, size);
    used_ += size;
    ++count_;
    return kHlpOk;
}

}  // namespace kvr::browse
