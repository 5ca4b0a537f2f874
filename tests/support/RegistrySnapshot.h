#pragma once
// Keeps the values of a key of the real registry and puts them back, for
// tests whose programs write there (another process cannot be given a
// scratch registry): values added are deleted, changed ones restored, and a
// key that did not exist is removed again.
#include <windows.h>

#include <string>
#include <vector>

#include "Registry.h"

class RegistrySnapshot {
public:
    RegistrySnapshot(HKEY root, std::wstring path) : m_root(root), m_path(std::move(path)) {
        const kvr::RegKey key = kvr::RegKey::Open(m_root, m_path.c_str(), KEY_READ);
        m_existed = static_cast<bool>(key);
        if (m_existed) m_values = ReadValues(key.Get());
    }
    ~RegistrySnapshot() {
        if (!m_existed) {
            RegDeleteTreeW(m_root, m_path.c_str());
            return;
        }
        const kvr::RegKey key = kvr::RegKey::Open(m_root, m_path.c_str(), KEY_ALL_ACCESS);
        if (!key) return;
        for (const Value& now : ReadValues(key.Get())) {
            bool kept = false;
            for (const Value& before : m_values) kept = kept || _wcsicmp(before.name.c_str(), now.name.c_str()) == 0;
            if (!kept) RegDeleteValueW(key.Get(), now.name.c_str());
        }
        for (const Value& before : m_values)
            RegSetValueExW(key.Get(), before.name.c_str(), 0, before.type, before.data.data(),
                           static_cast<DWORD>(before.data.size()));
    }
    RegistrySnapshot(const RegistrySnapshot&) = delete;
    RegistrySnapshot& operator=(const RegistrySnapshot&) = delete;

private:
    struct Value {
        std::wstring name;
        DWORD type;
        std::vector<BYTE> data;
    };
    static std::vector<Value> ReadValues(HKEY key) {
        std::vector<Value> values;
        for (DWORD index = 0;; ++index) {
            wchar_t name[16384];
            DWORD nameLength = 16384, type = 0, size = 0;
            if (RegEnumValueW(key, index, name, &nameLength, nullptr, &type, nullptr, &size) != ERROR_SUCCESS) break;
            Value value{std::wstring(name, nameLength), type, std::vector<BYTE>(size)};
            nameLength = 16384;
            RegEnumValueW(key, index, name, &nameLength, nullptr, &type, value.data.data(), &size);
            value.data.resize(size);
            values.push_back(std::move(value));
        }
        return values;
    }

    HKEY m_root;
    std::wstring m_path;
    bool m_existed = false;
    std::vector<Value> m_values;
};
