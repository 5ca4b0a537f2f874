#pragma once
// The product's installation directory, named by the "QUELT" environment
// variable: where the device description file and the old settings live.
#include <string>

namespace kvr {

// The directory without a trailing "\"; empty when the variable is unset or
// empty.
std::wstring QueltDirectory();

}  // namespace kvr
