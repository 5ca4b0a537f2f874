#include "RedirectionText.h"

namespace kvr {

std::vector<RedirectionElement> ParseRedirectionText(std::wstring_view text, std::size_t limit) {
    std::vector<RedirectionElement> elements;
    std::size_t start = 0;
    while (elements.size() < limit && start <= text.size()) {
        const std::size_t comma = text.find(L',', start);
        const std::wstring_view item = text.substr(start, comma == std::wstring_view::npos ? comma : comma - start);
        if (item.empty()) break;
        RedirectionElement element;
        const std::size_t first = item.find(L':');
        const std::size_t last = item.rfind(L':');
        if (first == std::wstring_view::npos) {
            element.server = item;
        } else {
            element.server = item.substr(0, first);
            if (last > first) element.type = item.substr(first + 1, last - first - 1);
            element.group = item.substr(last + 1);
        }
        elements.push_back(std::move(element));
        if (comma == std::wstring_view::npos) break;
        start = comma + 1;
    }
    return elements;
}

std::wstring FormatRedirectionElement(const RedirectionElement& element, bool first) {
    return (first ? L"" : L",") + element.server + L':' + element.type + L':' + element.group;
}

}  // namespace kvr
