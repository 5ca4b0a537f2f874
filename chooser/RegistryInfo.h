#pragma once
// The Chooser's whole configuration in memory: the global options, the four
// ports' redirection lists and the devices they name. One routine,
// COptions::Exchange, moves every value between the model and the registry
// (the ports through the browsing library); the pages only change members
// and set the modified flag, and the sheet stores everything at once.
#include <windows.h>

#include <memory>
#include <string>
#include <vector>

#include "ChooserConstants.h"
#include "DeviceRecords.h"
#include "Object.h"

namespace kvr {

// A device some redirection names: its name, its address as texts and the
// 16-byte address field of its record.
class CRedirDevice : public CObject {
public:
    // Everything taken from a device record.
    static std::unique_ptr<CRedirDevice> FromRecord(const DeviceRecord& record);
    // Only the name and the address (what a stored entry gives).
    static std::unique_ptr<CRedirDevice> FromEntry(const std::wstring& name, const std::uint8_t address[16]);

    std::wstring m_strName;
    std::wstring m_strIpxNetwork, m_strIpxNode, m_strIpxSocket, m_strIpxExtra;
    std::wstring m_strIpAddress, m_strIpPort;
    BOOL m_bMarked = FALSE;
    std::uint8_t m_address[16] = {};
};

class CRedirDeviceArray : public CObject {
public:
    int GetSize() const { return static_cast<int>(m_items.size()); }
    CRedirDevice& operator[](int index) const { return *m_items[static_cast<std::size_t>(index)]; }
    void Add(std::unique_ptr<CRedirDevice> device) { m_items.push_back(std::move(device)); }
    void RemoveAt(int index) { m_items.erase(m_items.begin() + index); }

    // Deletes every element and sets the modified flag.
    void DeleteAll();
    // Index of the first element with that name (exact), or -1.
    int FindByName(const std::wstring& name) const;
    // Marks every element of that name; whether there was one.
    bool MarkByName(const std::wstring& name);
    void ClearMarks();
    // Deletes every unmarked element (setting the modified flag); whether any went.
    bool DeleteUnmarked();

    BOOL m_bModified = FALSE;

private:
    std::vector<std::unique_ptr<CRedirDevice>> m_items;
};

// One local port as the pages see it.
struct CPort {
    BOOL m_bRedirected = FALSE;
    std::wstring m_strServers;  // "server:type:group" elements joined by ","
};

enum class ExchangeMode { Load = 0, Check = 1, Store = 2, Default = 3 };

class COptions : public CObject {
    KVR_DECLARE_DYNCREATE(COptions)
public:
    COptions();

    // Moves every value in the mode's direction; 1 on success, 0 on a
    // registry failure, or the browsing library's error code.
    int Exchange(ExchangeMode mode, CRedirDeviceArray* devices);
    // Port n (1..4): its redirected flag and its text; false for other n.
    bool GetPort(int n, BOOL** redirected, std::wstring** servers);
    CPort& Port(int n) { return m_port[n - 1]; }
    // Empties port n (0: all four) and stores at once; Exchange's result.
    int ClearPorts(int n);
    // No port redirected and no port with a list.
    bool IsEmpty() const;

    // A port's configuration changed through the pages (so a save may store
    // it even when it could not be read).
    void MarkPortChanged(int n) { m_portChanged[n - 1] = true; }
    bool PortLoadFailed(int n) const { return m_portLoadFailed[n - 1]; }

    std::wstring m_strUsername;
    BOOL m_bNarrate = FALSE;
    std::wstring m_strTransport;
    BOOL m_bShowUsableOnly = TRUE;
    CPort m_port[kPortCount];
    std::wstring m_strIPLookupMethods;
    BOOL m_bShowModemDisplay = FALSE;
    DWORD m_nBuffer = 8;
    DWORD m_nReopen = 12000;
    BOOL m_bSilent = TRUE;
    DWORD m_nPasswordCaching = 3600000;
    char m_szPortName[kPortCount][kPortNameSize] = {};
    LONG m_nRedirCount[kPortCount] = {};
    RedirectionRecord m_redir[kPortCount][kMaxRedirections] = {};
    BOOL m_bModified = FALSE;

private:
    bool ExchangeGlobals(ExchangeMode mode);
    void LoadPorts(CRedirDeviceArray* devices);
    int StorePorts();

    bool m_portLoadFailed[kPortCount] = {};
    bool m_portChanged[kPortCount] = {};
};

class CRegistryInfo : public CObject {
    KVR_DECLARE_DYNCREATE(CRegistryInfo)
public:
    // COptions::Exchange in load mode with the device array.
    int Load();
    // Stores what changed. A failure keeps the flags set, shows what went
    // wrong (owned by `owner`) and returns false.
    bool SaveIfModified(HWND owner);

    COptions m_options;
    CRedirDeviceArray m_devices;
};

// "IPX" when this computer has IPX, else "TCP/IP".
std::wstring DefaultTransport();

}  // namespace kvr
