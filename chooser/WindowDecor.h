#pragma once
// What the applet's windows share in how they look and answer: the drop
// shadow's brush, statics drawn without a background, popup help for their
// listed controls, and where a context menu opened from the keyboard goes.
#include <windows.h>

#include <span>

#include "Gdi.h"

namespace kvr {

// A brush of the button-shadow colour.
UniqueBrush CreateShadowBrush();

// Answers WM_CTLCOLORSTATIC (or WM_CTLCOLORBTN): transparent text, no background.
bool TransparentStatic(WPARAM dc, LRESULT& result);

// A help request on one of the controls: their popup help in the help file.
void ShowControlPopupHelp(const HELPINFO& info, std::span<const int> controls);

// The screen point of WM_CONTEXTMENU; from the keyboard (Shift+F10, the menu
// key), 5 pixels right of and below the window's client origin.
POINT ContextMenuPoint(HWND window, LPARAM lParam);

// Tracks the first popup of a menu at the point, owned by the top-level window.
void TrackContextMenu(HMENU menu, POINT screen, HWND window);

}  // namespace kvr
