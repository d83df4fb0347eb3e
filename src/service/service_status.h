// The service status record and the decisions that change it, apart from the calls that report it,
// so every transition can be checked without a service control manager.
#pragma once

#include <windows.h>

namespace brolt::service {

// Both process-type bits, as the record has always announced itself; installation registers 0x110.
inline constexpr DWORD kReportedServiceType = SERVICE_WIN32_OWN_PROCESS | SERVICE_WIN32_SHARE_PROCESS;
inline constexpr DWORD kAcceptedControls = SERVICE_ACCEPT_STOP | SERVICE_ACCEPT_SHUTDOWN;
// Generous on purpose: a stop ends the Java application, whose shutdown hooks may take their time.
inline constexpr DWORD kWaitHintMilliseconds = 50000;
// An aborted VM ends the process through the runtime library's abort, whose process exit code this is;
// the service reports it as the application's own code.
inline constexpr long kVmAbortExitCode = 3;

// The record when serviceMain starts: running, stop and shutdown accepted.
SERVICE_STATUS initialStatus();

struct ControlDecision {
    SERVICE_STATUS status;  // reported for the control, changed or not
    bool signalStop;        // the stop event is to be set
};
// Stop: stop pending. Shutdown: stop pending and one more checkpoint. Anything else (interrogation
// among them): the record as it is, reported again.
ControlDecision decideControl(const SERVICE_STATUS& current, DWORD control);

// The record after the start failed before the application ran: stopped with the failure's exit code.
SERVICE_STATUS failedStartStatus(const SERVICE_STATUS& current, DWORD exitCode);
// The record after a completed stop: stopped, exit code as it was.
SERVICE_STATUS stoppedStatus(const SERVICE_STATUS& current);
// The VM ends the process itself with the application's exit code (an abort counts as
// kVmAbortExitCode). After a stop or shutdown control that is the stop asked for: exit code 0. Without
// one, a code other than 0 is the application's failure: ERROR_SERVICE_SPECIFIC_ERROR with the code as
// the service-specific exit code, so the service manager's recovery actions see it; 0 is a clean stop.
// The answer is false when the service was reported stopped already.
bool statusAtVmExit(const SERVICE_STATUS& current, bool stopRequested, long exitCode, SERVICE_STATUS& next);

// At process exit a service not yet reported stopped is reported stopped with exit code 0; the
// answer is false when nothing is to be reported.
bool statusAtExit(const SERVICE_STATUS& current, SERVICE_STATUS& next);

}  // namespace brolt::service
