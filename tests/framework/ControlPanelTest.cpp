// The Control Panel dispatch: which operation of the applet object each
// CPL_* message reaches with which arguments, what goes back to the host,
// and what the host gets when there is no applet or an operation throws.
#include <gtest/gtest.h>

#include <windows.h>
#include <cpl.h>

#include <stdexcept>
#include <string>
#include <vector>

#include "ControlPanel.h"
#include "Resources.h"

namespace kvr {
namespace {

using Sequence = std::vector<std::string>;

const HWND kControlPanel = reinterpret_cast<HWND>(0x5150);

std::string Number(const void* p) { return std::to_string(reinterpret_cast<UINT_PTR>(p)); }

// Notes each call with its arguments and answers with a number of its own,
// so a message routed to the wrong operation shows.
class CFakeApplet : public CControlPanelApplet {
public:
    Sequence m_calls;
    std::wstring m_parameters;

    LONG OnDblclk(HWND controlPanel, UINT applet, LONG_PTR data) override {
        Note("dblclk " + Number(controlPanel) + " " + std::to_string(applet) + " " + std::to_string(data));
        return 21;
    }
    LONG OnExit() override { return Note("exit"), 22; }
    LONG OnGetCount() override { return Note("getcount"), 23; }
    LONG OnInit() override { return Note("init"), 24; }
    LONG OnNewInquire(HWND controlPanel, UINT applet, NEWCPLINFOW* info) override {
        Note("newinquire " + Number(controlPanel) + " " + std::to_string(applet) + " " + Number(info));
        return 25;
    }
    LONG OnSelect(UINT applet, LONG_PTR data) override {
        return Note("select " + std::to_string(applet) + " " + std::to_string(data)), 26;
    }
    LONG OnStop(UINT applet, LONG_PTR data) override {
        return Note("stop " + std::to_string(applet) + " " + std::to_string(data)), 27;
    }
    LONG OnInquire(UINT applet, CPLINFO* info) override {
        return Note("inquire " + std::to_string(applet) + " " + Number(info)), 28;
    }
    LONG OnStartWithParameters(HWND controlPanel, UINT applet, const wchar_t* parameters) override {
        Note("start " + Number(controlPanel) + " " + std::to_string(applet) +
             (parameters ? " \"" + ToAnsi(parameters) + "\"" : " null"));
        return 29;
    }
    LONG OnOther(UINT message) override { return Note("other " + std::to_string(message)), 30; }

private:
    void Note(std::string call) { m_calls.push_back(std::move(call)); }
};

TEST(ControlPanel, EachMessageReachesItsOperation) {
    CFakeApplet applet;
    CPLINFO info{};
    NEWCPLINFOW newInfo{};
    const std::string panel = Number(kControlPanel);
    struct Case {
        UINT message;
        LPARAM param1;
        LPARAM param2;
        std::string call;
        LONG result;
    };
    const Case cases[] = {
        {CPL_INIT, 0, 0, "init", 24},
        {CPL_GETCOUNT, 0, 0, "getcount", 23},
        {CPL_INQUIRE, 0, reinterpret_cast<LPARAM>(&info), "inquire 0 " + Number(&info), 28},
        {CPL_NEWINQUIRE, 1, reinterpret_cast<LPARAM>(&newInfo), "newinquire " + panel + " 1 " + Number(&newInfo), 25},
        {CPL_SELECT, 0, 77, "select 0 77", 26},
        {CPL_DBLCLK, 0, 77, "dblclk " + panel + " 0 77", 21},
        {CPL_STARTWPARMSW, 0, reinterpret_cast<LPARAM>(L"COM2"), "start " + panel + " 0 \"COM2\"", 29},
        // The ANSI form carries a narrow text; the applet gets it wide.
        {CPL_STARTWPARMSA, 0, reinterpret_cast<LPARAM>("COM2"), "start " + panel + " 0 \"COM2\"", 29},
        {CPL_STARTWPARMSW, 0, 0, "start " + panel + " 0 null", 29},
        {CPL_STARTWPARMSA, 0, 0, "start " + panel + " 0 null", 29},
        {CPL_STOP, 0, 77, "stop 0 77", 27},
        {CPL_EXIT, 0, 0, "exit", 22},
        {CPL_SETUP, 0, 0, "other 200", 30},
        {WM_USER + 5, 0, 0, "other " + std::to_string(WM_USER + 5), 30},
    };
    for (const Case& c : cases) {
        applet.m_calls.clear();
        EXPECT_EQ(CControlPanelApplet::Dispatch(kControlPanel, c.message, c.param1, c.param2), c.result)
            << "message " << c.message;
        EXPECT_EQ(applet.m_calls, Sequence{c.call}) << "message " << c.message;
    }
}

// Only the operations a host must have; the rest keep their defaults.
class CPlainApplet : public CControlPanelApplet {
public:
    LONG OnDblclk(HWND, UINT, LONG_PTR) override { return 0; }
    LONG OnNewInquire(HWND, UINT, NEWCPLINFOW*) override { return 0; }
    LONG OnInquire(UINT, CPLINFO*) override { return 0; }
};

TEST(ControlPanel, DefaultsLetTheHostOpenTheApplet) {
    CPlainApplet applet;
    EXPECT_NE(CControlPanelApplet::Dispatch(kControlPanel, CPL_INIT, 0, 0), 0);
    EXPECT_EQ(CControlPanelApplet::Dispatch(kControlPanel, CPL_GETCOUNT, 0, 0), 1);
    // Hosts send the double-click only when the start with parameters says 0.
    EXPECT_EQ(CControlPanelApplet::Dispatch(kControlPanel, CPL_STARTWPARMSW, 0, 0), 0);
    EXPECT_EQ(CControlPanelApplet::Dispatch(kControlPanel, CPL_STARTWPARMSA, 0, 0), 0);
    EXPECT_EQ(CControlPanelApplet::Dispatch(kControlPanel, CPL_DBLCLK, 0, 0), 0);
}

class CThrowingApplet : public CControlPanelApplet {
public:
    LONG OnDblclk(HWND, UINT, LONG_PTR) override { throw std::runtime_error("dblclk"); }
    LONG OnExit() override { throw std::runtime_error("exit"); }
    LONG OnGetCount() override { throw std::runtime_error("getcount"); }
    LONG OnInit() override { throw std::runtime_error("init"); }
    LONG OnNewInquire(HWND, UINT, NEWCPLINFOW*) override { throw std::runtime_error("newinquire"); }
    LONG OnSelect(UINT, LONG_PTR) override { throw std::runtime_error("select"); }
    LONG OnStop(UINT, LONG_PTR) override { throw std::runtime_error("stop"); }
    LONG OnInquire(UINT, CPLINFO*) override { throw std::runtime_error("inquire"); }
    LONG OnStartWithParameters(HWND, UINT, const wchar_t*) override { throw std::bad_alloc(); }
    LONG OnOther(UINT) override { throw 7; }
};

// A failure must read as a failure to the host: no applet started, counted,
// described or opened.
struct FailureCase {
    UINT message;
    LONG result;
};
const FailureCase kFailures[] = {
    {CPL_INIT, 0},      // initialisation failed: the host unloads us
    {CPL_GETCOUNT, 0},  // no applets to show
    {CPL_INQUIRE, 1},   {CPL_NEWINQUIRE, 1}, {CPL_SELECT, 1},       {CPL_DBLCLK, 1},
    {CPL_STARTWPARMSW, 1}, {CPL_STARTWPARMSA, 1}, {CPL_STOP, 1}, {CPL_EXIT, 1},
    {CPL_SETUP, 1},
};

TEST(ControlPanel, ExceptionsStopAtTheEntryAndReadAsFailures) {
    CThrowingApplet applet;
    for (const FailureCase& c : kFailures)
        EXPECT_EQ(CControlPanelApplet::Dispatch(kControlPanel, c.message, 0, 0), c.result) << "message " << c.message;
}

TEST(ControlPanel, WithoutAnAppletEverythingFails) {
    for (const FailureCase& c : kFailures)
        EXPECT_EQ(CControlPanelApplet::Dispatch(kControlPanel, c.message, 0, 0), c.result) << "message " << c.message;
}

TEST(ControlPanel, AppletThatWentIsNotCalled) {
    {
        CFakeApplet applet;
        EXPECT_EQ(CControlPanelApplet::Dispatch(kControlPanel, CPL_INIT, 0, 0), 24);
        EXPECT_EQ(applet.m_calls, Sequence{"init"});
    }
    EXPECT_EQ(CControlPanelApplet::Dispatch(kControlPanel, CPL_INIT, 0, 0), 0);
}

}  // namespace
}  // namespace kvr
