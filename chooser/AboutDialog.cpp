#include "AboutDialog.h"

#include <vector>

#include "ChooserConstants.h"
#include "ChooserRes.h"
#include "Resources.h"

namespace kvr {

namespace {

constexpr int kRampSteps = 64;
constexpr int kLogoX = 10;
constexpr int kLogoY = 10;
constexpr wchar_t kTrademarkSign[] = L"\u00E4";  // the trademark sign in the Symbol font

int BitsPerPixel(HWND window) {
    ClientDC dc(window);
    return dc ? ::GetDeviceCaps(dc.Get(), BITSPIXEL) * ::GetDeviceCaps(dc.Get(), PLANES) : 0;
}

bool IsPaletteDevice(HWND window) {
    ClientDC dc(window);
    return dc && (::GetDeviceCaps(dc.Get(), RASTERCAPS) & RC_PALETTE) != 0;
}

// The module's FileVersion, or nothing.
std::wstring FileVersion() {
    wchar_t path[1024] = {};
    if (::GetModuleFileNameW(ResourceModule(), path, 1024) == 0) return std::wstring();
    DWORD handle = 0;
    const DWORD size = ::GetFileVersionInfoSizeW(path, &handle);
    if (size == 0) return std::wstring();
    std::vector<BYTE> data(static_cast<std::size_t>(size) * 2);
    if (!::GetFileVersionInfoW(path, 0, static_cast<DWORD>(data.size()), data.data())) return std::wstring();
    wchar_t* text = nullptr;
    UINT length = 0;
    if (!::VerQueryValueW(data.data(), L"\\StringFileInfo\\040904B0\\FileVersion", reinterpret_cast<void**>(&text),
                          &length) ||
        text == nullptr)
        return std::wstring();
    std::wstring version(text, length);
    version.resize(version.find(L'\0') == std::wstring::npos ? version.size() : version.find(L'\0'));
    return version;
}

}  // namespace

KVR_BEGIN_MESSAGE_MAP(CAboutDialog, CDialog)
KVR_ON_MESSAGE(WM_ERASEBKGND, OnEraseBackground)
KVR_ON_MESSAGE(WM_PAINT, OnPaint)
KVR_ON_MESSAGE(WM_CTLCOLORSTATIC, OnColorStatic)
KVR_ON_MESSAGE(WM_QUERYNEWPALETTE, OnQueryNewPalette)
KVR_ON_MESSAGE(WM_PALETTECHANGED, OnPaletteChanged)
KVR_END_MESSAGE_MAP()

CAboutDialog::CAboutDialog() : CDialog(ResourceModule(), IDD_ABOUT) {}

int CAboutDialog::RampGrey(int y, int height) {
    const int step = height > 0 ? (kRampSteps - 1) * y / height : 0;
    return 191 - 2 * step;
}

BOOL CAboutDialog::OnInitDialog() {
    m_logo.Reset(static_cast<HBITMAP>(::LoadImageW(m_instance, MAKEINTRESOURCEW(IDB_LOGO), IMAGE_BITMAP, 0, 0, 0)));
    if (UsesRamp() && IsPaletteDevice(m_hWnd)) {
        std::vector<BYTE> storage(sizeof(LOGPALETTE) + (kRampSteps - 1) * sizeof(PALETTEENTRY));
        auto* palette = reinterpret_cast<LOGPALETTE*>(storage.data());
        palette->palVersion = 0x300;
        palette->palNumEntries = kRampSteps;
        for (int i = 0; i < kRampSteps; ++i) {
            const auto grey = static_cast<BYTE>(191 - 2 * i);
            palette->palPalEntry[i] = PALETTEENTRY{grey, grey, grey, 0};
        }
        m_palette.Reset(::CreatePalette(palette));
    }
    const std::wstring version = FileVersion();
    if (!version.empty()) {
        SetItemText(IDC_VERSION, version);
        m_symbolFont = CreatePointFont(m_hWnd, 10, L"Symbol", SYMBOL_CHARSET);
        m_noticeFont = CreatePointFont(m_hWnd, 8, L"Times New Roman");
        SetItemText(IDC_ABOUT_TRADEMARK_SIGN, kTrademarkSign);
        SendDlgItemMessageW(m_hWnd, IDC_ABOUT_TRADEMARK_SIGN, WM_SETFONT,
                            reinterpret_cast<WPARAM>(m_symbolFont.Get()), TRUE);
        SetItemText(IDC_ABOUT_TRADEMARK_NOTICE, LoadResString(IDS_TRADEMARK_NOTICE));
        SendDlgItemMessageW(m_hWnd, IDC_ABOUT_TRADEMARK_NOTICE, WM_SETFONT,
                            reinterpret_cast<WPARAM>(m_noticeFont.Get()), TRUE);
    }
    return TRUE;
}

bool CAboutDialog::UsesRamp() const { return BitsPerPixel(m_hWnd) >= 8; }

bool CAboutDialog::OnEraseBackground(WPARAM wParam, LPARAM, LRESULT& result) {
    if (!UsesRamp()) return false;
    const HDC dc = reinterpret_cast<HDC>(wParam);
    SelectPaletteScope palette(dc, m_palette.Get());
    RECT client;
    ::GetClientRect(m_hWnd, &client);
    const int height = client.bottom;
    // One band per step: the rows whose step is i share one brush.
    int top = 0;
    while (top < height) {
        const int grey = RampGrey(top, height);
        int bottom = top + 1;
        while (bottom < height && RampGrey(bottom, height) == grey) ++bottom;
        const UniqueBrush brush(::CreateSolidBrush(PALETTERGB(grey, grey, grey)));
        const RECT band{0, top, client.right, bottom};
        ::FillRect(dc, &band, brush.Get());
        top = bottom;
    }
    result = TRUE;
    return true;
}

bool CAboutDialog::OnPaint(WPARAM, LPARAM, LRESULT& result) {
    PaintDC dc(m_hWnd);
    DrawTransparentBitmap(dc.Get(), m_logo.Get(), kLogoX, kLogoY, kTransparentRed);
    result = 0;
    return true;
}

bool CAboutDialog::OnColorStatic(WPARAM wParam, LPARAM, LRESULT& result) {
    if (!UsesRamp()) return false;
    ::SetBkMode(reinterpret_cast<HDC>(wParam), TRANSPARENT);
    result = reinterpret_cast<LRESULT>(::GetStockObject(NULL_BRUSH));
    return true;
}

void CAboutDialog::RealizeRampPalette(bool repaintOnChange) {
    if (!m_palette) return;
    ClientDC dc(m_hWnd);
    const HPALETTE old = ::SelectPalette(dc.Get(), m_palette.Get(), FALSE);
    const UINT changed = ::RealizePalette(dc.Get());
    ::SelectPalette(dc.Get(), old, TRUE);
    if (changed != 0 && repaintOnChange) ::InvalidateRect(m_hWnd, nullptr, TRUE);
}

bool CAboutDialog::OnQueryNewPalette(WPARAM, LPARAM, LRESULT& result) {
    RealizeRampPalette(true);
    result = TRUE;
    return m_palette.IsValid();
}

bool CAboutDialog::OnPaletteChanged(WPARAM wParam, LPARAM, LRESULT& result) {
    if (reinterpret_cast<HWND>(wParam) == m_hWnd) return false;
    RealizeRampPalette(true);
    result = 0;
    return m_palette.IsValid();
}

}  // namespace kvr
