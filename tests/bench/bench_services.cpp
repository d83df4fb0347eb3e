// The start-up benchmark's hand on the service manager: one process that stays up and takes commands
// on standard input, one per line, so a start request leaves within moments of the driver asking for
// it (a fresh Wine process per request would add its own start to every measurement).
//
//   create NAME COMMAND LINE   a demand-start service of its own process running COMMAND LINE
//   start NAME                 StartServiceA, without waiting
//   stop NAME                  a stop control, then waits until the service reports stopped
//   delete NAME                a stop when running, then the entry removed
//
// Each command answers one line: "ok" (for stop: "ok <win32 exit code>") or "error <call> <code>".
#include <windows.h>

#include <cstdio>
#include <cstring>
#include <string>

#include "core/unique_resource.h"

namespace {

// A JVM ends well within this; a stop that takes longer is a failure worth seeing.
constexpr DWORD kStopTimeoutMilliseconds = 60000;
constexpr DWORD kStopPollMilliseconds = 5;

void answer(const char* text) {
    printf("%s\n", text);
    fflush(stdout);
}

void failed(const char* call) {
    printf("error %s %lu\n", call, GetLastError());
    fflush(stdout);
}

bool waitUntilStopped(SC_HANDLE service, SERVICE_STATUS& status) {
    DWORD start = GetTickCount();
    while (QueryServiceStatus(service, &status)) {
        if (status.dwCurrentState == SERVICE_STOPPED)
            return true;
        if (GetTickCount() - start > kStopTimeoutMilliseconds) {
            SetLastError(ERROR_TIMEOUT);
            return false;
        }
        Sleep(kStopPollMilliseconds);
    }
    return false;
}

void stop(SC_HANDLE manager, const std::string& name) {
    brolt::UniqueServiceHandle service(
        OpenServiceA(manager, name.c_str(), SERVICE_STOP | SERVICE_QUERY_STATUS));
    SERVICE_STATUS status{};
    if (!service)
        return failed("OpenServiceA");
    if (!ControlService(service.get(), SERVICE_CONTROL_STOP, &status))
        return failed("ControlService");
    if (!waitUntilStopped(service.get(), status))
        return failed("QueryServiceStatus");
    printf("ok %lu\n", status.dwWin32ExitCode);
    fflush(stdout);
}

void run(SC_HANDLE manager, const std::string& word, const std::string& name, const std::string& rest) {
    if (word == "create") {
        brolt::UniqueServiceHandle service(
            CreateServiceA(manager, name.c_str(), name.c_str(), SERVICE_ALL_ACCESS, SERVICE_WIN32_OWN_PROCESS,
                           SERVICE_DEMAND_START, SERVICE_ERROR_NORMAL, rest.c_str(), nullptr, nullptr,
                           nullptr, nullptr, nullptr));
        return service ? answer("ok") : failed("CreateServiceA");
    }
    if (word == "start") {
        brolt::UniqueServiceHandle service(OpenServiceA(manager, name.c_str(), SERVICE_START));
        return service && StartServiceA(service.get(), 0, nullptr) ? answer("ok") : failed("StartServiceA");
    }
    if (word == "stop")
        return stop(manager, name);
    if (word == "delete") {
        brolt::UniqueServiceHandle service(OpenServiceA(manager, name.c_str(), SERVICE_ALL_ACCESS));
        SERVICE_STATUS status{};
        if (service && ControlService(service.get(), SERVICE_CONTROL_STOP, &status))
            waitUntilStopped(service.get(), status);
        return service && DeleteService(service.get()) ? answer("ok") : failed("DeleteService");
    }
    SetLastError(ERROR_INVALID_PARAMETER);
    failed(word.c_str());
}

}  // namespace

int main() {
    brolt::UniqueServiceHandle manager(OpenSCManagerA(nullptr, nullptr, SC_MANAGER_ALL_ACCESS));
    if (!manager) {
        failed("OpenSCManagerA");
        return 1;
    }
    char line[4096];
    while (fgets(line, sizeof line, stdin) != nullptr) {
        std::string text(line, strcspn(line, "\r\n"));
        size_t nameStart = text.find(' ');
        if (nameStart == std::string::npos) {
            SetLastError(ERROR_INVALID_PARAMETER);
            failed("command");
            continue;
        }
        size_t nameEnd = text.find(' ', nameStart + 1);
        std::string rest = nameEnd == std::string::npos ? "" : text.substr(nameEnd + 1);
        run(manager.get(), text.substr(0, nameStart), text.substr(nameStart + 1, nameEnd - nameStart - 1),
            rest);
    }
    return 0;
}
