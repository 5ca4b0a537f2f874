#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "ConfigTestSupport.h"
#include "PasswordCache.h"
#include "ServiceOptions.h"

namespace {

constexpr std::uint32_t kLifetime10Min = 600000;

std::wstring Unscrambled(const std::uint16_t* scrambled) {
    std::uint8_t wire[kScrambledValues];
    std::size_t length = 0;
    while (length < kScrambledValues && scrambled[length] != 0) {
        wire[length] = static_cast<std::uint8_t>(scrambled[length]);
        ++length;
    }
    char16_t out[kScrambledChars + 1];
    const std::size_t n = UnscramblePassword(wire, length, out, std::size(out));
    return std::wstring(reinterpret_cast<const wchar_t*>(out), n);
}

void ScrambledOf(const std::wstring& password, std::uint16_t (&out)[kScrambledBuffer]) {
    std::fill(std::begin(out), std::end(out), std::uint16_t{0});
    ScramblePassword(password.c_str(), static_cast<std::uint32_t>(password.size() + 1), out);
}

class ConfigTest : public ScratchMachineKey {
protected:
    ConfigTest() : m_cache(TestMutexName(L"options").c_str(), &FakeTick) {}

    void FillCache(const wchar_t* user, const std::wstring& password) {
        const DWORD lifetime = m_cache.Lifetime();
        if (lifetime == 0) m_cache.SetLifetime(reg::kCacheNeverExpires);
        std::uint16_t scrambled[kScrambledBuffer];
        ScrambledOf(password, scrambled);
        m_cache.Store(user, scrambled);
        m_cache.SetLifetime(lifetime);
        ASSERT_TRUE(m_cache.IsFilled());
    }

    PasswordCache m_cache;
};

struct OptionsCase {
    const char* what;
    std::optional<DWORD> silent;
    std::optional<DWORD> caching;
    bool cacheFilled;
    DWORD authState;
    bool credentialsReady;
    bool silentConfigured;
};

const OptionsCase kOptionsCases[] = {
    {"defaults: silent on, caching off", {}, {}, false, kAuthSilent, true, true},
    {"silent, caching off ignores a filled cache", 1, 0, true, kAuthSilent, true, true},
    {"nothing configured asks the user", 0, 0, true, kAuthPrompt, false, false},
    {"silent, caching on, cache filled", 1, kLifetime10Min, true, kAuthCached, true, true},
    {"caching on, cache filled", 0, kLifetime10Min, true, kAuthCached, true, false},
    {"silent, caching on, cache empty", 1, kLifetime10Min, false, kAuthSilent, true, true},
    {"caching on, cache empty waits for typed credentials", 0, kLifetime10Min, false, kAuthTyped, false,
     false},
    {"never-expiring cache filled", 0, reg::kCacheNeverExpires, true, kAuthCached, true, false},
    {"any non-zero Silent counts", 7, {}, false, kAuthSilent, true, true},
};

TEST_F(ConfigTest, OptionCombinationsSetTheLoginState) {
    for (const OptionsCase& c : kOptionsCases) {
        SCOPED_TRACE(c.what);
        ::RegDeleteValueW(GlobalKey(), reg::kSilent);
        ::RegDeleteValueW(GlobalKey(), reg::kPasswordCaching);
        if (c.silent) SetDword(reg::kSilent, *c.silent);
        if (c.caching) SetDword(reg::kPasswordCaching, *c.caching);
        std::uint16_t scrambled[kScrambledBuffer];
        wchar_t user[kUserNameChars];
        m_cache.SetLifetime(0);
        m_cache.Lookup(scrambled, user);  // empties
        if (c.cacheFilled) FillCache(L"cached", L"pw");

        SessionOptions options;
        ASSERT_TRUE(ReadGlobalOptions(options, m_cache));
        EXPECT_EQ(c.authState, options.authState);
        EXPECT_EQ(c.credentialsReady, options.credentialsReady);
        EXPECT_EQ(c.silentConfigured, options.silentConfigured);
        EXPECT_EQ(c.caching.value_or(0), m_cache.Lifetime());
    }
}

TEST_F(ConfigTest, MissingGlobalKeyChangesNothing) {
    m_cache.SetLifetime(1234);
    SessionOptions options;
    EXPECT_FALSE(ReadGlobalOptions(options, m_cache));
    EXPECT_EQ(0u, options.reopenMs);
    EXPECT_EQ(kAuthPrompt, options.authState);
    EXPECT_FALSE(options.credentialsReady);
    EXPECT_FALSE(options.silentConfigured);
    EXPECT_EQ(1234u, m_cache.Lifetime());
}

TEST_F(ConfigTest, ReopenIsReadWithItsDefault) {
    GlobalKey();
    SessionOptions options;
    ASSERT_TRUE(ReadGlobalOptions(options, m_cache));
    EXPECT_EQ(reg::kDefaultReopenMs, options.reopenMs);
    SetDword(L"reopen", 30000);  // the Chooser's spelling
    ASSERT_TRUE(ReadGlobalOptions(options, m_cache));
    EXPECT_EQ(30000u, options.reopenMs);
}

TEST_F(ConfigTest, ValueOfWrongTypeOrSizeTakesTheDefault) {
    const std::wstring text = L"0";
    const std::uint64_t wide = 0;
    const std::uint16_t narrow = 0;
    SetRaw(reg::kReopen, REG_SZ, text.c_str(), static_cast<DWORD>((text.size() + 1) * sizeof(wchar_t)));
    SetRaw(reg::kSilent, REG_QWORD, &wide, sizeof(wide));
    SetRaw(reg::kPasswordCaching, REG_DWORD, &narrow, sizeof(narrow));  // two bytes: malformed
    m_cache.SetLifetime(99);
    SessionOptions options;
    ASSERT_TRUE(ReadGlobalOptions(options, m_cache));
    EXPECT_EQ(reg::kDefaultReopenMs, options.reopenMs);
    EXPECT_EQ(kAuthSilent, options.authState);
    EXPECT_EQ(reg::kDefaultPasswordCaching, m_cache.Lifetime());
}

TEST_F(ConfigTest, MissReadsRegistryCredentialsAndScramblesThePassword) {
    SetString(reg::kUsername, L"alice");
    SetString(reg::kPassword, L"secret");
    AuthInfo info{};
    std::uint16_t scrambled[kScrambledBuffer];
    EXPECT_FALSE(ReadCredentials(info, scrambled, m_cache));
    EXPECT_STREQ(L"alice", info.userName);
    EXPECT_STREQ(L"secret", info.password);
    EXPECT_EQ(L"secret", Unscrambled(scrambled));
    EXPECT_EQ(0, scrambled[kScrambledValues]);
}

TEST_F(ConfigTest, HitReplacesUserNameAndScrambledPassword) {
    SetString(reg::kUsername, L"alice");
    SetString(reg::kPassword, L"secret");
    m_cache.SetLifetime(reg::kCacheNeverExpires);
    std::uint16_t cached[kScrambledBuffer];
    ScrambledOf(L"cachedpw", cached);
    m_cache.Store(L"bob", cached);

    AuthInfo info{};
    std::uint16_t scrambled[kScrambledBuffer];
    EXPECT_TRUE(ReadCredentials(info, scrambled, m_cache));
    EXPECT_STREQ(L"bob", info.userName);
    EXPECT_STREQ(L"secret", info.password);  // only the scrambled form comes from the cache
    EXPECT_TRUE(std::equal(std::begin(cached), std::end(cached), scrambled));  // seed included
}

struct CredentialLengthCase {
    const char* what;
    std::wstring user;
    std::wstring password;
    std::wstring expectedUser;
    std::wstring expectedPassword;
};

TEST_F(ConfigTest, CredentialsAreBoundedAndTerminated) {
    const CredentialLengthCase cases[] = {
        {"empty password", L"u", L"", L"u", L""},
        {"16-character password fits", L"u", L"ABCDEFGHIJKLMNOP", L"u", L"ABCDEFGHIJKLMNOP"},
        {"17-character password does not fit and counts as absent", L"u", L"ABCDEFGHIJKLMNOPQ", L"u", L""},
        {"47-character user name fits", std::wstring(47, L'n'), L"pw", std::wstring(47, L'n'), L"pw"},
        {"48-character user name counts as absent", std::wstring(48, L'n'), L"pw", L"", L"pw"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        SetString(reg::kUsername, c.user);
        SetString(reg::kPassword, c.password);
        AuthInfo info;
        std::fill(std::begin(info.userName), std::end(info.userName), L'#');
        std::fill(std::begin(info.password), std::end(info.password), L'#');
        std::uint16_t scrambled[kScrambledBuffer];
        EXPECT_FALSE(ReadCredentials(info, scrambled, m_cache));
        EXPECT_EQ(c.expectedUser, std::wstring(info.userName));
        EXPECT_EQ(c.expectedPassword, std::wstring(info.password));
        EXPECT_EQ(c.expectedPassword, Unscrambled(scrambled));
    }
}

TEST_F(ConfigTest, StoredStringWithoutTerminatorIsTerminated) {
    const wchar_t raw[3] = {L'a', L'b', L'c'};
    SetRaw(reg::kPassword, REG_SZ, raw, sizeof(raw));
    AuthInfo info{};
    std::uint16_t scrambled[kScrambledBuffer];
    ReadCredentials(info, scrambled, m_cache);
    EXPECT_STREQ(L"abc", info.password);
}

TEST_F(ConfigTest, NonStringCredentialsCountAsAbsent) {
    const DWORD number = 0x41414141;
    SetRaw(reg::kUsername, REG_DWORD, &number, sizeof(number));
    SetRaw(reg::kPassword, REG_BINARY, &number, sizeof(number));
    AuthInfo info{};
    std::uint16_t scrambled[kScrambledBuffer];
    ReadCredentials(info, scrambled, m_cache);
    EXPECT_STREQ(L"", info.userName);
    EXPECT_STREQ(L"", info.password);
}

TEST_F(ConfigTest, ExpiredCacheFallsBackToRegistryPassword) {
    SetString(reg::kUsername, L"alice");
    SetString(reg::kPassword, L"regpass");
    SetDword(reg::kSilent, 0);
    SetDword(reg::kPasswordCaching, kLifetime10Min);
    g_fakeTick = 50000;
    m_cache.SetLifetime(kLifetime10Min);
    std::uint16_t cached[kScrambledBuffer];
    ScrambledOf(L"cachedpw", cached);
    m_cache.Store(L"bob", cached);

    g_fakeTick += 11 * 60 * 1000;
    SessionOptions options;
    ASSERT_TRUE(ReadGlobalOptions(options, m_cache));
    EXPECT_EQ(kAuthCached, options.authState);  // the entry is still held when options are read
    AuthInfo info{};
    std::uint16_t scrambled[kScrambledBuffer];
    EXPECT_FALSE(ReadCredentials(info, scrambled, m_cache));
    EXPECT_STREQ(L"alice", info.userName);
    EXPECT_EQ(L"regpass", Unscrambled(scrambled));
    EXPECT_FALSE(m_cache.IsFilled());
}

TEST_F(ConfigTest, WriteUsernameModTickCreatesTheValue) {
    EXPECT_TRUE(WriteUsernameModTick(0));
    EXPECT_EQ(0u, ReadUsernameModTick());
    EXPECT_TRUE(WriteUsernameModTick(0x89ABCDEF));
    EXPECT_EQ(0x89ABCDEFu, ReadUsernameModTick());
}

TEST(ScramblePasswordWithDrawnSeed, RoundTripsAtTheLengthLimits) {
    const struct {
        std::wstring password;
        std::wstring recovered;
        bool terminatorInForm;
    } cases[] = {
        {L"", L"", true},
        {L"ABCDEFGHIJKLMNOP", L"ABCDEFGHIJKLMNOP", true},     // terminator at position 16
        {L"ABCDEFGHIJKLMNOPQ", L"ABCDEFGHIJKLMNOPQ", false},  // no room for a terminator
        {L"ABCDEFGHIJKLMNOPQRS", L"ABCDEFGHIJKLMNOPQ", false},  // cut to 17
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(std::string(c.password.begin(), c.password.end()));
        std::uint16_t out[kScrambledBuffer] = {};
        ScramblePassword(c.password.c_str(), static_cast<std::uint32_t>(c.password.size() + 1), out);
        EXPECT_EQ(c.recovered, Unscrambled(out));
        const std::uint16_t seed = static_cast<std::uint16_t>((out[0] << 8) | out[1]);
        const std::uint16_t last = out[18] ^ ScrambleKeyA[(seed + 16) % 31] ^ ScrambleKeyB[16];
        EXPECT_EQ(c.terminatorInForm, last == 0);
    }
}

TEST(ScramblePasswordWithDrawnSeed, SeedBytesAreNeverZero) {
    for (int i = 0; i < 2000; ++i) {
        std::uint16_t out[kScrambledBuffer] = {};
        ScramblePassword(L"pw", 3, out);
        ASSERT_NE(0, out[0]);
        ASSERT_NE(0, out[1]);
        ASSERT_LT(out[0], 0x80);  // a 15-bit seed
    }
}

TEST(ScramblePasswordWithDrawnSeed, ThreadsDrawDifferentSeeds) {
    // A generator whose state starts alike in every thread would give every
    // session the same seed.
    constexpr int kThreads = 8;
    std::uint16_t seeds[kThreads] = {};
    std::vector<std::thread> threads;
    for (int t = 0; t < kThreads; ++t)
        threads.emplace_back([&seeds, t] {
            std::uint16_t out[kScrambledBuffer] = {};
            ScramblePassword(L"pw", 3, out);
            seeds[t] = static_cast<std::uint16_t>((out[0] << 8) | out[1]);
        });
    for (auto& thread : threads) thread.join();
    EXPECT_FALSE(std::all_of(std::begin(seeds), std::end(seeds), [&](std::uint16_t s) { return s == seeds[0]; }));
}

TEST(ScramblePasswordWithDrawnSeed, MissingSourceOrOutputDoesNothing) {
    std::uint16_t out[kScrambledBuffer] = {7};
    ScramblePassword(nullptr, 3, out);
    EXPECT_EQ(7, out[0]);
    ScramblePassword(L"pw", 3, nullptr);
    ScramblePassword(L"pw", 0, out);
    EXPECT_EQ(0, out[0]);
}

}  // namespace
