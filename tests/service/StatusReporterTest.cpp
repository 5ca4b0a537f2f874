#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "ServiceStatus.h"

namespace {

std::vector<SERVICE_STATUS> g_reports;
bool g_failReports = false;
std::vector<std::wstring> g_logged;

BOOL WINAPI RecordStatus(SERVICE_STATUS_HANDLE, LPSERVICE_STATUS status) {
    g_reports.push_back(*status);
    return !g_failReports;
}

void RecordLog(const wchar_t* message) { g_logged.push_back(message); }

class StatusReporterTest : public ::testing::Test {
protected:
    void SetUp() override {
        g_reports.clear();
        g_logged.clear();
        g_failReports = false;
    }
    svc::StatusReporter reporter{RecordStatus, RecordLog};
};

}  // namespace

TEST_F(StatusReporterTest, StartStopSequenceCarriesCheckpointsOnlyWhilePending) {
    reporter.ReportStatus(SERVICE_START_PENDING, 0, 3000);
    reporter.ReportStatus(SERVICE_START_PENDING, 0, 3000);
    reporter.ReportStatus(SERVICE_RUNNING, 0, 0);
    reporter.OnControl(SERVICE_CONTROL_STOP);
    reporter.ReportStatus(SERVICE_STOPPED, 0, 0);

    const struct {
        DWORD state, checkpoint, controls, waitHint;
    } expected[] = {
        {SERVICE_START_PENDING, 1, 0, 3000},
        {SERVICE_START_PENDING, 2, 0, 3000},
        {SERVICE_RUNNING, 0, SERVICE_ACCEPT_STOP, 0},
        {SERVICE_STOP_PENDING, 3, SERVICE_ACCEPT_STOP, 0},
        {SERVICE_STOPPED, 0, SERVICE_ACCEPT_STOP, 0},
    };
    ASSERT_EQ(std::size(expected), g_reports.size());
    for (size_t i = 0; i < g_reports.size(); ++i) {
        EXPECT_EQ(expected[i].state, g_reports[i].dwCurrentState) << i;
        EXPECT_EQ(expected[i].checkpoint, g_reports[i].dwCheckPoint) << i;
        EXPECT_EQ(expected[i].controls, g_reports[i].dwControlsAccepted) << i;
        EXPECT_EQ(expected[i].waitHint, g_reports[i].dwWaitHint) << i;
        EXPECT_EQ(static_cast<DWORD>(SERVICE_WIN32_OWN_PROCESS), g_reports[i].dwServiceType);
        EXPECT_EQ(0u, g_reports[i].dwServiceSpecificExitCode);
    }
    EXPECT_TRUE(g_logged.empty());
}

TEST_F(StatusReporterTest, InterrogateReportsTheCurrentStateAgain) {
    reporter.ReportStatus(SERVICE_RUNNING, 0, 0);
    reporter.OnControl(SERVICE_CONTROL_INTERROGATE);
    ASSERT_EQ(2u, g_reports.size());
    EXPECT_EQ(static_cast<DWORD>(SERVICE_RUNNING), g_reports[1].dwCurrentState);
}

TEST_F(StatusReporterTest, StoppedCarriesTheExitCode) {
    reporter.ReportStatus(SERVICE_STOPPED, ERROR_ACCESS_DENIED, 0);
    EXPECT_EQ(static_cast<DWORD>(ERROR_ACCESS_DENIED), g_reports.back().dwWin32ExitCode);
}

TEST_F(StatusReporterTest, FailedReportIsLoggedAndReturnsFailure) {
    g_failReports = true;
    EXPECT_FALSE(reporter.ReportStatus(SERVICE_START_PENDING, 0, 3000));
    ASSERT_EQ(1u, g_logged.size());
    EXPECT_EQ(L"SetServiceStatus", g_logged[0]);
}

TEST_F(StatusReporterTest, DebugModeReportsNothing) {
    reporter.SetDebug(true);
    EXPECT_TRUE(reporter.ReportStatus(SERVICE_START_PENDING, 0, 3000));
    reporter.OnControl(SERVICE_CONTROL_STOP);
    EXPECT_TRUE(g_reports.empty());
}

TEST(FormatLastError, SystemTextWithCodeOrEmpty) {
    const std::wstring text = svc::FormatLastError(ERROR_FILE_NOT_FOUND);
    ASSERT_FALSE(text.empty());
    EXPECT_NE(std::wstring::npos, text.find(L" (0x2)"));
    EXPECT_EQ(std::wstring::npos, text.find(L"\r\n"));
    // Too little room for the text and its code: nothing at all.
    EXPECT_EQ(L"", svc::FormatLastError(ERROR_FILE_NOT_FOUND, 10));
    EXPECT_EQ(L"", svc::FormatLastError(0x7FFF1234));
}
