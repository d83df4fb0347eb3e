// The service status record and the decisions that change it, apart from the calls that report it,
// so every transition can be checked without a service control manager.
#pragma once

#include <windows.h>

#include <optional>

#include "service/service_end_rules.h"

namespace brolt::service {

// Both process-type bits, as the record has always announced itself; installation registers 0x110.
inline constexpr DWORD kReportedServiceType = SERVICE_WIN32_OWN_PROCESS | SERVICE_WIN32_SHARE_PROCESS;
inline constexpr DWORD kAcceptedControls = SERVICE_ACCEPT_STOP | SERVICE_ACCEPT_SHUTDOWN;
// While starting or stopping, the checkpoint rises once a tick; the wait hint leaves room for several
// missed ticks before a service manager counts the service as hung.
inline constexpr DWORD kTickMilliseconds = 1000;
inline constexpr DWORD kPendingWaitHintMilliseconds = 10000;
static_assert(kStateStopped == SERVICE_STOPPED && kServiceSpecificError == ERROR_SERVICE_SPECIFIC_ERROR,
              "the end rules spell out the service manager's numbers");

// The stop timeout when none is configured (service.stop_timeout): long enough for a server's hooks to
// flush and close, short enough that an operator is not left waiting on a hung one.
inline constexpr DWORD kDefaultStopTimeoutSeconds = 30;
// Beyond a day nobody is waiting any more; larger values are taken as this.
inline constexpr DWORD kLongestStopTimeoutSeconds = 86400;
// At a system shutdown the system ends the process once its own time is up; the launcher reports the
// timeout this much earlier. Without a configured time the system's classic default is assumed.
inline constexpr DWORD kShutdownMarginMilliseconds = 1000;
inline constexpr DWORD kDefaultShutdownGrantMilliseconds = 20000;

// The start timeout when none is configured (service.start_timeout): from the process's start to the
// application's main. A server's start may unpack a runtime, write a class-data archive or wait in an
// agent for a while; five minutes leaves room for all of them on a slow disk and still ends a start
// that hangs, which the service manager could otherwise neither finish nor stop.
inline constexpr DWORD kDefaultStartTimeoutSeconds = 300;

// The configured stop timeout (seconds; 0 or less: the default) in milliseconds.
DWORD stopTimeoutMilliseconds(long configuredSeconds);
// The configured start timeout (seconds; 0 or less: the default; beyond a day: a day) in milliseconds.
DWORD startTimeoutMilliseconds(long configuredSeconds);
// How long a stop may take: the stop timeout, and at a shutdown no longer than the system grants
// (grantedMilliseconds, none when the system does not say) less a margin, but at least one tick.
DWORD stopLimitMilliseconds(DWORD stopTimeout, bool shutdown, std::optional<DWORD> grantedMilliseconds);

// The record when serviceMain starts: start pending, stop and shutdown accepted.
SERVICE_STATUS initialStatus();

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

// The record of the end decided: stopped with its exit codes, nothing pending.
SERVICE_STATUS endedStatus(const SERVICE_STATUS& current, const ServiceEnd& end);

}  // namespace brolt::service
