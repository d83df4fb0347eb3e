// What runs when the service control manager starts the launcher: one runtime object holds the
// service's state, the control handler reaches it through its context, and its one reporter carries out
// every end of a start or a stop as service_end_rules decides it.
#pragma once

#include <windows.h>

#include <cstdint>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "config/failure.h"
#include "core/unique_resource.h"
#include "jvm/search.h"
#include "launch/java_launch.h"
#include "service/service_end_rules.h"

namespace brolt {

// The service's way to the Java side: find and load a runtime, launch the application on it, end it.
// The entry hands in the real ones; tests hand in stand-ins.
// A failed step answers its failure.
struct JavaHost {
    std::optional<Failure> (*locate)(const SearchSettings& settings, JavaRuntime& runtime);
    std::optional<Failure> (*launch)(const JavaRuntime& runtime, const LaunchSettings& settings,
                                     const std::vector<std::wstring>& arguments);
    void (*stop)();
};

// The runtime search, the launch and the stop of a real Java runtime.
JavaHost realJavaHost();

// How a failure reaches the user, which only the entry knows: its configured message in words, and
// the message shown as the executable type says. The service runtime calls them when the end's
// decision says so; either may be missing.
struct FailurePresentation {
    std::string (*words)(const Failure& failure) = nullptr;
    void (*show)(const Failure& failure) = nullptr;
};

// What the runtime reaches the system through: the real calls, unless a test or a console run hands in
// its own.
struct ServicePorts {
    BOOL(WINAPI* setStatus)(SERVICE_STATUS_HANDLE handle, LPSERVICE_STATUS status) = SetServiceStatus;
    void (*writeEvent)(const std::string& serviceName, const service::ServiceEvent& event) = nullptr;
    DWORD(WINAPI* now)() = GetTickCount;  // milliseconds; differences survive its wrap
    // How long the process has run when the service starts (milliseconds): the start limit counts from
    // the start request. Missing: this process's own age.
    DWORD (*processAge)() = nullptr;
    // Ends the process at once with this code; the real one is TerminateProcess of this process.
    void (*endProcess)(UINT exitCode) = nullptr;
};

struct ServiceSettings {
    std::string serviceName;  // the name the service control manager knows the service by
    SearchSettings search;
    LaunchSettings launch;  // its hooks are the service runtime's own, whatever is handed in
    JavaHost host;
    DWORD stopTimeout = 0;   // milliseconds a stop may take before the process is ended by force
    DWORD startTimeout = 0;  // milliseconds from the process's start to main before the start is given up;
                             // 0: no limit
    FailurePresentation presentation;
    ServicePorts ports;
    // A fresh extraction folder of this start and the marker that holds it; the folder goes when the
    // start ends before the application's main. Empty when the folder is stable or nothing was included.
    std::string freshExtraction;
    UniqueFile extractionMarker;
    // The start failed before the dispatcher could be reached (a configuration that cannot be read, an
    // extraction that failed): the service manager is told so at once. The service name may then be
    // empty; the one the service manager passes is used.
    std::optional<Failure> failedBeforeDispatch;
};

// How the dispatcher returned.
struct ServiceOutcome {
    bool startedByManager = true;            // false: not started by the service control manager at all
    std::optional<service::ServiceEnd> end;  // how the service ended, when it did before the return
};

// The service's run-time state and the one place its ends are reported. Shared by the control handler
// (dispatcher thread), serviceMain (service thread), the watch (a thread of its own) and the VM's exit
// and abort hooks (any thread of the VM); one lock keeps each change and its report together.
class ServiceRuntime {
  public:
    explicit ServiceRuntime(ServiceSettings settings);

    // serviceMain's work: registers the handler, starts the watch, runs the start and waits for the stop.
    void serviceMain(DWORD argc, LPSTR* argv);
    // The control handler's work; the answer is the handler's.
    DWORD control(DWORD control);
    // The launch reached a step (LaunchHooks::reached).
    bool reached(LaunchStep step);
    // The VM ends the process itself; it is gone right after.
    void vmEnded(long exitCode, bool aborted);
    // The process ends through the runtime library's exit.
    void processExiting();
    // One look of the watch: the checkpoint of a pending state rises, and a start or a stop past its limit
    // ends; the answer is how long to wait for the next look.
    DWORD watch();

    // Reports the status record as it is: how a status handle is first told the service is there.
    void begin(SERVICE_STATUS_HANDLE handle);
    // The start failed, or gave up for a stop (a stop failure).
    void startEnded(const Failure& failure);
    // The start's fresh extraction goes (the process was not started as a service after all).
    void removeStartFiles();

    SERVICE_STATUS status() const;
    ServiceOutcome outcome() const;
    const ServiceSettings& settings() const { return settings_; }

  private:
    // The one reporter: decides the end from what happened and carries it out, once; the answer is the
    // end, none when the service had ended already.
    std::optional<service::ServiceEnd> end(service::WhatHappened happened, const Failure* failure);
    void setStatus(const SERVICE_STATUS& status);  // under the lock
    void removeFreshExtraction();                  // under the lock
    void runStart(DWORD argc, LPSTR* argv);

    ServiceSettings settings_;
    mutable std::mutex lock_;
    SERVICE_STATUS status_{};
    SERVICE_STATUS_HANDLE handle_ = nullptr;
    service::StartStage stage_ = service::StartStage::Preparing;
    bool stopRequested_ = false;
    bool shutdownRequested_ = false;
    bool ended_ = false;
    std::optional<service::ServiceEnd> end_;
    // The limits, each from when its clock began on the ports' clock, in milliseconds.
    struct Limit {
        DWORD since = 0;
        DWORD milliseconds = 0;
        DWORD left(DWORD now) const { return now - since >= milliseconds ? 0 : milliseconds - (now - since); }
    };
    std::optional<Limit> startLimit_;  // none: the start is not bounded
    std::optional<Limit> stopLimit_;   // set by the first stop or shutdown control
    uint32_t stopLimitSeconds_ = 0;
    UniqueHandle stopEvent_;                     // auto-reset: the hand-off from the handler to serviceMain
    std::vector<std::wstring> launchArguments_;  // live until the process ends: the launch keeps pointers
    JavaRuntime javaRuntime_;
};

}  // namespace brolt

// Hands serviceMain to the service dispatcher with these settings, which are fixed from then on.
// Returns when the service has stopped, or at once when the process was not started as a service.
brolt::ServiceOutcome runServiceDispatcher(brolt::ServiceSettings settings);

BOOL WINAPI ConsoleCtrlHandler(DWORD eventType);

// The launch argument list: the command line split by the launcher's rule without the program,
// then the service's start arguments (the service name first) converted from the ANSI code page.
// False when the command line holds an unclosed quote.
bool buildLaunchArguments(const wchar_t* commandLine, DWORD argc, LPSTR* argv,
                          std::vector<std::wstring>& arguments);
