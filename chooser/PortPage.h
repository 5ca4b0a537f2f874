#pragma once
// One port's page: whether COMn is redirected and the ordered list of
// servers (and port groups) the service tries. The page edits only the
// model; the sheet stores it.
#include <string>

#include "ChooserRes.h"
#include "Controls.h"
#include "Gdi.h"
#include "PropertySheet.h"

namespace kvr {

class CChooserPropertySheet;
class CRedirDeviceArray;
class CRegistryInfo;

class CPortPage : public CPropertyPage {
    KVR_DECLARE_DYNAMIC(CPortPage)
public:
    CPortPage(CChooserPropertySheet& sheet, CRegistryInfo& model, int port);

    int Port() const { return m_port; }
    void ReloadFromModel();
    // Marks in the list every server this page's rows name.
    void MarkServers(CRedirDeviceArray& devices) const;
    void UpdateButtons();

protected:
    BOOL OnInitDialog() override;
    bool OnSetActive() override;

private:
    CListView List() const { return CListView(m_hWnd, IDC_PORT_LIST); }
    void SizeColumns();
    void RebuildModel();
    void InsertRow(int index, const std::wstring& server, const std::wstring& group, const std::wstring& type,
                   int image);
    void AddSelection(CObject* selection);
    void RemoveSelectedRow();
    void MoveRow(int from, int to);
    void CopyToAnotherPort();
    void OpenBrowseDialog();
    void EndDrag(bool drop, POINT point);
    void ShowContextMenu(POINT screen);

    void OnRedirectClicked();
    void OnBrowseClicked();
    void OnRemoveCommand();
    void OnCopyToClicked();
    LRESULT OnItemChanged(NMHDR&);
    LRESULT OnBeginDrag(NMHDR& header);
    LRESULT OnListKeyDown(NMHDR& header);
    bool OnMouseMove(WPARAM, LPARAM lParam, LRESULT& result);
    bool OnLButtonUp(WPARAM, LPARAM lParam, LRESULT& result);
    bool OnCaptureChanged(WPARAM, LPARAM lParam, LRESULT& result);
    bool OnContextMenu(WPARAM wParam, LPARAM lParam, LRESULT& result);
    bool OnHelpRequest(WPARAM, LPARAM lParam, LRESULT& result);
    bool OnPaint(WPARAM, LPARAM, LRESULT& result);
    bool OnColorStatic(WPARAM wParam, LPARAM, LRESULT& result);
    bool OnSysColorChange(WPARAM, LPARAM, LRESULT& result);
    bool OnBrowseClosed(WPARAM, LPARAM, LRESULT& result);
    bool OnAddSelection(WPARAM, LPARAM lParam, LRESULT& result);
    bool OnReload(WPARAM, LPARAM, LRESULT& result);

    static constexpr int kIconRows = 25;

    CChooserPropertySheet& m_sheet;
    CRegistryInfo& m_model;
    int m_port;
    int m_rowIcons[kIconRows] = {};
    UniqueImageList m_images;
    UniqueBrush m_shadow;

    bool m_dragging = false;
    int m_dragSource = -1;
    int m_dragTarget = -1;
    UniqueImageList m_dragImage;

    KVR_DECLARE_MESSAGE_MAP()
};

// Asks which port to copy port `source`'s configuration to: 1..4, or 0.
class CCopyToDialog : public CDialog {
    KVR_DECLARE_MESSAGE_MAP()
public:
    explicit CCopyToDialog(int source);
    int Destination() const { return m_destination; }

protected:
    BOOL OnInitDialog() override;
    void OnOK() override;

private:
    void OnSelectionChanged();

    int m_source;
    int m_destination = 0;
};

}  // namespace kvr
