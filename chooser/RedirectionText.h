#pragma once
// The text form of a port's list: elements "server:type:group" joined by
// ",". The first colon ends the server name and the last colon begins the
// port group, so a type may itself hold colons. Plain C++.
#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

namespace kvr {

struct RedirectionElement {
    std::wstring server;
    std::wstring type;
    std::wstring group;
};

// The elements in order, stopping at the first empty one and after `limit`.
// An element without colons is a server alone; with one colon the part
// after it is the port group.
std::vector<RedirectionElement> ParseRedirectionText(std::wstring_view text, std::size_t limit);

// "server:type:group", with a leading "," unless it is the first element.
std::wstring FormatRedirectionElement(const RedirectionElement& element, bool first);

}  // namespace kvr
