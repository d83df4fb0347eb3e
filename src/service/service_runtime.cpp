#include "service/service_runtime.h"

#include <windows.h>

#include <cstdlib>
#include <mutex>

#include "core/ansi_text.h"
#include "core/log.h"
#include "core/unique_resource.h"
#include "jvm/jvm_search.h"
#include "launch/java_launch.h"
#include "launch/split.h"
#include "service/service_status.h"

namespace {

namespace svc = brolt::service;

// Shared by the control handler (dispatcher thread) and serviceMain (service thread). The lock keeps
// each change and its report together, so a shutdown's checkpoint or a failed start is never lost
// between the two threads.
std::mutex statusLock;
SERVICE_STATUS serviceStatus{};
SERVICE_STATUS_HANDLE statusHandle = nullptr;

// Auto-reset, the only hand-off from the control handler to the service thread.
brolt::UniqueHandle stopEvent;

// Written once by runServiceDispatcher before the dispatcher starts the service thread, read-only after.
brolt::ServiceSettings settings;

// Live until the process ends: the launch keeps pointers into them.
std::vector<std::wstring> launchArguments;
brolt::JavaRuntime javaRuntime;

template <typename Change>
void updateStatus(Change change) {
    std::lock_guard<std::mutex> guard(statusLock);
    serviceStatus = change(serviceStatus);
    SetServiceStatus(statusHandle, &serviceStatus);  // a failed report changes nothing we could do
}

}  // namespace

brolt::JavaHost brolt::realJavaHost() {
    return {LoadDLL, launchJavaApplication, stopJavaApplication};
}

void runServiceDispatcher(const brolt::ServiceSettings& serviceSettings) {
    settings = serviceSettings;
    SERVICE_TABLE_ENTRYA table[] = {
        {settings.serviceName.data(), serviceMain},
        {nullptr, nullptr},
    };
    // Returns when the service has stopped, or at once outside the service control manager.
    StartServiceCtrlDispatcherA(table);
}

std::vector<std::wstring> buildLaunchArguments(const wchar_t* commandLine, DWORD argc, LPSTR* argv) {
    std::vector<std::wstring> arguments;
    splitCommandLine(commandLine, arguments);
    if (!arguments.empty())
        arguments.erase(arguments.begin());  // the program itself
    for (DWORD i = 0; i < argc; ++i)
        arguments.push_back(fromAnsiCodePage(argv[i]));
    return arguments;
}

void WINAPI serviceMain(DWORD argc, LPSTR* argv) {
    // Created before the handler exists, so a stop that arrives at once is not lost.
    stopEvent.reset(CreateEventA(nullptr, FALSE, FALSE, nullptr));
    {
        // A control that arrives right after the registration waits until the handle is known.
        std::lock_guard<std::mutex> guard(statusLock);
        serviceStatus = svc::initialStatus();
        statusHandle = RegisterServiceCtrlHandlerA(settings.serviceName.c_str(), serviceControlHandler);
    }
    if (statusHandle == nullptr)
        return;
    updateStatus([](const SERVICE_STATUS& status) { return status; });
    atexit(reportStoppedAtExit);

    launchArguments = buildLaunchArguments(GetCommandLineW(), argc, argv);

    const brolt::JavaHost& host = settings.host;
    if (!host.locate(settings.launch.launcherKind, javaRuntime) ||
        !host.launch(javaRuntime, settings.launch, launchArguments)) {
        updateStatus(svc::failedStartStatus);
        std::vector<std::wstring>().swap(launchArguments);
        return;
    }

    updateStatus([](const SERVICE_STATUS& status) {
        SERVICE_STATUS running = status;
        running.dwCurrentState = SERVICE_RUNNING;
        return running;
    });
    logInfo("registering ConsoleCtrlHandler");
    SetConsoleCtrlHandler(ConsoleCtrlHandler, TRUE);
    WaitForSingleObject(stopEvent.get(), INFINITE);
    host.stop();
    updateStatus(svc::stoppedStatus);
    // The stop is reported; exit hooks and stream flushing would only delay the end.
    _exit(0);
}

void WINAPI serviceControlHandler(DWORD control) {
    bool signalStop = false;
    updateStatus([&](const SERVICE_STATUS& status) {
        svc::ControlDecision decision = svc::decideControl(status, control);
        signalStop = decision.signalStop;
        return decision.status;
    });
    if (signalStop)
        SetEvent(stopEvent.get());
}

void reportStoppedAtExit() {
    std::lock_guard<std::mutex> guard(statusLock);
    SERVICE_STATUS next;
    if (!svc::statusAtExit(serviceStatus, next))
        return;
    serviceStatus = next;
    SetServiceStatus(statusHandle, &serviceStatus);
}

BOOL WINAPI ConsoleCtrlHandler(DWORD) {
    // Handled: the default handling would end the process, a user's logoff among such events.
    logInfo("ConsoleCtrlHandler event");
    return TRUE;
}
