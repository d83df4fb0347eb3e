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
// The exit code a service reports when no runtime was found or the launch failed.
inline constexpr DWORD kFailedStartExitCode = 1;

// The record when serviceMain starts: running, stop and shutdown accepted.
SERVICE_STATUS initialStatus();

struct ControlDecision {
    SERVICE_STATUS status;  // reported for the control, changed or not
    bool signalStop;        // the stop event is to be set
};
// Stop: stop pending. Shutdown: stop pending and one more checkpoint. Anything else (interrogation
// among them): the record as it is, reported again.
ControlDecision decideControl(const SERVICE_STATUS& current, DWORD control);

// The record after the runtime search or the launch failed: stopped with exit code 1.
SERVICE_STATUS failedStartStatus(const SERVICE_STATUS& current);
// The record after a completed stop: stopped, exit code as it was.
SERVICE_STATUS stoppedStatus(const SERVICE_STATUS& current);
// At process exit a service not yet reported stopped is reported stopped with exit code 0; the
// answer is false when nothing is to be reported.
bool statusAtExit(const SERVICE_STATUS& current, SERVICE_STATUS& next);

}  // namespace brolt::service
