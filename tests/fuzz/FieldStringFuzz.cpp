// The catalogue's field-string and lookup-method parsers over any text: counts
// stay within their arrays, lists keep their rules, places stay 0..3.
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string>
#include <string_view>

#include "FieldString.h"
#include "FuzzCheck.h"

using namespace kvr::browse;

namespace {

void CheckFields(const DeviceTypeFields& f) {
    FUZZ_CHECK(f.sapTypeCount <= kMaxSapTypes);
    FUZZ_CHECK(f.socketCount <= kMaxSockets);
    for (std::size_t i = 0; i < f.sapTypeCount; ++i) FUZZ_CHECK(f.sapTypes[i] != 0);  // the list ends at a zero
    for (std::size_t i = f.sapTypeCount; i < kMaxSapTypes; ++i) FUZZ_CHECK(f.sapTypes[i] == 0);
    for (std::size_t i = f.socketCount; i < kMaxSockets; ++i) FUZZ_CHECK(f.sockets[i] == 0);
    const std::size_t codeLength = strnlen(f.code, sizeof(f.code));
    FUZZ_CHECK(codeLength <= kCodeChars);
    for (std::size_t i = 0; i < codeLength; ++i) {
        FUZZ_CHECK(!(f.code[i] >= 'a' && f.code[i] <= 'z'));  // upper-cased
        FUZZ_CHECK(std::strchr(" \t,-;/#", f.code[i]) == nullptr);
    }
}

void CheckOrder(const LookupOrder& order) {
    const int places[] = {order.deviceFile, order.proprietary, order.dns};
    int used = 0;
    for (int place : places) {
        FUZZ_CHECK(place >= 0 && place <= 3);
        if (place != 0) used |= 1 << place;
    }
    // Places are handed out 1, 2, 3 in turn: distinct and without gaps.
    const int count = (order.deviceFile != 0) + (order.proprietary != 0) + (order.dns != 0);
    FUZZ_CHECK(used == ((1 << (count + 1)) - 2));
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t length) {
    const std::string_view text(reinterpret_cast<const char*>(data), length);
    const DeviceTypeFields fields = ParseFieldString(text);
    CheckFields(fields);
    // The parser upper-cases first, so the case of the input does not matter.
    std::string upper(text);
    for (char& c : upper) {
        if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
    }
    const DeviceTypeFields again = ParseFieldString(upper);
    FUZZ_CHECK(again.sapTypeCount == fields.sapTypeCount && again.sapTypes == fields.sapTypes);
    FUZZ_CHECK(again.socketCount == fields.socketCount && again.sockets == fields.sockets);
    FUZZ_CHECK(std::strcmp(again.code, fields.code) == 0);
    FUZZ_CHECK(again.access == fields.access && again.hardwareType == fields.hardwareType);

    const LookupOrder order = ParseLookupMethods(text);
    CheckOrder(order);
    FUZZ_CHECK(ParseLookupMethods(upper) == order);

    ParseNumberItem(text);
    ParseDecimalName(text);
    const std::string_view name = EntryNameOf(text);
    FUZZ_CHECK(name.data() + name.size() == text.data() + text.size());
    FUZZ_CHECK(EqualsNoCase(text, upper) && EqualsNoCase(upper, text));
    return 0;
}
