#include "service/service_runtime.h"

#include <windows.h>

#include <cstdint>
#include <algorithm>
#include <cstdlib>

#include "config/keys.h"
#include "core/ansi_text.h"
#include "core/log.h"
#include "files/stale_extractions.h"
#include "jvm/search.h"
#include "launch/java_launch.h"
#include "launch/split_rules.h"
#include "launch/vm_output.h"
#include "service/event_log.h"
#include "service/service_status.h"

namespace {

namespace svc = brolt::service;
using brolt::ServiceRuntime;

// The runtime the dispatcher's serviceMain, the VM's hooks and the process-exit hook reach: none of
// them is handed a context. The control handler gets it through its own. Set once by
// runServiceDispatcher before the dispatcher starts.
ServiceRuntime* activeRuntime = nullptr;

void startThread(LPTHREAD_START_ROUTINE routine, void* parameter) {
    HANDLE thread = CreateThread(nullptr, 0, routine, parameter, 0, nullptr);
    if (thread == nullptr)
        logError("CreateThread failed: %lu", GetLastError());
    else
        CloseHandle(thread);
}

// While the service starts or stops, the watch looks once a tick, or sooner when a limit is due.
DWORD WINAPI watchService(void* parameter) {
    auto* runtime = static_cast<ServiceRuntime*>(parameter);
    for (;;) {
        DWORD wait = runtime->watch();
        if (wait == INFINITE)
            return 0;
        Sleep(wait);
    }
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

// How long this process has run already: the start limit counts from the start request, and the
// extraction before the dispatcher is part of the start.
DWORD millisecondsSinceProcessStart() {
    FILETIME created{}, exited{}, kernel{}, user{};
    if (!GetProcessTimes(GetCurrentProcess(), &created, &exited, &kernel, &user))
        return 0;
    FILETIME now{};
    GetSystemTimeAsFileTime(&now);
    ULARGE_INTEGER from{{created.dwLowDateTime, created.dwHighDateTime}};
    ULARGE_INTEGER to{{now.dwLowDateTime, now.dwHighDateTime}};
    ULONGLONG age = to.QuadPart > from.QuadPart ? (to.QuadPart - from.QuadPart) / 10000 : 0;
    return static_cast<DWORD>(std::min<ULONGLONG>(age, MAXDWORD));
}

uint32_t wholeSeconds(DWORD milliseconds) {
    return static_cast<uint32_t>((milliseconds + 999) / 1000);
}

void endThisProcess(UINT exitCode) {
    TerminateProcess(GetCurrentProcess(), exitCode);
}

DWORD WINAPI controlHandler(DWORD control, DWORD, void*, void* context) {
    return static_cast<ServiceRuntime*>(context)->control(control);
}

void WINAPI serviceMain(DWORD argc, LPSTR* argv) {
    activeRuntime->serviceMain(argc, argv);
}

// The VM calls these itself when it ends the process, on whichever thread ends it; the process is gone
// right after, without the runtime library's exit hooks in the case of an abort.
void JNICALL vmExitHook(jint code) {
    logInfo("Java VM exit %d", static_cast<int>(code));
    activeRuntime->vmEnded(code, false);
}

void JNICALL vmAbortHook() {
    logError("Java VM abort");
    activeRuntime->vmEnded(svc::kVmAbortExitCode, true);
}

bool launchReached(brolt::LaunchStep step) {
    return activeRuntime->reached(step);
}

void reportStoppedAtExit() {
    if (activeRuntime != nullptr)
        activeRuntime->processExiting();
}

}  // namespace

brolt::JavaHost brolt::realJavaHost() {
    return {LoadDLL, launchJavaApplication, stopJavaApplication};
}

brolt::ServiceRuntime::ServiceRuntime(ServiceSettings settings) : settings_(std::move(settings)) {
    settings_.launch.hooks = {vmExitHook, vmAbortHook, launchReached};
    if (settings_.ports.writeEvent == nullptr)
        settings_.ports.writeEvent = writeServiceEvent;
    if (settings_.ports.processAge == nullptr)
        settings_.ports.processAge = millisecondsSinceProcessStart;
    if (settings_.ports.endProcess == nullptr)
        settings_.ports.endProcess = endThisProcess;
    status_ = svc::initialStatus();
    // Created before the handler exists, so a stop that arrives at once is not lost.
    stopEvent_.reset(CreateEventA(nullptr, FALSE, FALSE, nullptr));
}

void brolt::ServiceRuntime::setStatus(const SERVICE_STATUS& status) {
    status_ = status;
    if (handle_ != nullptr)
        settings_.ports.setStatus(handle_, &status_);  // a failed report changes nothing we could do
}

void brolt::ServiceRuntime::begin(SERVICE_STATUS_HANDLE handle) {
    std::lock_guard<std::mutex> guard(lock_);
    handle_ = handle;
    if (settings_.startTimeout != 0) {
        DWORD age = settings_.ports.processAge();
        startLimit_ =
            Limit{settings_.ports.now(), age < settings_.startTimeout ? settings_.startTimeout - age : 0};
    }
    if (!ended_)
        setStatus(status_);
}

SERVICE_STATUS brolt::ServiceRuntime::status() const {
    std::lock_guard<std::mutex> guard(lock_);
    return status_;
}

brolt::ServiceOutcome brolt::ServiceRuntime::outcome() const {
    std::lock_guard<std::mutex> guard(lock_);
    return {true, end_};
}

std::optional<svc::ServiceEnd> brolt::ServiceRuntime::end(svc::WhatHappened happened,
                                                          const Failure* failure) {
    std::unique_lock<std::mutex> guard(lock_);
    if (ended_)
        return std::nullopt;  // the first end is the one reported
    ended_ = true;
    happened.stage = stage_;
    happened.stopRequested = stopRequested_;
    happened.shutdown = shutdownRequested_;
    if (failure != nullptr) {
        Failure message = *failure;
        message.detail.clear();
        if (message.messageKey != 0 && settings_.presentation.words != nullptr)
            happened.failureText = settings_.presentation.words(message);
        happened.failureDetail = failure->detail;
        happened.failureShown = failure->messageKey != 0;
    }
    svc::ServiceEnd decided = svc::decideServiceEnd(happened);
    end_ = decided;
    if (decided.logAsError)
        logError("%s", decided.logLine.c_str());
    else
        logInfo("%s", decided.logLine.c_str());
    if (decided.removeStartFiles)
        removeFreshExtraction();
    if (decided.event)
        settings_.ports.writeEvent(settings_.serviceName, *decided.event);
    // Shown before the stop is reported: the dispatcher's return lets the entry end the process, and a
    // VM that ends the process does so right after its hook. Nothing else reports meanwhile.
    if (decided.showFailure && failure != nullptr && settings_.presentation.show != nullptr) {
        guard.unlock();
        settings_.presentation.show(*failure);
        guard.lock();
    }
    setStatus(svc::endedStatus(status_, decided));
    return decided;
}

void brolt::ServiceRuntime::removeFreshExtraction() {
    if (settings_.freshExtraction.empty())
        return;
    settings_.extractionMarker.reset();
    if (!removeExtraction(settings_.freshExtraction))
        logError("extraction folder left for the next start: %s", settings_.freshExtraction.c_str());
    settings_.freshExtraction.clear();
}

void brolt::ServiceRuntime::removeStartFiles() {
    std::lock_guard<std::mutex> guard(lock_);
    removeFreshExtraction();
}

void brolt::ServiceRuntime::startEnded(const Failure& failure) {
    svc::WhatHappened happened;
    happened.cause = failure.isStop() ? svc::EndCause::StopDuringStart : svc::EndCause::StartFailed;
    {
        std::lock_guard<std::mutex> guard(lock_);
        if (stage_ == svc::StartStage::CreatingVm)
            happened.vmFirstLine = firstVmLine();
    }
    end(happened, failure.isStop() ? nullptr : &failure);
}

bool brolt::ServiceRuntime::reached(LaunchStep step) {
    std::lock_guard<std::mutex> guard(lock_);
    switch (step) {
        case LaunchStep::CreatingVm:
            stage_ = svc::StartStage::CreatingVm;
            return true;
        case LaunchStep::VmCreated:
            stage_ = svc::StartStage::VmCreated;
            return true;
        case LaunchStep::CallingMain:
            // No main once a stop was asked for, or the start was given up; from here on the VM's end
            // is the application's.
            if (stopRequested_ || ended_)
                return false;
            stage_ = svc::StartStage::Running;
            return true;
        case LaunchStep::FirstRunEnded:
            stage_ = svc::StartStage::Running;
            return true;
    }
    return true;
}

void brolt::ServiceRuntime::vmEnded(long exitCode, bool aborted) {
    svc::WhatHappened happened;
    happened.cause = aborted ? svc::EndCause::VmAbort : svc::EndCause::VmExit;
    happened.vmExitCode = exitCode;
    happened.vmFirstLine = firstVmLine();
    // A VM that ends the process before main is a start that failed, with the message of a VM that
    // could not be started.
    Failure vmNotStarted = failure(keys::kMsgVmCouldNotStart);
    end(happened, &vmNotStarted);
}

void brolt::ServiceRuntime::processExiting() {
    svc::WhatHappened happened;
    happened.cause = svc::EndCause::ProcessExit;
    end(happened, nullptr);
}

DWORD brolt::ServiceRuntime::control(DWORD control) {
    bool signal = false;
    {
        std::lock_guard<std::mutex> guard(lock_);
        if (ended_)
            return NO_ERROR;  // reported stopped, or about to be: nothing changes any more
        svc::ControlDecision decision = svc::decideControl(status_, control);
        if (decision.signalStop) {
            bool shutdown = control == SERVICE_CONTROL_SHUTDOWN;
            stopRequested_ = true;
            shutdownRequested_ = shutdownRequested_ || shutdown;
            DWORD limit = svc::stopLimitMilliseconds(settings_.stopTimeout, shutdown,
                                                     shutdown ? systemShutdownGrant() : std::nullopt);
            // Each stop has its limit; the first to run out ends the process.
            DWORD now = settings_.ports.now();
            if (!stopLimit_ || limit < stopLimit_->left(now)) {
                stopLimit_ = Limit{now, limit};
                stopLimitSeconds_ = wholeSeconds(limit);
            }
            logInfo("%s requested: the application has %u ms to end", shutdown ? "shutdown" : "stop",
                    static_cast<unsigned>(limit));
            signal = true;
        }
        setStatus(decision.status);
    }
    if (signal)
        SetEvent(stopEvent_.get());
    return NO_ERROR;
}

DWORD brolt::ServiceRuntime::watch() {
    svc::WhatHappened happened;
    {
        std::lock_guard<std::mutex> guard(lock_);
        if (ended_)
            return INFINITE;
        DWORD now = settings_.ports.now();
        bool starting = stage_ != svc::StartStage::Running && !stopRequested_ && startLimit_.has_value();
        if (stopLimit_ && stopLimit_->left(now) == 0) {
            happened.cause = svc::EndCause::StopTimedOut;
            happened.limitSeconds = stopLimitSeconds_;
        } else if (starting && startLimit_->left(now) == 0) {
            happened.cause = svc::EndCause::StartTimedOut;
            happened.limitSeconds = wholeSeconds(settings_.startTimeout);
        } else {
            // The checkpoint rises only while the start or the stop is within its limit.
            SERVICE_STATUS next;
            if (svc::tickStatus(status_, next))
                setStatus(next);
            const Limit* due = stopLimit_ ? &*stopLimit_ : starting ? &*startLimit_ : nullptr;
            if (due != nullptr && due->left(now) < svc::kTickMilliseconds)
                return due->left(now);
            return svc::kTickMilliseconds;
        }
    }
    std::optional<svc::ServiceEnd> decided = end(happened, nullptr);
    if (!decided)
        return INFINITE;  // it ended after all, meanwhile
    // Nothing else reports once this end was: the process goes with it.
    settings_.ports.endProcess(static_cast<UINT>(decided->processExitCode));
    return INFINITE;
}

void brolt::ServiceRuntime::runStart(DWORD argc, LPSTR* argv) {
    if (settings_.failedBeforeDispatch) {
        startEnded(*settings_.failedBeforeDispatch);
        return;
    }
    if (!buildLaunchArguments(GetCommandLineW(), argc, argv, launchArguments_)) {
        logError("unclosed quote in the service's command line");
        startEnded(failure(keys::kMsgWrongParameterUsage));
        return;
    }
    const JavaHost& host = settings_.host;
    std::optional<Failure> ended = host.locate(settings_.search, javaRuntime_);
    bool stopRequested = false;
    {
        std::lock_guard<std::mutex> guard(lock_);
        stopRequested = stopRequested_;
    }
    if (!ended && stopRequested) {
        logInfo("stop requested during the runtime search: no VM created");
        ended = stopBeforeMain();
    }
    if (!ended)
        ended = host.launch(javaRuntime_, settings_.launch, launchArguments_);
    if (ended) {
        startEnded(*ended);
        return;
    }
    {
        std::lock_guard<std::mutex> guard(lock_);
        if (!ended_)
            setStatus(svc::runningStatus(status_));
    }
    logInfo("registering ConsoleCtrlHandler");
    SetConsoleCtrlHandler(ConsoleCtrlHandler, TRUE);
    WaitForSingleObject(stopEvent_.get(), INFINITE);
    // Normally the Java exit ends the process, and the VM's exit hook reports the stop.
    host.stop();
    svc::WhatHappened happened;
    happened.cause = svc::EndCause::StopCompleted;
    end(happened, nullptr);
    // The stop is reported; exit hooks and stream flushing would only delay the end.
    _exit(0);
}

void brolt::ServiceRuntime::serviceMain(DWORD argc, LPSTR* argv) {
    if (settings_.serviceName.empty() && argc > 0 && argv[0] != nullptr)
        settings_.serviceName = argv[0];  // before the handler and the watch exist: nothing reads it yet
    SERVICE_STATUS_HANDLE handle =
        RegisterServiceCtrlHandlerExA(settings_.serviceName.c_str(), controlHandler, this);
    if (handle == nullptr)
        return;
    // Start pending until the application's main is called.
    begin(handle);
    atexit(reportStoppedAtExit);
    startThread(watchService, this);
    runStart(argc, argv);
}

brolt::ServiceOutcome runServiceDispatcher(brolt::ServiceSettings settings) {
    // Lives until the process ends: the VM's hooks may reach it until the very end.
    auto* runtime = new ServiceRuntime(std::move(settings));
    activeRuntime = runtime;
    std::string name = runtime->settings().serviceName;
    SERVICE_TABLE_ENTRYA table[] = {
        {name.data(), serviceMain},
        {nullptr, nullptr},
    };
    // Returns when the service has stopped, or at once outside the service control manager.
    if (!StartServiceCtrlDispatcherA(table)) {
        logInfo("not started by the service control manager (%lu)", GetLastError());
        // Started by hand: no service ran, and nothing is left for one.
        runtime->removeStartFiles();
        return {false, std::nullopt};
    }
    return runtime->outcome();
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

BOOL WINAPI ConsoleCtrlHandler(DWORD) {
    // Handled: the default handling would end the process, a user's logoff among such events.
    logInfo("ConsoleCtrlHandler event");
    return TRUE;
}
