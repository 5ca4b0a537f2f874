#pragma once
// The fixtures of the Chooser's tests: a scratch registry with the four
// ports as installed and KVRUI.CPL loaded; for browsing, simulated devices
// on loopback with their SNMP agents on port 161, the device-type catalogue
// and the known servers that lead discovery to them.
#include <windows.h>

#include <gtest/gtest.h>

#include <string>

#include "ChooserDriver.h"
#include "ChooserRes.h"
#include "RegistryNames.h"
#include "ScratchRegistry.h"
#include "SimulatedDevices.h"

namespace kvr::test {

inline const std::wstring kPortKey = L"SOFTWARE\\Quelt\\Rezoriv\\Ports\\Dialout";

class ChooserTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(m_applet) << "KVRUI.CPL did not load";
        // As installed: four ports, none redirected, no entries.
        for (int i = 0; i < 4; ++i) ASSERT_EQ(0, SeedPort(i, ("COM" + std::to_string(i + 1)).c_str(), false, {}));
    }

    // The list of the page of port p (1..4), after selecting it.
    static HWND PortList(HWND sheet, int port) {
        SelectPage(sheet, port - 1);
        return ::GetDlgItem(CurrentPage(sheet), IDC_PORT_LIST);
    }

    ScratchRegistry m_registry;
    Applet m_applet;
};

}  // namespace kvr::test
