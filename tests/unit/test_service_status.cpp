// The service status record: each control, a failed start, a completed stop and the VM ending the process.
#include <gtest/gtest.h>

#include <windows.h>

#include <string>
#include <vector>

#include "service/service_status.h"

namespace svc = brolt::service;

TEST(ServiceStatus, StartsRunningAndAcceptsStopAndShutdown) {
    SERVICE_STATUS status = svc::initialStatus();
    EXPECT_EQ(status.dwServiceType, 0x30u);
    EXPECT_EQ(status.dwCurrentState, static_cast<DWORD>(SERVICE_RUNNING));
    EXPECT_EQ(status.dwControlsAccepted, 5u);
    EXPECT_EQ(status.dwWin32ExitCode, 0u);
    EXPECT_EQ(status.dwServiceSpecificExitCode, 0u);
    EXPECT_EQ(status.dwCheckPoint, 0u);
    EXPECT_EQ(status.dwWaitHint, 50000u);
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
    SERVICE_STATUS running = svc::initialStatus();
    running.dwCheckPoint = 2;
    for (const ControlCase& c : cases) {
        svc::ControlDecision decision = svc::decideControl(running, c.control);
        EXPECT_EQ(decision.status.dwCurrentState, c.state) << c.what;
        EXPECT_EQ(decision.status.dwCheckPoint, c.checkPoint) << c.what;
        EXPECT_EQ(decision.signalStop, c.signalStop) << c.what;
        EXPECT_EQ(decision.status.dwWin32ExitCode, 0u) << c.what;
        EXPECT_EQ(decision.status.dwWaitHint, running.dwWaitHint) << c.what;
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

TEST(ServiceStatus, FailedStartAndCompletedStop) {
    SERVICE_STATUS failed = svc::failedStartStatus(svc::initialStatus(), 1);
    EXPECT_EQ(failed.dwCurrentState, static_cast<DWORD>(SERVICE_STOPPED));
    EXPECT_EQ(failed.dwWin32ExitCode, 1u);

    SERVICE_STATUS pending = svc::decideControl(svc::initialStatus(), SERVICE_CONTROL_STOP).status;
    SERVICE_STATUS stopped = svc::stoppedStatus(pending);
    EXPECT_EQ(stopped.dwCurrentState, static_cast<DWORD>(SERVICE_STOPPED));
    EXPECT_EQ(stopped.dwWin32ExitCode, 0u);
}

TEST(ServiceStatus, ProcessExitReportsStopOnlyWhenNotStoppedYet) {
    SERVICE_STATUS next{};
    SERVICE_STATUS pending = svc::decideControl(svc::initialStatus(), SERVICE_CONTROL_STOP).status;
    ASSERT_TRUE(svc::statusAtExit(pending, next));
    EXPECT_EQ(next.dwCurrentState, static_cast<DWORD>(SERVICE_STOPPED));
    EXPECT_EQ(next.dwWin32ExitCode, 0u);

    // A failed start was reported already, with its exit code 1; the exit must not overwrite it.
    EXPECT_FALSE(svc::statusAtExit(svc::failedStartStatus(svc::initialStatus(), 1), next));
}

struct VmExitCase {
    const char* what;
    DWORD state;  // before the VM ends the process
    bool stopRequested;
    long exitCode;
    bool reported;
    DWORD win32ExitCode;
    DWORD specificExitCode;
};

TEST(ServiceStatus, VmEndingTheProcessReportsTheApplicationsOutcome) {
    const VmExitCase cases[] = {
        {"stop asked for", SERVICE_STOP_PENDING, true, 0, true, NO_ERROR, 0},
        {"stop asked for, hook exits otherwise", SERVICE_STOP_PENDING, true, 5, true, NO_ERROR, 0},
        {"stop asked for during the launch, reported running again", SERVICE_RUNNING, true, 2, true, NO_ERROR,
         0},
        {"application exits cleanly", SERVICE_RUNNING, false, 0, true, NO_ERROR, 0},
        {"application exits with 3", SERVICE_RUNNING, false, 3, true, ERROR_SERVICE_SPECIFIC_ERROR, 3},
        {"application exits with -1", SERVICE_RUNNING, false, -1, true, ERROR_SERVICE_SPECIFIC_ERROR,
         0xFFFFFFFFu},
        {"abort", SERVICE_RUNNING, false, svc::kVmAbortExitCode, true, ERROR_SERVICE_SPECIFIC_ERROR, 3},
        {"reported stopped already", SERVICE_STOPPED, false, 3, false, 0, 0},
    };
    for (const VmExitCase& c : cases) {
        SERVICE_STATUS current = svc::initialStatus();
        current.dwCurrentState = c.state;
        current.dwServiceSpecificExitCode = 77;  // left over; must not survive a report
        SERVICE_STATUS next{};
        ASSERT_EQ(svc::statusAtVmExit(current, c.stopRequested, c.exitCode, next), c.reported) << c.what;
        if (!c.reported)
            continue;
        EXPECT_EQ(next.dwCurrentState, static_cast<DWORD>(SERVICE_STOPPED)) << c.what;
        EXPECT_EQ(next.dwWin32ExitCode, c.win32ExitCode) << c.what;
        EXPECT_EQ(next.dwServiceSpecificExitCode, c.specificExitCode) << c.what;
        EXPECT_EQ(next.dwControlsAccepted, current.dwControlsAccepted) << c.what;
    }
}
