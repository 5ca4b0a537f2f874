#pragma once
// Results of the browsing library's exports: 0 or a negative code.
#include <cstdint>

enum BrowseError : std::int32_t {
    kHlpOk = 0,
    kHlpSocketError = -1,
    kHlpOutOfMemory = -2,
    kHlpMissingArgument = -5,
    kHlpBufferFull = -6,
    kHlpRegistryFailure = -8,
    kHlpInvalidSocketArgument = -50,
    kHlpCloseFailed = -51,
    kHlpNetworkDown = -52,
    kHlpConnectionRefused = -53,
    kHlpUnsupportedTransport = -54,
    kHlpNoAnswer = -55,
    kHlpHostNotFound = -58,
    kHlpUnknownDeviceType = -80,
    kHlpUndecodable = -100,
    kHlpUnencodable = -120,
    kHlpVersionTooOld = -131,
    kHlpWrongHardwareType = -132,
    kHlpNoHardwareTypeName = -133,
};

// A device that answers with SNMP error status n gives -100 - n.
constexpr std::int32_t HlpSnmpError(std::int32_t errorStatus) { return kHlpUndecodable - errorStatus; }
