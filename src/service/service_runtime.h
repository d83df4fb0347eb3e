// What runs when the service control manager starts the launcher.
#pragma once

#include <windows.h>

#include <optional>
#include <string>
#include <vector>

#include "config/failure.h"
#include "jvm/search.h"
#include "launch/java_launch.h"

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

struct ServiceSettings {
    std::string serviceName;  // the name the service control manager knows the service by
    SearchSettings search;
    LaunchSettings launch;  // its hooks are the service runtime's own, whatever is handed in
    JavaHost host;
    DWORD stopTimeout = 0;  // milliseconds a stop may take before the process is ended by force
    // The entry's clean-up and report of a start that ended before the application's main (a failure,
    // or a stop that arrived during the start). The service runtime calls it itself only when the VM
    // ends the process during the start, before the service is reported stopped.
    void (*endStart)(const Failure& ended) = nullptr;
};

// How the service dispatcher returned.
struct ServiceOutcome {
    bool startedByManager = true;  // false: not started by the service control manager at all
    // The start ended before the application's main, and was reported stopped with its exit code.
    std::optional<Failure> startEnded;
    bool startEndHandled = false;  // endStart ran for it already
};

}  // namespace brolt

// Hands serviceMain to the service dispatcher with these settings, which are fixed from then on.
// Returns when the service has stopped, or at once when the process was not started as a service.
// A start that ended early is in the outcome: unless handled, its clean-up, showing it and ending the
// process are the caller's.
brolt::ServiceOutcome runServiceDispatcher(const brolt::ServiceSettings& settings);

void WINAPI serviceMain(DWORD argc, LPSTR* argv);
void WINAPI serviceControlHandler(DWORD control);
void reportStoppedAtExit();
BOOL WINAPI ConsoleCtrlHandler(DWORD eventType);

// The launch argument list: the command line split by the launcher's rule without the program,
// then the service's start arguments (the service name first) converted from the ANSI code page.
// False when the command line holds an unclosed quote.
bool buildLaunchArguments(const wchar_t* commandLine, DWORD argc, LPSTR* argv,
                          std::vector<std::wstring>& arguments);
