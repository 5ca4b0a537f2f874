// The dial-out path with the user-interface library's real windows: the
// service asks for credentials in a dialog on the display, and the modem
// status window follows the line.
#include <gtest/gtest.h>

#include <chrono>
#include <functional>
#include <future>
#include <sstream>
#include <thread>

#include "DialOutRig.h"
#include "Registry.h"

namespace {

constexpr DWORD kWaitMs = 20000;
constexpr UINT kMsgQueryLamps = WM_APP + 1;  // the modem window answers its lamp flags
constexpr LRESULT kLampCD = 0x04, kLampRD = 0x10;

// Windows belong to the service's process, so they are looked for until they
// appear (or the time is up).
HWND WaitForWindow(const std::function<HWND()>& find) {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(kWaitMs);
    while (std::chrono::steady_clock::now() < deadline) {
        const HWND window = find();
        if (window != nullptr && IsWindowVisible(window)) return window;
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    return nullptr;
}

bool WaitGone(HWND window) {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(kWaitMs);
    while (IsWindow(window)) {
        if (std::chrono::steady_clock::now() >= deadline) return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    return true;
}

bool SetText(HWND dialog, int id, const wchar_t* text) {
    const HWND control = GetDlgItem(dialog, id);
    DWORD_PTR result = 0;
    return control != nullptr && SendMessageTimeoutW(control, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(text),
                                                     SMTO_ABORTIFHUNG, kWaitMs, &result) != 0 && result == TRUE;
}

// The lamp flags, or -1 when the window does not answer.
LRESULT QueryLamps(HWND modem) {
    DWORD_PTR lamps = 0;
    if (SendMessageTimeoutW(modem, kMsgQueryLamps, 0, 0, SMTO_ABORTIFHUNG, kWaitMs, &lamps) == 0) return -1;
    return static_cast<LRESULT>(lamps);
}

bool ReadUntil(portdrv::PortDriverClient& client, const std::string& text, std::string& seen) {
    while (seen.find(text) == std::string::npos) {
        portdrv::Message m;
        if (client.Receive(m, kWaitMs) != portdrv::ReadResult::Message) return false;
        if (m.type == portpipe::PipeData) seen.append(m.payload.begin(), m.payload.end());
    }
    return true;
}

bool Send(portdrv::PortDriverClient& client, const std::string& data) {
    return client.SendData(data.data(), data.size());
}

// The simulator's login lines for a user, one per line of its output.
// The logins of user with a typed password. A silent login may come first
// when an earlier test left the user name stored.
std::vector<std::string> TypedLoginLines(const std::string& output, const std::string& user) {
    std::vector<std::string> lines;
    std::istringstream in(output);
    for (std::string line; std::getline(in, line);)
        if (line.rfind("LOGIN ", 0) == 0 && line.find(" user=" + user + " ") != std::string::npos &&
            line.find(" password=(silent) ") == std::string::npos)
            lines.push_back(line);
    return lines;
}

class UiDialOut : public ::testing::Test {
protected:
    UiDialOut() : m_rig("--require-credentials") {
        // The modem window is wanted whatever the Chooser last stored.
        kvr::RegKey::Create(HKEY_LOCAL_MACHINE, reg::kRezorivKey).WriteText(reg::kModemLocation, std::wstring(L"ON"));
    }

    // Starts the driver's open; it completes once the dialog is answered.
    std::future<bool> StartOpen() {
        return std::async(std::launch::async, [this] { return m_rig.Open(m_client); });
    }
    HWND WaitForAuthDialog() {
        const std::wstring title = L"Enter Remote Access Server Password - " + m_rig.DosName();
        return WaitForWindow([&] { return FindWindowW(L"#32770", title.c_str()); });
    }
    // Types into the next authentication dialog and presses a button; true
    // once the dialog has gone.
    bool AnswerAuthDialog(const wchar_t* user, const wchar_t* password, int button) {
        const HWND dialog = WaitForAuthDialog();
        if (dialog == nullptr || !SetText(dialog, 1001, user) || !SetText(dialog, 1002, password)) return false;
        PostMessageW(GetDlgItem(dialog, button), BM_CLICK, 0, 0);
        return WaitGone(dialog);
    }
    HWND WaitForModemWindow() {
        const std::wstring title = m_rig.DosName() + L" Modem Status";
        return WaitForWindow([&] { return FindWindowW(nullptr, title.c_str()); });
    }

    DialOutRig m_rig;
    portdrv::PortDriverClient m_client;
};

}  // namespace

TEST_F(UiDialOut, CredentialsTypedInTheDialogOpenThePortAndTheModemWindowShowsTraffic) {
    ASSERT_TRUE(m_rig.Ready()) << m_rig.Service().Output();
    auto opened = StartOpen();
    ASSERT_TRUE(AnswerAuthDialog(L"alice", L"secret", IDOK)) << m_rig.Service().Output();
    ASSERT_TRUE(opened.get()) << m_rig.Service().Output() << m_rig.Simulator().Output();

    const HWND modem = WaitForModemWindow();
    ASSERT_NE(nullptr, modem) << m_rig.Service().Output();
    std::string seen;
    ASSERT_TRUE(Send(m_client, "ATD1\r"));
    ASSERT_TRUE(ReadUntil(m_client, "CONNECT", seen)) << seen;

    // The receive lamp lights for a moment when data arrives, so each echo is
    // followed by a look at the lamps until one shows it lit.
    LRESULT lamps = 0;
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(kWaitMs);
    while ((lamps & kLampRD) == 0 && std::chrono::steady_clock::now() < deadline) {
        seen.clear();
        ASSERT_TRUE(Send(m_client, "ping"));
        ASSERT_TRUE(ReadUntil(m_client, "ping", seen));
        lamps = QueryLamps(modem);
        ASSERT_NE(-1, lamps);
    }
    EXPECT_NE(0, lamps & kLampRD) << std::hex << lamps;
    EXPECT_NE(0, lamps & kLampCD) << std::hex << lamps;

    const auto logins = TypedLoginLines(m_rig.Simulator().Output(), "alice");
    ASSERT_FALSE(logins.empty()) << m_rig.Simulator().Output();
    EXPECT_NE(std::string::npos, logins.back().find(" result=accepted")) << logins.back();
}

TEST_F(UiDialOut, AWrongPasswordBringsTheDialogBackUntilTheRightOneIsTyped) {
    ASSERT_TRUE(m_rig.Ready()) << m_rig.Service().Output();
    auto opened = StartOpen();
    ASSERT_TRUE(AnswerAuthDialog(L"alice", L"wrong", IDOK)) << m_rig.Service().Output();
    ASSERT_TRUE(AnswerAuthDialog(L"alice", L"secret", IDOK)) << m_rig.Service().Output();
    ASSERT_TRUE(opened.get()) << m_rig.Service().Output() << m_rig.Simulator().Output();

    const auto logins = TypedLoginLines(m_rig.Simulator().Output(), "alice");
    ASSERT_EQ(2u, logins.size()) << m_rig.Simulator().Output();
    EXPECT_NE(std::string::npos, logins[0].find(" password=wrong result=credentials-required")) << logins[0];
    EXPECT_NE(std::string::npos, logins[1].find(" password=secret result=accepted")) << logins[1];
}

TEST_F(UiDialOut, CancellingTheDialogFailsTheOpenWithoutLoggingIn) {
    ASSERT_TRUE(m_rig.Ready()) << m_rig.Service().Output();
    ASSERT_TRUE(m_client.Connect(m_rig.PipeName(), kWaitMs));
    ASSERT_TRUE(m_client.SendOpen(m_rig.PortKey()));
    ASSERT_TRUE(AnswerAuthDialog(L"alice", L"secret", IDCANCEL)) << m_rig.Service().Output();

    // The driver hears a failed open or a closed pipe, never success.
    portdrv::Message m;
    const auto read = m_client.Receive(m, kWaitMs);
    ASSERT_NE(portdrv::ReadResult::Timeout, read);
    if (read == portdrv::ReadResult::Message) {
        ASSERT_EQ(portpipe::PipeOpenResult, m.type);
        ASSERT_FALSE(m.payload.empty());
        EXPECT_NE(0, m.payload[0]);
    }
    EXPECT_TRUE(m_rig.Service().WaitFor("Authentication cancelled."));
    for (const auto& line : TypedLoginLines(m_rig.Simulator().Output(), "alice"))
        EXPECT_EQ(std::string::npos, line.find("result=accepted")) << line;
}
