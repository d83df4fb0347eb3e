// The service status record: each control, the ticks of a pending state, the limits and an end's record.
#include <gtest/gtest.h>

#include <windows.h>

#include <optional>
#include <string>
#include <vector>

#include "service/service_status.h"

namespace svc = brolt::service;

TEST(ServiceStatus, StartsPendingAndAcceptsStopAndShutdown) {
    SERVICE_STATUS status = svc::initialStatus();
    EXPECT_EQ(status.dwServiceType, 0x30u);
    EXPECT_EQ(status.dwCurrentState, static_cast<DWORD>(SERVICE_START_PENDING));
    EXPECT_EQ(status.dwControlsAccepted, 5u);
    EXPECT_EQ(status.dwWin32ExitCode, 0u);
    EXPECT_EQ(status.dwServiceSpecificExitCode, 0u);
    EXPECT_EQ(status.dwCheckPoint, 0u);
    EXPECT_GT(status.dwWaitHint, svc::kTickMilliseconds);
}

TEST(ServiceStatus, PendingStatesTickUntilRunningOrStopped) {
    SERVICE_STATUS status = svc::initialStatus();
    SERVICE_STATUS next{};
    for (DWORD expected = 1; expected <= 3; ++expected) {
        ASSERT_TRUE(svc::tickStatus(status, next));
        EXPECT_EQ(next.dwCheckPoint, expected);
        status = next;
    }
    SERVICE_STATUS running = svc::runningStatus(status);
    EXPECT_EQ(running.dwCurrentState, static_cast<DWORD>(SERVICE_RUNNING));
    EXPECT_EQ(running.dwCheckPoint, 0u);
    EXPECT_EQ(running.dwWaitHint, 0u);
    EXPECT_FALSE(svc::tickStatus(running, next));

    // Stopping ticks again; a stop that arrived during the start is not turned back into running.
    SERVICE_STATUS stopping = svc::decideControl(status, SERVICE_CONTROL_STOP).status;
    ASSERT_TRUE(svc::tickStatus(stopping, next));
    EXPECT_EQ(next.dwCheckPoint, stopping.dwCheckPoint + 1);
    EXPECT_EQ(svc::runningStatus(stopping).dwCurrentState, static_cast<DWORD>(SERVICE_STOP_PENDING));
    EXPECT_FALSE(svc::tickStatus(svc::endedStatus(stopping, svc::ServiceEnd{}), next));
}

TEST(ServiceStatus, StopLimits) {
    struct Case {
        const char* what;
        long configuredSeconds;
        bool shutdown;
        std::optional<DWORD> granted;
        DWORD limit;
    } cases[] = {
        {"not configured", 0, false, std::nullopt, svc::kDefaultStopTimeoutSeconds * 1000},
        {"negative", -5, false, std::nullopt, svc::kDefaultStopTimeoutSeconds * 1000},
        {"five seconds", 5, false, std::nullopt, 5000},
        {"beyond a day", 10000000, false, std::nullopt, svc::kLongestStopTimeoutSeconds * 1000},
        {"shutdown grants more", 5, true, 20000, 5000},
        {"shutdown grants less", 60, true, 12000, 11000},
        {"shutdown grant unknown", 60, true, std::nullopt, svc::kDefaultShutdownGrantMilliseconds - 1000},
        {"shutdown grants nearly nothing", 60, true, 500, svc::kTickMilliseconds},
    };
    for (const Case& c : cases) {
        DWORD timeout = svc::stopTimeoutMilliseconds(c.configuredSeconds);
        EXPECT_EQ(svc::stopLimitMilliseconds(timeout, c.shutdown, c.granted), c.limit) << c.what;
    }
}

struct ControlCase {
    const char* what;
    DWORD control;
    DWORD state;
    DWORD checkPoint;
    bool signalStop;
};

TEST(ServiceStatus, ControlDecisions) {
    // From a running service whose checkpoint already stands at 2.
    const ControlCase cases[] = {
        {"stop", SERVICE_CONTROL_STOP, SERVICE_STOP_PENDING, 2, true},
        {"shutdown", SERVICE_CONTROL_SHUTDOWN, SERVICE_STOP_PENDING, 3, true},
        {"interrogate", SERVICE_CONTROL_INTERROGATE, SERVICE_RUNNING, 2, false},
        {"pause (not accepted)", SERVICE_CONTROL_PAUSE, SERVICE_RUNNING, 2, false},
        {"user-defined", 200, SERVICE_RUNNING, 2, false},
    };
    SERVICE_STATUS running = svc::runningStatus(svc::initialStatus());
    running.dwCheckPoint = 2;
    for (const ControlCase& c : cases) {
        svc::ControlDecision decision = svc::decideControl(running, c.control);
        EXPECT_EQ(decision.status.dwCurrentState, c.state) << c.what;
        EXPECT_EQ(decision.status.dwCheckPoint, c.checkPoint) << c.what;
        EXPECT_EQ(decision.signalStop, c.signalStop) << c.what;
        EXPECT_EQ(decision.status.dwWin32ExitCode, 0u) << c.what;
        // A stop waits with the pending hint; anything else leaves the running record's.
        EXPECT_EQ(decision.status.dwWaitHint, c.signalStop ? svc::kPendingWaitHintMilliseconds : 0u)
            << c.what;
    }
}

TEST(ServiceStatus, EveryShutdownRaisesTheCheckpointAndInterrogationKeepsThePendingState) {
    SERVICE_STATUS status = svc::initialStatus();
    status = svc::decideControl(status, SERVICE_CONTROL_SHUTDOWN).status;
    status = svc::decideControl(status, SERVICE_CONTROL_SHUTDOWN).status;
    EXPECT_EQ(status.dwCheckPoint, 2u);
    status = svc::decideControl(status, SERVICE_CONTROL_STOP).status;
    EXPECT_EQ(status.dwCheckPoint, 2u);
    svc::ControlDecision asked = svc::decideControl(status, SERVICE_CONTROL_INTERROGATE);
    EXPECT_EQ(asked.status.dwCurrentState, static_cast<DWORD>(SERVICE_STOP_PENDING));
    EXPECT_EQ(asked.status.dwCheckPoint, 2u);
}

TEST(ServiceStatus, StartLimits) {
    EXPECT_EQ(svc::startTimeoutMilliseconds(0), svc::kDefaultStartTimeoutSeconds * 1000);
    EXPECT_EQ(svc::startTimeoutMilliseconds(-1), svc::kDefaultStartTimeoutSeconds * 1000);
    EXPECT_EQ(svc::startTimeoutMilliseconds(5), 5000u);
    EXPECT_EQ(svc::startTimeoutMilliseconds(10000000), svc::kLongestStopTimeoutSeconds * 1000);
}

TEST(ServiceStatus, AnEndIsReportedStoppedWithItsCodesAndNothingPending) {
    SERVICE_STATUS pending = svc::decideControl(svc::initialStatus(), SERVICE_CONTROL_SHUTDOWN).status;
    pending.dwCheckPoint = 7;
    svc::ServiceEnd end;
    end.win32ExitCode = ERROR_SERVICE_SPECIFIC_ERROR;
    end.serviceSpecificExitCode = 42;
    SERVICE_STATUS stopped = svc::endedStatus(pending, end);
    EXPECT_EQ(stopped.dwCurrentState, static_cast<DWORD>(SERVICE_STOPPED));
    EXPECT_EQ(stopped.dwWin32ExitCode, static_cast<DWORD>(ERROR_SERVICE_SPECIFIC_ERROR));
    EXPECT_EQ(stopped.dwServiceSpecificExitCode, 42u);
    EXPECT_EQ(stopped.dwCheckPoint, 0u);
    EXPECT_EQ(stopped.dwWaitHint, 0u);
    EXPECT_EQ(stopped.dwControlsAccepted, pending.dwControlsAccepted);
}
