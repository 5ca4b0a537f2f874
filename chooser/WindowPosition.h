#pragma once
// Where the Chooser's windows were: "top:left:bottom:right" under the
// current user's Control Panel\Quelt Chooser.
#include <windows.h>

namespace kvr {

// Stores the window's rectangle; nothing (and success) while it is
// minimised or maximised.
bool SaveWindowPosition(HWND window, const wchar_t* valueName);

// Moves the window to the stored place, with the stored size when
// keepStoredSize is set, else with its current size; the result is fitted
// into the work area's right and bottom edges. False when nothing usable is
// stored.
bool RestoreWindowPosition(HWND window, const wchar_t* valueName, bool keepStoredSize);

// The fitting rule on its own: shifts (or, when too large, clamps) the
// rectangle so it does not pass the work area's right and bottom edges.
RECT FitIntoWorkArea(RECT window, const RECT& work);

}  // namespace kvr
