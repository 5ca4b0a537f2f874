#pragma once
// The four local ports the Chooser shows, COM1..COM4 on port keys Dialout0..3.
#include <windows.h>

#include <string>
#include <vector>

#include "KvrBrws.h"

namespace setup {

inline constexpr WORD kChooserPorts = 4;

struct PortKeyResult {
    WORD index = 0;
    enum class Outcome { Kept, Written, Failed } outcome = Outcome::Failed;
    LONG error = 0;  // the registry's or the library's code when Failed
};

// Writes each missing port key as the browsing library's store writes an
// unconfigured port: its COM name, not redirected, an empty list. A port key
// that exists is left exactly as it is.
std::vector<PortKeyResult> WriteMissingPortKeys(decltype(&HLPSetPortRedirections) setPortRedirections);

}  // namespace setup
