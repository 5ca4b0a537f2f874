// The Chooser's configuration model against a scratch registry and the real
// browsing library: what a load repairs, what a store writes (and when it
// tells the service to look at its password cache again), and the ports.
#include <windows.h>

#include <gtest/gtest.h>

#include <cstring>
#include <memory>

#include "ChooserDriver.h"
#include "KvrBrws.h"
#include "NetworkCheck.h"
#include "RegistryInfo.h"
#include "RegistryNames.h"
#include "Resources.h"
#include "ScratchRegistry.h"

namespace kvr {
namespace {

// Answers the model's message boxes and keeps their texts.
class RecordedBoxes : public CMessageBoxHook {
public:
    RecordedBoxes() { SetMessageBoxHook(this); }
    ~RecordedBoxes() { SetMessageBoxHook(nullptr); }
    bool OnMessageBox(HWND, const std::wstring& text, const std::wstring&, UINT, int& answer) override {
        texts.push_back(text);
        answer = IDOK;
        return true;
    }
    std::vector<std::wstring> texts;
};

class RegistryInfoTest : public ::testing::Test {
protected:
    void SetUp() override {
        for (int i = 0; i < 4; ++i) ASSERT_EQ(0, test::SeedPort(i, ("COM" + std::to_string(i + 1)).c_str(), false, {}));
    }
    static RegKey Global() { return ScratchRegistry::Open(reg::kRezorivKey); }
    static std::optional<DWORD> Tick() {
        DWORD tick = 0;
        return Global().ReadBytes(reg::kUsernameModTick, &tick, 4) ? std::optional<DWORD>(tick) : std::nullopt;
    }

    SocketsGuard m_sockets;
    ScratchRegistry m_registry;
    RecordedBoxes m_boxes;
    std::unique_ptr<CRegistryInfo> m_model = std::make_unique<CRegistryInfo>();
};

TEST_F(RegistryInfoTest, AFirstLoadWritesEveryDefault) {
    ASSERT_EQ(1, m_model->Load());
    const RegKey global = Global();
    struct Dword {
        const wchar_t* name;
        DWORD value;
    };
    for (const Dword& d : {Dword{reg::kNarrate, 0}, Dword{reg::kShowUsableOnly, 1}, Dword{reg::kBuffer, 8},
                           Dword{reg::kReopen, 12000}, Dword{reg::kSilent, 1}, Dword{reg::kPasswordCaching, 3600000}})
        EXPECT_EQ(d.value, global.ReadDword(d.name)) << std::wstring(d.name).c_str();
    EXPECT_EQ(L"", global.ReadText(reg::kUsername));
    EXPECT_EQ(L"", global.ReadText(reg::kModemLocation));
    EXPECT_EQ(L"TCP/IP", global.ReadText(reg::kTransport)) << "no IPX on this computer";
    EXPECT_EQ(L"", ScratchRegistry::Open(reg::kServersKey).ReadText(reg::kIpLookupMethods));
    EXPECT_TRUE(m_boxes.texts.empty());
}

TEST_F(RegistryInfoTest, InvalidValuesAreReplacedByTheirDefaultsAndWrittenBack) {
    struct Case {
        const wchar_t* name;
        DWORD type;
        std::vector<BYTE> data;
        DWORD expected;
    };
    const auto dword = [](DWORD v) {
        std::vector<BYTE> bytes(4);
        std::memcpy(bytes.data(), &v, 4);
        return bytes;
    };
    const Case cases[] = {
        {reg::kReopen, REG_DWORD, dword(0), 12000},       {reg::kReopen, REG_DWORD, dword(65536), 12000},
        {reg::kBuffer, REG_DWORD, dword(0), 8},           {reg::kBuffer, REG_DWORD, dword(256), 8},
        {reg::kNarrate, REG_DWORD, dword(2), 0},          {reg::kSilent, REG_BINARY, dword(0), 1},
        {reg::kPasswordCaching, REG_DWORD, {1, 2}, 3600000},
    };
    for (const Case& c : cases) {
        ASSERT_TRUE(ScratchRegistry::SetRaw(reg::kRezorivKey, c.name, c.type, c.data.data(),
                                            static_cast<DWORD>(c.data.size())));
        CRegistryInfo model;
        ASSERT_EQ(1, model.Load());
        EXPECT_EQ(c.expected, Global().ReadDword(c.name)) << std::wstring(c.name).c_str();
    }
    // A user name of 32 characters does not fit the 64-byte buffer.
    ScratchRegistry::SetString(reg::kRezorivKey, reg::kUsername, std::wstring(32, L'n'));
    ScratchRegistry::SetString(reg::kRezorivKey, reg::kModemLocation, L"on");
    ASSERT_EQ(1, m_model->Load());
    EXPECT_EQ(L"", m_model->m_options.m_strUsername);
    EXPECT_EQ(L"", Global().ReadText(reg::kUsername));
    EXPECT_FALSE(m_model->m_options.m_bShowModemDisplay) << "\"on\" is not \"ON\"";
}

TEST_F(RegistryInfoTest, CheckModeNeverWrites) {
    ScratchRegistry::Open(reg::kServersKey);
    ScratchRegistry::SetString(reg::kRezorivKey, reg::kUsername, L"kept");
    EXPECT_EQ(0, m_model->m_options.Exchange(ExchangeMode::Check, nullptr));
    EXPECT_FALSE(Global().ReadDword(reg::kNarrate).has_value());
}

TEST_F(RegistryInfoTest, StoreTicksOnlyForANewUserNameOrCachingTurnedOff) {
    ASSERT_EQ(1, m_model->Load());
    COptions& options = m_model->m_options;
    struct Step {
        const char* what;
        std::wstring username;
        DWORD caching;
        bool ticks;
    };
    const Step steps[] = {
        {"nothing changed", L"", 3600000, false},
        {"user name changed", L"alice", 3600000, true},
        {"caching changed, not off", L"alice", 60000, false},
        {"caching turned off", L"alice", 0, true},
        {"caching stays off", L"alice", 0, false},
    };
    for (const Step& step : steps) {
        Global().DeleteValue(reg::kUsernameModTick);
        options.m_strUsername = step.username;
        options.m_nPasswordCaching = step.caching;
        ASSERT_EQ(1, options.Exchange(ExchangeMode::Store, nullptr)) << step.what;
        EXPECT_EQ(step.ticks, Tick().has_value()) << step.what;
    }
    options.m_strTransport = L"ipx";
    ASSERT_EQ(1, options.Exchange(ExchangeMode::Store, nullptr));
    EXPECT_EQ(L"IPX", Global().ReadText(reg::kTransport)) << "stored in its own spelling";
}

TEST_F(RegistryInfoTest, SaveWritesOnlyWhatWasModified) {
    ASSERT_EQ(1, m_model->Load());
    Global().WriteText(reg::kUsername, L"changed elsewhere");
    EXPECT_TRUE(m_model->SaveIfModified(nullptr));
    EXPECT_EQ(L"changed elsewhere", Global().ReadText(reg::kUsername));
    m_model->m_options.m_bModified = TRUE;
    EXPECT_TRUE(m_model->SaveIfModified(nullptr));
    EXPECT_EQ(L"", Global().ReadText(reg::kUsername));
    EXPECT_FALSE(m_model->m_options.m_bModified);
}

TEST_F(RegistryInfoTest, PortsLoadIntoTextAndTableWithOneKnownDevicePerName) {
    ASSERT_EQ(0, test::SeedPort(0, "COM7", true, {{"Shared", "Rack", "g1", {127, 0, 0, 9}}, {"Other", "Hub", ""}}));
    ASSERT_EQ(0, test::SeedPort(2, "COM3", false, {{"Shared", "Rack", "g2", {127, 0, 0, 9}}}));
    ASSERT_EQ(1, m_model->Load());
    const COptions& options = m_model->m_options;
    EXPECT_STREQ("COM7", options.m_szPortName[0]) << "the stored DOS name replaces COM1";
    EXPECT_TRUE(options.m_port[0].m_bRedirected);
    EXPECT_EQ(L"Shared:Rack:g1,Other:Hub:", options.m_port[0].m_strServers);
    EXPECT_EQ(2, options.m_nRedirCount[0]);
    EXPECT_EQ(L"Shared:Rack:g2", options.m_port[2].m_strServers);
    ASSERT_EQ(2, m_model->m_devices.GetSize()) << "Shared is known once";
    EXPECT_EQ(9, m_model->m_devices[0].m_address[7]);
}

TEST_F(RegistryInfoTest, ClearPortsEmptiesAndStoresAtOnce) {
    ASSERT_EQ(0, test::SeedPort(1, "COM2", true, {{"Shared", "Rack", "g1"}}));
    ASSERT_EQ(1, m_model->Load());
    EXPECT_FALSE(m_model->m_options.IsEmpty());
    EXPECT_EQ(1, m_model->m_options.ClearPorts(0));
    EXPECT_TRUE(m_model->m_options.IsEmpty());
    const test::StoredPort stored = test::ReadStoredPort(1);
    EXPECT_FALSE(stored.redirected);
    EXPECT_TRUE(stored.entries.empty());
}

TEST_F(RegistryInfoTest, AMissingPortKeyIsReportedAndNotWrittenBack) {
    ::RegDeleteTreeW(HKEY_LOCAL_MACHINE, L"SOFTWARE\\Quelt\\Rezoriv\\Ports\\Dialout3");
    ASSERT_EQ(1, m_model->Load());
    ASSERT_EQ(1u, m_boxes.texts.size());
    EXPECT_EQ(L"Failed getting number of port redirections for port 4; retval = -8", m_boxes.texts[0]);
    EXPECT_STREQ("COM4", m_model->m_options.m_szPortName[3]);
    m_model->m_options.m_bModified = TRUE;
    ASSERT_TRUE(m_model->SaveIfModified(nullptr));
    EXPECT_FALSE(ScratchRegistry::GetString(L"SOFTWARE\\Quelt\\Rezoriv\\Ports\\Dialout3", reg::kDosDevices))
        << "a port that could not be read is not blanked by a save";
    m_model->m_options.Port(4).m_bRedirected = TRUE;
    m_model->m_options.MarkPortChanged(4);
    m_model->m_options.m_bModified = TRUE;
    ASSERT_TRUE(m_model->SaveIfModified(nullptr));
    EXPECT_TRUE(test::ReadStoredPort(3).redirected) << "unless the user gave it a configuration";
}

}  // namespace
}  // namespace kvr
