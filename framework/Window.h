#pragma once
// CWnd: an HWND and the object behind it. One static window procedure finds
// the object (stored in the window's user data at creation) and routes each
// message through the class's handler table, chained to the base class's.
#include <windows.h>

#include <string>

#include "Object.h"

namespace kvr {

class CWnd;

// Returns whether it handled the message; the result goes in `result`.
using WindowMessageHandler = bool (CWnd::*)(WPARAM wParam, LPARAM lParam, LRESULT& result);
// A command (menu item, accelerator, or a control's notification code).
using CommandHandler = void (CWnd::*)();
// A WM_NOTIFY notification; the return value is the message's result.
using NotifyHandler = LRESULT (CWnd::*)(NMHDR& header);

constexpr UINT kAnyCode = 0xFFFFFFFFu;

enum class HandlerKind : unsigned char { Message, Command, Notify };

struct WindowMessageEntry {
    UINT message;
    UINT code;  // WM_COMMAND or WM_NOTIFY notification code, or kAnyCode
    UINT id;    // control/command id, WM_TIMER/WM_SYSCOMMAND id, or kAnyCode
    WindowMessageHandler handler;  // of the kind below, stored in one form
    HandlerKind kind = HandlerKind::Message;
};

struct WindowMessageMap {
    const WindowMessageMap* (*pfnGetBaseMap)();
    const WindowMessageEntry* entries;  // ends with a null handler
};

#define KVR_DECLARE_MESSAGE_MAP()                                \
protected:                                                      \
    static const ::kvr::WindowMessageMap* GetThisMessageMap();  \
    const ::kvr::WindowMessageMap* GetMessageMap() const override;

#define KVR_BEGIN_MESSAGE_MAP(ThisClass, BaseClass)                                    \
    const ::kvr::WindowMessageMap* ThisClass::GetMessageMap() const {                  \
        return GetThisMessageMap();                                                    \
    }                                                                                  \
    const ::kvr::WindowMessageMap* ThisClass::GetThisMessageMap() {                    \
        using ThisClassT = ThisClass;                                                  \
        using BaseClassT = BaseClass;                                                  \
        static const ::kvr::WindowMessageEntry entries[] = {

#define KVR_ON_MESSAGE(message, memberFn) \
    {(message), ::kvr::kAnyCode, ::kvr::kAnyCode, static_cast<::kvr::WindowMessageHandler>(&ThisClassT::memberFn)},
#define KVR_ON_COMMAND(id, memberFn) \
    {WM_COMMAND, ::kvr::kAnyCode, (id), static_cast<::kvr::WindowMessageHandler>(&ThisClassT::memberFn)},
#define KVR_ON_TIMER(id, memberFn) \
    {WM_TIMER, ::kvr::kAnyCode, (id), static_cast<::kvr::WindowMessageHandler>(&ThisClassT::memberFn)},
#define KVR_ON_SYSCOMMAND(id, memberFn) \
    {WM_SYSCOMMAND, ::kvr::kAnyCode, (id), static_cast<::kvr::WindowMessageHandler>(&ThisClassT::memberFn)},

// Typed handlers: `void Handler()` for commands, `LRESULT Handler(NMHDR&)`
// for notifications.
#define KVR_ON_CONTROL(code, id, memberFn)                                                              \
    {WM_COMMAND, (code), (id),                                                                          \
     reinterpret_cast<::kvr::WindowMessageHandler>(static_cast<::kvr::CommandHandler>(&ThisClassT::memberFn)), \
     ::kvr::HandlerKind::Command},
// Any command with this id: menu items, accelerators, and button clicks.
#define KVR_ON_COMMAND_ID(id, memberFn) KVR_ON_CONTROL(::kvr::kAnyCode, id, memberFn)
#define KVR_ON_BN_CLICKED(id, memberFn) KVR_ON_CONTROL(BN_CLICKED, id, memberFn)
#define KVR_ON_NOTIFY(code, id, memberFn)                                                              \
    {WM_NOTIFY, static_cast<UINT>(code), (id),                                                         \
     reinterpret_cast<::kvr::WindowMessageHandler>(static_cast<::kvr::NotifyHandler>(&ThisClassT::memberFn)), \
     ::kvr::HandlerKind::Notify},

#define KVR_END_MESSAGE_MAP()                                                              \
    {0, 0, 0, nullptr, ::kvr::HandlerKind::Message}};                                                                   \
    static const ::kvr::WindowMessageMap map = {&BaseClassT::GetThisMessageMap, entries};  \
    return &map;                                                                           \
    }

class CWnd : public CObject {
    KVR_DECLARE_DYNAMIC(CWnd)
public:
    CWnd() = default;
    ~CWnd() override;
    CWnd(const CWnd&) = delete;
    CWnd& operator=(const CWnd&) = delete;

    HWND GetSafeHwnd() const { return m_hWnd; }
    bool IsWindow() const { return m_hWnd != nullptr && ::IsWindow(m_hWnd); }

    // Registers a window class whose procedure is the framework's.
    static bool RegisterWindowClass(HINSTANCE instance, LPCWSTR className, HICON icon, HCURSOR cursor,
                                    HBRUSH background);
    bool CreateEx(DWORD exStyle, HINSTANCE instance, LPCWSTR className, LPCWSTR title, DWORD style, int x,
                  int y, int width, int height, HWND parent);
    bool DestroyWindow();

    // Takes over an existing window (a control, or a window made by the
    // system) so its messages pass through this object's handler table
    // first; the window's own procedure handles the rest.
    bool SubclassWindow(HWND window);
    HWND UnsubclassWindow();

    HWND GetItem(int id) const { return ::GetDlgItem(m_hWnd, id); }
    LRESULT SendMessage(UINT message, WPARAM wParam = 0, LPARAM lParam = 0) const {
        return ::SendMessageW(m_hWnd, message, wParam, lParam);
    }
    bool PostMessage(UINT message, WPARAM wParam = 0, LPARAM lParam = 0) const {
        return ::PostMessageW(m_hWnd, message, wParam, lParam) != FALSE;
    }
    std::wstring GetWindowText() const;
    void SetWindowText(const std::wstring& text) const { ::SetWindowTextW(m_hWnd, text.c_str()); }

    bool SetTimer(UINT_PTR id, UINT milliseconds) { return ::SetTimer(m_hWnd, id, milliseconds, nullptr) != 0; }
    void KillTimer(UINT_PTR id) { ::KillTimer(m_hWnd, id); }

    HWND m_hWnd = nullptr;

protected:
    // Looks the message up in the handler tables, most derived first.
    bool RouteMessage(UINT message, WPARAM wParam, LPARAM lParam, LRESULT& result);
    virtual LRESULT DefaultProc(UINT message, WPARAM wParam, LPARAM lParam);
    // Last message the window gets; self-owned windows delete themselves here.
    virtual void PostNcDestroy() {}

    static const WindowMessageMap* GetThisMessageMap();
    virtual const WindowMessageMap* GetMessageMap() const;

private:
    static LRESULT CALLBACK WindowProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam);
    static LRESULT CALLBACK SubclassProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam);
    // Runs one handler of the table.
    bool CallHandler(const WindowMessageEntry& entry, WPARAM wParam, LPARAM lParam, LRESULT& result);

    WNDPROC m_superProc = nullptr;  // the procedure of a subclassed window
};

}  // namespace kvr
