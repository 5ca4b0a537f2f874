#include "UiSupport.h"

#include <atomic>

#include "KvrAuthRes.h"
#include "Resources.h"

namespace kvr {

namespace {

std::atomic<CUIThreadObserver*> g_observer{nullptr};

// Lets an observer answer the library's message boxes.
class ObserverMessageBoxes : public CMessageBoxHook {
public:
    bool OnMessageBox(HWND, const std::wstring& text, const std::wstring& caption, UINT type,
                      int& answer) override {
        CUIThreadObserver* observer = g_observer;
        return observer != nullptr && observer->OnMessageBox(text.c_str(), caption.c_str(), type, answer);
    }
};
ObserverMessageBoxes g_observerMessageBoxes;

}  // namespace

void SetUIThreadObserver(CUIThreadObserver* observer) {
    g_observer = observer;
    SetMessageBoxHook(observer != nullptr ? &g_observerMessageBoxes : nullptr);
}
CUIThreadObserver* UIThreadObserver() { return g_observer; }

void NotifyDialogShown(UINT templateId, HWND dialog) {
    if (CUIThreadObserver* observer = g_observer) observer->OnDialogShown(templateId, dialog);
}

void NotifyDialogClosed(UINT templateId, const void* window) {
    if (CUIThreadObserver* observer = g_observer) observer->OnDialogClosed(templateId, window);
}

std::wstring HelpFilePath() { return WindowsDirectoryPath(LoadResString(IDS_HELP_FILE)); }

}  // namespace kvr
