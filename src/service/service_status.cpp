#include "service/service_status.h"

#include <algorithm>

namespace brolt::service {

namespace {

bool isPending(DWORD state) {
    return state == SERVICE_START_PENDING || state == SERVICE_STOP_PENDING;
}

SERVICE_STATUS stopped(const SERVICE_STATUS& current, DWORD win32ExitCode, DWORD specificExitCode) {
    SERVICE_STATUS status = current;
    status.dwCurrentState = SERVICE_STOPPED;
    status.dwWin32ExitCode = win32ExitCode;
    status.dwServiceSpecificExitCode = specificExitCode;
    status.dwCheckPoint = 0;
    status.dwWaitHint = 0;
    return status;
}

}  // namespace

DWORD stopTimeoutMilliseconds(long configuredSeconds) {
    DWORD seconds = configuredSeconds <= 0
                        ? kDefaultStopTimeoutSeconds
                        : static_cast<DWORD>(std::min<long>(configuredSeconds, kLongestStopTimeoutSeconds));
    return seconds * 1000;
}

DWORD startTimeoutMilliseconds(long configuredSeconds) {
    DWORD seconds = configuredSeconds <= 0
                        ? kDefaultStartTimeoutSeconds
                        : static_cast<DWORD>(std::min<long>(configuredSeconds, kLongestStopTimeoutSeconds));
    return seconds * 1000;
}

DWORD stopLimitMilliseconds(DWORD stopTimeout, bool shutdown, std::optional<DWORD> grantedMilliseconds) {
    if (!shutdown)
        return stopTimeout;
    DWORD granted = grantedMilliseconds.value_or(kDefaultShutdownGrantMilliseconds);
    DWORD usable = granted > kShutdownMarginMilliseconds + kTickMilliseconds
                       ? granted - kShutdownMarginMilliseconds
                       : kTickMilliseconds;
    return std::min(stopTimeout, usable);
}

SERVICE_STATUS initialStatus() {
    SERVICE_STATUS status{};
    status.dwServiceType = kReportedServiceType;
    status.dwCurrentState = SERVICE_START_PENDING;
    status.dwControlsAccepted = kAcceptedControls;
    status.dwWin32ExitCode = 0;
    status.dwServiceSpecificExitCode = 0;
    status.dwCheckPoint = 0;
    status.dwWaitHint = kPendingWaitHintMilliseconds;
    return status;
}

ControlDecision decideControl(const SERVICE_STATUS& current, DWORD control) {
    ControlDecision decision{current, false};
    switch (control) {
        case SERVICE_CONTROL_STOP:
            decision.status.dwCurrentState = SERVICE_STOP_PENDING;
            decision.status.dwWaitHint = kPendingWaitHintMilliseconds;
            decision.signalStop = true;
            break;
        case SERVICE_CONTROL_SHUTDOWN:
            decision.status.dwCurrentState = SERVICE_STOP_PENDING;
            decision.status.dwWaitHint = kPendingWaitHintMilliseconds;
            ++decision.status.dwCheckPoint;
            decision.signalStop = true;
            break;
        default:
            break;
    }
    return decision;
}

bool tickStatus(const SERVICE_STATUS& current, SERVICE_STATUS& next) {
    if (!isPending(current.dwCurrentState))
        return false;
    next = current;
    ++next.dwCheckPoint;
    return true;
}

SERVICE_STATUS runningStatus(const SERVICE_STATUS& current) {
    if (current.dwCurrentState != SERVICE_START_PENDING)
        return current;
    SERVICE_STATUS status = current;
    status.dwCurrentState = SERVICE_RUNNING;
    status.dwCheckPoint = 0;
    status.dwWaitHint = 0;
    return status;
}

SERVICE_STATUS endedStatus(const SERVICE_STATUS& current, const ServiceEnd& end) {
    return stopped(current, end.win32ExitCode, end.serviceSpecificExitCode);
}

}  // namespace brolt::service
