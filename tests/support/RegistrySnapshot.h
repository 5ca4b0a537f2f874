#pragma once
// Keeps a key of the real registry and puts it back, for tests whose programs
// write there (another process cannot be given a scratch registry). By
// default only the key's values (its subkeys may be other tests' business):
// values added are deleted, changed ones restored. Scope::Tree keeps the key
// with everything below it and restores it whole. A key that did not exist
// is removed again.
#include <windows.h>

#include <string>
#include <vector>

#include "Registry.h"

class RegistrySnapshot {
public:
    enum class Scope { Values, Tree };

    RegistrySnapshot(HKEY root, std::wstring path, Scope scope = Scope::Values)
        : m_root(root), m_path(std::move(path)), m_scope(scope) {
        const kvr::RegKey key = kvr::RegKey::Open(m_root, m_path.c_str(), KEY_READ);
        m_existed = static_cast<bool>(key);
        if (m_existed) m_kept = Read(key.Get(), m_scope == Scope::Tree);
    }
    ~RegistrySnapshot() {
        if (!m_existed || m_scope == Scope::Tree) RegDeleteTreeW(m_root, m_path.c_str());
        if (!m_existed) return;
        const kvr::RegKey key = kvr::RegKey::Create(m_root, m_path.c_str(), KEY_ALL_ACCESS);
        if (!key) return;
        for (const Value& now : ReadValues(key.Get())) {
            bool kept = false;
            for (const Value& before : m_kept.values) kept = kept || _wcsicmp(before.name.c_str(), now.name.c_str()) == 0;
            if (!kept) RegDeleteValueW(key.Get(), now.name.c_str());
        }
        Write(key.Get(), m_kept);
    }
    RegistrySnapshot(const RegistrySnapshot&) = delete;
    RegistrySnapshot& operator=(const RegistrySnapshot&) = delete;

private:
    struct Value {
        std::wstring name;
        DWORD type;
        std::vector<BYTE> data;
    };
    struct Node {
        std::wstring name;
        std::vector<Value> values;
        std::vector<Node> children;
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

    static Node Read(HKEY key, bool children) {
        Node node{std::wstring(), ReadValues(key), {}};
        for (DWORD index = 0; children; ++index) {
            wchar_t name[256];
            DWORD nameLength = 256;
            if (RegEnumKeyExW(key, index, name, &nameLength, nullptr, nullptr, nullptr, nullptr) != ERROR_SUCCESS) break;
            const kvr::RegKey sub = kvr::RegKey::Open(key, name, KEY_READ);
            if (!sub) continue;
            node.children.push_back(Read(sub.Get(), true));
            node.children.back().name.assign(name, nameLength);
        }
        return node;
    }

    static void Write(HKEY key, const Node& node) {
        for (const Value& v : node.values)
            RegSetValueExW(key, v.name.c_str(), 0, v.type, v.data.data(), static_cast<DWORD>(v.data.size()));
        for (const Node& child : node.children) {
            const kvr::RegKey sub = kvr::RegKey::Create(key, child.name.c_str(), KEY_ALL_ACCESS);
            if (sub) Write(sub.Get(), child);
        }
    }

    HKEY m_root;
    std::wstring m_path;
    Scope m_scope;
    bool m_existed = false;
    Node m_kept;
};
