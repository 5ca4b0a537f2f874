#pragma once
// The devices the last discovery found, shared by the browse dialog, the
// device dialogs and the upgrade: the record table the library fills, a
// CDevice per record and the port groups asked of each device.
#include <windows.h>

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "DeviceRecords.h"
#include "Object.h"

namespace kvr {

class COptions;
class CDevice;

// The 20-byte address the library's single-device calls take.
struct HlpAddress {
    std::uint8_t bytes[20] = {};
    static HlpAddress FromRecord(const DeviceRecord& record);
};
static_assert(sizeof(HlpAddress) == 20);

// The 16-byte server summary of HLPGetServerInfo.
struct ServerInfo {
    std::uint8_t version[5];  // major, minor, revision, stage code, build
    std::uint8_t reserved[3];
    std::uint32_t ipDialOut;
    std::uint32_t usableOverIpx;  // non-zero: an IPX/SPX device can serve dial-out
};
static_assert(sizeof(ServerInfo) == 16);
static_assert(offsetof(ServerInfo, usableOverIpx) == 12);

class CDevicePort : public CObject {
    KVR_DECLARE_DYNAMIC(CDevicePort)
public:
    CDevicePort(CDevice& device, std::wstring name) : m_strName(std::move(name)), m_pDevice(&device) {}
    std::wstring m_strName;
    CDevice* m_pDevice;
};

class CDevice : public CObject {
    KVR_DECLARE_DYNAMIC(CDevice)
public:
    explicit CDevice(DeviceRecord& record) : m_pRecord(&record) {}

    const DeviceRecord& Record() const { return *m_pRecord; }
    DeviceRecord& Record() { return *m_pRecord; }
    std::uint16_t Transport() const { return m_pRecord->transport; }
    std::wstring Name() const;
    std::wstring TypeText() const;
    HlpAddress Address() const { return HlpAddress::FromRecord(*m_pRecord); }

    // Creating a port group appends it to the device's list.
    CDevicePort& AddPort(std::wstring name);
    void DeletePorts() { m_ports.clear(); }
    int PortCount() const { return static_cast<int>(m_ports.size()); }
    CDevicePort& Port(int index) const { return *m_ports[static_cast<std::size_t>(index)]; }
    // The first port group of that name, compared without regard to case.
    CDevicePort* FindPort(const std::wstring& name) const;

    // Same type and name (without regard to case) and the same address.
    bool Equals(const CDevice& other) const;

private:
    DeviceRecord* m_pRecord;
    std::vector<std::unique_ptr<CDevicePort>> m_ports;
};

// The module's list of discovered devices and their record table.
class CDeviceList {
public:
    static constexpr int kCapacity = 527;
    static constexpr WORD kTableBytes = kCapacity * sizeof(DeviceRecord);
    static_assert(kCapacity * sizeof(DeviceRecord) == 65348);

    // Deletes every device (and its port groups), then the table.
    void Empty();
    bool IsEmpty() const { return m_devices.empty(); }
    int Count() const { return static_cast<int>(m_devices.size()); }
    CDevice& At(int index) const { return *m_devices[static_cast<std::size_t>(index)]; }

    // A new zeroed table for the library to fill; null without memory.
    DeviceRecord* AllocateTable();
    void SetRecordsInUse(int count);
    int RecordsInUse() const { return m_used; }
    DeviceRecord& Record(int index) { return m_table[static_cast<std::size_t>(index)]; }
    // The next free record of the table (zeroed), or null when there is no
    // table or it is full.
    DeviceRecord* TakeFreeRecord();
    // Gives the record last taken back, when no device came of it.
    void ReleaseLastRecord() {
        if (m_used > 0) --m_used;
    }

    // The first device of that name (without regard to case); null for an
    // empty name.
    CDevice* FindByName(const std::wstring& name) const;
    bool ContainsEqual(const CDevice& device) const;
    void Append(std::unique_ptr<CDevice> device) { m_devices.push_back(std::move(device)); }

private:
    std::vector<std::unique_ptr<CDevice>> m_devices;
    std::unique_ptr<DeviceRecord[]> m_table;
    int m_used = 0;
};

// The one list of the loaded module.
CDeviceList& DeviceList();

// One sequence of library calls: the transport it started and the last
// error. It never closes the stack again.
class StackSession {
public:
    // Starts the library on transport 2 or 6 (-1 for any other).
    long Attach(std::uint16_t transport);
    long GetServerInfo(const HlpAddress& address, ServerInfo& info, WORD timeout);
    // The names of the device's port groups.
    long GetSerialNames(const HlpAddress& address, WORD timeout, std::vector<std::wstring>& names);
    long LastError() const { return m_lastError; }
    std::wstring ErrorText() const;

private:
    std::uint16_t m_transport = 0;
    long m_lastError = 0;
};

// Runs a discovery on the model's network type and rebuilds the list; every
// failure ends in one message box. `owner` may be null.
bool DiscoverDevices(HWND owner, bool showProgress, const COptions& options);

// Asks the device for its port groups and rebuilds its list of them.
long EnumeratePortGroups(CDevice& device);

// A TCP/IP device always; an IPX/SPX device when it reports version 4.0.2 or
// later and says it can serve dial-out.
bool IsUsableDevice(const CDevice& device, const COptions& options);
// The version rule alone, over a server summary.
bool IsUsableIpxServer(const ServerInfo& info);

}  // namespace kvr
