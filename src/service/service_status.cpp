#include "service/service_status.h"

namespace brolt::service {

SERVICE_STATUS initialStatus() {
    SERVICE_STATUS status{};
    status.dwServiceType = kReportedServiceType;
    status.dwCurrentState = SERVICE_RUNNING;
    status.dwControlsAccepted = kAcceptedControls;
    status.dwWin32ExitCode = 0;
    status.dwServiceSpecificExitCode = 0;
    status.dwCheckPoint = 0;
    status.dwWaitHint = kWaitHintMilliseconds;
    return status;
}

ControlDecision decideControl(const SERVICE_STATUS& current, DWORD control) {
    ControlDecision decision{current, false};
    switch (control) {
        case SERVICE_CONTROL_STOP:
            decision.status.dwCurrentState = SERVICE_STOP_PENDING;
            decision.signalStop = true;
            break;
        case SERVICE_CONTROL_SHUTDOWN:
            decision.status.dwCurrentState = SERVICE_STOP_PENDING;
            ++decision.status.dwCheckPoint;
            decision.signalStop = true;
            break;
        default:
            break;
    }
    return decision;
}

SERVICE_STATUS failedStartStatus(const SERVICE_STATUS& current, DWORD exitCode) {
    SERVICE_STATUS status = current;
    status.dwCurrentState = SERVICE_STOPPED;
    status.dwWin32ExitCode = exitCode;
    return status;
}

SERVICE_STATUS stoppedStatus(const SERVICE_STATUS& current) {
    SERVICE_STATUS status = current;
    status.dwCurrentState = SERVICE_STOPPED;
    return status;
}

bool statusAtVmExit(const SERVICE_STATUS& current, bool stopRequested, long exitCode, SERVICE_STATUS& next) {
    if (current.dwCurrentState == SERVICE_STOPPED)
        return false;
    next = current;
    next.dwCurrentState = SERVICE_STOPPED;
    bool failed = !stopRequested && exitCode != 0;
    next.dwWin32ExitCode = failed ? ERROR_SERVICE_SPECIFIC_ERROR : NO_ERROR;
    next.dwServiceSpecificExitCode = failed ? static_cast<DWORD>(exitCode) : 0;
    return true;
}

bool statusAtExit(const SERVICE_STATUS& current, SERVICE_STATUS& next) {
    if (current.dwCurrentState == SERVICE_STOPPED)
        return false;
    next = current;
    next.dwCurrentState = SERVICE_STOPPED;
    next.dwWin32ExitCode = 0;
    return true;
}

}  // namespace brolt::service
