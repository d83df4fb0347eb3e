// Service management from the console: each command prints its outcome and returns the exit code.
#pragma once

#include <windows.h>

#include <cstddef>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "service/service_command_rules.h"

// What the install command takes from the configuration, read at the entry.
struct InstallSettings {
    DWORD startType = SERVICE_DEMAND_START;  // the command word's choice; a configured start goes first
    std::string dependencies;                // key 149: names separated by ","
    std::wstring description;                // key 20017; empty: none is set
    DWORD stopWaitLimit = 0;                 // how long the stop of a running service may be waited for (ms)
    // Keys 30002 to 30007; the start word (30005) only for the plain install, the other install words
    // choosing their start themselves.
    brolt::service::InstallConfiguration configured;
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

// What CreateServiceW is given beside the manager, the access, the type and the error control. The
// password is not part of it: it is read from its variable just before the call and goes nowhere else.
struct ServiceEntry {
    std::wstring name;
    std::wstring displayName;
    DWORD serviceType = 0;  // with the interactive bit only under LocalSystem, where it is allowed
    DWORD startType = SERVICE_DEMAND_START;
    std::wstring binaryPath;
    std::wstring dependencies;            // with its terminators; empty: none
    std::optional<std::wstring> account;  // absent: LocalSystem
};
ServiceEntry serviceEntry(const std::string& serviceName, const brolt::service::InstallPlan& plan,
                          DWORD commandStartType, const std::string& dependencyList,
                          const std::string& binaryPath);

// A password read from an environment variable into one buffer of its own. It is never copied or moved
// into another string, is wiped where it lies (SecureZeroMemory) once it has been used and again when
// the object goes, and the variable leaves this process's environment as soon as it has been read.
class EnvironmentSecret {
  public:
    EnvironmentSecret() = default;
    EnvironmentSecret(const EnvironmentSecret&) = delete;
    EnvironmentSecret& operator=(const EnvironmentSecret&) = delete;
    ~EnvironmentSecret();

    // Reads the variable (an empty value is a password too) and removes it from the environment. False
    // when it is not set.
    bool take(const std::wstring& variable);
    // The text, terminated; after wipe all of it is zeros. Null before a successful take.
    const wchar_t* text() const { return buffer_.get(); }
    // Overwrites the whole buffer with zeros; the buffer itself stays until the object goes.
    void wipe();

  private:
    std::unique_ptr<wchar_t[]> buffer_;
    size_t units_ = 0;
};

// The records of the levels the headers declare only for builds aimed at later systems than this one.
struct DelayedAutoStartInfo {
    BOOL delayed;
};
struct FailureActionsFlag {
    BOOL onNonCrashFailures;
};

// One ChangeServiceConfig2W call after the entry is created.
struct ServiceConfigChange {
    DWORD level;
    const char* option;  // named in the warning when the system refuses it
    void* info;
};

// The ChangeServiceConfig2W calls of an install, in order, with the records they pass. The records
// point into this object, which therefore is neither copied nor moved.
struct ServiceConfigChanges {
    std::vector<ServiceConfigChange> calls;

    std::wstring description;
    SERVICE_DESCRIPTIONW descriptionInfo{};
    DelayedAutoStartInfo delayedStart{};
    std::vector<SC_ACTION> actions;
    SERVICE_FAILURE_ACTIONSW failureActions{};
    FailureActionsFlag failureActionsFlag{};

    ServiceConfigChanges() = default;
    ServiceConfigChanges(const ServiceConfigChanges&) = delete;
    ServiceConfigChanges& operator=(const ServiceConfigChanges&) = delete;
};
// The description when there is one; delayed start for a delayed automatic start; the recovery as
// restart actions with their reset period, and the flag that counts a stop with an exit code other than
// 0 as a failure, without which an application that ends itself with a code would never be restarted.
void buildServiceConfigChanges(const brolt::service::InstallPlan& plan, DWORD commandStartType,
                               const std::wstring& description, ServiceConfigChanges& changes);

// The binary path registered for the service: the launcher's path in double quotes, so the service
// manager cannot take a prefix up to a blank ("C:\Program.exe") for the program.
std::string quotedBinaryPath(const char* modulePath);
// Whether a configured binary path names this launcher: its opening quote removed, it must begin with
// the module path (without regard to case).
bool isSameExecutable(const char* modulePath, const char* configuredPath);
