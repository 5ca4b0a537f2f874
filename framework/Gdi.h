#pragma once
// Owners of GDI objects and device contexts: pens, brushes, fonts, bitmaps,
// palettes, icons, menus and image lists each deleted exactly once; scopes
// that select an object into a DC and put the old one back; paint, client
// and memory DCs released with their window.
#include <windows.h>
#include <commctrl.h>

#include <utility>

#include "Handles.h"

namespace kvr {

template <typename T>
struct GdiObjectTraits {
    using Handle = T;
    static Handle Invalid() { return nullptr; }
    static void Close(Handle h) { ::DeleteObject(h); }
};
struct IconTraits {
    using Handle = HICON;
    static Handle Invalid() { return nullptr; }
    static void Close(Handle h) { ::DestroyIcon(h); }
};
struct MenuTraits {
    using Handle = HMENU;
    static Handle Invalid() { return nullptr; }
    static void Close(Handle h) { ::DestroyMenu(h); }
};
struct ImageListTraits {
    using Handle = HIMAGELIST;
    static Handle Invalid() { return nullptr; }
    static void Close(Handle h) { ::ImageList_Destroy(h); }
};

using UniquePen = UniqueResource<GdiObjectTraits<HPEN>>;
using UniqueBrush = UniqueResource<GdiObjectTraits<HBRUSH>>;
using UniqueFont = UniqueResource<GdiObjectTraits<HFONT>>;
using UniqueBitmap = UniqueResource<GdiObjectTraits<HBITMAP>>;
using UniquePalette = UniqueResource<GdiObjectTraits<HPALETTE>>;
using UniqueIcon = UniqueResource<IconTraits>;
using UniqueMenu = UniqueResource<MenuTraits>;
using UniqueImageList = UniqueResource<ImageListTraits>;

// Selects an object into a DC for the life of the scope.
class SelectObjectScope {
public:
    SelectObjectScope(HDC dc, HGDIOBJ object) : m_dc(dc), m_old(object ? ::SelectObject(dc, object) : nullptr) {}
    ~SelectObjectScope() {
        if (m_old != nullptr) ::SelectObject(m_dc, m_old);
    }
    SelectObjectScope(const SelectObjectScope&) = delete;
    SelectObjectScope& operator=(const SelectObjectScope&) = delete;

private:
    HDC m_dc;
    HGDIOBJ m_old;
};

// Selects and realises a palette for the life of the scope.
class SelectPaletteScope {
public:
    SelectPaletteScope(HDC dc, HPALETTE palette, bool background = false)
        : m_dc(dc), m_old(palette ? ::SelectPalette(dc, palette, background) : nullptr) {
        if (palette != nullptr) ::RealizePalette(dc);
    }
    ~SelectPaletteScope() {
        if (m_old != nullptr) ::SelectPalette(m_dc, m_old, TRUE);
    }
    SelectPaletteScope(const SelectPaletteScope&) = delete;
    SelectPaletteScope& operator=(const SelectPaletteScope&) = delete;

private:
    HDC m_dc;
    HPALETTE m_old;
};

// BeginPaint/EndPaint for WM_PAINT.
class PaintDC {
public:
    explicit PaintDC(HWND window) : m_window(window), m_dc(::BeginPaint(window, &m_paint)) {}
    ~PaintDC() { ::EndPaint(m_window, &m_paint); }
    PaintDC(const PaintDC&) = delete;
    PaintDC& operator=(const PaintDC&) = delete;
    HDC Get() const { return m_dc; }
    const RECT& PaintRect() const { return m_paint.rcPaint; }

private:
    HWND m_window;
    PAINTSTRUCT m_paint{};
    HDC m_dc;
};

// GetDC/ReleaseDC (or GetWindowDC with whole = true).
class ClientDC {
public:
    explicit ClientDC(HWND window, bool whole = false)
        : m_window(window), m_dc(whole ? ::GetWindowDC(window) : ::GetDC(window)) {}
    ~ClientDC() {
        if (m_dc != nullptr) ::ReleaseDC(m_window, m_dc);
    }
    ClientDC(const ClientDC&) = delete;
    ClientDC& operator=(const ClientDC&) = delete;
    HDC Get() const { return m_dc; }
    explicit operator bool() const { return m_dc != nullptr; }

private:
    HWND m_window;
    HDC m_dc;
};

// A memory DC compatible with another.
class MemoryDC {
public:
    explicit MemoryDC(HDC compatible) : m_dc(::CreateCompatibleDC(compatible)) {}
    ~MemoryDC() {
        if (m_dc != nullptr) ::DeleteDC(m_dc);
    }
    MemoryDC(const MemoryDC&) = delete;
    MemoryDC& operator=(const MemoryDC&) = delete;
    HDC Get() const { return m_dc; }
    explicit operator bool() const { return m_dc != nullptr; }

private:
    HDC m_dc;
};

// Draws a bitmap at (x, y) with one colour left transparent.
bool DrawTransparentBitmap(HDC dc, HBITMAP bitmap, int x, int y, COLORREF transparent);
// A font of the given face and point size for a window's DC.
UniqueFont CreatePointFont(HWND window, int points, const wchar_t* face, BYTE charset = DEFAULT_CHARSET);
// Fills the rectangles right of and below a control's window rectangle (in
// the parent's client coordinates) with a drop shadow `depth` pixels deep.
void PaintDropShadow(HDC dc, HWND control, HBRUSH brush, int depth = 4);

}  // namespace kvr
