#pragma once
// The values the service passes to the user-interface library's calls, each
// defined once for both deliverables. The narration numbers are also the
// library's string numbers, so they are macros the resource compiler reads.
#define KVR_NARRATE_ATTEMPTING 61207    // "Attempting to connect to %s ..."
#define KVR_NARRATE_CONNECTED 61208     // "Connected to %s."
#define KVR_NARRATE_FAILED 61211        // "Attempt to connect to %s failed."
#define KVR_NARRATE_IN_USE 61212        // "%s is currently in use."
#define KVR_NARRATE_REFUSED 61213       // "The connection to %s was refused."
#define KVR_NARRATE_TIMED_OUT 61214     // "Connection attempt to %s has timed out."
#define KVR_NARRATE_DISABLED 61215      // "Dial-out is disabled on %s."
#define KVR_NARRATE_UNKNOWN_PORT 61216  // "%s is an unrecognized port name." (second text)

#ifndef RC_INVOKED
#include <cstdint>

// Narration string numbers for PostNarration.
enum KvrNarration : std::uint32_t {
    kNarrateAttempting = KVR_NARRATE_ATTEMPTING,
    kNarrateConnected = KVR_NARRATE_CONNECTED,
    kNarrateFailed = KVR_NARRATE_FAILED,
    kNarrateInUse = KVR_NARRATE_IN_USE,
    kNarrateRefused = KVR_NARRATE_REFUSED,
    kNarrateTimedOut = KVR_NARRATE_TIMED_OUT,
    kNarrateDisabled = KVR_NARRATE_DISABLED,
    kNarrateUnknownPort = KVR_NARRATE_UNKNOWN_PORT,
};

// ChangePassword modes.
inline constexpr std::uint32_t kPasswordExpired = 0;
inline constexpr std::uint32_t kPasswordChangeRefused = 1;

// Lamp bits of the modem window, in the order of the server's modem status.
inline constexpr std::uint32_t kLampHS = 0x01, kLampAA = 0x02, kLampCD = 0x04, kLampOH = 0x08,
                               kLampRD = 0x10, kLampSD = 0x20;
// How long one UpdateSendLED or UpdateReceiveLED keeps its lamp lit.
inline constexpr std::uint32_t kLampFlashMs = 600;
#endif
