#pragma once
// Simulated remote access devices on loopback (rasim) with their SNMP agents
// on UDP 161, and the registry entries that lead the browsing library's
// discovery to them without a broadcast: the device-type catalogue, the
// lookup method and the known servers. The entries go under whatever
// HKEY_LOCAL_MACHINE is for this process (a scratch key or the real one).
#include <windows.h>

#include <memory>
#include <string>
#include <vector>

#include "ChildProcess.h"

namespace kvr::test {

// How long to wait for UDP 161 when another test run on this machine holds it.
inline constexpr DWORD kPortWaitMs = 90000;

// A simulated device: its name, loopback address, hardware type and ports.
struct SimDevice {
    std::wstring name;
    std::wstring address;  // 127.x.y.z
    int hardware = 12;
    std::vector<std::wstring> ports;
    std::wstring extra;  // more rasim options for this device
    int tcpPort = 0;     // where it serves the dial-out service; 0 = a free port
};

// The simulator with the given devices, their agents on UDP 161; the
// catalogue names hardware 12 "Rack Unit" (code RACK) and 14 "Remote Hub".
class SimulatedDevices {
public:
    // `defaults` are rasim options for every device (before the first --listen).
    explicit SimulatedDevices(const std::vector<SimDevice>& devices, const std::wstring& defaults = L"");
    // The same, tried again for up to waitMs while another program (another
    // test run on this machine) holds UDP 161.
    static std::unique_ptr<SimulatedDevices> StartWhenPortFree(const std::vector<SimDevice>& devices,
                                                               DWORD waitMs);
    bool Ready() const { return m_ready; }
    std::string Output() { return m_process ? m_process->Output() : std::string(); }
    // Waits until the simulator has printed the text.
    bool WaitFor(const std::string& text, int timeoutMs = 20000) {
        return m_process && m_process->WaitFor(text, timeoutMs);
    }

    // The catalogue and the settings that make discovery read the known servers.
    static void WriteCatalogue();
    static void SetLookupMethods(const std::wstring& methods);
    // A known server as the store writes it (TCP port 1549).
    static void AddKnownServer(const std::wstring& name, const std::wstring& address, const std::wstring& type);
    // The catalogue's name for the simulator's hardware types 12 and 14.
    static const wchar_t* TypeName(int hardware) { return hardware == 12 ? L"Rack Unit" : L"Remote Hub"; }

private:
    std::unique_ptr<ChildProcess> m_process;
    bool m_ready = false;
};

}  // namespace kvr::test
