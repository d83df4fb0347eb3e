#include "service/service_runtime.h"

#include <windows.h>

#include <cstdint>
#include <cstdlib>
#include <mutex>

#include "config/keys.h"
#include "core/ansi_text.h"
#include "core/log.h"
#include "core/unique_resource.h"
#include "jvm/search.h"
#include "launch/java_launch.h"
#include "launch/split_rules.h"
#include "service/event_log.h"
#include "service/service_status.h"

namespace {

namespace svc = brolt::service;

// Shared by the control handler (dispatcher thread), serviceMain (service thread), the ticks and the
// stop watch (threads of their own) and the VM's exit and abort hooks (any thread of the VM). The lock
// keeps each change and its report together, so no state is lost between the threads.
std::mutex statusLock;
SERVICE_STATUS serviceStatus{};
SERVICE_STATUS_HANDLE statusHandle = nullptr;
svc::StartProgress progress;
// Each kind of stop starts its own watch once; the first to run out ends the process.
bool stopWatched = false;
bool shutdownWatched = false;

// Auto-reset, the only hand-off from the control handler to the service thread.
brolt::UniqueHandle stopEvent;

// Written once by runServiceDispatcher before the dispatcher starts the service thread, read-only after.
brolt::ServiceSettings settings;

// Live until the process ends: the launch keeps pointers into them.
std::vector<std::wstring> launchArguments;
brolt::JavaRuntime javaRuntime;

// Set before the start's end is reported; read after the dispatcher returned.
brolt::ServiceOutcome outcome;

// Nothing is reported once the service was reported stopped: the service manager may have let go of
// the status handle by then. The answer is whether the change was reported.
template <typename Change>
bool updateStatus(Change change) {
    std::lock_guard<std::mutex> guard(statusLock);
    if (serviceStatus.dwCurrentState == SERVICE_STOPPED)
        return false;
    serviceStatus = change(serviceStatus);
    SetServiceStatus(statusHandle, &serviceStatus);  // a failed report changes nothing we could do
    return true;
}

void startThread(LPTHREAD_START_ROUTINE routine, DWORD parameter) {
    HANDLE thread = CreateThread(nullptr, 0, routine,
                                 reinterpret_cast<void*>(static_cast<uintptr_t>(parameter)), 0, nullptr);
    if (thread == nullptr)
        logError("CreateThread failed: %lu", GetLastError());
    else
        CloseHandle(thread);
}

// While the service starts or stops, its checkpoint rises, so whoever waits sees it is alive.
DWORD WINAPI tickWhilePending(void*) {
    for (;;) {
        Sleep(svc::kTickMilliseconds);
        std::lock_guard<std::mutex> guard(statusLock);
        if (serviceStatus.dwCurrentState == SERVICE_STOPPED)
            return 0;
        SERVICE_STATUS next;
        if (svc::tickStatus(serviceStatus, next)) {
            serviceStatus = next;
            SetServiceStatus(statusHandle, &serviceStatus);
        }
    }
}

// A stop that has not ended when its time is up (a shutdown hook that never returns, a thread that
// ignores the VM's end) ends here: reported with its own exit code, and the process ended by force.
DWORD WINAPI endStopInTime(void* parameter) {
    DWORD limit = static_cast<DWORD>(reinterpret_cast<uintptr_t>(parameter));
    Sleep(limit);
    {
        std::lock_guard<std::mutex> guard(statusLock);
        if (serviceStatus.dwCurrentState == SERVICE_STOPPED)
            return 0;
    }
    unsigned seconds = static_cast<unsigned>((limit + 999) / 1000);
    logError("stop timed out: the application did not end within %u s; ending the process", seconds);
    brolt::writeServiceEvent(settings.serviceName, brolt::ServiceEvent::StopTimedOut,
                             brolt::eventText("The service did not stop within " + std::to_string(seconds) +
                                                  " seconds; its process was ended.",
                                              ERROR_SERVICE_SPECIFIC_ERROR, svc::kStopTimedOutExitCode));
    std::lock_guard<std::mutex> guard(statusLock);
    if (serviceStatus.dwCurrentState == SERVICE_STOPPED)
        return 0;  // it ended after all, while the reason was written
    serviceStatus = svc::stopTimedOutStatus(serviceStatus);
    SetServiceStatus(statusHandle, &serviceStatus);
    // Held locked to the end: nothing else reports once the stop was reported timed out.
    TerminateProcess(GetCurrentProcess(), 1);
    return 0;
}

// How long the system lets services take at a shutdown, when it says.
std::optional<DWORD> systemShutdownGrant() {
    brolt::UniqueRegKey key;
    if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, "SYSTEM\\CurrentControlSet\\Control", 0, KEY_QUERY_VALUE,
                      key.put()) != ERROR_SUCCESS)
        return std::nullopt;
    char text[32] = {};
    DWORD type = 0;
    DWORD size = sizeof text - 1;  // room for a terminator the stored value may lack
    if (RegQueryValueExA(key.get(), "WaitToKillServiceTimeout", nullptr, &type, reinterpret_cast<BYTE*>(text),
                         &size) != ERROR_SUCCESS ||
        type != REG_SZ)
        return std::nullopt;
    char* end = nullptr;
    unsigned long value = strtoul(text, &end, 10);
    if (end == text || *end != '\0')
        return std::nullopt;
    return static_cast<DWORD>(value);
}

void watchStop(bool shutdown) {
    DWORD limit = svc::stopLimitMilliseconds(settings.stopTimeout, shutdown,
                                             shutdown ? systemShutdownGrant() : std::nullopt);
    logInfo("%s requested: the application has %u ms to end", shutdown ? "shutdown" : "stop",
            static_cast<unsigned>(limit));
    startThread(endStopInTime, limit);
}

// The start ended before the application's main, and is reported stopped with its exit code.
void endStart(brolt::Failure ended, bool fromVmHook) {
    uint32_t exitCode = ended.serviceExitCode;
    outcome.startEnded = std::move(ended);
    // Inside a VM hook the VM ends the process right after: the entry's clean-up runs here, and before
    // the stop is reported, since the dispatcher's return lets the entry end the process too.
    if (fromVmHook && settings.endStart != nullptr) {
        outcome.startEndHandled = true;
        settings.endStart(*outcome.startEnded);
    }
    updateStatus(
        [exitCode](const SERVICE_STATUS& status) { return svc::failedStartStatus(status, exitCode); });
}

void reportVmEnd(long exitCode, bool aborted) {
    bool mainCalled = false;
    bool stopRequested = false;
    {
        std::lock_guard<std::mutex> guard(statusLock);
        mainCalled = progress.mainCalled;
        stopRequested = progress.stopRequested;
        if (mainCalled) {
            SERVICE_STATUS next;
            if (!svc::statusAtVmExit(serviceStatus, progress, exitCode, next))
                return;
            serviceStatus = next;
            SetServiceStatus(statusHandle, &serviceStatus);
        }
    }
    if (!mainCalled) {
        // The VM ends the process while it is being created: the start failed (or was stopped).
        endStart(stopRequested ? brolt::stopBeforeMain() : brolt::failure(brolt::keys::kMsgVmCouldNotStart),
                 true);
    } else if (aborted && !stopRequested) {
        brolt::writeServiceEvent(
            settings.serviceName, brolt::ServiceEvent::VmAborted,
            brolt::eventText("The Java VM aborted while the application ran.", ERROR_SERVICE_SPECIFIC_ERROR,
                             static_cast<DWORD>(svc::kVmAbortExitCode)));
    }
}

// The VM calls these itself when it ends the process, on whichever thread ends it; the process is gone
// right after, without the runtime library's exit hooks in the case of an abort.
void JNICALL vmExitHook(jint code) {
    logInfo("Java VM exit %d", static_cast<int>(code));
    reportVmEnd(code, false);
}

void JNICALL vmAbortHook() {
    logError("Java VM abort");
    reportVmEnd(svc::kVmAbortExitCode, true);
}

// Right before the application's main: no main once a stop was asked for; from here on the VM's end
// is the application's.
bool mayCallMain() {
    std::lock_guard<std::mutex> guard(statusLock);
    if (progress.stopRequested)
        return false;
    progress.mainCalled = true;
    return true;
}

bool stopRequestedNow() {
    std::lock_guard<std::mutex> guard(statusLock);
    return progress.stopRequested;
}

}  // namespace

brolt::JavaHost brolt::realJavaHost() {
    return {LoadDLL, launchJavaApplication, stopJavaApplication};
}

brolt::ServiceOutcome runServiceDispatcher(const brolt::ServiceSettings& serviceSettings) {
    settings = serviceSettings;
    settings.launch.hooks = {vmExitHook, vmAbortHook, mayCallMain};
    SERVICE_TABLE_ENTRYA table[] = {
        {settings.serviceName.data(), serviceMain},
        {nullptr, nullptr},
    };
    // Returns when the service has stopped, or at once outside the service control manager.
    if (!StartServiceCtrlDispatcherA(table)) {
        logInfo("not started by the service control manager (%lu)", GetLastError());
        outcome.startedByManager = false;
    }
    return outcome;
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
    // Start pending until the application's main is called.
    updateStatus([](const SERVICE_STATUS& status) { return status; });
    atexit(reportStoppedAtExit);
    startThread(tickWhilePending, 0);

    if (!buildLaunchArguments(GetCommandLineW(), argc, argv, launchArguments)) {
        logError("unclosed quote in the service's command line");
        endStart(brolt::failure(brolt::keys::kMsgWrongParameterUsage), false);
        return;
    }

    const brolt::JavaHost& host = settings.host;
    std::optional<brolt::Failure> ended = host.locate(settings.search, javaRuntime);
    if (!ended && stopRequestedNow()) {
        logInfo("stop requested during the runtime search: no VM created");
        ended = brolt::stopBeforeMain();
    }
    if (!ended)
        ended = host.launch(javaRuntime, settings.launch, launchArguments);
    if (ended) {
        endStart(std::move(*ended), false);
        return;
    }

    updateStatus(svc::runningStatus);
    logInfo("registering ConsoleCtrlHandler");
    SetConsoleCtrlHandler(ConsoleCtrlHandler, TRUE);
    WaitForSingleObject(stopEvent.get(), INFINITE);
    // Normally the Java exit ends the process, and its exit hook reports the stop.
    host.stop();
    logInfo("service stopped");
    updateStatus(svc::stoppedStatus);
    // The stop is reported; exit hooks and stream flushing would only delay the end.
    _exit(0);
}

void WINAPI serviceControlHandler(DWORD control) {
    bool signalStop = false;
    bool watch = false;
    bool shutdown = control == SERVICE_CONTROL_SHUTDOWN;
    updateStatus([&](const SERVICE_STATUS& status) {
        svc::ControlDecision decision = svc::decideControl(status, control);
        signalStop = decision.signalStop;
        if (signalStop) {
            progress.stopRequested = true;  // under the status lock
            bool& watched = shutdown ? shutdownWatched : stopWatched;
            watch = !watched;
            watched = true;
        }
        return decision.status;
    });
    if (watch)
        watchStop(shutdown);
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
