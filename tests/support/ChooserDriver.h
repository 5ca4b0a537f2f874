#pragma once
// Drives KVRUI.CPL loaded into the test process the way a Control Panel
// host does: the applet runs on a thread of its own, and the test finds its
// windows and works them with messages, as a user would with the mouse.
#include <windows.h>
#include <commctrl.h>

#include <functional>
#include <string>
#include <thread>
#include <vector>

#include "DeviceRecords.h"

namespace kvr::test {

// KVRUI.CPL with its entry point, loaded for the life of the object.
class Applet {
public:
    Applet();
    ~Applet();
    Applet(const Applet&) = delete;
    Applet& operator=(const Applet&) = delete;
    explicit operator bool() const { return m_entry != nullptr; }
    LONG Call(UINT message, LPARAM param1 = 0, LPARAM param2 = 0, HWND window = nullptr) const;

private:
    HMODULE m_module = nullptr;
    LONG(APIENTRY* m_entry)(HWND, UINT, LPARAM, LPARAM) = nullptr;
};

// One opening of the Chooser: CPL_INIT, CPL_GETCOUNT, CPL_NEWINQUIRE and
// CPL_DBLCLK on a thread, then CPL_STOP and CPL_EXIT once the sheet closes.
class ChooserRun {
public:
    explicit ChooserRun(const Applet& applet);
    ~ChooserRun();  // closes what is still open and waits for the thread
    ChooserRun(const ChooserRun&) = delete;
    ChooserRun& operator=(const ChooserRun&) = delete;

    DWORD ThreadId() const { return m_threadId; }
    bool WaitFinished(DWORD milliseconds = 15000);
    LONG DoubleClickResult() const { return m_result; }

    // A visible top-level window of the applet's thread that matches.
    HWND WaitForWindow(const std::function<bool(HWND)>& match, DWORD milliseconds = 15000) const;
    HWND WaitForCaption(const std::wstring& caption, DWORD milliseconds = 15000) const;
    // The sheet ("Quelt Chooser").
    HWND WaitForSheet(DWORD milliseconds = 15000) const;
    // A message box with that caption; its text through MessageBoxText.
    HWND WaitForMessageBox(const std::wstring& caption, DWORD milliseconds = 15000) const;
    // Whether a window of that caption shows up within the time.
    bool Shows(const std::wstring& caption, DWORD milliseconds) const;

private:
    const Applet& m_applet;
    std::thread m_thread;
    DWORD m_threadId = 0;
    HANDLE m_started = nullptr;
    HANDLE m_finished = nullptr;
    LONG m_result = -1;
};

std::wstring WindowText(HWND window);
// The text of a message box (its static texts).
std::wstring MessageBoxText(HWND box);
// Answers a modal window with a command (posted: its loop ends on its own).
void Answer(HWND window, int command);
// A button press that may open a modal window (posted).
void PostClick(HWND dialog, int id);
// A button press handled at once (sent).
void SendClick(HWND dialog, int id);
// Waits until the condition holds, pumping nothing; false on time-out.
bool WaitUntil(const std::function<bool()>& condition, DWORD milliseconds = 10000);

// Sheet helpers.
HWND CurrentPage(HWND sheet);
void SelectPage(HWND sheet, int index);
int ActivePageIndex(HWND sheet);
int TabImage(HWND sheet, int index);
std::wstring TabText(HWND sheet, int index);

struct ListRow {
    std::wstring server, group, type;
    int image = -1;
    bool operator==(const ListRow&) const = default;
};
std::vector<ListRow> ListRows(HWND list);
void SelectRow(HWND list, int row);
// Drags row `from` onto row `to` with the mouse; without release the button
// stays down at `to`.
void DragRow(HWND list, int from, int to, bool release = true);
// Lets the mouse button go wherever the mouse is.
void ReleaseMouse();

// The port's store as the service reads it, through the browsing library.
struct StoredEntry {
    std::string name, type, portName;
    std::uint8_t address[16] = {};
};
struct StoredPort {
    long result = 0;
    std::string dosName;
    bool redirected = false;
    std::vector<StoredEntry> entries;
};
StoredPort ReadStoredPort(int index);
// Writes a port through the browsing library: entries of name, type, port
// name, IPv4 address (TCP port 1549).
struct SeedEntry {
    std::string name, type, portName;
    std::uint8_t ip[4] = {127, 0, 0, 1};
};
long SeedPort(int index, const char* dosName, bool redirected, const std::vector<SeedEntry>& entries);

// The browse dialog.
// Opens it from port p's page (1..4) and waits until its discovery has filled it.
HWND OpenBrowse(const ChooserRun& run, HWND sheet, int port);
// The texts of the items under parent (the devices for null).
std::vector<std::wstring> ItemTexts(HWND tree, HTREEITEM parent);
HTREEITEM FindItem(HWND tree, HTREEITEM parent, const std::wstring& text);
// Selects an item and double-clicks its label.
void DoubleClick(HWND tree, HTREEITEM item);
// Double-clicks a device and waits until it shows that many port groups;
// the device's item, or null.
HTREEITEM OpenDevice(HWND tree, const std::wstring& name, std::size_t groups);
bool IsExpanded(HWND tree, HTREEITEM item);
std::wstring StatusText(HWND browse);

// Holds the applet's thread when it is sent a message that matches, for as
// long as the caller needs: a window that lives only while the applet is
// busy (the discovery's progress window) stays on the screen meanwhile. The
// held thread handles nothing, so the caller must not send to its windows.
class MessagePause {
public:
    using Match = bool (*)(const CWPSTRUCT& message);
    MessagePause(DWORD threadId, Match match);
    ~MessagePause();  // lets the thread go on
    MessagePause(const MessagePause&) = delete;
    MessagePause& operator=(const MessagePause&) = delete;

    // Whether the thread reached the message within the time.
    bool WaitReached(DWORD milliseconds) const;
    // The window the message was sent to, once reached.
    HWND Window() const { return m_window; }
    void Release();

private:
    static LRESULT CALLBACK Hook(int code, WPARAM wParam, LPARAM lParam);

    static inline MessagePause* s_active = nullptr;
    Match m_match;
    HHOOK m_hook = nullptr;
    HANDLE m_reached = nullptr;
    HANDLE m_release = nullptr;
    bool m_fired = false;
    HWND m_window = nullptr;
};

// What a user does to send port p (1..4) through a device's port group: on
// the port's page Browse Network, open the device, add the group, close the
// browse dialog, tick Redirect and press OK. `shown` sees the window of each
// step ("port", "browse", "added") before the next, to photograph it.
// Returns what went wrong, or an empty text once the sheet has closed.
using StepShown = std::function<void(const char* step, HWND window)>;
std::string RedirectThroughChooser(const ChooserRun& run, const std::wstring& device, const std::wstring& group,
                                   int port, const StepShown& shown);

}  // namespace kvr::test
