#include "PasswordCache.h"

#include <algorithm>
#include <cwchar>
#include <iterator>

#include "Registry.h"
#include "RegistryNames.h"

namespace {

// Releases the mutex on every path out of a locked section.
class MutexLock {
public:
    MutexLock(HANDLE mutex, DWORD waitMs) : m_mutex(mutex) {
        const DWORD rc = ::WaitForSingleObject(mutex, waitMs);
        m_owned = rc == WAIT_OBJECT_0 || rc == WAIT_ABANDONED;
        m_abandoned = rc == WAIT_ABANDONED;
    }
    ~MutexLock() {
        if (m_owned) ::ReleaseMutex(m_mutex);
    }
    MutexLock(const MutexLock&) = delete;
    MutexLock& operator=(const MutexLock&) = delete;

    bool Owned() const { return m_owned; }
    // The previous owner ended inside its section: the entry may be half written.
    bool Abandoned() const { return m_abandoned; }

private:
    HANDLE m_mutex;
    bool m_owned = false;
    bool m_abandoned = false;
};

}  // namespace

DWORD SystemTickCount() { return ::GetTickCount(); }

DWORD ReadUsernameModTick(HKEY root) {
    const kvr::RegKey key = kvr::RegKey::Open(root, reg::kRezorivKey, KEY_QUERY_VALUE);
    return key ? key.ReadDword(reg::kUsernameModTick).value_or(0) : 0;
}

PasswordCache::PasswordCache(const wchar_t* mutexName, TickSource clock)
    : m_mutex(::CreateMutexW(nullptr, FALSE, mutexName)), m_clock(clock ? clock : &SystemTickCount) {}

bool PasswordCache::Lookup(std::uint16_t (&scrambledOut)[kScrambledBuffer],
                           wchar_t (&userNameOut)[kUserNameChars], HKEY root) {
    if (!IsUsable()) return false;
    // A lookup waits as long as a store would; one that cannot get the mutex
    // misses without touching the entry another thread holds.
    MutexLock lock(m_mutex.Get(), m_storeWaitMs);
    if (!lock.Owned()) return false;

    const DWORD lifetime = m_lifetime.load();
    const DWORD stamp = m_stamp.load();
    // An empty or unused cache misses whatever the registry says: the
    // registry is read only for an entry that could hit.
    const DWORD modTick = lifetime != 0 && stamp != 0 ? ReadUsernameModTick(root) : 0;
    const DWORD now = m_clock();
    // The stamp and UsernameModTick are raw tick counts compared as they
    // stand; elapsed time uses unsigned subtraction so a tick wrap between
    // fill and lookup does not expire a fresh entry.
    const bool hit = !lock.Abandoned() && lifetime != 0 && stamp != 0 && stamp > modTick &&
                     (lifetime == reg::kCacheNeverExpires || now - stamp <= lifetime);
    if (!hit) {
        EmptyLocked();
        return false;
    }
    std::copy(std::begin(m_scrambled), std::end(m_scrambled), scrambledOut);
    std::copy(std::begin(m_userName), std::end(m_userName), userNameOut);
    return true;
}

void PasswordCache::Store(const wchar_t* userName,
                          const std::uint16_t (&scrambled)[kScrambledBuffer]) {
    if (!IsUsable() || m_lifetime.load() == 0) return;
    MutexLock lock(m_mutex.Get(), m_storeWaitMs);
    if (!lock.Owned()) return;

    std::fill(std::begin(m_userName), std::end(m_userName), L'\0');
    if (userName != nullptr) {
        const std::size_t length = ::wcsnlen(userName, kUserNameChars - 1);
        std::wmemcpy(m_userName, userName, length);
    }
    std::copy(std::begin(scrambled), std::end(scrambled), m_scrambled);
    // Stamp 0 means empty, so a fill at tick 0 is recorded as tick 1.
    const DWORD now = m_clock();
    m_stamp.store(now != 0 ? now : 1);
}

void PasswordCache::EmptyLocked() {
    m_stamp.store(0);
    std::fill(std::begin(m_scrambled), std::end(m_scrambled), std::uint16_t{0});
    std::fill(std::begin(m_userName), std::end(m_userName), L'\0');
}
