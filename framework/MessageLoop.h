#pragma once
// The message loop of a thread that is not a framework thread (the Control
// Panel's, say). Modeless dialogs register a filter for their keyboard
// handling; a modal window runs the loop until it is done.
#include <windows.h>

#include "UIThread.h"

namespace kvr {

// Filters of the calling thread, asked in turn before a message is
// translated and dispatched.
void AddThreadMessageFilter(CMessageFilter* filter);
void RemoveThreadMessageFilter(CMessageFilter* filter);
bool PreTranslateThreadMessage(MSG& msg);

// Pumps messages until done() says so. Returns false when WM_QUIT arrived;
// it is posted again for the loop outside.
template <typename Done>
bool RunMessageLoop(Done done) {
    MSG msg;
    while (!done()) {
        const BOOL got = ::GetMessageW(&msg, nullptr, 0, 0);
        if (got == 0 || got == -1) {
            if (got == 0) ::PostQuitMessage(static_cast<int>(msg.wParam));
            return false;
        }
        if (PreTranslateThreadMessage(msg)) continue;
        ::TranslateMessage(&msg);
        ::DispatchMessageW(&msg);
    }
    return true;
}

}  // namespace kvr
