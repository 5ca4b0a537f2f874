#pragma once
// Numbers the applet's windows share: the private messages between the port
// pages, the options page and the browse dialog, the help contexts, the
// network type texts and the sizes of the port tables.
#include <windows.h>

namespace kvr {

// Posted to the browse dialog: wParam the port 1..4 (0: none), lParam the page.
inline constexpr UINT kBrowseBindPort = WM_USER + 1;
// Posted to the browse dialog after the network type changed.
inline constexpr UINT kBrowseRefresh = WM_USER + 2;
// Posted to a port page when the browse dialog has gone.
inline constexpr UINT kPortBrowseClosed = WM_USER + 3;
// Posted to a port page: lParam the CDevice or CDevicePort to add.
inline constexpr UINT kPortAddSelection = WM_USER + 4;
// Posted to a port page: reload from the model.
inline constexpr UINT kPortReload = WM_USER + 5;

// A control's popup help context is this plus its id (a dialog's topic is
// the framework's kHelpResourceBase plus its template).
inline constexpr DWORD kControlHelpBase = 0x08000000;

// The network types as the model holds them.
inline constexpr wchar_t kNetworkIpx[] = L"IPX";
inline constexpr wchar_t kNetworkTcpIp[] = L"TCP/IP";
inline constexpr wchar_t kNetworkIpxSpx[] = L"IPX/SPX";  // as people name IPX

inline constexpr int kPortCount = 4;
// Entries a port's table holds, and rows its page shows.
inline constexpr int kMaxRedirections = 25;
inline constexpr int kMaxPortRows = 8;
inline constexpr DWORD kPortNameSize = 25;  // the DOS name buffer of a port

// Image numbers in the small and large image lists.
inline constexpr int kImageDevice = 0;
inline constexpr int kImagePortGroup = 1;
inline constexpr int kImageExpandedDevice = 2;
inline constexpr int kImageCommandShell = 3;
inline constexpr int kImageAllPorts = 4;

inline constexpr COLORREF kTransparentRed = RGB(255, 0, 0);

}  // namespace kvr
