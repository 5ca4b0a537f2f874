// The set-up helper's pieces in-process: the old-settings rule, the port keys
// written through the real browsing library into a scratch registry, the DOS
// names it removes and the files it reports as in use.
#include <gtest/gtest.h>

#include <windows.h>

#include <string>

#include "ChildProcess.h"
#include "DosNames.h"
#include "FilesInUse.h"
#include "Handles.h"
#include "OldSettings.h"
#include "PortKeys.h"
#include "RegistryNames.h"
#include "ScratchRegistry.h"

namespace {

std::wstring TempPath(const std::wstring& name) {
    wchar_t directory[MAX_PATH];
    GetTempPathW(MAX_PATH, directory);
    return std::wstring(directory) + name + std::to_wstring(GetCurrentProcessId());
}

// A file in the temporary folder, deleted with the object.
class TempFile {
public:
    TempFile(const std::wstring& name, const std::string& content) : m_path(TempPath(name)) {
        kvr::UniqueFile file(CreateFileW(m_path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                                         FILE_ATTRIBUTE_NORMAL, nullptr));
        DWORD written = 0;
        WriteFile(file.Get(), content.data(), static_cast<DWORD>(content.size()), &written, nullptr);
    }
    ~TempFile() { DeleteFileW(m_path.c_str()); }
    const std::wstring& Path() const { return m_path; }

private:
    std::wstring m_path;
};

}  // namespace

TEST(OldSettings, PathFromTheVariable) {
    EXPECT_EQ(L"", setup::OldSettingsPath(L""));
    EXPECT_EQ(L"C:\\QUELT\\QUELT.INI", setup::OldSettingsPath(L"C:\\QUELT"));
    EXPECT_EQ(L"C:\\QUELT\\QUELT.INI", setup::OldSettingsPath(L"C:\\QUELT\\"));
}

TEST(OldSettings, WhatCountsAsOldSettings) {
    const struct {
        const char* file;
        bool old;
    } cases[] = {
        {"", false},
        {"[COMM]\r\n", false},
        {"[OTHER]\r\nUsername=alice\r\n", false},
        {"[COMM]\r\nUsername=\r\nTransport=\r\nCOM1List=\r\n", false},
        {"[COMM]\r\nUsername=alice\r\n", true},
        {"[COMM]\r\nTransport=TCP/IP\r\n", true},
        {"[COMM]\r\nCOM4List=Harbor::modem1\r\n", true},
        // An integer key counts when present at all, even as 0...
        {"[COMM]\r\nCOM2Redir=0\r\n", true},
        {"[COMM]\r\nNarrate=1\r\n", true},
        // ...but not with the value that stands for a missing key.
        {"[COMM]\r\nCOM3Redir=30583\r\n", false},
        {"[comm]\r\nusername=bob\r\n", true},
    };
    for (const auto& c : cases) {
        TempFile ini(L"kvrquelt", c.file);
        EXPECT_EQ(c.old, setup::HasOldSettings(ini.Path())) << c.file;
    }
    EXPECT_FALSE(setup::HasOldSettings(TempPath(L"kvrnosuchfile")));
}

class PortKeysTest : public ::testing::Test {
protected:
    void SetUp() override {
        m_library.Reset(LoadLibraryW((BinDirectory() + L"KVRBRWS.DLL").c_str()));
        ASSERT_TRUE(m_library);
        m_set = reinterpret_cast<decltype(&HLPSetPortRedirections)>(
            GetProcAddress(m_library.Get(), "HLPSetPortRedirections"));
        m_get = reinterpret_cast<decltype(&HLPGetPortRedirections)>(
            GetProcAddress(m_library.Get(), "HLPGetPortRedirections"));
        ASSERT_NE(nullptr, m_set);
        ASSERT_NE(nullptr, m_get);
    }
    static std::wstring PortKey(int index) {
        return std::wstring(reg::kPortsKey) + L"\\" + reg::kPortKeyPrefix + std::to_wstring(index);
    }

    kvr::UniqueModule m_library;
    decltype(&HLPSetPortRedirections) m_set = nullptr;
    decltype(&HLPGetPortRedirections) m_get = nullptr;
};

TEST_F(PortKeysTest, MissingKeysAreWrittenAsUnconfiguredComPorts) {
    ScratchRegistry scratch;
    const auto results = setup::WriteMissingPortKeys(m_set);
    ASSERT_EQ(4u, results.size());
    for (WORD index = 0; index < 4; ++index) {
        EXPECT_EQ(setup::PortKeyResult::Outcome::Written, results[index].outcome);
        EXPECT_EQ(L"COM" + std::to_wstring(index + 1), ScratchRegistry::GetString(PortKey(index), reg::kDosDevices));
        EXPECT_EQ(0u, ScratchRegistry::GetDword(PortKey(index), reg::kIsRedirected));
        // What the Chooser reads back: the name, not redirected, no entries.
        char dosName[25] = {};
        BOOL redirected = TRUE;
        LONG count = 0;
        EXPECT_EQ(0, m_get(index, dosName, &redirected, sizeof(dosName), &count, nullptr));
        EXPECT_EQ("COM" + std::to_string(index + 1), dosName);
        EXPECT_FALSE(redirected);
        EXPECT_EQ(0, count);
        EXPECT_TRUE(kvr::RegKey::Open(HKEY_LOCAL_MACHINE, (PortKey(index) + L"\\" + reg::kRedirections).c_str()));
    }
    EXPECT_FALSE(kvr::RegKey::Open(HKEY_LOCAL_MACHINE, PortKey(4).c_str()));
}

TEST_F(PortKeysTest, ExistingKeysAreLeftAsTheyAre) {
    ScratchRegistry scratch;
    // COM2 redirected under another DOS name, COM4 a bare key.
    RedirectionRecord record{};
    record.device.transport = kTransportIp;
    std::snprintf(record.device.name, sizeof(record.device.name), "Harbor");
    std::snprintf(record.portName, sizeof(record.portName), "modem1");
    ASSERT_EQ(0, m_set(1, "COM7", FALSE, 1, &record));
    ScratchRegistry::Open(PortKey(3));

    const auto results = setup::WriteMissingPortKeys(m_set);
    ASSERT_EQ(4u, results.size());
    EXPECT_EQ(setup::PortKeyResult::Outcome::Written, results[0].outcome);
    EXPECT_EQ(setup::PortKeyResult::Outcome::Kept, results[1].outcome);
    EXPECT_EQ(setup::PortKeyResult::Outcome::Written, results[2].outcome);
    EXPECT_EQ(setup::PortKeyResult::Outcome::Kept, results[3].outcome);
    EXPECT_EQ(L"COM7", ScratchRegistry::GetString(PortKey(1), reg::kDosDevices));
    EXPECT_EQ(L"modem1", ScratchRegistry::GetString(PortKey(1) + L"\\Redirections\\0", reg::kEntryPort));
    EXPECT_FALSE(ScratchRegistry::GetString(PortKey(3), reg::kDosDevices));
}

TEST(DosNames, OnlyDefinitionsOfOurPortDevicesAreRemoved) {
    ScratchRegistry scratch;
    // Names of this process, so parallel runs in one prefix do not meet;
    // Wine handles DOS names of at most four characters.
    const std::wstring ours = L"KQ" + std::to_wstring(10 + GetCurrentProcessId() % 90);
    const std::wstring foreign = L"KF" + std::to_wstring(10 + GetCurrentProcessId() % 90);
    ScratchRegistry::SetString(std::wstring(reg::kPortsKey) + L"\\Dialout5", reg::kDosDevices, ours);
    ScratchRegistry::SetString(std::wstring(reg::kPortsKey) + L"\\Dialout6", reg::kDosDevices, foreign);
    ASSERT_TRUE(DefineDosDeviceW(DDD_RAW_TARGET_PATH, ours.c_str(), L"\\Device\\Dialout5"));
    ASSERT_TRUE(DefineDosDeviceW(DDD_RAW_TARGET_PATH, foreign.c_str(), L"\\Device\\Serial9"));

    const auto results = setup::RemovePortDosNames();
    wchar_t target[256] = {};
    EXPECT_EQ(0u, QueryDosDeviceW(ours.c_str(), target, 256)) << target;
    ASSERT_NE(0u, QueryDosDeviceW(foreign.c_str(), target, 256));
    EXPECT_STREQ(L"\\Device\\Serial9", target);
    ASSERT_EQ(2u, results.size());
    EXPECT_EQ(1, results[0].removed);
    EXPECT_FALSE(results[0].stillDefined);
    EXPECT_EQ(0, results[1].removed);
    DefineDosDeviceW(DDD_RAW_TARGET_PATH | DDD_REMOVE_DEFINITION, foreign.c_str(), L"\\Device\\Serial9");
}

TEST(FilesInUse, HeldFilesAreReportedMissingOnesAreNot) {
    TempFile free(L"kvrfree", "x");
    TempFile held(L"kvrheld", "x");
    kvr::UniqueFile holder(CreateFileW(held.Path().c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING,
                                       FILE_ATTRIBUTE_NORMAL, nullptr));
    ASSERT_TRUE(holder);
    const auto busy = setup::FilesInUse({free.Path(), held.Path(), TempPath(L"kvrmissing")});
    ASSERT_EQ(1u, busy.size());
    EXPECT_EQ(held.Path(), busy[0].path);
    EXPECT_NE(std::string::npos, busy[0].reason.find("in use")) << busy[0].reason;
}
