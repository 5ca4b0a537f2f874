#include "PropertySheet.h"

#include "Application.h"
#include "MessageLoop.h"

namespace kvr {

KVR_IMPLEMENT_DYNAMIC(CPropertyPage, CDialog)
KVR_IMPLEMENT_DYNAMIC(CPropertySheet, CWnd)

namespace {
// The sheet being made on this thread, for its creation callback.
thread_local CPropertySheet* t_sheetInCreation = nullptr;

// The style of a dialog template in memory, in either of its two forms (the
// extended one starts with version 1 and the signature 0xFFFF, and has its
// help id and extended style before the style).
DWORD& TemplateStyle(void* dialogTemplate) {
    auto* words = static_cast<WORD*>(dialogTemplate);
    if (words[1] == 0xFFFF) return *reinterpret_cast<DWORD*>(words + 6);
    return static_cast<DLGTEMPLATE*>(dialogTemplate)->style;
}

// What a page that failed answers: it is not entered, not left, its changes
// are not taken; a cancel goes ahead.
LRESULT Refusal(UINT code) {
    switch (code) {
    case PSN_SETACTIVE: return -1;
    case PSN_KILLACTIVE: return TRUE;
    case PSN_APPLY: return PSNRET_INVALID_NOCHANGEPAGE;
    default: return 0;
    }
}
}  // namespace

CPropertyPage::CPropertyPage(HINSTANCE instance, UINT templateId) : CDialog(instance, templateId) {}

PROPSHEETPAGEW CPropertyPage::MakePage() {
    PROPSHEETPAGEW page{};
    page.dwSize = sizeof page;
    page.dwFlags = m_hasHelp ? PSP_HASHELP : PSP_DEFAULT;
    page.hInstance = m_instance;
    page.pszTemplate = MAKEINTRESOURCEW(TemplateId());
    page.pfnDlgProc = &PageProc;
    page.lParam = reinterpret_cast<LPARAM>(this);
    return page;
}

void CPropertyPage::SetModified(bool modified) {
    const HWND sheet = SheetWindow();
    if (sheet == nullptr) return;
    ::SendMessageW(sheet, modified ? PSM_CHANGED : PSM_UNCHANGED, reinterpret_cast<WPARAM>(m_hWnd), 0);
}

void CPropertyPage::OnHelp() {
    if (const CWinApp* app = CWinApp::Get()) app->WinHelp(m_hWnd, HELP_CONTEXT, kHelpResourceBase + TemplateId());
}

INT_PTR CALLBACK CPropertyPage::PageProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_INITDIALOG)
        Attach(reinterpret_cast<CPropertyPage*>(reinterpret_cast<PROPSHEETPAGEW*>(lParam)->lParam), hwnd);
    return HandleDialogMessage(reinterpret_cast<CDialog*>(::GetWindowLongPtrW(hwnd, DWLP_USER)), hwnd, message,
                               wParam, lParam);
}

INT_PTR CPropertyPage::Dispatch(UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_NOTIFY) {
        const auto* header = reinterpret_cast<const NMHDR*>(lParam);
        if (header->hwndFrom == SheetWindow()) {
            LRESULT result = 0;
            bool known = true;
            try {
                switch (header->code) {
                case PSN_SETACTIVE: result = OnSetActive() ? 0 : -1; break;
                case PSN_KILLACTIVE: result = OnKillActive() ? FALSE : TRUE; break;
                case PSN_APPLY: result = OnApply() ? PSNRET_NOERROR : PSNRET_INVALID_NOCHANGEPAGE; break;
                case PSN_RESET: OnReset(); break;
                case PSN_QUERYCANCEL: result = OnQueryCancel() ? FALSE : TRUE; break;
                case PSN_HELP: OnHelp(); break;
                default: known = false; break;
                }
            } catch (...) {
                // Stopped here rather than at the dialog procedure, whose
                // "not handled" the sheet would read as agreement.
                result = Refusal(header->code);
            }
            if (known) {
                ::SetWindowLongPtrW(m_hWnd, DWLP_MSGRESULT, result);
                return TRUE;
            }
        }
    }
    return CDialog::Dispatch(message, wParam, lParam);
}

KVR_BEGIN_MESSAGE_MAP(CPropertySheet, CWnd)
KVR_ON_MESSAGE(WM_COMMAND, OnCommandMessage)
KVR_ON_MESSAGE(PSM_PRESSBUTTON, OnPressButton)
KVR_END_MESSAGE_MAP()

CPropertySheet::CPropertySheet(HINSTANCE instance, std::wstring caption, UINT startPage)
    : m_instance(instance), m_caption(std::move(caption)), m_startPage(startPage) {}

CPropertySheet::~CPropertySheet() {
    if (m_registered) RemoveThreadMessageFilter(this);
    if (m_hWnd != nullptr && ::IsWindow(m_hWnd)) {
        const HWND window = m_hWnd;
        UnsubclassWindow();
        ::DestroyWindow(window);
    }
}

int CPropertySheet::GetPageIndex(const CPropertyPage* page) const {
    for (std::size_t i = 0; i < m_pages.size(); ++i)
        if (m_pages[i] == page) return static_cast<int>(i);
    return -1;
}

HWND CPropertySheet::GetTabControl() const {
    return m_hWnd ? reinterpret_cast<HWND>(::SendMessageW(m_hWnd, PSM_GETTABCONTROL, 0, 0)) : nullptr;
}

int CPropertySheet::GetActiveIndex() const {
    const HWND tab = GetTabControl();
    return tab ? static_cast<int>(::SendMessageW(tab, TCM_GETCURSEL, 0, 0)) : -1;
}

bool CPropertySheet::SetActivePage(int index) {
    return m_hWnd != nullptr && ::SendMessageW(m_hWnd, PSM_SETCURSEL, static_cast<WPARAM>(index), 0) != 0;
}

int CALLBACK CPropertySheet::SheetCallback(HWND hwnd, UINT message, LPARAM lParam) {
    // Made hidden: DoModal shows it once OnInitSheet has set it up.
    if (message == PSCB_PRECREATE && lParam != 0) TemplateStyle(reinterpret_cast<void*>(lParam)) &= ~WS_VISIBLE;
    // This comes before the sheet makes its first page.
    if (message == PSCB_INITIALIZED && t_sheetInCreation != nullptr) {
        CPropertySheet* self = t_sheetInCreation;
        t_sheetInCreation = nullptr;
        self->SubclassWindow(hwnd);
    }
    return 0;
}

INT_PTR CPropertySheet::DoModal(HWND owner) {
    std::vector<PROPSHEETPAGEW> pages;
    pages.reserve(m_pages.size());
    for (CPropertyPage* page : m_pages) pages.push_back(page->MakePage());

    PROPSHEETHEADERW header{};
    header.dwSize = sizeof header;
    header.dwFlags = PSH_PROPSHEETPAGE | PSH_MODELESS | PSH_USECALLBACK | m_extraFlags;
    header.hwndParent = owner;
    header.hInstance = m_instance;
    header.pszCaption = m_caption.c_str();
    header.nPages = static_cast<UINT>(pages.size());
    header.nStartPage = m_startPage;
    header.ppsp = pages.data();
    header.pfnCallback = &SheetCallback;

    m_result = IDCANCEL;
    t_sheetInCreation = this;
    const auto created = ::PropertySheetW(&header);
    t_sheetInCreation = nullptr;
    const HWND sheet = reinterpret_cast<HWND>(created);
    // A sheet none of whose pages could be made has no current page.
    if (created == -1 || created == 0 || sheet == nullptr || m_hWnd != sheet ||
        ::SendMessageW(sheet, PSM_GETCURRENTPAGEHWND, 0, 0) == 0) {
        if (sheet != nullptr && created != -1 && ::IsWindow(sheet)) ::DestroyWindow(sheet);
        return -1;
    }
    try {
        OnInitSheet();
    } catch (...) {
        // Exceptions stop here, as in a window procedure.
    }
    ::ShowWindow(m_hWnd, SW_SHOW);
    const bool ownerWasEnabled = owner != nullptr && !::EnableWindow(owner, FALSE);
    AddThreadMessageFilter(this);
    m_registered = true;
    // OK and Cancel leave the sheet without a current page; that ends it.
    RunMessageLoop([this] {
        return m_hWnd == nullptr || ::SendMessageW(m_hWnd, PSM_GETCURRENTPAGEHWND, 0, 0) == 0;
    });
    RemoveThreadMessageFilter(this);
    m_registered = false;
    if (ownerWasEnabled) ::EnableWindow(owner, TRUE);
    if (m_hWnd != nullptr) ::DestroyWindow(m_hWnd);
    if (owner != nullptr) ::SetActiveWindow(owner);
    return m_result;
}

// OK ends the sheet only when every page took its changes; otherwise the
// sheet stays open and whatever ends it later (Cancel, Escape, the close
// box) leaves the result at IDCANCEL.
bool CPropertySheet::OnCommandMessage(WPARAM wParam, LPARAM lParam, LRESULT& result) {
    if (LOWORD(wParam) != IDOK) return false;
    result = DefaultProc(WM_COMMAND, wParam, lParam);
    NoteWhetherOkEnded();
    return true;
}

bool CPropertySheet::OnPressButton(WPARAM wParam, LPARAM lParam, LRESULT& result) {
    if (wParam != PSBTN_OK) return false;
    result = DefaultProc(PSM_PRESSBUTTON, wParam, lParam);
    NoteWhetherOkEnded();
    return true;
}

void CPropertySheet::NoteWhetherOkEnded() {
    if (m_hWnd != nullptr && SendMessage(PSM_GETCURRENTPAGEHWND) == 0) m_result = IDOK;
}

LRESULT CPropertySheet::DefaultProc(UINT message, WPARAM wParam, LPARAM lParam) {
    return CWnd::DefaultProc(message, wParam, lParam);
}

bool CPropertySheet::PreTranslateMessage(MSG& msg) {
    return m_hWnd != nullptr && ::SendMessageW(m_hWnd, PSM_ISDIALOGMESSAGE, 0, reinterpret_cast<LPARAM>(&msg)) != 0;
}

}  // namespace kvr
