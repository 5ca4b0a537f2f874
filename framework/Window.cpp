#include "Window.h"

namespace kvr {

KVR_IMPLEMENT_DYNAMIC(CWnd, CObject)

const WindowMessageMap* CWnd::GetThisMessageMap() {
    static const WindowMessageEntry entries[] = {{0, 0, 0, nullptr, HandlerKind::Message}};
    static const WindowMessageMap map = {nullptr, entries};
    return &map;
}

const WindowMessageMap* CWnd::GetMessageMap() const { return GetThisMessageMap(); }

CWnd::~CWnd() {
    if (m_superProc != nullptr) {
        UnsubclassWindow();
        return;
    }
    if (m_hWnd != nullptr && ::IsWindow(m_hWnd)) {
        // The object is going: the window must not reach it any more.
        ::SetWindowLongPtrW(m_hWnd, GWLP_USERDATA, 0);
        ::DestroyWindow(m_hWnd);
    }
}

bool CWnd::RegisterWindowClass(HINSTANCE instance, LPCWSTR className, HICON icon, HCURSOR cursor,
                               HBRUSH background) {
    WNDCLASSEXW wc{};
    if (::GetClassInfoExW(instance, className, &wc)) return true;
    wc = WNDCLASSEXW{};
    wc.cbSize = sizeof wc;
    wc.lpfnWndProc = &WindowProc;
    wc.hInstance = instance;
    wc.hIcon = icon;
    wc.hCursor = cursor;
    wc.hbrBackground = background;
    wc.lpszClassName = className;
    return ::RegisterClassExW(&wc) != 0 || ::GetLastError() == ERROR_CLASS_ALREADY_EXISTS;
}

bool CWnd::CreateEx(DWORD exStyle, HINSTANCE instance, LPCWSTR className, LPCWSTR title, DWORD style, int x,
                    int y, int width, int height, HWND parent) {
    return ::CreateWindowExW(exStyle, className, title, style, x, y, width, height, parent, nullptr, instance,
                             this) != nullptr;
}

bool CWnd::DestroyWindow() { return m_hWnd != nullptr && ::DestroyWindow(m_hWnd); }

namespace {
constexpr wchar_t kSubclassProperty[] = L"KvrSubclassedWnd";
}

std::wstring CWnd::GetWindowText() const {
    std::wstring text(static_cast<std::size_t>(::GetWindowTextLengthW(m_hWnd)) + 1, L'\0');
    text.resize(static_cast<std::size_t>(::GetWindowTextW(m_hWnd, text.data(), static_cast<int>(text.size()))));
    return text;
}

bool CWnd::SubclassWindow(HWND window) {
    if (window == nullptr || m_hWnd != nullptr || ::GetPropW(window, kSubclassProperty) != nullptr) return false;
    if (!::SetPropW(window, kSubclassProperty, this)) return false;
    ::SetLastError(ERROR_SUCCESS);
    const LONG_PTR previous = ::SetWindowLongPtrW(window, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(&SubclassProc));
    if (previous == 0 && ::GetLastError() != ERROR_SUCCESS) {
        // Not ours to take (another process's window, say): leave it as it was.
        ::RemovePropW(window, kSubclassProperty);
        return false;
    }
    m_superProc = reinterpret_cast<WNDPROC>(previous);
    m_hWnd = window;
    return true;
}

HWND CWnd::UnsubclassWindow() {
    if (m_superProc == nullptr || m_hWnd == nullptr) return nullptr;
    const HWND window = m_hWnd;
    ::SetWindowLongPtrW(window, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(m_superProc));
    ::RemovePropW(window, kSubclassProperty);
    m_superProc = nullptr;
    m_hWnd = nullptr;
    return window;
}

LRESULT CALLBACK CWnd::SubclassProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
    auto* self = static_cast<CWnd*>(::GetPropW(hwnd, kSubclassProperty));
    if (self == nullptr) return ::DefWindowProcW(hwnd, message, wParam, lParam);
    const WNDPROC super = self->m_superProc;
    LRESULT result = 0;
    try {
        if (!self->RouteMessage(message, wParam, lParam, result)) result = self->DefaultProc(message, wParam, lParam);
    } catch (...) {
        // Exceptions stop here: the system's code above us cannot unwind them.
        result = 0;
    }
    if (message == WM_NCDESTROY) {
        ::SetWindowLongPtrW(hwnd, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(super));
        ::RemovePropW(hwnd, kSubclassProperty);
        self->m_superProc = nullptr;
        self->m_hWnd = nullptr;
        self->PostNcDestroy();
    }
    return result;
}

bool CWnd::CallHandler(const WindowMessageEntry& entry, WPARAM wParam, LPARAM lParam, LRESULT& result) {
    switch (entry.kind) {
    case HandlerKind::Command:
        (this->*reinterpret_cast<CommandHandler>(entry.handler))();
        result = 0;
        return true;
    case HandlerKind::Notify:
        if (lParam == 0) return false;  // a WM_NOTIFY without its header
        result = (this->*reinterpret_cast<NotifyHandler>(entry.handler))(*reinterpret_cast<NMHDR*>(lParam));
        return true;
    case HandlerKind::Message: break;
    }
    return (this->*entry.handler)(wParam, lParam, result);
}

bool CWnd::RouteMessage(UINT message, WPARAM wParam, LPARAM lParam, LRESULT& result) {
    if (message == WM_NOTIFY && lParam != 0) {
        const auto* header = reinterpret_cast<const NMHDR*>(lParam);
        const UINT id = static_cast<UINT>(header->idFrom);
        for (const WindowMessageMap* map = GetMessageMap(); map != nullptr;
             map = map->pfnGetBaseMap ? map->pfnGetBaseMap() : nullptr)
            for (const WindowMessageEntry* e = map->entries; e->handler != nullptr; ++e)
                if (e->message == WM_NOTIFY && (e->id == kAnyCode || e->id == id) &&
                    (e->code == kAnyCode || e->code == header->code) && CallHandler(*e, wParam, lParam, result))
                    return true;
        return false;
    }
    const bool command = message == WM_COMMAND;
    const bool byId = command || message == WM_TIMER || message == WM_SYSCOMMAND;
    // The system's own commands (0xF000 and up) carry flags in their low four
    // bits; commands an application adds to the system menu do not.
    const bool systemCommand = message == WM_SYSCOMMAND && wParam >= 0xF000;
    const UINT id = command         ? LOWORD(wParam)
                    : systemCommand ? static_cast<UINT>(wParam & 0xFFF0)
                                    : static_cast<UINT>(wParam);
    const UINT code = command ? HIWORD(wParam) : kAnyCode;
    for (const WindowMessageMap* map = GetMessageMap(); map != nullptr;
         map = map->pfnGetBaseMap ? map->pfnGetBaseMap() : nullptr) {
        for (const WindowMessageEntry* e = map->entries; e->handler != nullptr; ++e) {
            if (e->message != message) continue;
            if (byId && e->id != kAnyCode && e->id != id) continue;
            if (command && e->code != kAnyCode && e->code != code) continue;
            if (CallHandler(*e, wParam, lParam, result)) return true;
        }
    }
    return false;
}

LRESULT CWnd::DefaultProc(UINT message, WPARAM wParam, LPARAM lParam) {
    if (m_superProc != nullptr) return ::CallWindowProcW(m_superProc, m_hWnd, message, wParam, lParam);
    return ::DefWindowProcW(m_hWnd, message, wParam, lParam);
}

LRESULT CALLBACK CWnd::WindowProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_NCCREATE) {
        // Made by someone else (a template's custom control, say): no object.
        if (auto* created = static_cast<CWnd*>(reinterpret_cast<CREATESTRUCTW*>(lParam)->lpCreateParams)) {
            created->m_hWnd = hwnd;
            ::SetWindowLongPtrW(hwnd, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(created));
        }
    }
    auto* self = reinterpret_cast<CWnd*>(::GetWindowLongPtrW(hwnd, GWLP_USERDATA));
    if (self == nullptr) return ::DefWindowProcW(hwnd, message, wParam, lParam);
    LRESULT result = 0;
    try {
        if (!self->RouteMessage(message, wParam, lParam, result))
            result = self->DefaultProc(message, wParam, lParam);
    } catch (...) {
        // Exceptions stop here: the system's code above us cannot unwind them.
        result = 0;
    }
    if (message == WM_NCDESTROY) {
        ::SetWindowLongPtrW(hwnd, GWLP_USERDATA, 0);
        self->m_hWnd = nullptr;
        self->PostNcDestroy();
    }
    return result;
}

}  // namespace kvr
