#include "ChooserFixture.h"

#include <commctrl.h>

#include <cstring>

#include <cstdio>

namespace kvr::test {

SimulatedDevices::SimulatedDevices(const std::vector<SimDevice>& devices) {
    std::wstring arguments = L"--snmp-port 161";
    for (const SimDevice& d : devices) {
        arguments += L" --listen " + d.address + L":0 --device " + d.name + L" --hardware " +
                     std::to_wstring(d.hardware);
        for (const std::wstring& port : d.ports) arguments += L" --port " + port;
        if (!d.extra.empty()) arguments += L" " + d.extra;
    }
    m_process = std::make_unique<ChildProcess>(L"rasim.exe", arguments);
    const std::wstring& last = devices.back().address;
    m_ready = m_process->Started() && m_process->WaitFor("SNMP-READY " + std::string(last.begin(), last.end()) + ":161");
}

void SimulatedDevices::WriteCatalogue() {
    ScratchRegistry::SetString(reg::kLookupKey, L"Rack Unit", L"TYPE=0x0479 / CODE=RACK / HARDWARE=12");
    ScratchRegistry::SetString(reg::kLookupKey, L"Remote Hub", L"TYPE=0x01CE / CODE=HUB / HARDWARE=14");
}

void SimulatedDevices::SetLookupMethods(const std::wstring& methods) {
    ScratchRegistry::SetString(reg::kServersKey, reg::kIpLookupMethods, methods);
}

void SimulatedDevices::AddKnownServer(const std::wstring& name, const std::wstring& address,
                                      const std::wstring& type) {
    unsigned parts[4] = {};
    std::swscanf(address.c_str(), L"%u.%u.%u.%u", &parts[0], &parts[1], &parts[2], &parts[3]);
    const std::uint8_t stored[16] = {2,
                                     0,
                                     0x06,
                                     0x0D,
                                     static_cast<std::uint8_t>(parts[0]),
                                     static_cast<std::uint8_t>(parts[1]),
                                     static_cast<std::uint8_t>(parts[2]),
                                     static_cast<std::uint8_t>(parts[3])};
    const std::wstring key = std::wstring(reg::kTcpServersKey) + L"\\" + name;
    ScratchRegistry::SetBinary(key, reg::kAddress, stored, sizeof stored);
    ScratchRegistry::SetString(key, reg::kDeviceType, type);
    ScratchRegistry::SetString(key, reg::kName, name);
}

HWND BrowseTest::OpenBrowse(ChooserRun& run, HWND sheet, int port) {
    SelectPage(sheet, port - 1);
    PostClick(CurrentPage(sheet), IDC_BROWSE_NETWORK);
    const HWND browse = run.WaitForCaption(L"Browsing Quelt Devices", 30000);
    // Populated once Close is enabled again.
    if (browse != nullptr)
        WaitUntil([&] { return ::IsWindowEnabled(::GetDlgItem(browse, IDCANCEL)) != FALSE; }, 30000);
    return browse;
}

HTREEITEM BrowseTest::FindChild(HWND tree, HTREEITEM parent,
                                const std::function<bool(HTREEITEM, const std::wstring&)>& visit) {
    const auto next = [&](HTREEITEM item, UINT code) {
        return reinterpret_cast<HTREEITEM>(::SendMessageW(tree, TVM_GETNEXTITEM, code, reinterpret_cast<LPARAM>(item)));
    };
    for (HTREEITEM item = next(parent, parent ? TVGN_CHILD : TVGN_ROOT); item != nullptr; item = next(item, TVGN_NEXT)) {
        wchar_t text[256] = {};
        TVITEMW info{};
        info.mask = TVIF_TEXT;
        info.hItem = item;
        info.pszText = text;
        info.cchTextMax = 256;
        ::SendMessageW(tree, TVM_GETITEMW, 0, reinterpret_cast<LPARAM>(&info));
        if (visit(item, text)) return item;
    }
    return nullptr;
}

std::vector<std::wstring> BrowseTest::ItemTexts(HWND tree, HTREEITEM parent) {
    std::vector<std::wstring> texts;
    FindChild(tree, parent, [&](HTREEITEM, const std::wstring& text) {
        texts.push_back(text);
        return false;
    });
    return texts;
}

HTREEITEM BrowseTest::FindItem(HWND tree, HTREEITEM parent, const std::wstring& text) {
    return FindChild(tree, parent, [&](HTREEITEM, const std::wstring& itemText) { return itemText == text; });
}

HTREEITEM BrowseTest::OpenDevice(HWND tree, const std::wstring& name, std::size_t groups) {
    const HTREEITEM device = FindItem(tree, nullptr, name);
    if (device == nullptr) return nullptr;
    DoubleClick(tree, device);
    return WaitUntil([&] { return ItemTexts(tree, device).size() == groups; }, 30000) ? device : nullptr;
}

void BrowseTest::DoubleClick(HWND tree, HTREEITEM item) {
    ::SendMessageW(tree, TVM_SELECTITEM, TVGN_CARET, reinterpret_cast<LPARAM>(item));
    RECT r{};
    std::memcpy(&r, &item, sizeof item);  // the item goes in, its rectangle comes out
    ::SendMessageW(tree, TVM_GETITEMRECT, TRUE, reinterpret_cast<LPARAM>(&r));
    const LPARAM point = MAKELPARAM((r.left + r.right) / 2, (r.top + r.bottom) / 2);
    ::PostMessageW(tree, WM_LBUTTONDBLCLK, MK_LBUTTON, point);
    ::PostMessageW(tree, WM_LBUTTONUP, 0, point);
}

std::wstring BrowseTest::StatusText(HWND browse) {
    const HWND bar = ::GetDlgItem(browse, IDC_STATUS_BAR);
    wchar_t text[256] = {};
    ::SendMessageW(bar, SB_GETTEXTW, 0, reinterpret_cast<LPARAM>(text));
    return text;
}

}  // namespace kvr::test
