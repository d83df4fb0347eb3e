// How a service start or stop ends, decided once: what happened goes in, the whole end comes out (the
// state and both exit codes, the event log entry, the diagnostic log line, whether the user is shown
// the failure and whether the start's files go). No system calls here: the service runtime's one
// reporter carries the end out, and every path that ends a start or a stop feeds this function.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

namespace brolt::service {

// The service manager's own numbers (SERVICE_STOPPED, ERROR_SERVICE_SPECIFIC_ERROR, ...), spelled out
// since this module includes no system header; service_status checks they agree.
inline constexpr uint32_t kStateStopped = 1;
inline constexpr uint32_t kServiceSpecificError = 1066;

// An aborted VM ends the process through the runtime library's abort, whose process exit code this is;
// the service reports it as the application's own code.
inline constexpr uint32_t kVmAbortExitCode = 3;
// The service-specific exit code a forced stop leaves for a monitor: the system's own number for a
// service that did not answer in time. The service manager reads it only beside 1066, which a stop
// that was asked for never reports, so no recovery follows.
inline constexpr uint32_t kStopTimedOutExitCode = 1053;
// The exit code of a start that failed before the application ran.
inline constexpr uint32_t kStartFailedExitCode = 1;

// How far the start got.
enum class StartStage {
    Preparing,   // the launch arguments, the runtime search, the VM library: no VM yet
    CreatingVm,  // the VM is being created (its options, an agent's premain)
    VmCreated,   // the VM is there, main is not called yet (the first-run check, the runtime class)
    Running,     // the application's main was called, or the first-run check ended the start: it runs
};

// What ended it.
enum class EndCause {
    StartFailed,      // a step of the start failed (failureText says what)
    StopDuringStart,  // the start gave up before main because a stop was asked for
    StartTimedOut,    // the start limit passed before main was called
    StopTimedOut,     // the stop was not over when its time was up: the process is ended by force
    StopCompleted,    // the service thread's stop of the VM came back
    VmExit,           // the VM ends the process with vmExitCode
    VmAbort,          // the VM aborts
    ProcessExit,      // the process ends through the runtime library's exit, nothing else reported it
};

struct WhatHappened {
    StartStage stage = StartStage::Preparing;
    EndCause cause = EndCause::StartFailed;
    bool stopRequested = false;  // a stop or shutdown control arrived
    bool shutdown = false;       // ... and it was a shutdown
    long vmExitCode = 0;         // VmExit: the code the VM ends with
    uint32_t limitSeconds = 0;   // StartTimedOut, StopTimedOut: the limit that passed
    // StartFailed: the failure's configured message (empty when it has none), what happened in words
    // beyond it (an exception's first line; empty when nothing), and whether the user is to be shown the
    // message. With neither text the diagnostic log says why.
    std::string failureText;
    std::string failureDetail;
    bool failureShown = false;
    // StartFailed, VmExit, VmAbort: the first line the VM printed, its own word on why it did not start.
    std::string vmFirstLine;
};

enum class EventId : uint32_t {
    FailedStart = 1,   // the service stopped before the application's main ran
    StopTimedOut = 2,  // the stop did not end within the stop timeout; the process was ended
    VmAborted = 3,     // the VM aborted
};

struct ServiceEvent {
    EventId id = EventId::FailedStart;
    bool warning = false;  // false: an error
    std::string text;      // the sentence, then the exit codes reported
};

struct ServiceEnd {
    uint32_t state = kStateStopped;
    uint32_t win32ExitCode = 0;
    uint32_t serviceSpecificExitCode = 0;
    std::optional<ServiceEvent> event;
    std::string logLine;
    bool logAsError = false;
    bool showFailure = false;       // the failure's configured message is shown, as the executable type says
    bool removeStartFiles = false;  // the application never ran: the start's fresh extraction goes
    int processExitCode = 0;        // what the process ends with when the launcher ends it
};

ServiceEnd decideServiceEnd(const WhatHappened& happened);

// The event's text: what happened (a sentence, its full stop added when missing), then the exit codes
// the service manager shows for it.
std::string eventText(const std::string& what, uint32_t win32ExitCode, uint32_t serviceSpecificExitCode);

}  // namespace brolt::service
