// The set-up's helper, run by the installer and the uninstaller for the steps
// their script language cannot take safely itself. Prints what it did; exits
// 0 on success, 1 on failure (the printed lines say why), 2 on a bad command.
//
//   kvrsetup service-state          absent, stopped, running or pending
//   kvrsetup start-service          start it and wait until it runs
//   kvrsetup stop-service           stop it and wait until its program ended
//   kvrsetup port-keys LIBRARY      COM1..COM4 port keys that are missing,
//                                   written through the browsing library
//   kvrsetup upgrade-flag           "UpgradeFlag" = 1 when %QUELT%\QUELT.INI
//                                   holds old settings
//   kvrsetup remove-dos-names       the DOS names of our port devices
//   kvrsetup files-free PATH...     fails when one of them cannot be written
#include <windows.h>
#include <shellapi.h>

#include <cstdio>
#include <cwchar>
#include <string>
#include <vector>

#include "DosNames.h"
#include "FilesInUse.h"
#include "Handles.h"
#include "OldSettings.h"
#include "PortKeys.h"
#include "Registry.h"
#include "RegistryNames.h"
#include "ServiceControl.h"
#include "ServiceStatus.h"

namespace setup {
namespace {

constexpr DWORD kServiceTimeoutMs = 30000;

using Arguments = std::vector<std::wstring>;

int ServiceState(const Arguments&) {
    const auto state = ServiceControl(svc::kServiceName).State();
    std::printf("%s", StateName(state));  // one word, for the script to compare
    return state == ServiceState::Unknown ? 1 : 0;
}

// Starting or stopping, which wait for the service to get there.
int ServiceStep(bool (ServiceControl::*step)(DWORD, std::string&) const, const char* done) {
    std::string message;
    if (!(ServiceControl(svc::kServiceName).*step)(kServiceTimeoutMs, message)) {
        std::printf("%s.\n", message.c_str());
        return 1;
    }
    std::printf("%s\n", done);
    return 0;
}

int StartService(const Arguments&) { return ServiceStep(&ServiceControl::Start, "The service is running."); }

int StopService(const Arguments&) { return ServiceStep(&ServiceControl::Stop, "The service is stopped."); }

int PortKeys(const Arguments& args) {
    kvr::UniqueModule library(LoadLibraryW(args[0].c_str()));
    const auto set = library ? reinterpret_cast<decltype(&HLPSetPortRedirections)>(
                                   GetProcAddress(library.Get(), "HLPSetPortRedirections"))
                             : nullptr;
    if (set == nullptr) {
        std::printf("The browsing library %ls cannot be loaded: %s.\n", args[0].c_str(),
                    SystemMessage(GetLastError()).c_str());
        return 1;
    }
    int status = 0;
    for (const PortKeyResult& port : WriteMissingPortKeys(set)) {
        switch (port.outcome) {
        case PortKeyResult::Outcome::Kept:
            std::printf("COM%u: kept as configured.\n", port.index + 1u);
            break;
        case PortKeyResult::Outcome::Written:
            std::printf("COM%u: written, not redirected.\n", port.index + 1u);
            break;
        case PortKeyResult::Outcome::Failed:
            std::printf("COM%u: the port key could not be written (%ld).\n", port.index + 1u, port.error);
            status = 1;
            break;
        }
    }
    return status;
}

int UpgradeFlag(const Arguments&) {
    wchar_t directory[MAX_PATH] = {};
    const DWORD length = GetEnvironmentVariableW(kQueltVariable, directory, MAX_PATH);
    const std::wstring path = OldSettingsPath(length < MAX_PATH ? std::wstring(directory, length) : L"");
    if (path.empty() || GetFileAttributesW(path.c_str()) == INVALID_FILE_ATTRIBUTES || !HasOldSettings(path)) {
        std::printf("No old settings to upgrade.\n");
        return 0;
    }
    const kvr::RegKey key = kvr::RegKey::Create(HKEY_LOCAL_MACHINE, reg::kRezorivKey);
    if (!key || !key.WriteDword(reg::kUpgradeFlag, 1)) {
        std::printf("The upgrade of %ls could not be marked in the registry.\n", path.c_str());
        return 1;
    }
    std::printf("%ls holds old settings: the Chooser offers their upgrade.\n", path.c_str());
    return 0;
}

int RemoveDosNames(const Arguments&) {
    int status = 0;
    for (const DosNameResult& name : RemovePortDosNames()) {
        if (name.stillDefined) {
            std::printf("%ls could not be removed (it still points at %ls).\n", name.dosName.c_str(),
                        name.target.c_str());
            status = 1;
        } else if (name.removed != 0) {
            std::printf("%ls removed.\n", name.dosName.c_str());
        }
    }
    return status;
}

int FilesFree(const Arguments& args) {
    const auto busy = FilesInUse(args);
    for (const BusyFile& file : busy) std::printf("%ls is %s.\n", file.path.c_str(), file.reason.c_str());
    return busy.empty() ? 0 : 1;
}

struct Command {
    const wchar_t* name;
    size_t minArguments;
    size_t maxArguments;
    int (*run)(const Arguments&);
};

constexpr Command kCommands[] = {
    {L"service-state", 0, 0, ServiceState},   {L"start-service", 0, 0, StartService},
    {L"stop-service", 0, 0, StopService},     {L"port-keys", 1, 1, PortKeys},
    {L"upgrade-flag", 0, 0, UpgradeFlag},     {L"remove-dos-names", 0, 0, RemoveDosNames},
    {L"files-free", 1, 64, FilesFree},
};

}  // namespace
}  // namespace setup

int main() {
    int count = 0;
    wchar_t** words = CommandLineToArgvW(GetCommandLineW(), &count);
    const std::vector<std::wstring> all(words, words + count);
    LocalFree(words);
    int status = 2;
    if (all.size() >= 2) {
        const setup::Arguments arguments(all.begin() + 2, all.end());
        for (const auto& command : setup::kCommands)
            if (all[1] == command.name && arguments.size() >= command.minArguments &&
                arguments.size() <= command.maxArguments)
                status = command.run(arguments);
    }
    if (status == 2) {
        std::fprintf(stderr, "usage: kvrsetup COMMAND [ARGUMENTS]; commands:");
        for (const auto& command : setup::kCommands) std::fprintf(stderr, " %ls", command.name);
        std::fprintf(stderr, "\n");
    }
    std::fflush(stdout);
    return status;
}
