#include "RegistryInfo.h"

#include <algorithm>
#include <cstring>

#include "Application.h"
#include "ChooserRes.h"
#include "DeviceText.h"
#include "ErrorTexts.h"
#include "KvrBrws.h"
#include "NetworkCheck.h"
#include "Registry.h"
#include "RegistryNames.h"
#include "Resources.h"

namespace kvr {

KVR_IMPLEMENT_DYNCREATE(COptions, CObject)
KVR_IMPLEMENT_DYNCREATE(CRegistryInfo, CObject)

namespace {

constexpr DWORD kLookupMethodsBytes = 510;
constexpr DWORD kUsernameBytes = 64;
constexpr DWORD kTransportBytes = 16;
constexpr DWORD kModemLocationBytes = 10;
constexpr DWORD kDefaultPasswordCaching = 3600000;
constexpr wchar_t kModemOn[] = L"ON";
constexpr wchar_t kModemOff[] = L"OFF";

// What one query of a global value found.
enum class Query { Good = 0, Unreadable = 1, WrongType = 2, WrongSize = 3, OutOfRange = 4 };

Query QueryDword(const RegKey& key, const wchar_t* name, DWORD& value, DWORD minimum, DWORD maximum) {
    DWORD data = 0;
    const RegValueInfo info = key.Query(name, &data, sizeof data);
    if (info.status != ERROR_SUCCESS) return Query::Unreadable;
    if (info.type != REG_DWORD) return Query::WrongType;
    if (info.size != sizeof data) return Query::WrongSize;
    if (data < minimum || data > maximum) return Query::OutOfRange;
    value = data;
    return Query::Good;
}

Query QueryText(const RegKey& key, const wchar_t* name, std::wstring& value, DWORD bufferBytes) {
    std::vector<wchar_t> buffer(bufferBytes / sizeof(wchar_t) + 1, L'\0');
    const RegValueInfo info = key.Query(name, buffer.data(), bufferBytes);
    if (info.status != ERROR_SUCCESS) return Query::Unreadable;
    if (info.type != REG_SZ) return Query::WrongType;
    if (info.size < 1 || info.size > bufferBytes) return Query::WrongSize;
    const std::size_t stored = info.size / sizeof(wchar_t);
    value.assign(buffer.data(), std::find(buffer.data(), buffer.data() + stored, L'\0'));
    return Query::Good;
}

// A key is new when we had to create it: its values then take their
// defaults. A store still writes what the user chose (defaults would throw
// the user's changes away while reporting success).
ExchangeMode Effective(ExchangeMode mode, bool created) {
    return created && mode != ExchangeMode::Store ? ExchangeMode::Default : mode;
}

bool ExchangeDword(const RegKey& key, const wchar_t* name, DWORD& member, DWORD minimum, DWORD maximum,
                   DWORD fallback, ExchangeMode mode) {
    switch (mode) {
    case ExchangeMode::Load:
        if (QueryDword(key, name, member, minimum, maximum) == Query::Good) return true;
        member = fallback;
        return key.WriteDword(name, member);
    case ExchangeMode::Check: return QueryDword(key, name, member, minimum, maximum) == Query::Good;
    case ExchangeMode::Store: return key.WriteDword(name, member);
    case ExchangeMode::Default: member = fallback; return key.WriteDword(name, member);
    }
    return false;
}

bool ExchangeFlag(const RegKey& key, const wchar_t* name, BOOL& member, BOOL fallback, ExchangeMode mode) {
    DWORD value = member ? 1 : 0;
    const bool ok = ExchangeDword(key, name, value, 0, 1, fallback ? 1 : 0, mode);
    member = value != 0;
    return ok;
}

bool ExchangeText(const RegKey& key, const wchar_t* name, std::wstring& member, DWORD bufferBytes,
                  const std::wstring& fallback, ExchangeMode mode) {
    switch (mode) {
    case ExchangeMode::Load:
        if (QueryText(key, name, member, bufferBytes) == Query::Good) return true;
        member = fallback;
        return key.WriteText(name, member);
    case ExchangeMode::Check: return QueryText(key, name, member, bufferBytes) == Query::Good;
    case ExchangeMode::Store: return key.WriteText(name, member);
    case ExchangeMode::Default: member = fallback; return key.WriteText(name, member);
    }
    return false;
}

// Tells the service to look at its password cache again.
bool WriteModTick(const RegKey& key) {
    const DWORD tick = ::GetTickCount();
    return key.WriteBinary(reg::kUsernameModTick, &tick, sizeof tick);
}

RegKey CreateGlobalKey(const wchar_t* path, bool& created) {
    return RegKey::Create(HKEY_LOCAL_MACHINE, path, kKeyWriteRights, &created);
}

void PortMessage(UINT id, int port, long result) {
    ShowMessageBox(nullptr, FormatResString(id, {port, result}), LoadResString(IDS_CHOOSER_CAPTION), MB_OK);
}

// The network type as it is stored: the two known texts in their own
// spelling, anything else as it stands.
std::wstring NormalisedTransport(const std::wstring& text) {
    if (SameText(text, kNetworkIpx)) return kNetworkIpx;
    if (SameText(text, kNetworkTcpIp)) return kNetworkTcpIp;
    return text;
}

}  // namespace

std::wstring DefaultTransport() { return IsTransportAvailable(kFamilyIpx) ? kNetworkIpx : kNetworkTcpIp; }

std::unique_ptr<CRedirDevice> CRedirDevice::FromEntry(const std::wstring& name, const std::uint8_t address[16]) {
    auto device = std::make_unique<CRedirDevice>();
    device->m_strName = name;
    std::memcpy(device->m_address, address, sizeof device->m_address);
    return device;
}

std::unique_ptr<CRedirDevice> CRedirDevice::FromRecord(const DeviceRecord& record) {
    auto device = FromEntry(FieldText(record.name), record.address);
    const std::uint8_t* a = record.address;
    if (record.transport == kTransportIpx) {
        std::uint16_t socket = 0, extra = 0;
        std::memcpy(&socket, a + 12, 2);
        std::memcpy(&extra, a + 14, 2);
        device->m_strIpxNetwork = FormatText(L"0x%02X%02X%02X%02X", {a[2], a[3], a[4], a[5]});
        device->m_strIpxNode = FormatText(L"0x%02X%02X%02X%02X%02X%02X", {a[6], a[7], a[8], a[9], a[10], a[11]});
        device->m_strIpxSocket = FormatText(L"0x%04X", {socket});
        device->m_strIpxExtra = FormatText(L"0x%04X", {extra});
    } else {
        std::uint16_t port = 0;
        std::memcpy(&port, a + 2, 2);
        device->m_strIpAddress = FormatText(L"%d.%d.%d.%d", {a[4], a[5], a[6], a[7]});
        device->m_strIpPort = FormatText(L"0x%04X", {port});
    }
    return device;
}

void CRedirDeviceArray::DeleteAll() {
    m_items.clear();
    m_bModified = TRUE;
}

int CRedirDeviceArray::FindByName(const std::wstring& name) const {
    for (std::size_t i = 0; i < m_items.size(); ++i)
        if (m_items[i]->m_strName == name) return static_cast<int>(i);
    return -1;
}

bool CRedirDeviceArray::MarkByName(const std::wstring& name) {
    bool any = false;
    for (auto& item : m_items)
        if (item->m_strName == name) {
            item->m_bMarked = TRUE;
            any = true;
        }
    return any;
}

void CRedirDeviceArray::ClearMarks() {
    for (auto& item : m_items) item->m_bMarked = FALSE;
}

bool CRedirDeviceArray::DeleteUnmarked() {
    const auto before = m_items.size();
    std::erase_if(m_items, [](const auto& item) { return !item->m_bMarked; });
    if (m_items.size() == before) return false;
    m_bModified = TRUE;
    return true;
}

COptions::COptions() {
    for (int i = 0; i < kPortCount; ++i) {
        const std::string name = "COM" + std::to_string(i + 1);
        std::memcpy(m_szPortName[i], name.c_str(), name.size() + 1);
    }
}

bool COptions::GetPort(int n, BOOL** redirected, std::wstring** servers) {
    if (n < 1 || n > kPortCount) {
        if (redirected) *redirected = nullptr;
        if (servers) *servers = nullptr;
        return false;
    }
    if (redirected) *redirected = &m_port[n - 1].m_bRedirected;
    if (servers) *servers = &m_port[n - 1].m_strServers;
    return true;
}

bool COptions::IsEmpty() const {
    return std::all_of(std::begin(m_port), std::end(m_port),
                       [](const CPort& port) { return !port.m_bRedirected && port.m_strServers.empty(); });
}

int COptions::ClearPorts(int n) {
    for (int i = 1; i <= kPortCount; ++i) {
        if (n != 0 && n != i) continue;
        m_port[i - 1].m_bRedirected = FALSE;
        m_port[i - 1].m_strServers.clear();
        m_nRedirCount[i - 1] = 0;
        std::memset(m_redir[i - 1], 0, sizeof m_redir[i - 1]);
        m_portChanged[i - 1] = true;
    }
    return Exchange(ExchangeMode::Store, nullptr);
}

bool COptions::ExchangeGlobals(ExchangeMode mode) {
    const bool storing = mode == ExchangeMode::Store;
    bool created = false;
    {
        const RegKey servers = CreateGlobalKey(reg::kServersKey, created);
        if (!servers) return false;
        if (!ExchangeText(servers, reg::kIpLookupMethods, m_strIPLookupMethods, kLookupMethodsBytes, L"",
                          Effective(mode, created)))
            return false;
    }
    {
        const RegKey global = CreateGlobalKey(reg::kRezorivKey, created);
        if (!global) return false;
        const ExchangeMode m = Effective(mode, created);
        if (storing) {
            std::wstring stored;
            if (ExchangeText(global, reg::kUsername, stored, kUsernameBytes, L"", ExchangeMode::Load) &&
                stored != m_strUsername && !WriteModTick(global))
                return false;
        }
        if (storing) m_strTransport = NormalisedTransport(m_strTransport);
        if (!ExchangeText(global, reg::kUsername, m_strUsername, kUsernameBytes, L"", m) ||
            !ExchangeFlag(global, reg::kNarrate, m_bNarrate, FALSE, m) ||
            !ExchangeText(global, reg::kTransport, m_strTransport, kTransportBytes, DefaultTransport(), m) ||
            !ExchangeFlag(global, reg::kShowUsableOnly, m_bShowUsableOnly, TRUE, m))
            return false;
        m_strTransport = NormalisedTransport(m_strTransport);
        if (m == ExchangeMode::Store) {
            if (!global.WriteText(reg::kModemLocation, m_bShowModemDisplay ? kModemOn : kModemOff)) return false;
        } else {
            std::wstring location;
            if (!ExchangeText(global, reg::kModemLocation, location, kModemLocationBytes, L"", m)) return false;
            m_bShowModemDisplay = location == kModemOn;
        }
    }
    const RegKey global = CreateGlobalKey(reg::kRezorivKey, created);
    if (!global) return false;
    const ExchangeMode m = Effective(mode, created);
    if (!ExchangeDword(global, reg::kBuffer, m_nBuffer, 1, 255, 8, m) ||
        !ExchangeDword(global, reg::kReopen, m_nReopen, 1, 65535, 12000, m) ||
        !ExchangeFlag(global, reg::kSilent, m_bSilent, TRUE, m))
        return false;
    if (storing) {
        DWORD stored = 0;
        // Turning the cache off tells the service to forget its password.
        if (ExchangeDword(global, reg::kPasswordCaching, stored, 0, 0xFFFFFFFF, kDefaultPasswordCaching,
                          ExchangeMode::Load) &&
            stored != m_nPasswordCaching && m_nPasswordCaching == 0 && !WriteModTick(global))
            return false;
    }
    return ExchangeDword(global, reg::kPasswordCaching, m_nPasswordCaching, 0, 0xFFFFFFFF, kDefaultPasswordCaching,
                         m);
}

int COptions::StorePorts() {
    for (int i = 0; i < kPortCount; ++i) {
        // A port that could not be read is left as stored unless the user
        // has since given it a configuration of its own.
        if (m_portLoadFailed[i] && !m_portChanged[i]) continue;
        const LONG count = std::clamp<LONG>(m_nRedirCount[i], 0, kMaxRedirections);
        LONG result = 0;
        {
            CWaitCursor wait;
            result = HLPSetPortRedirections(static_cast<WORD>(i), m_szPortName[i], m_port[i].m_bRedirected, count,
                                            count > 0 ? m_redir[i] : nullptr);
        }
        if (result != 0) return result;
        m_portLoadFailed[i] = false;
        m_portChanged[i] = false;
    }
    return 1;
}

void COptions::LoadPorts(CRedirDeviceArray* devices) {
    for (int i = 0; i < kPortCount; ++i) {
        CPort& port = m_port[i];
        port.m_strServers.clear();
        port.m_bRedirected = FALSE;
        m_nRedirCount[i] = 0;
        std::memset(m_redir[i], 0, sizeof m_redir[i]);
        m_portLoadFailed[i] = true;
        m_portChanged[i] = false;

        LONG stored = 0;
        LONG result = 0;
        {
            CWaitCursor wait;
            result = HLPGetNumberPortRedirections(static_cast<WORD>(i), &stored);
        }
        if (result != 0) {
            PortMessage(IDS_COUNT_FAILED, i + 1, result);
            continue;
        }
        // The table holds 25 entries: never ask for more.
        LONG count = std::clamp<LONG>(stored, 0, kMaxRedirections);
        const LONG asked = count;
        char dosName[kPortNameSize] = {};
        BOOL redirected = FALSE;
        {
            CWaitCursor wait;
            result = HLPGetPortRedirections(static_cast<WORD>(i), dosName, &redirected, kPortNameSize, &count,
                                            m_redir[i]);
        }
        const bool tooMany = result == kHlpBufferFull && count > asked;
        if (result != 0 && !tooMany) {
            PortMessage(IDS_READ_FAILED, i + 1, result);
            std::memset(m_redir[i], 0, sizeof m_redir[i]);
            continue;
        }
        if (tooMany)
            ShowMessageBox(nullptr, FormatResString(IDS_TOO_MANY_ENTRIES, {i + 1, count, kMaxRedirections, asked}),
                           LoadResString(IDS_CHOOSER_CAPTION), MB_OK | MB_ICONWARNING);
        std::memcpy(m_szPortName[i], dosName, sizeof dosName);
        m_portLoadFailed[i] = false;
        port.m_bRedirected = redirected ? TRUE : FALSE;
        m_nRedirCount[i] = std::min(count, asked);
        for (LONG j = 0; j < m_nRedirCount[i]; ++j) {
            const RedirectionRecord& entry = m_redir[i][j];
            const std::wstring name = FieldText(entry.device.name, 48);
            if (j > 0) port.m_strServers += L',';
            port.m_strServers += name + L':' + FieldText(entry.device.typeText, 48) + L':' +
                                 FieldText(entry.portName, sizeof entry.portName);
            // One known device per name: a second entry of the same server
            // must not bring back another address.
            if (devices != nullptr && devices->FindByName(name) < 0) {
                devices->Add(CRedirDevice::FromEntry(name, entry.device.address));
                devices->m_bModified = TRUE;
            }
        }
    }
}

int COptions::Exchange(ExchangeMode mode, CRedirDeviceArray* devices) {
    if (!ExchangeGlobals(mode)) return 0;
    if (const LONG result = HLPInitStack(TransportNumber(m_strTransport)); result != 0) return result;
    if (mode == ExchangeMode::Store) return StorePorts();
    LoadPorts(devices);
    return 1;
}

int CRegistryInfo::Load() { return m_options.Exchange(ExchangeMode::Load, &m_devices); }

bool CRegistryInfo::SaveIfModified(HWND owner) {
    if (!m_options.m_bModified && !m_devices.m_bModified) return true;
    if (m_options.m_bModified) {
        const int result = m_options.Exchange(ExchangeMode::Store, nullptr);
        if (result != 1) {
            const std::wstring text = result < 0 ? LibraryErrorText(result) : LoadResString(IDS_SAVE_FAILED);
            ShowMessageBox(owner, text, LoadResString(IDS_SAVE_FAILED_CAPTION), MB_OK | MB_ICONERROR);
            return false;
        }
        m_options.m_bModified = FALSE;
    }
    m_devices.m_bModified = FALSE;
    return true;
}

}  // namespace kvr
