#include "service/service_end_rules.h"

namespace brolt::service {

namespace {

constexpr const char* kDiagnosticLogHint = "its diagnostic log (BROLT_LOG=yes) says why";

std::string seconds(uint32_t count) {
    return std::to_string(count) + (count == 1 ? " second" : " seconds");
}

std::string withFirstLine(std::string what, const std::string& firstLine) {
    return firstLine.empty() ? what + "; " + kDiagnosticLogHint : what + ": " + firstLine;
}

// Why a start failed, in one sentence for the event log. A VM that could not be created has its own
// word on it, the first line it printed; the configured message would only guess.
std::string failedStartWords(const WhatHappened& happened) {
    // However it ended, a VM still being created was not created: its own first line says why.
    if (happened.stage == StartStage::CreatingVm && happened.cause != EndCause::StartTimedOut &&
        happened.cause != EndCause::ProcessExit)
        return withFirstLine("The Java VM could not be created", happened.vmFirstLine);
    switch (happened.cause) {
        case EndCause::StartTimedOut:
            return "The service did not start within " + seconds(happened.limitSeconds) +
                   ": the application's main was not called in time, and the start was given up";
        case EndCause::VmExit:
            return withFirstLine("The Java VM ended the process with exit code " +
                                     std::to_string(happened.vmExitCode) +
                                     " before the application's main ran",
                                 happened.vmFirstLine);
        case EndCause::VmAbort:
            return withFirstLine("The Java VM aborted before the application's main ran",
                                 happened.vmFirstLine);
        case EndCause::ProcessExit:
            return "The service's process ended before the application's main ran";
        default:
            break;
    }
    if (!happened.failureText.empty())
        return happened.failureDetail.empty() ? happened.failureText
                                              : happened.failureText + "\n" + happened.failureDetail;
    if (!happened.failureDetail.empty())
        return "The service could not start the Java application: " + happened.failureDetail;
    return std::string("The service could not start the Java application; ") + kDiagnosticLogHint;
}

ServiceEnd stopped(uint32_t win32ExitCode, uint32_t specificExitCode) {
    ServiceEnd end;
    end.state = kStateStopped;
    end.win32ExitCode = win32ExitCode;
    end.serviceSpecificExitCode = specificExitCode;
    end.processExitCode = win32ExitCode == 0 ? 0 : 1;
    return end;
}

void addEvent(ServiceEnd& end, EventId id, bool warning, const std::string& what) {
    end.event = ServiceEvent{id, warning, eventText(what, end.win32ExitCode, end.serviceSpecificExitCode)};
}

// A start that ended before main was called, by a failure, its limit or the VM's end.
ServiceEnd failedStart(const WhatHappened& happened) {
    std::string what = failedStartWords(happened);
    // A stop was asked for meanwhile: the operator wanted the service stopped, so it is not a failure
    // the service manager is to recover from; the event still says what went wrong.
    ServiceEnd end = happened.stopRequested ? stopped(0, 0) : stopped(kStartFailedExitCode, 0);
    addEvent(end, EventId::FailedStart, false, what);
    end.logLine = (happened.cause == EndCause::StartTimedOut ? "start timed out: " : "start failed: ") + what;
    end.logAsError = true;
    bool configuredMessage = happened.cause == EndCause::StartFailed || happened.cause == EndCause::VmExit ||
                             happened.cause == EndCause::VmAbort;
    end.showFailure = configuredMessage && happened.failureShown && !happened.stopRequested;
    return end;
}

// The stop asked for, or the application's own end, once main was called.
ServiceEnd runningEnd(const WhatHappened& happened) {
    switch (happened.cause) {
        case EndCause::StopTimedOut: {
            ServiceEnd end = stopped(0, kStopTimedOutExitCode);
            std::string limit = std::to_string(happened.limitSeconds);
            addEvent(end, EventId::StopTimedOut, true,
                     "The service did not stop within " + seconds(happened.limitSeconds) +
                         "; its process was ended");
            end.logLine =
                "stop timed out: the application did not end within " + limit + " s; ending the process";
            end.logAsError = true;
            return end;
        }
        case EndCause::VmAbort: {
            if (happened.stopRequested) {
                ServiceEnd end = stopped(0, kVmAbortExitCode);
                addEvent(end, EventId::VmAborted, true, "The Java VM aborted while the service stopped");
                end.logLine = "Java VM aborted during the stop";
                end.logAsError = true;
                return end;
            }
            ServiceEnd end = stopped(kServiceSpecificError, kVmAbortExitCode);
            addEvent(end, EventId::VmAborted, false, "The Java VM aborted while the application ran");
            end.logLine = "Java VM aborted while the application ran";
            end.logAsError = true;
            return end;
        }
        case EndCause::VmExit: {
            if (happened.stopRequested || happened.vmExitCode == 0) {
                ServiceEnd end = stopped(0, 0);
                end.logLine = happened.stopRequested ? "service stopped: the Java VM ended"
                                                     : "service stopped: the application ended the Java VM";
                return end;
            }
            ServiceEnd end = stopped(kServiceSpecificError, static_cast<uint32_t>(happened.vmExitCode));
            end.logLine = "service stopped: the application ended the Java VM with exit code " +
                          std::to_string(happened.vmExitCode);
            end.logAsError = true;
            return end;
        }
        case EndCause::StopCompleted: {
            ServiceEnd end = stopped(0, 0);
            end.logLine = "service stopped";
            return end;
        }
        default: {
            ServiceEnd end = stopped(0, 0);
            end.logLine = "service stopped at the process's exit";
            return end;
        }
    }
}

}  // namespace

std::string eventText(const std::string& what, uint32_t win32ExitCode, uint32_t serviceSpecificExitCode) {
    std::string text = what;
    if (!text.empty() && text.back() != '.')
        text += '.';
    text += " Exit code: " + std::to_string(win32ExitCode);
    if (win32ExitCode == kServiceSpecificError || serviceSpecificExitCode != 0)
        text += ", service-specific exit code: " + std::to_string(serviceSpecificExitCode);
    return text + ".";
}

ServiceEnd decideServiceEnd(const WhatHappened& happened) {
    bool started = happened.stage == StartStage::Running;
    ServiceEnd end;
    if (happened.cause == EndCause::StopTimedOut ||
        (happened.cause == EndCause::VmAbort && happened.stopRequested)) {
        // Forced or broken, but asked for: never a failure the service manager recovers from, whatever
        // the stage; the event keeps what happened.
        end = runningEnd(happened);
    } else if (happened.cause == EndCause::StopDuringStart) {
        end = stopped(0, 0);
        end.logLine = std::string(happened.shutdown ? "shutdown" : "stop") +
                      " requested during the start: the start ended before main";
    } else if (happened.cause == EndCause::StartFailed || happened.cause == EndCause::StartTimedOut) {
        end = failedStart(happened);
    } else if (!started && happened.stopRequested) {
        // The VM or the process ended during a start that a stop was ending anyway.
        end = stopped(0, 0);
        end.logLine = "service stopped during the start";
    } else if (!started && happened.cause != EndCause::StopCompleted) {
        end = failedStart(happened);
    } else {
        end = runningEnd(happened);
    }
    // The application never ran: before main, or a start that failed in the Java side's main itself.
    end.removeStartFiles = !started || happened.cause == EndCause::StartFailed;
    return end;
}

}  // namespace brolt::service
