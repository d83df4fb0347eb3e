// How every start and stop ends: the state, both exit codes, the event, the log line, whether the failure
// is shown and whether the start's files go, for each ending an operator or a monitor can meet.
#include <gtest/gtest.h>

#include <optional>
#include <string>

#include "service/service_end_rules.h"

namespace svc = brolt::service;
using svc::EndCause;
using svc::EventId;
using svc::StartStage;

namespace {

struct EndCase {
    const char* what;
    svc::WhatHappened happened;
    uint32_t win32ExitCode;
    uint32_t specificExitCode;
    std::optional<EventId> event;  // none: no entry
    bool warning;
    const char* eventText;  // the whole text, or nullptr when not checked beyond its id
    bool shown;
    bool removeStartFiles;
};

svc::WhatHappened happened(StartStage stage, EndCause cause, bool stopRequested = false) {
    svc::WhatHappened what;
    what.stage = stage;
    what.cause = cause;
    what.stopRequested = stopRequested;
    return what;
}

svc::WhatHappened vmExit(StartStage stage, long code, bool stopRequested = false) {
    svc::WhatHappened what = happened(stage, EndCause::VmExit, stopRequested);
    what.vmExitCode = code;
    return what;
}

svc::WhatHappened failed(StartStage stage, const char* text, bool shown, bool stopRequested = false) {
    svc::WhatHappened what = happened(stage, EndCause::StartFailed, stopRequested);
    what.failureText = text;
    what.failureShown = shown;
    return what;
}

svc::WhatHappened withLimit(svc::WhatHappened what, uint32_t seconds) {
    what.limitSeconds = seconds;
    return what;
}

svc::WhatHappened withDetail(svc::WhatHappened what, const char* detail) {
    what.failureDetail = detail;
    return what;
}

svc::WhatHappened withFirstLine(svc::WhatHappened what, const char* line) {
    what.vmFirstLine = line;
    return what;
}

constexpr const char* kVmMessage =
    "The Java VM could not be started; the main method may have thrown an exception.";

}  // namespace

TEST(ServiceEndRules, EveryEnding) {
    const EndCase cases[] = {
        // Stopped on request.
        {"stop: the Java exit ends the VM",
         vmExit(StartStage::Running, 0, true),
         0,
         0,
         {},
         false,
         nullptr,
         false,
         false},
        {"stop: the VM's own code does not count",
         vmExit(StartStage::Running, 143, true),
         0,
         0,
         {},
         false,
         nullptr,
         false,
         false},
        {"stop: the exit call came back",
         happened(StartStage::Running, EndCause::StopCompleted, true),
         0,
         0,
         {},
         false,
         nullptr,
         false,
         false},
        {"stop during the start",
         happened(StartStage::CreatingVm, EndCause::StopDuringStart, true),
         0,
         0,
         {},
         false,
         nullptr,
         false,
         true},
        {"the VM ends during a start a stop was ending",
         vmExit(StartStage::CreatingVm, 1, true),
         0,
         0,
         {},
         false,
         nullptr,
         false,
         true},
        {"stop forced at the stop timeout",
         withLimit(happened(StartStage::Running, EndCause::StopTimedOut, true), 5), 0,
         svc::kStopTimedOutExitCode, EventId::StopTimedOut, true,
         "The service did not stop within 5 seconds; its process was ended. Exit code: 0, service-specific "
         "exit "
         "code: 1053.",
         false, false},
        {"stop during the start forced at the stop timeout",
         withLimit(happened(StartStage::CreatingVm, EndCause::StopTimedOut, true), 1), 0,
         svc::kStopTimedOutExitCode, EventId::StopTimedOut, true,
         "The service did not stop within 1 second; its process was ended. Exit code: 0, service-specific "
         "exit "
         "code: 1053.",
         false, true},
        {"the VM aborts during a requested stop", happened(StartStage::Running, EndCause::VmAbort, true), 0,
         svc::kVmAbortExitCode, EventId::VmAborted, true,
         "The Java VM aborted while the service stopped. Exit code: 0, service-specific exit code: 3.", false,
         false},
        {"the VM aborts during a start a stop was ending",
         happened(StartStage::CreatingVm, EndCause::VmAbort, true), 0, svc::kVmAbortExitCode,
         EventId::VmAborted, true, nullptr, false, true},
        // The application's own end.
        {"System.exit(0)", vmExit(StartStage::Running, 0), 0, 0, {}, false, nullptr, false, false},
        {"System.exit(5)", vmExit(StartStage::Running, 5), 1066, 5, {}, false, nullptr, false, false},
        {"System.exit(-1)",
         vmExit(StartStage::Running, -1),
         1066,
         0xFFFFFFFFu,
         {},
         false,
         nullptr,
         false,
         false},
        {"an exception escaped main: the Java side exits with 1",
         vmExit(StartStage::Running, 1),
         1066,
         1,
         {},
         false,
         nullptr,
         false,
         false},
        {"the VM aborts while the application runs", happened(StartStage::Running, EndCause::VmAbort), 1066,
         svc::kVmAbortExitCode, EventId::VmAborted, false,
         "The Java VM aborted while the application ran. Exit code: 1066, service-specific exit code: 3.",
         false, false},
        {"the process exits without the VM's word",
         happened(StartStage::Running, EndCause::ProcessExit),
         0,
         0,
         {},
         false,
         nullptr,
         false,
         false},
        // A first-run check that ends the start leaves a running service: its later end is no failed start.
        {"first-run stop, later System.exit(4)",
         vmExit(StartStage::Running, 4),
         1066,
         4,
         {},
         false,
         nullptr,
         false,
         false},
        // Failed starts.
        {"no runtime found", failed(StartStage::Preparing, "No Java VM found.", true), 1, 0,
         EventId::FailedStart, false, "No Java VM found. Exit code: 1.", true, true},
        {"a failure without a message", failed(StartStage::VmCreated, "", false), 1, 0, EventId::FailedStart,
         false,
         "The service could not start the Java application; its diagnostic log (BROLT_LOG=yes) says why. "
         "Exit "
         "code: 1.",
         false, true},
        {"an exception's text",
         withDetail(failed(StartStage::Running, "", false), "java.io.IOException: denied"), 1, 0,
         EventId::FailedStart, false,
         "The service could not start the Java application: java.io.IOException: denied. Exit code: 1.",
         false, true},
        {"the VM not created: its own first line, not the configured guess",
         withFirstLine(failed(StartStage::CreatingVm, kVmMessage, true), "Invalid maximum heap size: -Xmx1k"),
         1, 0, EventId::FailedStart, false,
         "The Java VM could not be created: Invalid maximum heap size: -Xmx1k. Exit code: 1.", true, true},
        {"the VM not created and silent", failed(StartStage::CreatingVm, kVmMessage, true), 1, 0,
         EventId::FailedStart, false,
         "The Java VM could not be created; its diagnostic log (BROLT_LOG=yes) says why. Exit code: 1.", true,
         true},
        {"the VM ends the process during its creation",
         withFirstLine(vmExit(StartStage::CreatingVm, 1),
                       "Error opening zip file or JAR manifest missing : a.jar"),
         1, 0, EventId::FailedStart, false,
         "The Java VM could not be created: Error opening zip file or JAR manifest missing : a.jar. Exit "
         "code: 1.",
         false, true},
        {"the VM aborts during its creation",
         withFirstLine(happened(StartStage::CreatingVm, EndCause::VmAbort),
                       "Error occurred during initialization of VM"),
         1, 0, EventId::FailedStart, false,
         "The Java VM could not be created: Error occurred during initialization of VM. Exit code: 1.", false,
         true},
        {"the VM ends the process before main, once created", vmExit(StartStage::VmCreated, 2), 1, 0,
         EventId::FailedStart, false,
         "The Java VM ended the process with exit code 2 before the application's main ran; its diagnostic "
         "log "
         "(BROLT_LOG=yes) says why. Exit code: 1.",
         false, true},
        {"the start past its limit", withLimit(happened(StartStage::CreatingVm, EndCause::StartTimedOut), 5),
         1, 0, EventId::FailedStart, false,
         "The service did not start within 5 seconds: the application's main was not called in time, and the "
         "start "
         "was given up. Exit code: 1.",
         false, true},
        {"a start that failed while a stop was asked for is no failure to recover from",
         failed(StartStage::Preparing, "No Java VM found.", true, true), 0, 0, EventId::FailedStart, false,
         "No Java VM found. Exit code: 0.", false, true},
    };
    for (const EndCase& c : cases) {
        svc::ServiceEnd end = svc::decideServiceEnd(c.happened);
        EXPECT_EQ(end.state, svc::kStateStopped) << c.what;
        EXPECT_EQ(end.win32ExitCode, c.win32ExitCode) << c.what;
        EXPECT_EQ(end.serviceSpecificExitCode, c.specificExitCode) << c.what;
        EXPECT_EQ(end.processExitCode, c.win32ExitCode == 0 ? 0 : 1) << c.what;
        ASSERT_EQ(end.event.has_value(), c.event.has_value()) << c.what;
        if (c.event) {
            EXPECT_EQ(end.event->id, *c.event) << c.what;
            EXPECT_EQ(end.event->warning, c.warning) << c.what;
            if (c.eventText != nullptr) {
                EXPECT_EQ(end.event->text, c.eventText) << c.what;
            }
            EXPECT_EQ(end.event->text.find("main method may have thrown"), std::string::npos) << c.what;
        }
        EXPECT_FALSE(end.logLine.empty()) << c.what;
        EXPECT_EQ(end.showFailure, c.shown) << c.what;
        EXPECT_EQ(end.removeStartFiles, c.removeStartFiles) << c.what;
    }
}

TEST(ServiceEndRules, LogLinesNameTheLimitThatPassed) {
    svc::ServiceEnd stop =
        svc::decideServiceEnd(withLimit(happened(StartStage::Running, EndCause::StopTimedOut, true), 5));
    EXPECT_EQ(stop.logLine, "stop timed out: the application did not end within 5 s; ending the process");
    EXPECT_TRUE(stop.logAsError);
    svc::ServiceEnd start =
        svc::decideServiceEnd(withLimit(happened(StartStage::VmCreated, EndCause::StartTimedOut), 300));
    EXPECT_EQ(start.logLine.rfind("start timed out: The service did not start within 300 seconds", 0), 0u)
        << start.logLine;
    EXPECT_TRUE(start.logAsError);
    svc::ServiceEnd asked =
        svc::decideServiceEnd(happened(StartStage::VmCreated, EndCause::StopDuringStart, true));
    EXPECT_FALSE(asked.logAsError);
}
