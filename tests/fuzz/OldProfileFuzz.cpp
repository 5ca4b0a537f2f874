// The old settings-file reader and the port-list text over any bytes: what
// comes out stays within its limits, keeps the line rules, and a port list
// written back from its elements reads the same again.
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "FuzzCheck.h"
#include "OldProfile.h"
#include "RedirectionText.h"

using namespace kvr;

namespace {

constexpr const char* kKeys[] = {"Username", "Transport", "Narrate", "COM1Redir", "COM1List", "com4list", "x"};

void CheckProfile(std::string_view bytes) {
    const ProfileSection section = ProfileSection::Parse(bytes, "COMM");
    for (const char* key : kKeys) {
        for (std::size_t limit : {0u, 1u, 31u, 254u}) {
            const std::string text = section.Text(key, limit, "fallback-text");
            FUZZ_CHECK(text.size() <= limit);
            FUZZ_CHECK(text.find_first_of("\r\n") == std::string::npos);
        }
        const long number = section.Integer(key, 30583);
        FUZZ_CHECK(number >= 0);
        if (!section.Has(key)) FUZZ_CHECK(number == 30583);
    }
    const auto parts = SplitText(bytes.substr(0, 512), ',');
    std::size_t total = parts.size() - 1;  // the separators
    for (const auto part : parts) total += part.size();
    FUZZ_CHECK(total == std::min<std::size_t>(bytes.size(), 512));
}

void CheckPortList(std::string_view bytes) {
    const std::wstring text(bytes.begin(), bytes.end());
    const auto elements = ParseRedirectionText(text, 25);
    FUZZ_CHECK(elements.size() <= 25);
    std::wstring rebuilt;
    for (std::size_t i = 0; i < elements.size(); ++i) {
        const RedirectionElement& e = elements[i];
        FUZZ_CHECK(e.server.find_first_of(L":,") == std::wstring::npos);
        FUZZ_CHECK(e.group.find_first_of(L":,") == std::wstring::npos);
        FUZZ_CHECK(e.type.find(L',') == std::wstring::npos);
        rebuilt += FormatRedirectionElement(e, i == 0);
    }
    const auto again = ParseRedirectionText(rebuilt, 25);
    FUZZ_CHECK(again.size() == elements.size());
    for (std::size_t i = 0; i < again.size() && i < elements.size(); ++i) {
        FUZZ_CHECK(again[i].server == elements[i].server);
        FUZZ_CHECK(again[i].type == elements[i].type);
        FUZZ_CHECK(again[i].group == elements[i].group);
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view bytes(reinterpret_cast<const char*>(data), size);
    CheckProfile(bytes);
    CheckPortList(bytes);
    return 0;
}
