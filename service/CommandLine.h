#pragma once
// The service program's command line: the first switch and the pipe name.
#include <string>

namespace svc {

enum class Command { Install, Remove, Debug, Dispatch };

// The first argument, when it begins with "-" or "/", names install, remove or
// debug in any letter case; anything else starts the service dispatcher.
Command ParseCommand(const char* firstArgument);

inline constexpr wchar_t kDefaultPipeName[] = L"\\\\.\\pipe\\dialout";

// The word after the last "-pipe" (or "/pipe", any case) among the words from
// the second to the next-to-last; otherwise the default pipe name.
std::wstring PipeNameFromParameters(int count, const wchar_t* const* words);

}  // namespace svc
