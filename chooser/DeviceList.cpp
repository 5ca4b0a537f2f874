#include "DeviceList.h"

#include <algorithm>
#include <cstring>
#include <new>

#include "Application.h"
#include "ChooserConstants.h"
#include "ChooserRes.h"
#include "DeviceText.h"
#include "ErrorTexts.h"
#include "KvrBrws.h"
#include "RegistryInfo.h"
#include "Resources.h"
#include "SearchingDialog.h"

namespace kvr {

KVR_IMPLEMENT_DYNAMIC(CDevicePort, CObject)
KVR_IMPLEMENT_DYNAMIC(CDevice, CObject)

namespace {

constexpr DWORD kReserved = 1;
constexpr WORD kFindTimeoutSeconds = 3;
constexpr WORD kServerInfoTimeoutSeconds = 5;
constexpr WORD kSerialNamesBytes = 0x4000;
constexpr std::size_t kSerialNameSlot = 256;
constexpr std::size_t kRecordTextChars = 48;

WORD SerialNamesTimeout(std::uint16_t transport) { return transport == kTransportIpx ? 5 : 20; }

// The whole discovery shows its failures under one caption.
void DiscoveryMessage(HWND owner, const std::wstring& text) {
    ShowMessageBox(owner, text, LoadResString(IDS_DISCOVERY_FAILED), MB_OK | MB_ICONERROR);
}

}  // namespace

HlpAddress HlpAddress::FromRecord(const DeviceRecord& record) {
    HlpAddress out;
    std::memcpy(out.bytes, &record.transport, 2);
    const std::uint8_t* a = record.address;  // record offset 108
    if (record.transport == kTransportIpx) {
        std::memcpy(out.bytes + 4, a + 2, 4);    // network, record 110-113
        std::memcpy(out.bytes + 8, a + 6, 6);    // node, record 114-119
        std::memcpy(out.bytes + 14, a + 12, 2);  // socket, record 120-121
    } else {
        const std::uint16_t family = 2;
        std::memcpy(out.bytes + 4, &family, 2);
        std::memcpy(out.bytes + 6, a + 2, 2);  // port, record 110-111
        std::memcpy(out.bytes + 8, a + 4, 4);  // address, record 112-115
    }
    return out;
}

std::wstring CDevice::Name() const { return FieldText(m_pRecord->name, kRecordTextChars); }
std::wstring CDevice::TypeText() const { return FieldText(m_pRecord->typeText, kRecordTextChars); }

CDevicePort& CDevice::AddPort(std::wstring name) {
    m_ports.push_back(std::make_unique<CDevicePort>(*this, std::move(name)));
    return *m_ports.back();
}

CDevicePort* CDevice::FindPort(const std::wstring& name) const {
    if (name.empty()) return nullptr;
    for (const auto& port : m_ports)
        if (SameText(port->m_strName, name)) return port.get();
    return nullptr;
}

bool CDevice::Equals(const CDevice& other) const {
    const DeviceRecord& a = *m_pRecord;
    const DeviceRecord& b = *other.m_pRecord;
    if (!SameText(TypeText(), other.TypeText()) || !SameText(Name(), other.Name())) return false;
    if (a.transport != b.transport) return false;
    const auto same = [&](std::size_t offset, std::size_t size) {
        return std::memcmp(a.address + offset, b.address + offset, size) == 0;
    };
    if (a.transport == kTransportIp) return same(0, 2) && same(2, 2) && same(4, 4);
    if (a.transport == kTransportIpx) return same(0, 2) && same(2, 4) && same(6, 6) && same(12, 2) && same(14, 2);
    return false;
}

void CDeviceList::Empty() {
    m_devices.clear();
    m_table.reset();
    m_used = 0;
}

DeviceRecord* CDeviceList::AllocateTable() {
    m_table.reset(new (std::nothrow) DeviceRecord[kCapacity]());
    m_used = 0;
    return m_table.get();
}

void CDeviceList::SetRecordsInUse(int count) { m_used = std::clamp(count, 0, kCapacity); }

DeviceRecord* CDeviceList::TakeFreeRecord() {
    if (!m_table || m_used >= kCapacity) return nullptr;
    DeviceRecord* record = &m_table[static_cast<std::size_t>(m_used++)];
    std::memset(record, 0, sizeof *record);
    return record;
}

CDevice* CDeviceList::FindByName(const std::wstring& name) const {
    if (name.empty()) return nullptr;
    for (const auto& device : m_devices)
        if (SameText(device->Name(), name)) return device.get();
    return nullptr;
}

bool CDeviceList::ContainsEqual(const CDevice& device) const {
    return std::any_of(m_devices.begin(), m_devices.end(), [&](const auto& d) { return d->Equals(device); });
}

CDeviceList& DeviceList() {
    static CDeviceList list;
    return list;
}

long StackSession::Attach(std::uint16_t transport) {
    if (transport != kTransportIp && transport != kTransportIpx) return m_lastError = -1;
    m_lastError = HLPInitStack(transport);
    if (m_lastError == 0) m_transport = transport;
    return m_lastError;
}

long StackSession::GetServerInfo(const HlpAddress& address, ServerInfo& info, WORD timeout) {
    std::memset(&info, 0, sizeof info);
    CWaitCursor wait;
    return m_lastError = HLPGetServerInfo(address.bytes, &info, timeout, nullptr);
}

long StackSession::GetSerialNames(const HlpAddress& address, WORD timeout, std::vector<std::wstring>& names) {
    names.clear();
    std::vector<char> buffer(kSerialNamesBytes, '\0');
    WORD count = 0;
    {
        CWaitCursor wait;
        m_lastError = HLPGetSerialNames(m_transport, kReserved, address.bytes, buffer.data(), kSerialNamesBytes,
                                        &count, nullptr, timeout, nullptr);
    }
    if (m_lastError != 0) return m_lastError;
    const std::size_t slots = std::min<std::size_t>(count, buffer.size() / kSerialNameSlot);
    for (std::size_t i = 0; i < slots; ++i)
        names.push_back(FieldText(buffer.data() + i * kSerialNameSlot, kRecordTextChars));
    return 0;
}

std::wstring StackSession::ErrorText() const { return LibraryErrorText(m_lastError); }

bool IsUsableIpxServer(const ServerInfo& info) {
    const auto major = static_cast<std::int8_t>(info.version[0]);
    const auto minor = static_cast<std::int8_t>(info.version[1]);
    const auto revision = static_cast<std::int8_t>(info.version[2]);
    if (major < 4) return false;
    if (major == 4 && minor * 10 + revision < 2) return false;
    return info.usableOverIpx != 0;
}

bool IsUsableDevice(const CDevice& device, const COptions& options) {
    if (!IsIpxTransport(options.m_strTransport)) return true;
    StackSession session;
    ServerInfo info;
    if (session.GetServerInfo(HlpAddress::FromRecord(device.Record()), info, kServerInfoTimeoutSeconds) != 0)
        return false;
    return IsUsableIpxServer(info);
}

long EnumeratePortGroups(CDevice& device) {
    const HlpAddress address = device.Address();
    device.DeletePorts();
    StackSession session;
    if (const long error = session.Attach(device.Transport()); error != 0) return error;
    std::vector<std::wstring> names;
    if (const long error = session.GetSerialNames(address, SerialNamesTimeout(device.Transport()), names); error != 0)
        return error;
    for (auto& name : names) device.AddPort(std::move(name));
    return 0;
}

namespace {

// The progress window of one discovery, closed on every path.
class SearchProgress {
public:
    SearchProgress(HWND owner, bool show, bool ipx) : m_dialog(ipx) {
        if (show && m_dialog.Open(owner)) m_open = true;
    }
    ~SearchProgress() {
        if (m_open) m_dialog.DestroyWindow();
    }
    SearchProgress(const SearchProgress&) = delete;
    SearchProgress& operator=(const SearchProgress&) = delete;
    CSearchingDialog* operator->() { return m_open ? &m_dialog : nullptr; }
    explicit operator bool() const { return m_open; }

private:
    CSearchingDialog m_dialog;
    bool m_open = false;
};

bool BuildDevices(HWND owner, SearchProgress& progress, const COptions& options, std::uint16_t transport) {
    CDeviceList& list = DeviceList();
    const int count = list.RecordsInUse();
    if (progress) {
        progress->SetRange(count);
        progress->SetPosition(0);
        progress->SetUpperText(LoadResString(IDS_VALIDATING));
    }
    for (int i = 0; i < count; ++i) {
        if (progress) progress->SetPosition(i);
        DeviceRecord& record = list.Record(i);
        if (record.transport != transport) {
            DiscoveryMessage(owner, LoadResString(IDS_CORRUPT_TABLE));
            return false;
        }
        auto device = std::unique_ptr<CDevice>(new (std::nothrow) CDevice(record));
        if (!device) {
            DiscoveryMessage(owner, LoadResString(IDS_NO_BUFFER));
            return false;
        }
        if (list.ContainsEqual(*device)) continue;
        if (options.m_bShowUsableOnly && (!IsUsableDevice(*device, options) || device->Name().empty())) continue;
        list.Append(std::move(device));
    }
    return true;
}

}  // namespace

bool DiscoverDevices(HWND owner, bool showProgress, const COptions& options) {
    CDeviceList& list = DeviceList();
    list.Empty();
    std::uint16_t transport = 0;
    if (SameText(options.m_strTransport, kNetworkIpx))
        transport = kTransportIpx;
    else if (SameText(options.m_strTransport, kNetworkTcpIp))
        transport = kTransportIp;
    else
        return false;

    SearchProgress progress(owner, showProgress, transport == kTransportIpx);
    if (progress) progress->SetLowerText(LoadResString(IDS_PLEASE_WAIT));
    StackSession session;
    if (session.Attach(transport) != 0) {
        DiscoveryMessage(owner, LoadResString(IDS_NO_LIBRARY) + session.ErrorText());
        return false;
    }
    DeviceRecord* table = list.AllocateTable();
    if (table == nullptr) {
        DiscoveryMessage(owner, LoadResString(IDS_NO_BUFFER));
        return false;
    }
    WORD count = 0;
    const DWORD versionFilter[2] = {4, 0};
    LONG result = 0;
    {
        CWaitCursor wait;
        result = HLPFindVersionDevices(transport, kReserved, "*", "*", table, CDeviceList::kTableBytes, &count,
                                       nullptr, kFindTimeoutSeconds, nullptr, versionFilter);
    }
    if (progress) progress->SetLowerText(std::wstring());
    // A full table (-6) keeps what was found, as an interrupted search (-9) does.
    if (result != 0 && result != -9 && result != kHlpBufferFull) {
        DiscoveryMessage(owner, LibraryErrorText(result));
        list.Empty();
        return false;
    }
    list.SetRecordsInUse(count);
    return BuildDevices(owner, progress, options, transport);
}

}  // namespace kvr
