#include "CommandLine.h"

#include <cwctype>
#include <cctype>

namespace svc {
namespace {

bool IsSwitch(wchar_t c) { return c == L'-' || c == L'/'; }

template <typename Char>
bool EqualsIgnoreCase(const Char* text, const char* word) {
    for (; *word != '\0'; ++text, ++word) {
        if (*text == 0) return false;
        if (std::towlower(static_cast<wint_t>(*text)) != std::towlower(static_cast<wint_t>(*word)))
            return false;
    }
    return *text == 0;
}

}  // namespace

Command ParseCommand(const char* firstArgument) {
    if (firstArgument == nullptr || !IsSwitch(static_cast<wchar_t>(firstArgument[0])))
        return Command::Dispatch;
    const char* word = firstArgument + 1;
    if (EqualsIgnoreCase(word, "install")) return Command::Install;
    if (EqualsIgnoreCase(word, "remove")) return Command::Remove;
    if (EqualsIgnoreCase(word, "debug")) return Command::Debug;
    return Command::Dispatch;
}

std::wstring PipeNameFromParameters(int count, const wchar_t* const* words) {
    std::wstring name = kDefaultPipeName;
    for (int i = 1; i < count - 1; ++i) {
        const wchar_t* word = words[i];
        if (word != nullptr && IsSwitch(word[0]) && EqualsIgnoreCase(word + 1, "pipe") &&
            words[i + 1] != nullptr)
            name = words[i + 1];
    }
    return name;
}

}  // namespace svc
