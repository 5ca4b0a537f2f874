// Walks through the set-up as a person would: installs with the wizard, meets
// a file in use on a second run, then removes everything with the
// uninstaller. For every page worth a picture it prints
// "SCENE <name> <left> <top> <right> <bottom>" (the wizard's screen rectangle)
// and waits for a line on standard input before going on, so a script can
// take the picture. Ends with "DONE" (exit code 0) or "FAILED <what>" (1).
//
//   setupshots SETUP.EXE
#include <windows.h>

#include <cstdio>
#include <string>

#include "Handles.h"
#include "SetupProgram.h"

namespace {

using setuptest::DefaultInstallDir;
using setuptest::SetupProgram;
using setuptest::SystemDir;

// Prints the window's rectangle and waits for the go-ahead.
bool Present(const char* name, HWND window) {
    RedrawWindow(window, nullptr, nullptr, RDW_INVALIDATE | RDW_ERASE | RDW_FRAME | RDW_ALLCHILDREN | RDW_UPDATENOW);
    Sleep(300);  // let the wizard finish painting its page
    RECT rect{};
    GetWindowRect(window, &rect);
    std::printf("SCENE %s %ld %ld %ld %ld\n", name, rect.left, rect.top, rect.right, rect.bottom);
    std::fflush(stdout);
    char line[64];
    return std::fgets(line, sizeof(line), stdin) != nullptr;
}

int Fail(const char* what) {
    std::printf("FAILED %s\n", what);
    std::fflush(stdout);
    return 1;
}

// One page: waits for it, shows it, then presses a button.
bool Page(const SetupProgram& program, const wchar_t* text, const char* scene, int button) {
    const HWND page = program.WaitForPage(text);
    if (page == nullptr) return false;
    if (scene != nullptr && !Present(scene, page)) return false;
    return SetupProgram::Press(page, button);
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: setupshots SETUP.EXE\n");
        return 2;
    }
    const std::wstring setupPath = argv[1];
    {
        SetupProgram setup(setupPath, L"");
        if (!Page(setup, L"Welcome", "setup-welcome", setuptest::kNextButton)) return Fail("welcome page");
        if (!Page(setup, L"Choose Install Location", "setup-directory", setuptest::kNextButton))
            return Fail("directory page");
        if (!Page(setup, L"Installation Complete", "setup-installed", setuptest::kNextButton))
            return Fail("installation");
        if (!Page(setup, L"Completing", "setup-finish", setuptest::kNextButton)) return Fail("finish page");
        if (setup.WaitExit() != 0) return Fail("setup exit code");
    }
    {
        // A second run while the Control Panel holds the Chooser.
        kvr::UniqueFile held(CreateFileW((SystemDir() + L"\\KVRUI.CPL").c_str(), GENERIC_READ, 0, nullptr,
                                         OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
        SetupProgram setup(setupPath, L"");
        if (!Page(setup, L"Welcome", nullptr, setuptest::kNextButton)) return Fail("second welcome page");
        const HWND message = setup.WaitForMessageBox();
        if (message == nullptr || !Present("setup-file-in-use", message)) return Fail("file-in-use message");
        SetupProgram::Press(message, IDOK);
        if (!Page(setup, L"Installation Aborted", "setup-aborted", setuptest::kCancelButton))
            return Fail("aborted page");
        if (setup.WaitExit() == 0) return Fail("aborted setup exit code");
    }
    {
        // The uninstaller from a copy outside the folder it removes.
        wchar_t temp[MAX_PATH] = {};
        GetTempPathW(MAX_PATH, temp);
        const std::wstring copy = std::wstring(temp) + L"kvr-uninstall.exe";
        CopyFileW((DefaultInstallDir() + L"\\Uninstall.exe").c_str(), copy.c_str(), FALSE);
        SetupProgram uninstaller(copy, L"_?=" + DefaultInstallDir());
        if (!Page(uninstaller, L"Also remove my configuration", "uninstall-confirm", setuptest::kNextButton))
            return Fail("uninstall confirmation");
        if (!Page(uninstaller, L"Uninstallation Complete", nullptr, setuptest::kNextButton))
            return Fail("uninstallation");
        if (!Page(uninstaller, L"has been uninstalled", "uninstall-finish", setuptest::kNextButton))
            return Fail("uninstall finish page");
        if (uninstaller.WaitExit() != 0) return Fail("uninstaller exit code");
        DeleteFileW(copy.c_str());
    }
    std::printf("DONE\n");
    std::fflush(stdout);
    return 0;
}
