#include "ServiceOptions.h"

#include <algorithm>
#include <atomic>
#include <cwchar>
#include <iterator>
#include <random>

#include "Registry.h"
#include "RegistryNames.h"

static_assert(sizeof(wchar_t) == sizeof(char16_t));

namespace {

// 15-bit values from a generator of the calling thread. Each thread seeds its
// own from the clock, the thread id and a counter, so sessions started in the
// same tick still draw different seeds.
std::uint32_t Random15() {
    static std::atomic<std::uint32_t> s_counter{0};
    thread_local std::minstd_rand engine([] {
        LARGE_INTEGER counter{};
        ::QueryPerformanceCounter(&counter);
        return static_cast<std::uint32_t>(counter.QuadPart) ^ (::GetCurrentThreadId() << 16) ^
               (s_counter.fetch_add(1) * 2654435761u) ^ ::GetTickCount();
    }());
    return static_cast<std::uint32_t>(engine() & 0x7FFF);
}

kvr::RegKey OpenGlobalKey(HKEY root) { return kvr::RegKey::Open(root, reg::kRezorivKey, KEY_QUERY_VALUE); }

}  // namespace

bool ReadGlobalOptions(SessionOptions& options, PasswordCache& cache, HKEY root) {
    const kvr::RegKey key = OpenGlobalKey(root);
    if (!key) return false;

    options.reopenMs = key.ReadDword(reg::kReopen).value_or(reg::kDefaultReopenMs);

    const DWORD silent = key.ReadDword(reg::kSilent).value_or(reg::kDefaultSilent);
    options.silentConfigured = silent != 0;
    options.credentialsReady = silent != 0;
    options.authState = silent != 0 ? kAuthSilent : kAuthPrompt;

    const DWORD caching = key.ReadDword(reg::kPasswordCaching).value_or(reg::kDefaultPasswordCaching);
    cache.SetLifetime(caching);
    if (caching != 0) {
        if (cache.IsFilled()) {
            options.credentialsReady = true;
            options.authState = kAuthCached;
        } else if (silent == 0) {
            options.credentialsReady = false;
            options.authState = kAuthTyped;
        }
    }
    return true;
}

bool ReadCredentials(AuthInfo& info, std::uint16_t (&scrambled)[kScrambledBuffer],
                     PasswordCache& cache, HKEY root) {
    info.userName[0] = L'\0';
    info.password[0] = L'\0';
    if (const kvr::RegKey key = OpenGlobalKey(root)) {
        key.ReadText(reg::kUsername, info.userName, kUserNameChars);
        key.ReadText(reg::kPassword, info.password, kPasswordChars);
    }

    if (cache.Lookup(scrambled, info.userName, root)) return true;

    std::fill(std::begin(scrambled), std::end(scrambled), std::uint16_t{0});
    const std::size_t length = ::wcsnlen(info.password, kPasswordChars - 1);
    ScramblePassword(info.password, static_cast<std::uint32_t>(length + 1), scrambled);
    return false;
}

void ScramblePassword(const wchar_t* source, std::uint32_t count, std::uint16_t* out) {
    if (source == nullptr || out == nullptr) return;
    ScramblePasswordWithSeed(reinterpret_cast<const char16_t*>(source), count, out,
                             DrawScrambleSeed(&Random15));
}

bool WriteUsernameModTick(DWORD tick) {
    const kvr::RegKey key = kvr::RegKey::Create(HKEY_LOCAL_MACHINE, reg::kRezorivKey, KEY_SET_VALUE);
    return key && key.WriteDword(reg::kUsernameModTick, tick);
}
