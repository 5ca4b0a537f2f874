#pragma once
// The fixtures of the Chooser's tests: a scratch registry with the four
// ports as installed and KVRUI.CPL loaded; for browsing, simulated devices
// on loopback with their SNMP agents on port 161, the device-type catalogue
// and the known servers that lead discovery to them.
#include <windows.h>

#include <gtest/gtest.h>

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "ChildProcess.h"
#include "ChooserDriver.h"
#include "ChooserRes.h"
#include "RegistryNames.h"
#include "ScratchRegistry.h"

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

// A simulated device: its name, loopback address, hardware type and ports.
struct SimDevice {
    std::wstring name;
    std::wstring address;  // 127.x.y.z
    int hardware = 12;
    std::vector<std::wstring> ports;
    std::wstring extra;  // more rasim options for this device
};

// The simulator with the given devices, their agents on UDP 161; the
// catalogue names hardware 12 "Rack Unit" (code RACK) and 14 "Remote Hub".
class SimulatedDevices {
public:
    explicit SimulatedDevices(const std::vector<SimDevice>& devices);
    bool Ready() const { return m_ready; }
    std::string Output() { return m_process ? m_process->Output() : std::string(); }

    // The catalogue and the settings that make discovery read the known servers.
    static void WriteCatalogue();
    static void SetLookupMethods(const std::wstring& methods);
    // A known server as the store writes it (TCP port 1549).
    static void AddKnownServer(const std::wstring& name, const std::wstring& address, const std::wstring& type);

private:
    std::unique_ptr<ChildProcess> m_process;
    bool m_ready = false;
};

class BrowseTest : public ChooserTest {
protected:
    // Opens the browse dialog from port p's page.
    HWND OpenBrowse(ChooserRun& run, HWND sheet, int port);
    // The device items of the tree, and the children of one.
    static std::vector<std::wstring> ItemTexts(HWND tree, HTREEITEM parent);
    static HTREEITEM FindItem(HWND tree, HTREEITEM parent, const std::wstring& text);
    // Calls visit(item, text) for each child of parent (the roots for null)
    // until it returns true; that item, or null.
    static HTREEITEM FindChild(HWND tree, HTREEITEM parent,
                               const std::function<bool(HTREEITEM, const std::wstring&)>& visit);
    // Selects an item and double-clicks its label.
    static void DoubleClick(HWND tree, HTREEITEM item);
    // Double-clicks a device and waits until it shows that many port groups.
    static HTREEITEM OpenDevice(HWND tree, const std::wstring& name, std::size_t groups);
    static std::wstring StatusText(HWND browse);
};

}  // namespace kvr::test
