#pragma once
// The whole dial-out path on this machine: a simulated device (rasim) on a
// loopback address, a port configured to reach it through the browsing
// library's store, and the service in console debug mode on a pipe of its own.
#include <winsock2.h>
#include <ws2tcpip.h>

#include <cstdio>
#include <cstring>
#include <memory>
#include <string>

#include "ChildProcess.h"
#include "KvrBrws.h"
#include "PortDriverClient.h"
#include "RegistryNames.h"

class DialOutRig {
public:
    // rasimOptions are added to the device's options (e.g. "--require-credentials").
    // serviceFolder runs the KVRSVC.EXE found there instead of the build's.
    explicit DialOutRig(const std::string& rasimOptions = "", const char* address = "127.0.0.2",
                        const wchar_t* serviceOptions = L"", const std::wstring& serviceFolder = L"") {
        // Port keys, pipes and device names of their own, so rigs of several
        // test programs can run side by side in one prefix.
        m_portIndex = static_cast<WORD>(1000 + (GetCurrentProcessId() * 13 + s_serial++ * 7) % 8000);
        m_deviceName = "Sim" + std::to_string(m_portIndex);
        m_pipeName = L"\\\\.\\pipe\\kvrrig" + std::to_wstring(m_portIndex);
        m_dosName = "Q" + std::to_string(m_portIndex % 1000);

        const std::string listen = std::string(address) + ":0";
        const std::string arguments = "--listen " + listen + " --device " + m_deviceName +
                                      " --port modem1 --user alice:secret " + rasimOptions;
        m_rasim = std::make_unique<ChildProcess>(L"rasim.exe", std::wstring(arguments.begin(), arguments.end()));
        if (!m_rasim->WaitFor("READY ")) return;
        const std::string output = m_rasim->Output();
        const auto colon = output.find(':', output.find("READY "));
        m_serverPort = static_cast<unsigned short>(std::stoi(output.substr(colon + 1)));

        SetGlobal(reg::kSilent, 1);
        SetGlobal(reg::kPasswordCaching, 0);
        Configure(address);

        const std::wstring program = serviceFolder.empty() ? L"KVRSVC.EXE" : serviceFolder + L"\\KVRSVC.EXE";
        m_service = std::make_unique<ChildProcess>(program, L"-debug -pipe " + m_pipeName + L" " + serviceOptions);
        m_ready = m_service->WaitFor("Listening on");
    }
    ~DialOutRig() {
        m_service.reset();
        m_rasim.reset();
        HLPSetPortRedirections(m_portIndex, nullptr, FALSE, 0, nullptr);
        RegDeleteTreeW(HKEY_LOCAL_MACHINE, PortKeyPath().c_str());
        const std::wstring server = std::wstring(reg::kTcpServersKey) + L"\\" +
                                    std::wstring(m_deviceName.begin(), m_deviceName.end());
        RegDeleteTreeW(HKEY_LOCAL_MACHINE, server.c_str());
    }
    DialOutRig(const DialOutRig&) = delete;
    DialOutRig& operator=(const DialOutRig&) = delete;

    bool Ready() const { return m_ready; }
    const std::wstring& PipeName() const { return m_pipeName; }
    // The DOS device name the port is configured under (it names the windows).
    std::wstring DosName() const { return std::wstring(m_dosName.begin(), m_dosName.end()); }
    std::wstring PortKey() const { return L"Dialout" + std::to_wstring(m_portIndex); }
    ChildProcess& Service() { return *m_service; }
    ChildProcess& Simulator() { return *m_rasim; }
    unsigned short SimulatorPort() const { return m_serverPort; }

    static void SetGlobal(const wchar_t* name, DWORD value) {
        HKEY key = nullptr;
        RegCreateKeyExW(HKEY_LOCAL_MACHINE, reg::kRezorivKey, 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key, nullptr);
        RegSetValueExW(key, name, 0, REG_DWORD, reinterpret_cast<const BYTE*>(&value), sizeof(value));
        RegCloseKey(key);
    }

    // Connects as the driver and opens the port; true once the open completed.
    bool Open(portdrv::PortDriverClient& client) {
        if (!client.Connect(m_pipeName, 10000) || !client.SendOpen(PortKey())) return false;
        const std::uint32_t expected[] = {portpipe::PipeOpenResult, portpipe::PipeModemStatus, portpipe::PipeLineStatus};
        for (std::uint32_t type : expected) {
            portdrv::Message m;
            if (client.Receive(m, 20000) != portdrv::ReadResult::Message || m.type != type) return false;
            if (type == portpipe::PipeOpenResult && m.payload[0] != 0) return false;
        }
        return true;
    }

private:
    std::wstring PortKeyPath() const { return std::wstring(reg::kPortsKey) + L"\\" + PortKey(); }

    void Configure(const char* address) {
        RedirectionRecord record{};
        record.device.transport = kTransportIp;
        std::snprintf(record.device.typeText, sizeof(record.device.typeText), "Simulated");
        std::snprintf(record.device.name, sizeof(record.device.name), "%s", m_deviceName.c_str());
        sockaddr_in server{};
        server.sin_family = AF_INET;
        server.sin_port = htons(m_serverPort);
        inet_pton(AF_INET, address, &server.sin_addr);
        std::memcpy(record.device.address, &server, sizeof(server));
        std::snprintf(record.portName, sizeof(record.portName), "modem1");
        m_configured = HLPSetPortRedirections(m_portIndex, m_dosName.c_str(), TRUE, 1, &record) == 0;
    }

    static inline int s_serial = 0;
    WORD m_portIndex = 0;
    std::string m_deviceName;
    std::string m_dosName;
    std::wstring m_pipeName;
    unsigned short m_serverPort = 0;
    bool m_configured = false;
    bool m_ready = false;
    std::unique_ptr<ChildProcess> m_rasim;
    std::unique_ptr<ChildProcess> m_service;
};
