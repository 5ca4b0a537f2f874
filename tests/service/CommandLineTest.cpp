#include <gtest/gtest.h>

#include "CommandLine.h"

using svc::Command;

TEST(ParseCommand, SwitchesInAnyCaseWithEitherPrefix) {
    const struct {
        const char* argument;
        Command expected;
    } cases[] = {
        {"-install", Command::Install}, {"/INSTALL", Command::Install}, {"-Remove", Command::Remove},
        {"/remove", Command::Remove},   {"-debug", Command::Debug},     {"/DeBuG", Command::Debug},
        {nullptr, Command::Dispatch},   {"install", Command::Dispatch}, {"-installx", Command::Dispatch},
        {"-inst", Command::Dispatch},   {"-", Command::Dispatch},       {"", Command::Dispatch},
        {"-pipe", Command::Dispatch},
    };
    for (const auto& c : cases)
        EXPECT_EQ(c.expected, svc::ParseCommand(c.argument)) << (c.argument ? c.argument : "(none)");
}

TEST(PipeNameFromParameters, LastPipeWinsAndTrailingPipeIsIgnored) {
    const struct {
        std::vector<const wchar_t*> words;
        std::wstring expected;
    } cases[] = {
        {{L"kvrsvc", L"-debug"}, L"\\\\.\\pipe\\dialout"},
        {{L"kvrsvc", L"-debug", L"-pipe", L"\\\\.\\pipe\\a"}, L"\\\\.\\pipe\\a"},
        {{L"kvrsvc", L"-debug", L"/PIPE", L"\\\\.\\pipe\\a"}, L"\\\\.\\pipe\\a"},
        {{L"kvrsvc", L"-debug", L"-pipe", L"\\\\.\\pipe\\a", L"-pipe", L"\\\\.\\pipe\\b"}, L"\\\\.\\pipe\\b"},
        {{L"kvrsvc", L"-debug", L"-pipe", L"\\\\.\\pipe\\a", L"-pipe"}, L"\\\\.\\pipe\\a"},
        {{L"kvrsvc", L"-debug", L"-pipe"}, L"\\\\.\\pipe\\dialout"},
        {{L"kvrsvc", L"-debug", L"-pipes", L"x"}, L"\\\\.\\pipe\\dialout"},
        // The first word is the program (or service) name, never a switch.
        {{L"-pipe", L"x"}, L"\\\\.\\pipe\\dialout"},
        {{L"kvrsvc"}, L"\\\\.\\pipe\\dialout"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(c.expected, svc::PipeNameFromParameters(static_cast<int>(c.words.size()), c.words.data()));
}
