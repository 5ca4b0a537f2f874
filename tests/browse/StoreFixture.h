#pragma once
// HKEY_LOCAL_MACHINE redirected to a fresh scratch key for the length of one
// test, plus direct access to what the store wrote there.
#include <windows.h>

#include <gtest/gtest.h>

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "Registry.h"
#include "ScratchRegistry.h"

class ScratchMachineKey : public ::testing::Test {
protected:
    static std::string PortPath(int port) {
        return "SOFTWARE\\Quelt\\Rezoriv\\Ports\\Dialout" + std::to_string(port);
    }
    static std::string EntryPath(int port, int entry) {
        return PortPath(port) + "\\Redirections\\" + std::to_string(entry);
    }

    static bool KeyExists(const std::string& path) { return ScratchRegistry::Exists(path); }
    static DWORD SubkeyCount(const std::string& path) {
        return kvr::RegKey::Open(HKEY_LOCAL_MACHINE, path.c_str()).SubKeyCount().value_or(0xFFFFFFFF);
    }
    static void DeleteKey(const std::string& path) { ASSERT_TRUE(ScratchRegistry::Delete(path)) << path; }

    static void SetRaw(const std::string& path, const char* name, DWORD type, const void* data,
                       DWORD size) {
        ASSERT_TRUE(ScratchRegistry::SetRaw(path, name, type, data, size)) << path << " " << name;
    }
    static void SetText(const std::string& path, const char* name, const std::string& text) {
        ASSERT_TRUE(ScratchRegistry::SetString(path, name, text)) << path << " " << name;
    }
    static void SetDword(const std::string& path, const char* name, DWORD value) {
        ASSERT_TRUE(ScratchRegistry::SetDword(path, name, value)) << path << " " << name;
    }

    // The value's type and bytes as stored; nothing when it is missing.
    struct RawValue {
        DWORD type;
        std::vector<std::uint8_t> bytes;
    };
    static std::optional<RawValue> GetRaw(const std::string& path, const char* name) {
        const kvr::RegKey key = kvr::RegKey::Open(HKEY_LOCAL_MACHINE, path.c_str());
        if (!key) return std::nullopt;
        kvr::RegValueInfo info = key.Query(name, nullptr, 0);
        if (info.status != ERROR_SUCCESS) return std::nullopt;
        RawValue value{info.type, std::vector<std::uint8_t>(info.size)};
        info = key.Query(name, value.bytes.data(), info.size);
        if (info.status != ERROR_SUCCESS) return std::nullopt;
        value.bytes.resize(info.size);
        return value;
    }
    // A REG_SZ stored with its terminating NUL, as the service expects it.
    static std::optional<std::string> GetText(const std::string& path, const char* name) {
        auto value = GetRaw(path, name);
        if (!value || value->type != REG_SZ || value->bytes.empty() || value->bytes.back() != 0)
            return std::nullopt;
        return std::string(reinterpret_cast<const char*>(value->bytes.data()));
    }
    static std::optional<DWORD> GetDword(const std::string& path, const char* name) {
        return ScratchRegistry::GetDword(path, name);
    }

private:
    ScratchRegistry m_registry;
};
