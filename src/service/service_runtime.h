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
};

}  // namespace brolt

// Hands serviceMain to the service dispatcher with these settings, which are fixed from then on.
// Returns when the service has stopped, or at once when the process was not started as a service.
// A start that failed was reported stopped with its failure's exit code, and its failure is the answer:
// showing it and ending the process is the caller's.
std::optional<brolt::Failure> runServiceDispatcher(const brolt::ServiceSettings& settings);

void WINAPI serviceMain(DWORD argc, LPSTR* argv);
void WINAPI serviceControlHandler(DWORD control);
void reportStoppedAtExit();
BOOL WINAPI ConsoleCtrlHandler(DWORD eventType);

// The launch argument list: the command line split by the launcher's rule without the program,
// then the service's start arguments (the service name first) converted from the ANSI code page.
// False when the command line holds an unclosed quote.
bool buildLaunchArguments(const wchar_t* commandLine, DWORD argc, LPSTR* argv,
                          std::vector<std::wstring>& arguments);
