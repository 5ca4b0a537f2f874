#pragma once
// The screenshot programs' side of their conversation with
// scripts/screenshots.sh: for every scene a line "SCENE <name> <left> <top>
// <right> <bottom>" (the window's screen rectangle), then a wait for a line
// on standard input while the script photographs the screen. The run ends
// with "DONE" or "FAILED <what>".
#include <windows.h>

#include <cstdio>

namespace kvr::shots {

constexpr DWORD kPaintWaitMs = 15000;

// Brings the window forward and has it painted (unless its thread is held
// and cannot paint), then prints its rectangle and waits for the go-ahead.
inline bool PresentScene(const char* name, HWND window, bool repaint = true) {
    if (repaint) {
        ::SetForegroundWindow(window);
        ::RedrawWindow(window, nullptr, nullptr, RDW_INVALIDATE | RDW_ERASE | RDW_FRAME | RDW_ALLCHILDREN | RDW_UPDATENOW);
        DWORD_PTR ignored = 0;
        ::SendMessageTimeoutW(window, WM_NULL, 0, 0, SMTO_ABORTIFHUNG, kPaintWaitMs, &ignored);
    }
    RECT r{};
    ::GetWindowRect(window, &r);
    std::printf("SCENE %s %ld %ld %ld %ld\n", name, r.left, r.top, r.right, r.bottom);
    std::fflush(stdout);
    char line[64];
    return std::fgets(line, sizeof line, stdin) != nullptr;
}

inline int Fail(const char* what) {
    std::printf("FAILED %s\n", what);
    std::fflush(stdout);
    return 1;
}

inline void Done() {
    std::printf("DONE\n");
    std::fflush(stdout);
}

}  // namespace kvr::shots
