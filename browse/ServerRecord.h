#pragma once
// How a DeviceRecord maps onto a stored server (Address, DeviceType, Name) and
// back, and the bounded text copies into the records' fixed fields. Plain C++
// over bytes, no windows.h.
#include <cstddef>
#include <cstdint>

#include "DeviceRecords.h"

namespace kvr::browse {

// The three values a server key holds, as RegisterServer writes them.
struct StoredServer {
    ServerAddress address;
    char typeText[sizeof(DeviceRecord::typeText)];
    char name[sizeof(DeviceRecord::name)];
};

// Copies src (at most srcSize bytes, up to its first NUL) into dst, cut to
// dstSize - 1 characters, and always terminates dst. dstSize must be > 0.
void CopyBounded(char* dst, std::size_t dstSize, const char* src, std::size_t srcSize);

template <std::size_t N>
void CopyBounded(char (&dst)[N], const char* src, std::size_t srcSize) {
    CopyBounded(dst, N, src, srcSize);
}

// "Ravelin/E 115" (any case) is the same device as "Ravelin/E": the text is
// cut at the blank in place so both store and read as one type.
void ShortenKnownTypeText(char* typeText);

// The values to store for a device. A TCP/IP record's address is taken as it
// stands; any other transport is stored as an IPX address (family 6) built
// from the record's network, node and socket at offsets 110-121.
StoredServer StoredServerOf(const DeviceRecord& device);

// The device part of a record read from the store: transport from the address
// family, type text and name cut to their fields, no type code (FillTypeCode
// gives it), and the address placed per transport (none for an unknown
// family).
DeviceRecord DeviceRecordOf(const ServerAddress& address, const char* typeText,
                            std::size_t typeTextSize, const char* name, std::size_t nameSize);

// Base key of the known servers of a transport: TCP for 2, SPX otherwise.
const char* ServerBaseKeyFor(std::uint16_t transport);

// "SOFTWARE\Quelt\Rezoriv\Ports\Dialout<N>" into out; returns false if it
// does not fit.
bool PortKeyPath(std::uint16_t portIndex, char* out, std::size_t outSize);

// "\Device\Dialout<N>", the kernel device a redirected port's DOS name names.
bool PortDeviceTarget(std::uint16_t portIndex, char* out, std::size_t outSize);

}  // namespace kvr::browse
