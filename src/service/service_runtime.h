// What runs when the service control manager starts the launcher.
#pragma once

#include <windows.h>

#include <string>
#include <vector>

#include "jvm/search.h"
#include "launch/java_launch.h"

namespace brolt {

// The service's way to the Java side: find and load a runtime, launch the application on it, end it.
// The entry hands in the real ones; tests hand in stand-ins.
struct JavaHost {
    bool (*locate)(char launcherKind, JavaRuntime& runtime);
    bool (*launch)(const JavaRuntime& runtime, const LaunchSettings& settings,
                   const std::vector<std::wstring>& arguments);
    void (*stop)();
};

// The runtime search, the launch and the stop of a real Java runtime.
JavaHost realJavaHost();

struct ServiceSettings {
    std::string serviceName;  // the name the service control manager knows the service by
    LaunchSettings launch;    // its hooks are the service runtime's own, whatever is handed in
    JavaHost host;
};

}  // namespace brolt

// Hands serviceMain to the service dispatcher with these settings, which are fixed from then on.
// Returns when the service has stopped, or at once when the process was not started as a service.
void runServiceDispatcher(const brolt::ServiceSettings& settings);

void WINAPI serviceMain(DWORD argc, LPSTR* argv);
void WINAPI serviceControlHandler(DWORD control);
void reportStoppedAtExit();
BOOL WINAPI ConsoleCtrlHandler(DWORD eventType);

// The launch argument list: the command line split by the launcher's rule without the program,
// then the service's start arguments (the service name first) converted from the ANSI code page.
// False when the command line holds an unclosed quote.
bool buildLaunchArguments(const wchar_t* commandLine, DWORD argc, LPSTR* argv,
                          std::vector<std::wstring>& arguments);
