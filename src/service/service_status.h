// The service status record and the decisions that change it, apart from the calls that report it,
// so every transition can be checked without a service control manager.
#pragma once

#include <windows.h>

#include <optional>

namespace brolt::service {

// Both process-type bits, as the record has always announced itself; installation registers 0x110.
inline constexpr DWORD kReportedServiceType = SERVICE_WIN32_OWN_PROCESS | SERVICE_WIN32_SHARE_PROCESS;
inline constexpr DWORD kAcceptedControls = SERVICE_ACCEPT_STOP | SERVICE_ACCEPT_SHUTDOWN;
// While starting or stopping, the checkpoint rises once a tick; the wait hint leaves room for several
// missed ticks before a service manager counts the service as hung.
inline constexpr DWORD kTickMilliseconds = 1000;
inline constexpr DWORD kPendingWaitHintMilliseconds = 10000;
// An aborted VM ends the process through the runtime library's abort, whose process exit code this is;
// the service reports it as the application's own code.
inline constexpr long kVmAbortExitCode = 3;
// The service-specific exit code of a stop that did not end within the stop timeout; the process was
// ended by force. The number is the system's own for a service that did not answer in time.
inline constexpr DWORD kStopTimedOutExitCode = 1053;

// The stop timeout when none is configured (service.stop_timeout): long enough for a server's hooks to
// flush and close, short enough that an operator is not left waiting on a hung one.
inline constexpr DWORD kDefaultStopTimeoutSeconds = 30;
// Beyond a day nobody is waiting any more; larger values are taken as this.
inline constexpr DWORD kLongestStopTimeoutSeconds = 86400;
// At a system shutdown the system ends the process once its own time is up; the launcher reports the
// timeout this much earlier. Without a configured time the system's classic default is assumed.
inline constexpr DWORD kShutdownMarginMilliseconds = 1000;
inline constexpr DWORD kDefaultShutdownGrantMilliseconds = 20000;

// The configured stop timeout (seconds; 0 or less: the default) in milliseconds.
DWORD stopTimeoutMilliseconds(long configuredSeconds);
// How long a stop may take: the stop timeout, and at a shutdown no longer than the system grants
// (grantedMilliseconds, none when the system does not say) less a margin, but at least one tick.
DWORD stopLimitMilliseconds(DWORD stopTimeout, bool shutdown, std::optional<DWORD> grantedMilliseconds);

// The record when serviceMain starts: start pending, stop and shutdown accepted.
SERVICE_STATUS initialStatus();

// Where the start stands, as the status decisions need it.
struct StartProgress {
    bool stopRequested = false;  // a stop or shutdown control arrived
    bool mainCalled = false;     // the application's main was called (or is being called)
};

struct ControlDecision {
    SERVICE_STATUS status;  // reported for the control, changed or not
    bool signalStop;        // the stop event is to be set
};
// Stop: stop pending. Shutdown: stop pending and one more checkpoint. Anything else (interrogation
// among them): the record as it is, reported again.
ControlDecision decideControl(const SERVICE_STATUS& current, DWORD control);

// One tick of a pending state: the checkpoint rises. False (and nothing changes) in any other state.
bool tickStatus(const SERVICE_STATUS& current, SERVICE_STATUS& next);
// The application's main was called: running, unless a stop is pending already.
SERVICE_STATUS runningStatus(const SERVICE_STATUS& current);

// The record after the start failed before the application ran: stopped with the failure's exit code.
SERVICE_STATUS failedStartStatus(const SERVICE_STATUS& current, DWORD exitCode);
// The record after a completed stop: stopped, exit code as it was.
SERVICE_STATUS stoppedStatus(const SERVICE_STATUS& current);
// The stop did not end in time: stopped, ERROR_SERVICE_SPECIFIC_ERROR with kStopTimedOutExitCode.
SERVICE_STATUS stopTimedOutStatus(const SERVICE_STATUS& current);

// The VM ends the process itself with exitCode (an abort counts as kVmAbortExitCode):
// - after a stop or shutdown control, that is the stop asked for: exit code 0;
// - before the application's main was called, the VM could not be started: a failed start, exit code
//   kFailedStartExitCode, whatever the VM's own code;
// - otherwise a code other than 0 is the application's failure: ERROR_SERVICE_SPECIFIC_ERROR with the
//   code as the service-specific exit code, so the service manager's recovery actions see it; 0 is a
//   clean stop.
// The answer is false when the service was reported stopped already.
bool statusAtVmExit(const SERVICE_STATUS& current, StartProgress progress, long exitCode,
                    SERVICE_STATUS& next);

// At process exit a service not yet reported stopped is reported stopped with exit code 0; the
// answer is false when nothing is to be reported.
bool statusAtExit(const SERVICE_STATUS& current, SERVICE_STATUS& next);

}  // namespace brolt::service
