#include "Gdi.h"

namespace kvr {

bool DrawTransparentBitmap(HDC dc, HBITMAP bitmap, int x, int y, COLORREF transparent) {
    BITMAP info{};
    if (bitmap == nullptr || ::GetObjectW(bitmap, sizeof info, &info) == 0) return false;
    MemoryDC source(dc);
    if (!source) return false;
    SelectObjectScope select(source.Get(), bitmap);
    return ::TransparentBlt(dc, x, y, info.bmWidth, info.bmHeight, source.Get(), 0, 0, info.bmWidth, info.bmHeight,
                            transparent) != FALSE;
}

UniqueFont CreatePointFont(HWND window, int points, const wchar_t* face, BYTE charset) {
    ClientDC dc(window);
    const int height = -::MulDiv(points, dc ? ::GetDeviceCaps(dc.Get(), LOGPIXELSY) : 96, 72);
    LOGFONTW font{};
    font.lfHeight = height;
    font.lfWeight = FW_NORMAL;
    font.lfCharSet = charset;
    if (face != nullptr) lstrcpynW(font.lfFaceName, face, LF_FACESIZE);
    return UniqueFont(::CreateFontIndirectW(&font));
}

void PaintDropShadow(HDC dc, HWND control, HBRUSH brush, int depth) {
    if (control == nullptr || brush == nullptr) return;
    RECT r;
    ::GetWindowRect(control, &r);
    ::MapWindowPoints(nullptr, ::GetParent(control), reinterpret_cast<POINT*>(&r), 2);
    const RECT right = {r.right, r.top + depth, r.right + depth, r.bottom + depth};
    const RECT below = {r.left + depth, r.bottom, r.right, r.bottom + depth};
    ::FillRect(dc, &right, brush);
    ::FillRect(dc, &below, brush);
}

}  // namespace kvr
