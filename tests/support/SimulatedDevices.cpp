#include "SimulatedDevices.h"

#include <cstdint>
#include <cstdio>

#include "RegistryNames.h"
#include "ScratchRegistry.h"

namespace kvr::test {

SimulatedDevices::SimulatedDevices(const std::vector<SimDevice>& devices, const std::wstring& defaults) {
    std::wstring arguments = defaults + L" --snmp-port 161";
    for (const SimDevice& d : devices) {
        arguments += L" --listen " + d.address + L":" + std::to_wstring(d.tcpPort) + L" --device " + d.name +
                     L" --hardware " + std::to_wstring(d.hardware);
        for (const std::wstring& port : d.ports) arguments += L" --port " + port;
        if (!d.extra.empty()) arguments += L" " + d.extra;
    }
    m_process = std::make_unique<ChildProcess>(L"rasim.exe", arguments);
    const std::wstring& last = devices.back().address;
    m_ready = m_process->Started() && m_process->WaitFor("SNMP-READY " + std::string(last.begin(), last.end()) + ":161");
}

std::unique_ptr<SimulatedDevices> SimulatedDevices::StartWhenPortFree(const std::vector<SimDevice>& devices,
                                                                     DWORD waitMs) {
    constexpr DWORD kRetryMs = 2000;
    const DWORD start = ::GetTickCount();
    for (;;) {
        auto started = std::make_unique<SimulatedDevices>(devices);
        if (started->Ready() || ::GetTickCount() - start >= waitMs) return started;
        started.reset();
        ::Sleep(kRetryMs);
    }
}

void SimulatedDevices::WriteCatalogue() {
    ScratchRegistry::SetString(reg::kLookupKey, L"Rack Unit", L"TYPE=0x0479 / CODE=RACK / HARDWARE=12");
    ScratchRegistry::SetString(reg::kLookupKey, L"Remote Hub", L"TYPE=0x01CE / CODE=HUB / HARDWARE=14");
}

void SimulatedDevices::SetLookupMethods(const std::wstring& methods) {
    ScratchRegistry::SetString(reg::kServersKey, reg::kIpLookupMethods, methods);
}

void SimulatedDevices::AddKnownServer(const std::wstring& name, const std::wstring& address,
                                      const std::wstring& type) {
    unsigned parts[4] = {};
    std::swscanf(address.c_str(), L"%u.%u.%u.%u", &parts[0], &parts[1], &parts[2], &parts[3]);
    const std::uint8_t stored[16] = {2,
                                     0,
                                     0x06,
                                     0x0D,
                                     static_cast<std::uint8_t>(parts[0]),
                                     static_cast<std::uint8_t>(parts[1]),
                                     static_cast<std::uint8_t>(parts[2]),
                                     static_cast<std::uint8_t>(parts[3])};
    const std::wstring key = std::wstring(reg::kTcpServersKey) + L"\\" + name;
    ScratchRegistry::SetBinary(key, reg::kAddress, stored, sizeof stored);
    ScratchRegistry::SetString(key, reg::kDeviceType, type);
    ScratchRegistry::SetString(key, reg::kName, name);
}

}  // namespace kvr::test
