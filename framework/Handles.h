#pragma once
// Owning wrappers for the Win32 handles the system holds. Each closes its
// handle exactly once; they move but never copy.
#include <winsock2.h>
#include <windows.h>

#include <utility>

namespace kvr {

template <typename Traits>
class UniqueResource {
public:
    using Handle = typename Traits::Handle;

    UniqueResource() = default;
    explicit UniqueResource(Handle h) : m_h(h) {}
    ~UniqueResource() { Reset(); }
    UniqueResource(UniqueResource&& other) noexcept : m_h(other.Release()) {}
    UniqueResource& operator=(UniqueResource&& other) noexcept {
        if (this != &other) Reset(other.Release());
        return *this;
    }
    UniqueResource(const UniqueResource&) = delete;
    UniqueResource& operator=(const UniqueResource&) = delete;

    Handle Get() const { return m_h; }
    bool IsValid() const { return m_h != Traits::Invalid(); }
    explicit operator bool() const { return IsValid(); }
    Handle* Put() {
        Reset();
        return &m_h;
    }
    Handle Release() { return std::exchange(m_h, Traits::Invalid()); }
    void Reset(Handle h = Traits::Invalid()) {
        if (m_h != Traits::Invalid()) Traits::Close(m_h);
        m_h = h;
    }

private:
    Handle m_h = Traits::Invalid();
};

struct HandleTraits {  // events, threads, processes, mutexes: null when absent
    using Handle = HANDLE;
    static Handle Invalid() { return nullptr; }
    static void Close(Handle h) { ::CloseHandle(h); }
};
struct FileHandleTraits {  // files and pipes: INVALID_HANDLE_VALUE when absent
    using Handle = HANDLE;
    static Handle Invalid() { return INVALID_HANDLE_VALUE; }
    static void Close(Handle h) { ::CloseHandle(h); }
};
struct HKeyTraits {
    using Handle = HKEY;
    static Handle Invalid() { return nullptr; }
    static void Close(Handle h) { ::RegCloseKey(h); }
};
struct SocketTraits {
    using Handle = SOCKET;
    static Handle Invalid() { return INVALID_SOCKET; }
    static void Close(Handle h) { ::closesocket(h); }
};
struct ModuleTraits {
    using Handle = HMODULE;
    static Handle Invalid() { return nullptr; }
    static void Close(Handle h) { ::FreeLibrary(h); }
};
struct ScHandleTraits {
    using Handle = SC_HANDLE;
    static Handle Invalid() { return nullptr; }
    static void Close(Handle h) { ::CloseServiceHandle(h); }
};

using UniqueHandle = UniqueResource<HandleTraits>;
using UniqueFile = UniqueResource<FileHandleTraits>;
using UniqueHKey = UniqueResource<HKeyTraits>;
using UniqueSocket = UniqueResource<SocketTraits>;
using UniqueModule = UniqueResource<ModuleTraits>;
using UniqueScHandle = UniqueResource<ScHandleTraits>;

}  // namespace kvr
