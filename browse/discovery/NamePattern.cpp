#include "NamePattern.h"

#include "FieldString.h"

namespace kvr::browse {

bool IsSpecificPattern(std::string_view pattern) {
    return pattern.find_first_not_of('*') != std::string_view::npos;
}

bool MatchesPattern(std::string_view pattern, std::string_view text) {
    const std::size_t star = pattern.find('*');
    if (star == std::string_view::npos) return EqualsNoCase(pattern, text);
    return text.size() >= star && EqualsNoCase(pattern.substr(0, star), text.substr(0, star));
}

bool MatchesReplyName(std::string_view requested, std::string_view replyName) {
    const std::size_t star = replyName.find('*');
    if (star != std::string_view::npos) {
        return requested.size() >= star &&
               EqualsNoCase(requested.substr(0, star), replyName.substr(0, star));
    }
    return EqualsNoCase(requested.substr(0, replyName.size()), replyName);
}

}  // namespace kvr::browse
