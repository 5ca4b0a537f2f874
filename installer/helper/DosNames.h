#pragma once
// The DOS names (COM3, ...) that the service and the browsing library define
// for redirected ports, each a raw target path to \Device\Dialout<N>.
#include <string>
#include <vector>

namespace setup {

struct DosNameResult {
    std::wstring dosName;
    std::wstring target;
    int removed = 0;         // definitions taken away
    bool stillDefined = false;
};

// Removes every definition of a port key's DOS name that points at the port's
// own device; a name that points anywhere else (a real serial port) is left.
std::vector<DosNameResult> RemovePortDosNames();

}  // namespace setup
