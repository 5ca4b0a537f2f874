#include "ChooserDriver.h"

#include <cpl.h>
#include <prsht.h>

#include <cstring>

#include "ChooserRes.h"
#include "KvrBrws.h"

namespace kvr::test {

namespace {

constexpr DWORD kPollMs = 20;

struct FindContext {
    const std::function<bool(HWND)>* match;
    HWND found;
};

BOOL CALLBACK FindThreadWindow(HWND window, LPARAM param) {
    auto* context = reinterpret_cast<FindContext*>(param);
    if (::IsWindowVisible(window) && (*context->match)(window)) {
        context->found = window;
        return FALSE;
    }
    return TRUE;
}

BOOL CALLBACK CollectStatics(HWND child, LPARAM param) {
    wchar_t className[32] = {};
    ::GetClassNameW(child, className, 32);
    if (_wcsicmp(className, L"Static") == 0) {
        const std::wstring text = WindowText(child);
        if (!text.empty()) {
            auto* out = reinterpret_cast<std::wstring*>(param);
            if (!out->empty()) *out += L"\n";
            *out += text;
        }
    }
    return TRUE;
}

void MoveMouse(POINT screen, DWORD flags) {
    const int width = ::GetSystemMetrics(SM_CXSCREEN), height = ::GetSystemMetrics(SM_CYSCREEN);
    INPUT input{};
    input.type = INPUT_MOUSE;
    input.mi.dx = static_cast<LONG>((screen.x * 65535 + width / 2) / (width - 1));
    input.mi.dy = static_cast<LONG>((screen.y * 65535 + height / 2) / (height - 1));
    input.mi.dwFlags = MOUSEEVENTF_ABSOLUTE | MOUSEEVENTF_MOVE | flags;
    ::SendInput(1, &input, sizeof input);
}

POINT RowCentre(HWND list, int row) {
    RECT r{};
    r.left = LVIR_LABEL;
    ::SendMessageW(list, LVM_GETITEMRECT, static_cast<WPARAM>(row), reinterpret_cast<LPARAM>(&r));
    POINT p{(r.left + r.right) / 2, (r.top + r.bottom) / 2};
    ::ClientToScreen(list, &p);
    return p;
}

}  // namespace

Applet::Applet() {
    m_module = ::LoadLibraryW(L"KVRUI.CPL");
    if (m_module != nullptr)
        m_entry = reinterpret_cast<LONG(APIENTRY*)(HWND, UINT, LPARAM, LPARAM)>(
            reinterpret_cast<void*>(::GetProcAddress(m_module, "CPlApplet")));
}

Applet::~Applet() {
    if (m_module != nullptr) ::FreeLibrary(m_module);
}

LONG Applet::Call(UINT message, LPARAM param1, LPARAM param2, HWND window) const {
    return m_entry(window, message, param1, param2);
}

ChooserRun::ChooserRun(const Applet& applet) : m_applet(applet) {
    m_started = ::CreateEventW(nullptr, TRUE, FALSE, nullptr);
    m_finished = ::CreateEventW(nullptr, TRUE, FALSE, nullptr);
    m_thread = std::thread([this] {
        m_threadId = ::GetCurrentThreadId();
        ::SetEvent(m_started);
        if (m_applet.Call(CPL_INIT) != 0 && m_applet.Call(CPL_GETCOUNT) == 1) {
            NEWCPLINFOW info{};
            m_applet.Call(CPL_NEWINQUIRE, 0, reinterpret_cast<LPARAM>(&info));
            m_result = m_applet.Call(CPL_DBLCLK, 0, 0);
            m_applet.Call(CPL_STOP);
        }
        m_applet.Call(CPL_EXIT);
        ::SetEvent(m_finished);
    });
    ::WaitForSingleObject(m_started, 5000);
}

ChooserRun::~ChooserRun() {
    // Whatever a failed test left open goes, most recent first.
    for (int attempt = 0; attempt < 50 && ::WaitForSingleObject(m_finished, 0) != WAIT_OBJECT_0; ++attempt) {
        const HWND window = WaitForWindow([](HWND) { return true; }, 200);
        if (window != nullptr) ::PostMessageW(window, WM_COMMAND, IDCANCEL, 0);
        ::WaitForSingleObject(m_finished, 200);
    }
    if (m_thread.joinable()) {
        if (::WaitForSingleObject(m_finished, 10000) == WAIT_OBJECT_0)
            m_thread.join();
        else
            m_thread.detach();  // the test has failed already; do not hang the run
    }
    ::CloseHandle(m_started);
    ::CloseHandle(m_finished);
}

bool ChooserRun::WaitFinished(DWORD milliseconds) {
    return ::WaitForSingleObject(m_finished, milliseconds) == WAIT_OBJECT_0;
}

HWND ChooserRun::WaitForWindow(const std::function<bool(HWND)>& match, DWORD milliseconds) const {
    const DWORD start = ::GetTickCount();
    for (;;) {
        FindContext context{&match, nullptr};
        ::EnumThreadWindows(m_threadId, &FindThreadWindow, reinterpret_cast<LPARAM>(&context));
        if (context.found != nullptr) return context.found;
        if (::GetTickCount() - start >= milliseconds) return nullptr;
        ::Sleep(kPollMs);
    }
}

HWND ChooserRun::WaitForCaption(const std::wstring& caption, DWORD milliseconds) const {
    return WaitForWindow([&](HWND window) { return WindowText(window) == caption; }, milliseconds);
}

HWND ChooserRun::WaitForSheet(DWORD milliseconds) const {
    // The sheet has its tabs; the applet's message boxes share its caption.
    return WaitForWindow(
        [](HWND window) {
            return WindowText(window) == L"Quelt Chooser" &&
                   ::FindWindowExW(window, nullptr, WC_TABCONTROLW, nullptr) != nullptr;
        },
        milliseconds);
}

HWND ChooserRun::WaitForMessageBox(const std::wstring& caption, DWORD milliseconds) const {
    return WaitForWindow(
        [&](HWND window) {
            wchar_t className[16] = {};
            ::GetClassNameW(window, className, 16);
            // The system's message box: its text control is 100 under Wine, 0xFFFF on Windows.
            const HWND text = ::GetDlgItem(window, 100) ? ::GetDlgItem(window, 100) : ::GetDlgItem(window, 0xFFFF);
            wchar_t textClass[16] = {};
            if (text != nullptr) ::GetClassNameW(text, textClass, 16);
            return std::wstring(className) == L"#32770" && WindowText(window) == caption &&
                   _wcsicmp(textClass, L"Static") == 0;
        },
        milliseconds);
}

bool ChooserRun::Shows(const std::wstring& caption, DWORD milliseconds) const {
    return WaitForCaption(caption, milliseconds) != nullptr;
}

std::wstring WindowText(HWND window) {
    wchar_t text[2048] = {};
    ::SendMessageTimeoutW(window, WM_GETTEXT, 2048, reinterpret_cast<LPARAM>(text), SMTO_ABORTIFHUNG, 5000, nullptr);
    return text;
}

std::wstring MessageBoxText(HWND box) {
    std::wstring text;
    ::EnumChildWindows(box, &CollectStatics, reinterpret_cast<LPARAM>(&text));
    return text;
}

void Answer(HWND window, int command) { ::PostMessageW(window, WM_COMMAND, MAKEWPARAM(command, BN_CLICKED), 0); }

void PostClick(HWND dialog, int id) {
    ::PostMessageW(dialog, WM_COMMAND, MAKEWPARAM(id, BN_CLICKED), reinterpret_cast<LPARAM>(::GetDlgItem(dialog, id)));
}

void SendClick(HWND dialog, int id) { ::SendMessageW(::GetDlgItem(dialog, id), BM_CLICK, 0, 0); }

bool WaitUntil(const std::function<bool()>& condition, DWORD milliseconds) {
    const DWORD start = ::GetTickCount();
    while (!condition()) {
        if (::GetTickCount() - start >= milliseconds) return false;
        ::Sleep(kPollMs);
    }
    return true;
}

HWND CurrentPage(HWND sheet) {
    return reinterpret_cast<HWND>(::SendMessageW(sheet, PSM_GETCURRENTPAGEHWND, 0, 0));
}

void SelectPage(HWND sheet, int index) { ::SendMessageW(sheet, PSM_SETCURSEL, static_cast<WPARAM>(index), 0); }

int ActivePageIndex(HWND sheet) {
    const HWND tab = reinterpret_cast<HWND>(::SendMessageW(sheet, PSM_GETTABCONTROL, 0, 0));
    return static_cast<int>(::SendMessageW(tab, TCM_GETCURSEL, 0, 0));
}

int TabImage(HWND sheet, int index) {
    const HWND tab = reinterpret_cast<HWND>(::SendMessageW(sheet, PSM_GETTABCONTROL, 0, 0));
    TCITEMW item{};
    item.mask = TCIF_IMAGE;
    return ::SendMessageW(tab, TCM_GETITEMW, static_cast<WPARAM>(index), reinterpret_cast<LPARAM>(&item))
               ? item.iImage
               : -2;
}

std::wstring TabText(HWND sheet, int index) {
    const HWND tab = reinterpret_cast<HWND>(::SendMessageW(sheet, PSM_GETTABCONTROL, 0, 0));
    wchar_t text[64] = {};
    TCITEMW item{};
    item.mask = TCIF_TEXT;
    item.pszText = text;
    item.cchTextMax = 64;
    ::SendMessageW(tab, TCM_GETITEMW, static_cast<WPARAM>(index), reinterpret_cast<LPARAM>(&item));
    return text;
}

std::vector<ListRow> ListRows(HWND list) {
    std::vector<ListRow> rows;
    const int count = static_cast<int>(::SendMessageW(list, LVM_GETITEMCOUNT, 0, 0));
    for (int row = 0; row < count; ++row) {
        ListRow out;
        std::wstring* columns[] = {&out.server, &out.group, &out.type};
        for (int column = 0; column < 3; ++column) {
            wchar_t text[512] = {};
            LVITEMW item{};
            item.iSubItem = column;
            item.pszText = text;
            item.cchTextMax = 512;
            ::SendMessageW(list, LVM_GETITEMTEXTW, static_cast<WPARAM>(row), reinterpret_cast<LPARAM>(&item));
            *columns[column] = text;
        }
        LVITEMW image{};
        image.mask = LVIF_IMAGE;
        image.iItem = row;
        ::SendMessageW(list, LVM_GETITEMW, 0, reinterpret_cast<LPARAM>(&image));
        out.image = image.iImage;
        rows.push_back(out);
    }
    return rows;
}

void SelectRow(HWND list, int row) {
    LVITEMW item{};
    item.stateMask = LVIS_SELECTED | LVIS_FOCUSED;
    item.state = row >= 0 ? LVIS_SELECTED | LVIS_FOCUSED : 0;
    ::SendMessageW(list, LVM_SETITEMSTATE, static_cast<WPARAM>(row), reinterpret_cast<LPARAM>(&item));
}

void DragRow(HWND list, int from, int to, bool release) {
    ::SetForegroundWindow(::GetAncestor(list, GA_ROOT));
    const POINT start = RowCentre(list, from), end = RowCentre(list, to);
    MoveMouse(start, 0);
    ::Sleep(50);
    MoveMouse(start, MOUSEEVENTF_LEFTDOWN);
    ::Sleep(50);
    constexpr int kSteps = 10;
    for (int i = 1; i <= kSteps; ++i) {
        MoveMouse(POINT{start.x + (end.x - start.x) * i / kSteps, start.y + (end.y - start.y) * i / kSteps}, 0);
        ::Sleep(30);
    }
    if (release) {
        MoveMouse(end, MOUSEEVENTF_LEFTUP);
        ::Sleep(100);
    }
}

void ReleaseMouse() {
    INPUT input{};
    input.type = INPUT_MOUSE;
    input.mi.dwFlags = MOUSEEVENTF_LEFTUP;
    ::SendInput(1, &input, sizeof input);
    ::Sleep(100);
}

StoredPort ReadStoredPort(int index) {
    StoredPort port;
    LONG count = 0;
    port.result = HLPGetNumberPortRedirections(static_cast<WORD>(index), &count);
    if (port.result != 0) return port;
    std::vector<RedirectionRecord> records(static_cast<std::size_t>(count > 0 ? count : 1));
    char dosName[25] = {};
    BOOL redirected = FALSE;
    port.result = HLPGetPortRedirections(static_cast<WORD>(index), dosName, &redirected, sizeof dosName, &count,
                                         records.data());
    port.dosName = dosName;
    port.redirected = redirected != FALSE;
    for (LONG i = 0; i < count && i < static_cast<LONG>(records.size()); ++i) {
        StoredEntry entry;
        entry.name = records[static_cast<std::size_t>(i)].device.name;
        entry.type = records[static_cast<std::size_t>(i)].device.typeText;
        entry.portName = records[static_cast<std::size_t>(i)].portName;
        std::memcpy(entry.address, records[static_cast<std::size_t>(i)].device.address, 16);
        port.entries.push_back(entry);
    }
    return port;
}

long SeedPort(int index, const char* dosName, bool redirected, const std::vector<SeedEntry>& entries) {
    std::vector<RedirectionRecord> records(entries.size());
    for (std::size_t i = 0; i < entries.size(); ++i) {
        RedirectionRecord& r = records[i];
        std::memset(&r, 0, sizeof r);
        r.device.transport = kTransportIp;
        std::strncpy(r.device.typeText, entries[i].type.c_str(), sizeof r.device.typeText - 1);
        std::strncpy(r.device.name, entries[i].name.c_str(), sizeof r.device.name - 1);
        const std::uint8_t address[8] = {2, 0, 0x06, 0x0D, entries[i].ip[0], entries[i].ip[1], entries[i].ip[2],
                                         entries[i].ip[3]};
        std::memcpy(r.device.address, address, sizeof address);
        std::strncpy(r.portName, entries[i].portName.c_str(), sizeof r.portName - 1);
    }
    return HLPSetPortRedirections(static_cast<WORD>(index), dosName, redirected, static_cast<LONG>(records.size()),
                                  records.empty() ? nullptr : records.data());
}

HWND OpenBrowse(const ChooserRun& run, HWND sheet, int port) {
    SelectPage(sheet, port - 1);
    PostClick(CurrentPage(sheet), IDC_BROWSE_NETWORK);
    const HWND browse = run.WaitForCaption(L"Browsing Quelt Devices", 30000);
    // Populated once Close is enabled again.
    if (browse != nullptr)
        WaitUntil([&] { return ::IsWindowEnabled(::GetDlgItem(browse, IDCANCEL)) != FALSE; }, 30000);
    return browse;
}

namespace {

HTREEITEM FirstChild(HWND tree, HTREEITEM parent) {
    return reinterpret_cast<HTREEITEM>(::SendMessageW(tree, TVM_GETNEXTITEM, parent ? TVGN_CHILD : TVGN_ROOT,
                                                      reinterpret_cast<LPARAM>(parent)));
}

HTREEITEM NextSibling(HWND tree, HTREEITEM item) {
    return reinterpret_cast<HTREEITEM>(::SendMessageW(tree, TVM_GETNEXTITEM, TVGN_NEXT, reinterpret_cast<LPARAM>(item)));
}

std::wstring ItemText(HWND tree, HTREEITEM item) {
    wchar_t text[256] = {};
    TVITEMW info{};
    info.mask = TVIF_TEXT;
    info.hItem = item;
    info.pszText = text;
    info.cchTextMax = 256;
    ::SendMessageW(tree, TVM_GETITEMW, 0, reinterpret_cast<LPARAM>(&info));
    return text;
}

}  // namespace

std::vector<std::wstring> ItemTexts(HWND tree, HTREEITEM parent) {
    std::vector<std::wstring> texts;
    for (HTREEITEM item = FirstChild(tree, parent); item != nullptr; item = NextSibling(tree, item))
        texts.push_back(ItemText(tree, item));
    return texts;
}

HTREEITEM FindItem(HWND tree, HTREEITEM parent, const std::wstring& text) {
    for (HTREEITEM item = FirstChild(tree, parent); item != nullptr; item = NextSibling(tree, item))
        if (ItemText(tree, item) == text) return item;
    return nullptr;
}

void DoubleClick(HWND tree, HTREEITEM item) {
    ::SendMessageW(tree, TVM_SELECTITEM, TVGN_CARET, reinterpret_cast<LPARAM>(item));
    RECT r{};
    std::memcpy(&r, &item, sizeof item);  // the item goes in, its rectangle comes out
    ::SendMessageW(tree, TVM_GETITEMRECT, TRUE, reinterpret_cast<LPARAM>(&r));
    const LPARAM point = MAKELPARAM((r.left + r.right) / 2, (r.top + r.bottom) / 2);
    ::PostMessageW(tree, WM_LBUTTONDBLCLK, MK_LBUTTON, point);
    ::PostMessageW(tree, WM_LBUTTONUP, 0, point);
}

HTREEITEM OpenDevice(HWND tree, const std::wstring& name, std::size_t groups) {
    const HTREEITEM device = FindItem(tree, nullptr, name);
    if (device == nullptr) return nullptr;
    DoubleClick(tree, device);
    return WaitUntil([&] { return ItemTexts(tree, device).size() == groups; }, 30000) ? device : nullptr;
}

bool IsExpanded(HWND tree, HTREEITEM item) {
    return (::SendMessageW(tree, TVM_GETITEMSTATE, reinterpret_cast<WPARAM>(item), TVIS_EXPANDED) & TVIS_EXPANDED) != 0;
}

std::wstring StatusText(HWND browse) {
    const HWND bar = ::GetDlgItem(browse, IDC_STATUS_BAR);
    wchar_t text[256] = {};
    ::SendMessageW(bar, SB_GETTEXTW, 0, reinterpret_cast<LPARAM>(text));
    return text;
}

MessagePause::MessagePause(DWORD threadId, Match match) : m_match(match) {
    m_reached = ::CreateEventW(nullptr, TRUE, FALSE, nullptr);
    m_release = ::CreateEventW(nullptr, TRUE, FALSE, nullptr);
    s_active = this;
    m_hook = ::SetWindowsHookExW(WH_CALLWNDPROC, &MessagePause::Hook, nullptr, threadId);
}

MessagePause::~MessagePause() {
    Release();
    if (m_hook != nullptr) ::UnhookWindowsHookEx(m_hook);
    s_active = nullptr;
    ::CloseHandle(m_reached);
    ::CloseHandle(m_release);
}

bool MessagePause::WaitReached(DWORD milliseconds) const {
    return m_hook != nullptr && ::WaitForSingleObject(m_reached, milliseconds) == WAIT_OBJECT_0;
}

void MessagePause::Release() { ::SetEvent(m_release); }

LRESULT CALLBACK MessagePause::Hook(int code, WPARAM wParam, LPARAM lParam) {
    MessagePause* pause = s_active;
    if (code == HC_ACTION && pause != nullptr && !pause->m_fired &&
        pause->m_match(*reinterpret_cast<const CWPSTRUCT*>(lParam))) {
        pause->m_fired = true;
        pause->m_window = reinterpret_cast<const CWPSTRUCT*>(lParam)->hwnd;
        ::SetEvent(pause->m_reached);
        // A wait of the message kind: Wine puts what the thread has painted on
        // the screen before such a wait, and the picture needs it there. No
        // message wakes it. Bounded: a caller that never lets go must not hang
        // the applet for good.
        ::MsgWaitForMultipleObjects(1, &pause->m_release, FALSE, 60000, 0);
    }
    return ::CallNextHookEx(nullptr, code, wParam, lParam);
}

std::string RedirectThroughChooser(const ChooserRun& run, const std::wstring& device, const std::wstring& group,
                                   int port, const StepShown& shown) {
    const HWND sheet = run.WaitForSheet();
    if (sheet == nullptr) return "the Chooser did not open";
    SelectPage(sheet, port - 1);
    const HWND page = CurrentPage(sheet);
    const HWND list = ::GetDlgItem(page, IDC_PORT_LIST);
    shown("port", sheet);

    const HWND browse = OpenBrowse(run, sheet, port);
    if (browse == nullptr) return "the browse dialog did not open";
    const HWND tree = ::GetDlgItem(browse, IDC_TREE);
    const HTREEITEM deviceItem = FindItem(tree, nullptr, device);
    if (deviceItem == nullptr) return "discovery did not find the device";
    DoubleClick(tree, deviceItem);
    HTREEITEM groupItem = nullptr;
    if (!WaitUntil([&] { return (groupItem = FindItem(tree, deviceItem, group)) != nullptr; }, 30000))
        return "the device did not list the port group";
    WaitUntil([&] { return IsExpanded(tree, deviceItem); });
    ::SendMessageW(tree, TVM_SELECTITEM, TVGN_CARET, reinterpret_cast<LPARAM>(groupItem));
    shown("browse", browse);

    const std::size_t rowsBefore = ListRows(list).size();
    PostClick(browse, IDC_ADD_SELECTION);
    if (!WaitUntil([&] { return ListRows(list).size() == rowsBefore + 1; })) return "the port group was not added";
    Answer(browse, IDCANCEL);
    if (!WaitUntil([&] { return !::IsWindow(browse); })) return "the browse dialog did not close";
    if (::IsDlgButtonChecked(page, IDC_REDIRECT) != BST_CHECKED) SendClick(page, IDC_REDIRECT);
    shown("added", sheet);

    Answer(sheet, IDOK);
    if (!WaitUntil([&] { return !::IsWindow(sheet); }, 15000)) return "the sheet did not close on OK";
    return std::string();
}

}  // namespace kvr::test
