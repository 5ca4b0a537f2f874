#pragma once
// The modeless, resizable window in which the user picks servers for a
// port: the discovered devices as a tree whose port groups are asked of each
// device on demand. It follows the active port page and adds the selection
// to it by posted message. It owns itself: closing it deletes it.
#include "ChooserRes.h"
#include "Controls.h"
#include "Dialog.h"
#include "Gdi.h"

namespace kvr {

class CChooserPropertySheet;
class CDevice;
class CPortPage;
class CRegistryInfo;

class CBrowseDialog : public CDialog {
    KVR_DECLARE_MESSAGE_MAP()
public:
    CBrowseDialog(CRegistryInfo& model, CChooserPropertySheet& sheet);

    // Opens the window owned by `owner`. False when it could not open or its
    // first discovery failed; the object is then gone.
    bool Open(HWND owner);

protected:
    BOOL OnInitDialog() override;
    void OnOK() override { DestroyWindow(); }
    void OnCancel() override { DestroyWindow(); }
    void PostNcDestroy() override;
    bool PreTranslateMessage(MSG& msg) override;

private:
    CTreeView Tree() const { return CTreeView(m_hWnd, IDC_TREE); }
    bool Populate(bool force);
    void Reset();
    void RequestAdd(bool enable);
    void SetAddAvailable(bool enable);
    void SetStatus(const std::wstring& text, bool timed = false);
    void Layout();
    void ActOnSelection();
    void OpenDevice(HTREEITEM item, CDevice& device);
    void AddSelection();
    void ShowContextMenu(POINT screen);
    CObject* ItemObject(HTREEITEM item) const;

    void OnAddCommand();
    void OnRefresh();
    void OnProperties();
    void OnAddDevice();
    void OnHelpIndex();
    LRESULT OnTreeDoubleClick(NMHDR&);
    LRESULT OnTreeSelChanged(NMHDR&);
    LRESULT OnTreeItemExpanded(NMHDR& header);
    LRESULT OnTreeRightClick(NMHDR&);
    bool OnBindPort(WPARAM wParam, LPARAM lParam, LRESULT& result);
    bool OnRefreshMessage(WPARAM, LPARAM, LRESULT& result);
    bool OnContextMenu(WPARAM, LPARAM lParam, LRESULT& result);
    bool OnHelpRequest(WPARAM, LPARAM lParam, LRESULT& result);
    bool OnSize(WPARAM wParam, LPARAM, LRESULT& result);
    bool OnMinMaxInfo(WPARAM, LPARAM lParam, LRESULT& result);
    bool OnStatusTimer(WPARAM, LPARAM, LRESULT& result);
    bool OnPaint(WPARAM, LPARAM, LRESULT& result);
    bool OnColorStatic(WPARAM wParam, LPARAM, LRESULT& result);
    bool OnSysColorChange(WPARAM, LPARAM, LRESULT& result);
    bool OnDestroy(WPARAM, LPARAM, LRESULT& result);
    bool OnClose(WPARAM, LPARAM, LRESULT& result);

    static constexpr UINT_PTR kStatusTimer = 1;

    CRegistryInfo& m_model;
    CChooserPropertySheet& m_sheet;
    CPortPage* m_boundPage = nullptr;
    bool m_noPort = false;
    CObject* m_context = nullptr;
    bool m_populated = false;
    SIZE m_minimumSize{};
    HWND m_statusBar = nullptr;
    UniqueImageList m_smallImages;
    UniqueImageList m_largeImages;
    UniqueMenu m_contextMenu;
    UniqueBrush m_shadow;
    UniquePen m_shadowPen;
    UniquePen m_highlightPen;
    UniqueIcon m_smallIcon;
};

}  // namespace kvr
