// Service management from the console: each command prints its outcome and returns the exit code.
#pragma once

#include <windows.h>

#include <cstddef>
#include <string>
#include <string_view>

// What the install command takes from the configuration, read at the entry.
struct InstallSettings {
    DWORD startType = SERVICE_DEMAND_START;
    std::string dependencies;  // key 149: names separated by ","
    std::wstring description;  // key 20017; empty: none is set
    DWORD stopWaitLimit = 0;   // how long the stop of a running service may be waited for (ms)
};

// Every command works on the service of the given name (narrow text in the ANSI code page).
int installCommand(const std::string& serviceName, const InstallSettings& settings);
// A running service is stopped first; waitLimit bounds the wait for its end (milliseconds).
int uninstallCommand(const std::string& serviceName, bool verbose, DWORD waitLimit);
// 1 when the stop could not be asked for or the service did not end in SERVICE_STOPPED within waitLimit.
int stopCommand(const std::string& serviceName, bool verbose, DWORD waitLimit);
int startCommand(const std::string& serviceName);
int statusCommand(const std::string& serviceName);
// True when the service ended in SERVICE_STOPPED; gives up when no progress shows within the wait hint,
// and in any case once waitLimit milliseconds have passed.
bool waitWhileStopPending(SC_HANDLE service, DWORD waitLimit);
// How long the stop command waits for a service whose stop timeout is stopTimeout (ms): the service
// reports its end within that time, and a margin covers writing down why.
DWORD stopWaitLimit(DWORD stopTimeout);

// A description is read into a buffer of this many UTF-16 units, terminator included.
inline constexpr size_t kDescriptionUnits = 8192;
// The dependency list is handed over in a buffer of this many bytes, terminators included.
inline constexpr size_t kDependencyListSize = 8192;
// The configured value (key 149) as a list of names, each with its terminator, ended by one more
// terminator; empty when the value is empty. The names are the pieces between "," with empty pieces
// dropped and blanks kept. False when the list does not fit kDependencyListSize: it is then refused
// rather than cut, since a cut name would make the service depend on a service that does not exist.
bool buildDependencyList(std::string_view value, std::string& list);

// The binary path registered for the service: the launcher's path in double quotes, so the service
// manager cannot take a prefix up to a blank ("C:\Program.exe") for the program.
std::string quotedBinaryPath(const char* modulePath);
// Whether a configured binary path names this launcher: its opening quote removed, it must begin with
// the module path (without regard to case).
bool isSameExecutable(const char* modulePath, const char* configuredPath);
