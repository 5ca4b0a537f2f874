#pragma once
// How searches compare device names and types with what the caller asked
// for. Plain C++ over text.
#include <string_view>

namespace kvr::browse {

// True unless the pattern is empty or made only of asterisks.
bool IsSpecificPattern(std::string_view pattern);

// A "*" ends a prefix and only the characters before it are compared;
// without one the whole texts are compared. Case-insensitive.
bool MatchesPattern(std::string_view pattern, std::string_view text);

// The rule of a broadcast reply: the requested name, cut to the length of the
// reply's name, equals the reply's name; a "*" in the reply's name ends the
// part compared. Case-insensitive.
bool MatchesReplyName(std::string_view requested, std::string_view replyName);

}  // namespace kvr::browse
