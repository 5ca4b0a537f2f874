// The built KVRAUTH.DLL exports the 13 functions by their names.
#include <gtest/gtest.h>

#include "Handles.h"
#include "KvrAuth.h"

namespace {

TEST(KvrAuthDll, ExportsEveryFunction) {
    kvr::UniqueModule dll(::LoadLibraryW(L"KVRAUTH.DLL"));
    ASSERT_TRUE(dll) << "error " << ::GetLastError();
    const char* const names[] = {"CreateUI",       "DestroyUI",        "CreateAuthWindow",
                                 "ChangePassword", "CreateModem",      "DestroyModem",
                                 "UpdateModemLEDs", "UpdateSendLED",   "UpdateReceiveLED",
                                 "TurnOffSendReceive", "PostNarration", "DestroyNarrationWindow",
                                 "DisplayMessage"};
    for (const char* name : names)
        EXPECT_NE(::GetProcAddress(dll.Get(), name), nullptr) << name;
}

TEST(KvrAuthDll, CreatedInstanceAcceptsCallsUntilDestroyed) {
    kvr::UniqueModule dll(::LoadLibraryW(L"KVRAUTH.DLL"));
    ASSERT_TRUE(dll);
    auto create = reinterpret_cast<decltype(&CreateUI)>(::GetProcAddress(dll.Get(), "CreateUI"));
    auto destroy = reinterpret_cast<decltype(&DestroyUI)>(::GetProcAddress(dll.Get(), "DestroyUI"));
    auto leds = reinterpret_cast<decltype(&UpdateModemLEDs)>(::GetProcAddress(dll.Get(), "UpdateModemLEDs"));
    ASSERT_TRUE(create && destroy && leds);
    EXPECT_EQ(leds(nullptr, 0), kUiInvalidHandle);
    KvrUiHandle ui = create();
    ASSERT_NE(ui, nullptr);
    EXPECT_EQ(leds(ui, 0x04), 0u);
    EXPECT_EQ(destroy(ui), 0u);
    EXPECT_EQ(leds(ui, 0x04), kUiInvalidHandle);
    // The instance's thread may still be finishing inside the library.
    dll.Release();
}

}  // namespace
