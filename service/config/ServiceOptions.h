#pragma once
// What the service reads from the global key at each port open: the session
// options, the credentials, and the password scrambling drawn with a seed.
#include "PasswordCache.h"

#include <cstdint>

#include "AuthInfo.h"
#include "PasswordScramble.h"

// How the session logs in.
inline constexpr DWORD kAuthPrompt = 0;  // ask the user
inline constexpr DWORD kAuthCached = 1;  // use the cached password
inline constexpr DWORD kAuthSilent = 2;  // user name with an empty password
inline constexpr DWORD kAuthTyped = 3;   // the user typed the credentials

struct SessionOptions {
    DWORD reopenMs = 0;
    bool silentConfigured = false;
    bool credentialsReady = false;
    DWORD authState = kAuthPrompt;
};

// The global key is read under root (HKEY_LOCAL_MACHINE in the service).
// Reads Reopen, Silent and PasswordCaching (the last into the cache's
// lifetime) and sets the login state. Returns false, changing nothing, when
// the global key cannot be opened. A value that is absent, not a REG_DWORD or
// not four bytes long takes its default.
bool ReadGlobalOptions(SessionOptions& options, PasswordCache& cache, HKEY root = HKEY_LOCAL_MACHINE);

// Reads Username and Password into info (each NUL-terminated; a string too
// long for its field, or not a REG_SZ, counts as absent and leaves the field
// empty), then consults the cache. On a hit the cached scrambled password and
// user name replace scrambled and info.userName; on a miss info.password is
// scrambled into scrambled. Returns true on a cache hit.
bool ReadCredentials(AuthInfo& info, std::uint16_t (&scrambled)[kScrambledBuffer],
                     PasswordCache& cache, HKEY root = HKEY_LOCAL_MACHINE);

// Scrambles source[0..count) (count = length + 1) into out[0..19) with a
// freshly drawn seed; see ScramblePasswordWithSeed.
void ScramblePassword(const wchar_t* source, std::uint32_t count, std::uint16_t* out);

// Writes UsernameModTick (0 at service start-up), creating the global key if
// needed. Returns false when the registry refuses.
bool WriteUsernameModTick(DWORD tick);
