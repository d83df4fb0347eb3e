// Test helper for what Wine's sc lacks: changing a service's binary path, sending a control code and
// following the states a service reports.
// Usage: service_control binary NAME PATH   -> ChangeServiceConfigA with a new binary path
//        service_control control NAME CODE  -> ControlService; prints "STATE s CHECKPOINT c EXIT e"
//        service_control watch NAME MS      -> prints "ready", then "STATE s CHECKPOINT c EXIT e" for
//                                              every change of state the service reports, until it
//                                              is stopped or MS milliseconds pass without a report
// Exit code 0 on success, 1 with the failing call and its error on standard error, 2 on bad usage.

// The status-change notification needs the newer declarations; the launcher itself targets older systems.
#undef WINVER
#undef _WIN32_WINNT
#define WINVER 0x0600
#define _WIN32_WINNT 0x0600
#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "core/unique_resource.h"

namespace {

int failed(const char* call) {
    fprintf(stderr, "%s failed: %lu\n", call, GetLastError());
    return 1;
}

void printStatus(DWORD state, DWORD checkPoint, DWORD exitCode) {
    printf("STATE %lu CHECKPOINT %lu EXIT %lu\n", state, checkPoint, exitCode);
    fflush(stdout);
}

void CALLBACK notified(void*) {}

// Asks for every state but the one last seen, so each notification is a change; it carries the
// status as it was reported.
int watch(SC_HANDLE service, DWORD timeout) {
    constexpr DWORD kEveryState = SERVICE_NOTIFY_STOPPED | SERVICE_NOTIFY_START_PENDING |
                                  SERVICE_NOTIFY_STOP_PENDING | SERVICE_NOTIFY_RUNNING |
                                  SERVICE_NOTIFY_CONTINUE_PENDING | SERVICE_NOTIFY_PAUSE_PENDING |
                                  SERVICE_NOTIFY_PAUSED;
    SERVICE_STATUS current{};
    if (!QueryServiceStatus(service, &current))
        return failed("QueryServiceStatus");
    DWORD lastState = current.dwCurrentState;
    printf("ready\n");
    fflush(stdout);
    for (;;) {
        SERVICE_NOTIFYW notify{};
        notify.dwVersion = SERVICE_NOTIFY_STATUS_CHANGE;
        notify.pfnNotifyCallback = notified;
        // The notification masks give each state one bit, state 1 in bit 0.
        DWORD error = NotifyServiceStatusChangeW(service, kEveryState & ~(1u << (lastState - 1)), &notify);
        if (error != ERROR_SUCCESS) {
            SetLastError(error);
            return failed("NotifyServiceStatusChangeW");
        }
        if (SleepEx(timeout, TRUE) == 0)
            return 1;  // nothing reported in time
        const SERVICE_STATUS_PROCESS& status = notify.ServiceStatus;
        printStatus(status.dwCurrentState, status.dwCheckPoint, status.dwWin32ExitCode);
        lastState = status.dwCurrentState;
        if (lastState == SERVICE_STOPPED)
            return 0;
    }
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 4)
        return 2;
    brolt::UniqueServiceHandle manager(OpenSCManagerA(nullptr, nullptr, SC_MANAGER_CONNECT));
    if (!manager)
        return failed("OpenSCManagerA");
    if (strcmp(argv[1], "binary") == 0) {
        brolt::UniqueServiceHandle service(OpenServiceA(manager.get(), argv[2], SERVICE_CHANGE_CONFIG));
        if (!service)
            return failed("OpenServiceA");
        if (!ChangeServiceConfigA(service.get(), SERVICE_NO_CHANGE, SERVICE_NO_CHANGE, SERVICE_NO_CHANGE,
                                  argv[3], nullptr, nullptr, nullptr, nullptr, nullptr, nullptr)) {
            return failed("ChangeServiceConfigA");
        }
        return 0;
    }
    if (strcmp(argv[1], "control") == 0) {
        brolt::UniqueServiceHandle service(OpenServiceA(manager.get(), argv[2], SERVICE_ALL_ACCESS));
        if (!service)
            return failed("OpenServiceA");
        SERVICE_STATUS status{};
        if (!ControlService(service.get(), static_cast<DWORD>(atoi(argv[3])), &status)) {
            return failed("ControlService");
        }
        printStatus(status.dwCurrentState, status.dwCheckPoint, status.dwWin32ExitCode);
        return 0;
    }
    if (strcmp(argv[1], "watch") == 0) {
        brolt::UniqueServiceHandle service(OpenServiceA(manager.get(), argv[2], SERVICE_QUERY_STATUS));
        if (!service)
            return failed("OpenServiceA");
        return watch(service.get(), static_cast<DWORD>(atoi(argv[3])));
    }
    return 2;
}
