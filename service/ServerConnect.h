#pragma once
#include <winsock2.h>

namespace svc {

// A blocking stream connection to a stored server address (TCP for family 2,
// SPX II for family 6); INVALID_SOCKET on any failure.
SOCKET ConnectToAddress(const BYTE* address, int length);

}  // namespace svc
