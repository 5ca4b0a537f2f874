#pragma once
// The service-wide cache of the last accepted user name and scrambled
// password, shared by all port sessions and guarded by a named mutex.
#include "Handles.h"  // winsock2.h before windows.h

#include <atomic>
#include <cstdint>

#include "AuthInfo.h"
#include "PasswordScramble.h"

inline constexpr wchar_t kPasswordMutexName[] = L"PasswordMutex";

// The system tick count (GetTickCount), the cache's clock in service.
DWORD SystemTickCount();

class PasswordCache {
public:
    using TickSource = DWORD (*)();

    static constexpr DWORD kStoreWaitMs = 10000;

    // Opens the named mutex, creating it (not owned) if the service has not
    // yet done so. Tests pass a name of their own and a simulated clock.
    explicit PasswordCache(const wchar_t* mutexName = kPasswordMutexName,
                           TickSource clock = &SystemTickCount);

    PasswordCache(const PasswordCache&) = delete;
    PasswordCache& operator=(const PasswordCache&) = delete;

    // False when the mutex could not be had; every lookup then misses and
    // every store is skipped.
    bool IsUsable() const { return m_mutex.IsValid(); }

    // The last PasswordCaching value read: 0 = off, kCacheNeverExpires, or
    // milliseconds.
    void SetLifetime(DWORD lifetime) { m_lifetime.store(lifetime); }
    DWORD Lifetime() const { return m_lifetime.load(); }

    // True while an entry is held, whether or not it is still valid.
    bool IsFilled() const { return m_stamp.load() != 0; }

    // Copies the entry out when it is valid now; any miss empties the cache.
    // Reads UsernameModTick from the global key under root at each call.
    bool Lookup(std::uint16_t (&scrambledOut)[kScrambledBuffer],
                wchar_t (&userNameOut)[kUserNameChars], HKEY root = HKEY_LOCAL_MACHINE);

    // Fills the cache if caching is on. Skipped silently when the mutex is
    // not obtained within the store wait.
    void Store(const wchar_t* userName, const std::uint16_t (&scrambled)[kScrambledBuffer]);

    // The store wait is kStoreWaitMs; tests shorten it.
    void SetStoreWaitMs(DWORD waitMs) { m_storeWaitMs = waitMs; }

private:
    void EmptyLocked();

    kvr::UniqueHandle m_mutex;
    TickSource m_clock;
    DWORD m_storeWaitMs = kStoreWaitMs;
    std::atomic<DWORD> m_lifetime{0};
    std::atomic<DWORD> m_stamp{0};  // tick count when filled; 0 = empty
    std::uint16_t m_scrambled[kScrambledBuffer] = {};
    wchar_t m_userName[kUserNameChars] = {};
};

// UsernameModTick from the global key under root; 0 when absent or unreadable.
DWORD ReadUsernameModTick(HKEY root = HKEY_LOCAL_MACHINE);
