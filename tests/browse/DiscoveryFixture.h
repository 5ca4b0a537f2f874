#pragma once
// A search's world: a scratch registry holding a small device-type catalogue,
// the discovery settings and known servers, and a scripted network.
#include <windows.h>

#include <cstdio>
#include <string>
#include <vector>

#include "FakeNetwork.h"
#include "FindOperations.h"
#include "RegistryNames.h"
#include "StoreFixture.h"

class DiscoveryTest : public ScratchMachineKey {
protected:
    static constexpr std::uint16_t kMaxRecords = 16;

    void SetUp() override {
        ScratchMachineKey::SetUp();
        const std::string lookup = reg::kLookupKeyA;
        SetText(lookup, "Rack Unit", "TYPE=0x0479,0x047A / SOCKET=0x4004 / CODE=RACK / HARDWARE=12");
        SetText(lookup, "Remote Hub", "TYPE=0x01CE / CODE=HUB / HARDWARE=14");
        SetText(lookup + "\\ManufacturerCodes", "Maker", "Q");
        SetText(lookup + "\\HardwareTypes\\9", "Name", "Ninth Model");
        SetText(lookup + "\\HardwareTypes\\12", "Name", "Rack Model");
        SetText(lookup + "\\HardwareTypes\\14", "Name", "Hub Model");
    }
    void TearDown() override {
        if (!m_deviceFile.empty()) DeleteFileA(m_deviceFile.c_str());
        ScratchMachineKey::TearDown();
    }

    void SetLookupMethods(const char* text) {
        SetText(reg::kServersKeyA, reg::kIpLookupMethodsA, text);
    }

    // A known server as the store keeps it.
    void AddKnownServer(const char* name, const char* typeText, const char* ip) {
        const std::string key = std::string(reg::kTcpServersKeyA) + "\\" + name;
        const std::uint32_t host = fake::ParseIp(ip);
        const std::uint8_t address[16] = {2, 0, 0x06, 0x0D, std::uint8_t(host >> 24),
                                          std::uint8_t(host >> 16), std::uint8_t(host >> 8),
                                          std::uint8_t(host)};
        SetRaw(key, reg::kAddressA, REG_BINARY, address, sizeof address);
        if (typeText) SetText(key, reg::kDeviceTypeA, typeText);
        SetText(key, reg::kNameA, name);
    }

    // Writes the device file under a long path and points the setting at it.
    void WriteDeviceFile(const std::string& text) {
        char directory[MAX_PATH];
        GetTempPathA(MAX_PATH, directory);
        m_deviceFile = std::string(directory) + "kvr-device-description-" +
                       std::to_string(GetCurrentProcessId()) + ".ini";
        FILE* file = std::fopen(m_deviceFile.c_str(), "wb");
        ASSERT_NE(nullptr, file);
        std::fwrite(text.data(), 1, text.size(), file);
        std::fclose(file);
        SetText(reg::kServersKeyA, reg::kDeviceFileA, m_deviceFile);
    }

    std::int32_t Find(const char* pattern, const char* filter = "*", std::uint16_t timeout = 3,
                      std::uint16_t transport = kTransportIp,
                      const std::uint32_t* versionFilter = nullptr) {
        kvr::browse::SearchParameters params;
        params.namePattern = pattern;
        params.typeFilter = filter;
        params.timeoutSeconds = timeout;
        params.ipxVersionFilter = versionFilter;
        kvr::browse::ResultSink sink(m_buffer, sizeof m_buffer, nullptr);
        return kvr::browse::FindDevices(network, transport, params, sink, count);
    }

    std::vector<DeviceRecord> Found() const { return {m_buffer, m_buffer + count}; }
    std::vector<std::string> FoundNames() const {
        std::vector<std::string> names;
        for (const DeviceRecord& r : Found()) names.emplace_back(r.name);
        return names;
    }

    fake::Network network;
    std::uint16_t count = 0;

private:
    DeviceRecord m_buffer[kMaxRecords] = {};
    std::string m_deviceFile;
};
