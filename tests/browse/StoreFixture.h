#pragma once
// HKEY_LOCAL_MACHINE redirected to a fresh scratch key for the length of one
// test, plus direct access to what the store wrote there.
#include <windows.h>

#include <gtest/gtest.h>

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "ScratchRegistry.h"

class ScratchMachineKey : public ::testing::Test {
protected:
    static std::string PortPath(int port) {
        return "SOFTWARE\\Quelt\\Rezoriv\\Ports\\Dialout" + std::to_string(port);
    }
    static std::string EntryPath(int port, int entry) {
        return PortPath(port) + "\\Redirections\\" + std::to_string(entry);
    }

    static bool KeyExists(const std::string& path) {
        HKEY key;
        if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, path.c_str(), 0, KEY_READ, &key) != ERROR_SUCCESS)
            return false;
        RegCloseKey(key);
        return true;
    }
    static DWORD SubkeyCount(const std::string& path) {
        HKEY key;
        if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, path.c_str(), 0, KEY_READ, &key) != ERROR_SUCCESS)
            return 0xFFFFFFFF;
        DWORD count = 0;
        RegQueryInfoKeyA(key, nullptr, nullptr, nullptr, &count, nullptr, nullptr, nullptr, nullptr,
                         nullptr, nullptr, nullptr);
        RegCloseKey(key);
        return count;
    }
    static void DeleteKey(const std::string& path) {
        ASSERT_EQ(ERROR_SUCCESS, RegDeleteTreeA(HKEY_LOCAL_MACHINE, path.c_str()));
    }

    static void SetRaw(const std::string& path, const char* name, DWORD type, const void* data,
                       DWORD size) {
        HKEY key;
        ASSERT_EQ(ERROR_SUCCESS, RegCreateKeyExA(HKEY_LOCAL_MACHINE, path.c_str(), 0, nullptr, 0,
                                                 KEY_ALL_ACCESS, nullptr, &key, nullptr));
        EXPECT_EQ(ERROR_SUCCESS,
                  RegSetValueExA(key, name, 0, type, static_cast<const BYTE*>(data), size));
        RegCloseKey(key);
    }
    static void SetText(const std::string& path, const char* name, const std::string& text) {
        SetRaw(path, name, REG_SZ, text.c_str(), static_cast<DWORD>(text.size() + 1));
    }
    static void SetDword(const std::string& path, const char* name, DWORD value) {
        SetRaw(path, name, REG_DWORD, &value, sizeof(value));
    }

    // The value's type and bytes as stored; nothing when it is missing.
    struct RawValue {
        DWORD type;
        std::vector<std::uint8_t> bytes;
    };
    static std::optional<RawValue> GetRaw(const std::string& path, const char* name) {
        HKEY key;
        if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, path.c_str(), 0, KEY_READ, &key) != ERROR_SUCCESS)
            return std::nullopt;
        RawValue value{};
        DWORD size = 0;
        LONG result = RegQueryValueExA(key, name, nullptr, &value.type, nullptr, &size);
        if (result == ERROR_SUCCESS) {
            value.bytes.resize(size);
            result = RegQueryValueExA(key, name, nullptr, &value.type, value.bytes.data(), &size);
        }
        RegCloseKey(key);
        if (result != ERROR_SUCCESS) return std::nullopt;
        return value;
    }
    static std::optional<std::string> GetText(const std::string& path, const char* name) {
        auto value = GetRaw(path, name);
        if (!value || value->type != REG_SZ || value->bytes.empty() || value->bytes.back() != 0)
            return std::nullopt;
        return std::string(reinterpret_cast<const char*>(value->bytes.data()));
    }
    static std::optional<DWORD> GetDword(const std::string& path, const char* name) {
        auto value = GetRaw(path, name);
        if (!value || value->type != REG_DWORD || value->bytes.size() != 4) return std::nullopt;
        DWORD result;
        memcpy(&result, value->bytes.data(), 4);
        return result;
    }

private:
    ScratchRegistry m_registry;
};
