#include "service/service_runtime.h"

#include <windows.h>

#include <cstdlib>
#include <mutex>

#include "config/keys.h"
#include "core/ansi_text.h"
#include "core/log.h"
#include "core/unique_resource.h"
#include "jvm/search.h"
#include "launch/java_launch.h"
#include "launch/split_rules.h"
#include "service/service_status.h"

namespace {

namespace svc = brolt::service;

// Shared by the control handler (dispatcher thread), serviceMain (service thread) and the VM's exit and
// abort hooks (any thread of the VM). The lock keeps each change and its report together, so a
// shutdown's checkpoint or a failed start is never lost between the threads.
std::mutex statusLock;
SERVICE_STATUS serviceStatus{};
SERVICE_STATUS_HANDLE statusHandle = nullptr;
// A stop or shutdown control has arrived: the VM's own end is then the stop that was asked for.
bool stopRequested = false;

// Auto-reset, the only hand-off from the control handler to the service thread.
brolt::UniqueHandle stopEvent;

// Written once by runServiceDispatcher before the dispatcher starts the service thread, read-only after.
brolt::ServiceSettings settings;

// Live until the process ends: the launch keeps pointers into them.
std::vector<std::wstring> launchArguments;
brolt::JavaRuntime javaRuntime;

// Set by the service thread before it reports the failed start; read after the dispatcher returned.
std::optional<brolt::Failure> startFailure;

// Nothing is reported once the service was reported stopped: the service manager may have let go of
// the status handle by then.
template <typename Change>
void updateStatus(Change change) {
    std::lock_guard<std::mutex> guard(statusLock);
    if (serviceStatus.dwCurrentState == SERVICE_STOPPED)
        return;
    serviceStatus = change(serviceStatus);
    SetServiceStatus(statusHandle, &serviceStatus);  // a failed report changes nothing we could do
}

void reportVmExit(long exitCode) {
    std::lock_guard<std::mutex> guard(statusLock);
    SERVICE_STATUS next;
    if (!svc::statusAtVmExit(serviceStatus, stopRequested, exitCode, next))
        return;
    serviceStatus = next;
    SetServiceStatus(statusHandle, &serviceStatus);
}

// The VM calls these itself when it ends the process, on whichever thread ends it; the process is gone
// right after, without the runtime library's exit hooks in the case of an abort.
void JNICALL vmExitHook(jint code) {
    logInfo("Java VM exit %d", static_cast<int>(code));
    reportVmExit(code);
}

void JNICALL vmAbortHook() {
    logError("Java VM abort");
    reportVmExit(svc::kVmAbortExitCode);
}

// The start ends here: the failure is reported as the service's exit code, and kept for the entry.
void failStart(brolt::Failure failure) {
    startFailure = std::move(failure);
    uint32_t exitCode = startFailure->serviceExitCode;
    updateStatus(
        [exitCode](const SERVICE_STATUS& status) { return svc::failedStartStatus(status, exitCode); });
}

}  // namespace

brolt::JavaHost brolt::realJavaHost() {
    return {LoadDLL, launchJavaApplication, stopJavaApplication};
}

std::optional<brolt::Failure> runServiceDispatcher(const brolt::ServiceSettings& serviceSettings) {
    settings = serviceSettings;
    settings.launch.hooks = {vmExitHook, vmAbortHook};
    SERVICE_TABLE_ENTRYA table[] = {
        {settings.serviceName.data(), serviceMain},
        {nullptr, nullptr},
    };
    // Returns when the service has stopped, or at once outside the service control manager.
    StartServiceCtrlDispatcherA(table);
    return startFailure;
}

bool buildLaunchArguments(const wchar_t* commandLine, DWORD argc, LPSTR* argv,
                          std::vector<std::wstring>& arguments) {
    arguments.clear();
    if (!splitArguments(commandLine, arguments))
        return false;
    if (!arguments.empty())
        arguments.erase(arguments.begin());  // the program itself
    for (DWORD i = 0; i < argc; ++i)
        arguments.push_back(fromAnsiCodePage(argv[i]));
    return true;
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

    if (!buildLaunchArguments(GetCommandLineW(), argc, argv, launchArguments)) {
        logError("unclosed quote in the service's command line");
        failStart(brolt::failure(brolt::keys::kMsgWrongParameterUsage));
        return;
    }

    const brolt::JavaHost& host = settings.host;
    std::optional<brolt::Failure> failed = host.locate(settings.search, javaRuntime);
    if (!failed)
        failed = host.launch(javaRuntime, settings.launch, launchArguments);
    if (failed) {
        failStart(std::move(*failed));
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
    // Normally the Java exit ends the process, and its exit hook reports the stop.
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
        stopRequested = stopRequested || decision.signalStop;  // under the status lock
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
