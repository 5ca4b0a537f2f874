#pragma once
// The window shown while a discovery runs: two lines and a progress bar. It
// takes no input; the discovery closes it on every path.
#include "ChooserRes.h"
#include "Dialog.h"

namespace kvr {

class CSearchingDialog : public CDialog {
public:
    explicit CSearchingDialog(bool ipx);

    // Opens it modeless beside `owner` (or its owner when it is hidden).
    bool Open(HWND owner);
    void SetUpperText(const std::wstring& text) { SetTextNow(IDC_SEARCH_UPPER, text); }
    void SetLowerText(const std::wstring& text) { SetTextNow(IDC_SEARCH_LOWER, text); }
    void SetRange(int count);
    void SetPosition(int position);

protected:
    BOOL OnInitDialog() override;

private:
    void SetTextNow(int id, const std::wstring& text);
    bool m_ipx;
};

}  // namespace kvr
