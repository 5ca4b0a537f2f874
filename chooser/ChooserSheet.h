#pragma once
// The Chooser's property sheet: a page for each of COM1..COM4 and the
// options page. OK and Apply Now store the model; a failed store keeps the
// sheet open.
#include <memory>

#include "Gdi.h"
#include "PropertySheet.h"

namespace kvr {

class COptionsPage;
class CPortPage;
class CRedirDeviceArray;
class CRegistryInfo;

class CChooserPropertySheet : public CPropertySheet {
    KVR_DECLARE_DYNAMIC(CChooserPropertySheet)
public:
    CChooserPropertySheet(CRegistryInfo& model, HWND parent);
    ~CChooserPropertySheet() override;

    // Tab image of port p (1..4): redirected or not.
    void SetPortTabImage(int port, bool redirected);
    // Posts a reload to every port page that has a window.
    void ReloadPortPages();
    // Marks in the list every server some port page lists.
    void MarkListedServers(CRedirDeviceArray& devices) const;
    // Makes port p's page active, reloads it and marks it modified.
    void ShowReloadedPort(int port);
    CPortPage& PortPage(int port) const { return *m_portPages[static_cast<std::size_t>(port - 1)]; }

protected:
    void OnInitSheet() override;

private:
    bool OnCommandMessage(WPARAM wParam, LPARAM lParam, LRESULT& result);
    bool OnDestroy(WPARAM, LPARAM, LRESULT& result);
    bool OnPaint(WPARAM, LPARAM, LRESULT& result);
    bool OnQueryDragIcon(WPARAM, LPARAM, LRESULT& result);

    CRegistryInfo& m_model;
    std::unique_ptr<CPortPage> m_portPages[4];
    std::unique_ptr<COptionsPage> m_optionsPage;
    UniqueImageList m_tabImages;
    HICON m_icon = nullptr;       // shared resource icon: never destroyed
    HICON m_smallIcon = nullptr;  // ours

    KVR_DECLARE_MESSAGE_MAP()
};

}  // namespace kvr
