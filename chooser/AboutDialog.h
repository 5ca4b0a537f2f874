#pragma once
// "About Chooser": the logo on a grey ramp, the module's file version and the
// trademark notices.
#include "Dialog.h"
#include "Gdi.h"

namespace kvr {

class CAboutDialog : public CDialog {
    KVR_DECLARE_MESSAGE_MAP()
public:
    CAboutDialog();

    // The grey of pixel row y of a client area `height` rows high: 64 steps
    // from 191 at the top down to 65.
    static int RampGrey(int y, int height);

protected:
    BOOL OnInitDialog() override;

private:
    bool UsesRamp() const;
    void RealizeRampPalette(bool repaintOnChange);
    bool OnEraseBackground(WPARAM wParam, LPARAM, LRESULT& result);
    bool OnPaint(WPARAM, LPARAM, LRESULT& result);
    bool OnColorStatic(WPARAM wParam, LPARAM, LRESULT& result);
    bool OnQueryNewPalette(WPARAM, LPARAM, LRESULT& result);
    bool OnPaletteChanged(WPARAM wParam, LPARAM, LRESULT& result);

    UniqueBitmap m_logo;
    UniquePalette m_palette;
    UniqueFont m_symbolFont;
    UniqueFont m_noticeFont;
};

}  // namespace kvr
