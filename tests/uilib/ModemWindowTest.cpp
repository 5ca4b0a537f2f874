// The modem status window: its options, placement, lamps and system menu.
#include <gtest/gtest.h>

#include <functional>

#include "KvrAuth.h"
#include "KvrAuthRes.h"
#include "ModemWindow.h"
#include "UiMessages.h"
#include "UiTestSupport.h"

namespace kvr::test {
namespace {

constexpr WORD kReceiveTimerBit = 0x100, kSendTimerBit = 0x200;

class ModemWindows : public ::testing::Test {
protected:
    void SetUp() override {
        ui = CreateUI();
        ASSERT_NE(ui, nullptr);
    }
    void TearDown() override {
        if (!driver.ThreadEnded()) {
            DestroyUI(ui);
            driver.WaitThreadEnd();
        }
    }
    HWND OpenModem(KvrUiHandle instance, const wchar_t* port) {
        const AuthInfo record = MakeAuthInfo(L"alice", L"", L"Server One", port);
        EXPECT_EQ(CreateModem(instance, &record), 0u);
        return driver.WaitDialog(IDW_MODEM);
    }
    // Lamp flags and running timers, once every posted message has been handled.
    WORD State(HWND window) {
        return static_cast<WORD>(::SendMessageW(window, CModemWindow::kMsgQueryLamps, 0, 0));
    }
    int syncs = 0;

    ScratchRegistry registry;
    UiDriver driver;
    KvrUiHandle ui = nullptr;
};

TEST_F(ModemWindows, LocationOffShowsNothingAndLightUpdatesAreIgnored) {
    ScratchRegistry::SetString(reg::kRezorivKey, L"Modem_Location", L"OFF");
    const AuthInfo record = MakeAuthInfo(L"alice", L"", L"Server One", L"COM3");
    ASSERT_EQ(CreateModem(ui, &record), 0u);
    ASSERT_EQ(UpdateModemLEDs(ui, 0x3F), 0u);
    ASSERT_EQ(UpdateSendLED(ui, 1), 0u);
    ASSERT_EQ(DestroyUI(ui), 0u);
    driver.WaitThreadEnd();
    EXPECT_EQ(driver.Events(), (std::vector<std::string>{"end"}));
}

TEST_F(ModemWindows, TitleSizeAndSystemMenu) {
    const HWND window = OpenModem(ui, L"COM3");
    EXPECT_EQ(Text(window), L"COM3 Modem Status");
    RECT r{};
    ::GetWindowRect(window, &r);
    EXPECT_EQ(r.right - r.left, 180);
    EXPECT_EQ(r.bottom - r.top,
              ::GetSystemMetrics(SM_CYCAPTION) + 2 * (::GetSystemMetrics(SM_CYDLGFRAME) + 10) + 2);
    EXPECT_EQ(r.left, 1);
    EXPECT_EQ(r.top, 1);
    EXPECT_TRUE(::GetWindowLongW(window, GWL_EXSTYLE) & WS_EX_TOPMOST);
    const HMENU menu = ::GetSystemMenu(window, FALSE);
    EXPECT_EQ(::GetMenuState(menu, ID_MODEM_LARGE, MF_BYCOMMAND), static_cast<UINT>(MF_UNCHECKED));
    EXPECT_EQ(::GetMenuState(menu, ID_MODEM_ON_TOP, MF_BYCOMMAND), static_cast<UINT>(MF_CHECKED));
    EXPECT_NE(::GetMenuState(menu, ID_MODEM_HELP, MF_BYCOMMAND), static_cast<UINT>(-1));
    for (UINT command : {SC_MAXIMIZE, SC_MINIMIZE, SC_RESTORE, SC_SIZE})
        EXPECT_EQ(::GetMenuState(menu, command, MF_BYCOMMAND), static_cast<UINT>(-1)) << command;
}

TEST_F(ModemWindows, MenuCommandsToggleAndSaveTheOptions) {
    const HWND window = OpenModem(ui, L"COM3");
    ::SendMessageW(window, WM_SYSCOMMAND, ID_MODEM_LARGE, 0);
    RECT r{};
    ::GetWindowRect(window, &r);
    EXPECT_EQ(r.right - r.left, 96 * 2 + 84);
    EXPECT_EQ(r.bottom - r.top,
              ::GetSystemMetrics(SM_CYCAPTION) + 20 * 2 + 2 * ::GetSystemMetrics(SM_CYDLGFRAME) + 2);
    DWORD value = 0;
    EXPECT_TRUE(GetGlobal(L"ModemSize", value));
    EXPECT_EQ(value, 2u);
    ::SendMessageW(window, WM_SYSCOMMAND, ID_MODEM_ON_TOP, 0);
    EXPECT_FALSE(::GetWindowLongW(window, GWL_EXSTYLE) & WS_EX_TOPMOST);
    EXPECT_TRUE(GetGlobal(L"ModemAlwaysOnTop", value));
    EXPECT_EQ(value, 0u);
    const HMENU menu = ::GetSystemMenu(window, FALSE);
    EXPECT_EQ(::GetMenuState(menu, ID_MODEM_LARGE, MF_BYCOMMAND), static_cast<UINT>(MF_CHECKED));
    EXPECT_EQ(::GetMenuState(menu, ID_MODEM_ON_TOP, MF_BYCOMMAND), static_cast<UINT>(MF_UNCHECKED));
}

TEST_F(ModemWindows, ClosingSavesThePositionWithNegativeCoordinatesAsZero) {
    const HWND window = OpenModem(ui, L"COM3");
    ::SetWindowPos(window, nullptr, -30, 200, 0, 0, SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
    ASSERT_EQ(DestroyModem(ui), 0u);
    driver.WaitClosed(IDW_MODEM, 1);
    DWORD x = 99, y = 99, size = 0;
    EXPECT_TRUE(GetGlobal(L"ModemX", x));
    EXPECT_TRUE(GetGlobal(L"ModemY", y));
    EXPECT_TRUE(GetGlobal(L"ModemSize", size));
    EXPECT_EQ(x, 0u);
    EXPECT_EQ(y, 200u);
    EXPECT_EQ(size, 1u);
}

TEST_F(ModemWindows, ThreePortsLineUpAlongTheBottomOfTheWorkArea) {
    ScratchRegistry::SetDword(reg::kRezorivKey, L"ModemX", 0);
    ScratchRegistry::SetDword(reg::kRezorivKey, L"ModemY", 0);
    KvrUiHandle others[2] = {CreateUI(), CreateUI()};
    ASSERT_TRUE(others[0] && others[1]);
    const HWND windows[3] = {OpenModem(ui, L"COM3"), OpenModem(others[0], L"COM4"), OpenModem(others[1], L"COM5")};
    RECT work{};
    ::SystemParametersInfoW(SPI_GETWORKAREA, 0, &work, 0);
    for (int i = 0; i < 3; ++i) {
        RECT r{};
        ::GetWindowRect(windows[i], &r);
        EXPECT_EQ(r.left, (180 + 2) * i + work.left + 2) << i;
        EXPECT_EQ(r.bottom, work.bottom - 2) << i;
    }
    for (KvrUiHandle other : others) ASSERT_EQ(DestroyUI(other), 0u);
    driver.WaitClosed(IDW_MODEM, 2);
}

TEST_F(ModemWindows, LampUpdatesAndTimers) {
    const HWND window = OpenModem(ui, L"COM3");
    struct Step {
        const char* what;
        std::function<DWORD()> call;
        WORD expected;  // lamps and running timers afterwards
    };
    const Step steps[] = {
        {"status with RD and SD", [&] { return UpdateModemLEDs(ui, 0x35); },
         0x35 | kReceiveTimerBit | kSendTimerBit},
        {"status CD only stops both timers", [&] { return UpdateModemLEDs(ui, 0x04); }, 0x04},
        {"send on", [&] { return UpdateSendLED(ui, 1); }, 0x24 | kSendTimerBit},
        {"receive on", [&] { return UpdateReceiveLED(ui, 0x10000 | 1); }, 0x34 | kSendTimerBit | kReceiveTimerBit},
        {"receive off", [&] { return UpdateReceiveLED(ui, 0); }, 0x24 | kSendTimerBit},
        {"both off", [&] { return TurnOffSendReceive(ui); }, 0x04},
        {"only the low 16 bits count", [&] { return UpdateModemLEDs(ui, 0x10000); }, 0x00},
    };
    for (const Step& step : steps) {
        ASSERT_EQ(step.call(), 0u) << step.what;
        // No narration is open, so this only marks a point in the queue.
        ASSERT_EQ(DestroyNarrationWindow(ui), 0u);
        driver.WaitHandled(kMsgDestroyNarrationWindow, ++syncs);
        // Read well inside the 600 ms a lamp stays lit.
        EXPECT_EQ(State(window), step.expected) << step.what;
    }
}

TEST_F(ModemWindows, PanelIsPaintedWithLitLampsGreenDarkLampsGrayAndNoRedSurround) {
    const HWND window = OpenModem(ui, L"COM3");
    ASSERT_EQ(UpdateModemLEDs(ui, 0x04), 0u);
    driver.WaitLamps(0x04);
    ASSERT_EQ(State(window), 0x04);  // and painted
    const HDC dc = ::GetDC(window);
    ASSERT_NE(dc, nullptr);
    struct Probe {
        const char* what;
        int x, y;
        COLORREF expected;
    };
    const Probe probes[] = {
        {"HS dark", 41 + 10, 6, RGB(128, 128, 128)},
        {"CD lit", 41 + 30 + 10, 6, RGB(0, 255, 0)},
        {"SD dark", 41 + 75 + 10, 6, RGB(128, 128, 128)},
        {"surround shows the window, not red", 41 + 1, 1, ::GetSysColor(COLOR_BTNFACE)},
    };
    for (const Probe& p : probes) EXPECT_EQ(::GetPixel(dc, p.x, p.y), p.expected) << p.what;
    ::ReleaseDC(window, dc);
}

TEST_F(ModemWindows, SendLampGoesDarkWhenItsTimerRunsOut) {
    const HWND window = OpenModem(ui, L"COM3");
    ASSERT_EQ(UpdateModemLEDs(ui, 0x04), 0u);
    ASSERT_EQ(UpdateSendLED(ui, 1), 0u);
    driver.WaitLamps(0x24);
    ASSERT_EQ(UpdateSendLED(ui, 1), 0u);  // already lit: no change
    driver.WaitLamps(0x04);               // the timer turned it off
    EXPECT_EQ(State(window), 0x04);
    ASSERT_EQ(UpdateSendLED(ui, 1), 0u);  // the next update lights it again
    driver.WaitLamps(0x24);
}

}  // namespace
}  // namespace kvr::test
