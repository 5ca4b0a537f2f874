#pragma once
// Whether the files the set-up is about to replace or remove can be written:
// asked before anything is changed, so a file held open by a running program
// stops the set-up while the installation is still whole.
#include <string>
#include <vector>

namespace setup {

struct BusyFile {
    std::wstring path;
    std::string reason;
};

// The files among `paths` that exist and cannot be opened for writing.
std::vector<BusyFile> FilesInUse(const std::vector<std::wstring>& paths);

}  // namespace setup
