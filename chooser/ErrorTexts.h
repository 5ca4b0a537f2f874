#pragma once
// The message text for an error code of the browsing library.
#include <string>

namespace kvr {

// The listed codes have texts of their own; any other gets
// "Unknown Error (%ld)" with the number.
std::wstring LibraryErrorText(long code);

}  // namespace kvr
