#include <gtest/gtest.h>

#include <string>
#include <thread>

#include "ConfigTestSupport.h"
#include "PasswordCache.h"

namespace {

class PasswordCacheTest : public ScratchMachineKey {
protected:
    PasswordCacheTest() : m_mutexName(TestMutexName(L"cache")), m_cache(m_mutexName.c_str(), &FakeTick) {}

    void StoreAt(DWORD tick, const wchar_t* user = L"bob") {
        g_fakeTick = tick;
        std::uint16_t scrambled[kScrambledBuffer] = {0x12, 0x34, 0x101, 0x202};
        m_cache.Store(user, scrambled);
    }
    bool LookupAt(DWORD tick) {
        g_fakeTick = tick;
        std::uint16_t scrambled[kScrambledBuffer] = {};
        wchar_t user[kUserNameChars] = {};
        return m_cache.Lookup(scrambled, user);
    }

    std::wstring m_mutexName;
    PasswordCache m_cache;
};

struct ExpiryCase {
    const char* what;
    DWORD lifetime;
    DWORD storedAt;
    DWORD modTick;  // UsernameModTick at lookup
    DWORD lookupAt;
    bool hit;
};

const ExpiryCase kExpiryCases[] = {
    {"within the lifetime", 600000, 1000, 0, 1000 + 600000, true},
    {"one tick past the lifetime", 600000, 1000, 0, 1000 + 600001, false},
    {"eleven minutes later", 600000, 1000, 0, 1000 + 11 * 60 * 1000, false},
    {"never expires, forty days later", reg::kCacheNeverExpires, 1000, 0, 1000 + 40u * 86400000u, true},
    {"user name changed after the fill", reg::kCacheNeverExpires, 1000, 1001, 2000, false},
    {"user name changed at the fill tick", reg::kCacheNeverExpires, 1000, 1000, 2000, false},
    {"user name changed before the fill", reg::kCacheNeverExpires, 1000, 999, 2000, true},
    {"tick count wrapped since the fill", 600000, 0xFFFFFFF0, 0, 0x100, true},
    {"tick count wrapped and the lifetime passed", 600000, 0xFFFFFFF0, 0, 0xFFFFFFF0 + 600001, false},
    {"filled at tick 0 still counts as filled", 600000, 0, 0, 10, true},
};

TEST_F(PasswordCacheTest, LookupHitsOnlyWhileValid) {
    for (const ExpiryCase& c : kExpiryCases) {
        SCOPED_TRACE(c.what);
        SetDword(reg::kUsernameModTick, 0);
        m_cache.SetLifetime(c.lifetime);
        StoreAt(c.storedAt);
        ASSERT_TRUE(m_cache.IsFilled());
        SetDword(reg::kUsernameModTick, c.modTick);
        EXPECT_EQ(c.hit, LookupAt(c.lookupAt));
        EXPECT_EQ(c.hit, m_cache.IsFilled());  // every miss empties the cache
    }
}

TEST_F(PasswordCacheTest, HitCopiesTheEntryOut) {
    m_cache.SetLifetime(reg::kCacheNeverExpires);
    const std::wstring longName(60, L'x');
    std::uint16_t stored[kScrambledBuffer];
    for (std::size_t i = 0; i < kScrambledBuffer; ++i) stored[i] = static_cast<std::uint16_t>(0x100 + i);
    g_fakeTick = 5;
    m_cache.Store(longName.c_str(), stored);

    std::uint16_t scrambled[kScrambledBuffer] = {};
    wchar_t user[kUserNameChars];
    ASSERT_TRUE(m_cache.Lookup(scrambled, user));
    EXPECT_TRUE(std::equal(std::begin(stored), std::end(stored), scrambled));
    EXPECT_EQ(std::wstring(kUserNameChars - 1, L'x'), std::wstring(user));  // cut and terminated
}

TEST_F(PasswordCacheTest, NeverExpiringCacheEmptiesOnlyOnALaterUserNameChange) {
    m_cache.SetLifetime(reg::kCacheNeverExpires);
    StoreAt(1000);
    EXPECT_TRUE(LookupAt(0xFFFFFF00));
    SetDword(reg::kUsernameModTick, 1500);
    EXPECT_FALSE(LookupAt(0xFFFFFF00));
    SetDword(reg::kUsernameModTick, 0);
    EXPECT_FALSE(LookupAt(0xFFFFFF00));  // the miss emptied it for good
}

TEST_F(PasswordCacheTest, CachingTurnedOffMissesAndEmpties) {
    m_cache.SetLifetime(reg::kCacheNeverExpires);
    StoreAt(1000);
    m_cache.SetLifetime(0);
    EXPECT_FALSE(LookupAt(1001));
    EXPECT_FALSE(m_cache.IsFilled());
}

TEST_F(PasswordCacheTest, StoreWithCachingOffKeepsNothing) {
    m_cache.SetLifetime(0);
    StoreAt(1000);
    EXPECT_FALSE(m_cache.IsFilled());
}

// Holds the named mutex on a thread of its own until told to let go.
class MutexHolder {
public:
    MutexHolder(const std::wstring& name, bool abandon)
        : m_held(::CreateEventW(nullptr, TRUE, FALSE, nullptr)),
          m_release(::CreateEventW(nullptr, TRUE, FALSE, nullptr)) {
        m_thread = std::thread([this, name, abandon] {
            kvr::UniqueHandle mutex(::CreateMutexW(nullptr, FALSE, name.c_str()));
            ::WaitForSingleObject(mutex.Get(), INFINITE);
            ::SetEvent(m_held.Get());
            if (abandon) return;  // ends owning it
            ::WaitForSingleObject(m_release.Get(), INFINITE);
            ::ReleaseMutex(mutex.Get());
        });
        ::WaitForSingleObject(m_held.Get(), INFINITE);
    }
    ~MutexHolder() { Release(); }
    void Release() {
        ::SetEvent(m_release.Get());
        if (m_thread.joinable()) m_thread.join();
    }

private:
    kvr::UniqueHandle m_held;
    kvr::UniqueHandle m_release;
    std::thread m_thread;
};

TEST_F(PasswordCacheTest, StoreIsSkippedWhileTheMutexIsHeldElsewhere) {
    m_cache.SetLifetime(reg::kCacheNeverExpires);
    m_cache.SetStoreWaitMs(50);
    MutexHolder holder(m_mutexName, false);
    StoreAt(1000);
    EXPECT_FALSE(m_cache.IsFilled());
    holder.Release();
    StoreAt(1000);
    EXPECT_TRUE(m_cache.IsFilled());
}

TEST_F(PasswordCacheTest, LookupWithoutTheMutexMissesButKeepsTheEntry) {
    m_cache.SetLifetime(reg::kCacheNeverExpires);
    m_cache.SetStoreWaitMs(50);
    StoreAt(1000);
    MutexHolder holder(m_mutexName, false);
    EXPECT_FALSE(LookupAt(1001));
    EXPECT_TRUE(m_cache.IsFilled());
    holder.Release();
    EXPECT_TRUE(LookupAt(1002));
}

TEST_F(PasswordCacheTest, AbandonedMutexDropsTheEntry) {
    // A thread that died inside the guarded section may have left half an entry.
    m_cache.SetLifetime(reg::kCacheNeverExpires);
    StoreAt(1000);
    {
        MutexHolder holder(m_mutexName, true);
    }
    EXPECT_FALSE(LookupAt(1001));
    EXPECT_FALSE(m_cache.IsFilled());
    StoreAt(1002);
    EXPECT_TRUE(LookupAt(1003));
}

TEST_F(PasswordCacheTest, LookupEntryIsNeverHalfWritten) {
    // Two writers with different pairs; every hit must see one whole pair.
    m_cache.SetLifetime(reg::kCacheNeverExpires);
    g_fakeTick = 1000;
    std::uint16_t scrambledA[kScrambledBuffer];
    std::uint16_t scrambledB[kScrambledBuffer];
    std::fill(std::begin(scrambledA), std::end(scrambledA), std::uint16_t{'A'});
    std::fill(std::begin(scrambledB), std::end(scrambledB), std::uint16_t{'B'});
    std::atomic<bool> stop{false};
    std::thread writerA([&] { while (!stop) m_cache.Store(L"AAAAAAAAAAAAAAAA", scrambledA); });
    std::thread writerB([&] { while (!stop) m_cache.Store(L"BBBBBBBBBBBBBBBB", scrambledB); });
    for (int i = 0; i < 2000; ++i) {
        std::uint16_t scrambled[kScrambledBuffer] = {};
        wchar_t user[kUserNameChars] = {};
        if (!m_cache.Lookup(scrambled, user)) continue;
        const wchar_t expected = user[0];
        ASSERT_TRUE(expected == L'A' || expected == L'B');
        ASSERT_EQ(std::wstring(16, expected), std::wstring(user));
        ASSERT_TRUE(std::all_of(std::begin(scrambled), std::end(scrambled),
                                [&](std::uint16_t v) { return v == expected; }));
    }
    stop = true;
    writerA.join();
    writerB.join();
}

}  // namespace
