#pragma once
// Where found records go: appended back to back to the caller's buffer, or
// handed one by one to the caller's callback. No windows.h here.
#include <cstddef>
#include <cstdint>
#include <vector>

#if defined(_WIN32) && !defined(_WIN64)
#define KVR_STDCALL __stdcall
#else
#define KVR_STDCALL
#endif

namespace kvr::browse {

enum class NoticeKind : std::uint16_t { Device = 1, SerialPort = 2 };

// What a callback receives for each record.
struct HlpNotice {
    std::uint16_t kind;
    const void* record;
    std::uint16_t count;  // always 1
};
#if defined(_WIN32) && !defined(_WIN64)
static_assert(sizeof(HlpNotice) == 12);
#endif

// Returns 0 to go on; any other value ends the operation and becomes its result.
using HlpCallback = std::int32_t(KVR_STDCALL*)(std::uint32_t reserved, const HlpNotice* notice);

class ResultSink {
public:
    // With a callback the buffer is not used.
    ResultSink(void* buffer, std::uint16_t bufferSize, HlpCallback callback);

    // 0; -6 when the record does not fit the buffer; or the callback's value.
    // With dropDuplicates a record equal byte for byte to one reported before
    // is dropped (and gives 0).
    std::int32_t Report(NoticeKind kind, const void* record, std::size_t size,
                        bool dropDuplicates);

    // Records in the buffer, or records handed to the callback.
    std::uint16_t Count() const { return count_; }
    bool HasCallback() const { return callback_ != nullptr; }

private:
    bool SeenBefore(const void* record, std::size_t size) const;

    std::uint8_t* buffer_;
    std::size_t size_;
    std::size_t used_ = 0;
    HlpCallback callback_;
    std::uint16_t count_ = 0;
    // Records handed to a callback, for dropping duplicates there too.
    std::vector<std::uint8_t> reported_;
};

}  // namespace kvr::browse
