#include "service/service_commands.h"

#include <windows.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <vector>

#include "core/ansi_text.h"
#include "core/log.h"
#include "core/limits.h"
#include "core/split_list.h"
#include "core/unique_resource.h"
#include "files/paths.h"

namespace {

using brolt::UniqueServiceHandle;
using brolt::service::InstallPlan;

// Installation registers its own process, allowed to interact with the desktop where the system allows
// it: only under LocalSystem (any other account with the interactive bit is an invalid parameter).
constexpr DWORD kInstalledServiceType = SERVICE_WIN32_OWN_PROCESS | SERVICE_INTERACTIVE_PROCESS;
constexpr DWORD kAccountServiceType = SERVICE_WIN32_OWN_PROCESS;
constexpr DWORD kStopAccess = SERVICE_STOP | SERVICE_QUERY_STATUS;
constexpr DWORD kStatusAccess = SERVICE_QUERY_CONFIG | SERVICE_QUERY_STATUS;
// How often a stopping service is asked again; its own wait hint bounds the whole wait.
constexpr DWORD kStopPollMilliseconds = 500;
constexpr size_t kServiceConfigBufferSize = 8192;
constexpr DWORD kStopWaitMarginMilliseconds = 15000;
// Reads of a secret variable whose value changes between sizing and reading before it is given up.
constexpr int kSecretReadRounds = 4;

// The service manager and one service in it, opened together and closed together.
struct ServiceConnection {
    UniqueServiceHandle manager;
    UniqueServiceHandle service;
};

enum class OpenFailure { None, Manager, Service };

// Opens the local service manager and the named service; each failing call is logged once here.
OpenFailure openService(const std::wstring& name, DWORD managerAccess, DWORD serviceAccess,
                        ServiceConnection& connection) {
    connection.manager.reset(OpenSCManagerW(nullptr, nullptr, managerAccess));
    if (!connection.manager) {
        logError("OpenSCManagerW failed: %lu", GetLastError());
        return OpenFailure::Manager;
    }
    connection.service.reset(OpenServiceW(connection.manager.get(), name.c_str(), serviceAccess));
    if (!connection.service) {
        logError("OpenServiceW failed: %lu", GetLastError());
        return OpenFailure::Service;
    }
    return OpenFailure::None;
}

// Logs a failed call with the system's error code and hands the code back.
DWORD logFailure(const char* call) {
    DWORD error = GetLastError();
    logError("%s failed: %lu", call, error);
    return error;
}

static_assert(brolt::service::kAutoStart == SERVICE_AUTO_START);
static_assert(brolt::service::kDemandStart == SERVICE_DEMAND_START);
static_assert(brolt::service::kRestartAction == SC_ACTION_RESTART);

using ChangeServiceConfig2WFunction = BOOL(WINAPI*)(SC_HANDLE, DWORD, LPVOID);

// Each option the system refuses is left out with a warning naming it; the service stays installed.
void applyConfigChanges(SC_HANDLE service, const ServiceConfigChanges& changes) {
    if (changes.calls.empty())
        return;
    HMODULE advapi = GetModuleHandleA("advapi32.dll");
    auto change = advapi == nullptr ? nullptr
                                    : reinterpret_cast<ChangeServiceConfig2WFunction>(
                                          GetProcAddress(advapi, "ChangeServiceConfig2W"));
    for (const ServiceConfigChange& call : changes.calls) {
        DWORD error = ERROR_CALL_NOT_IMPLEMENTED;  // what a system without the function amounts to
        if (change != nullptr) {
            if (change(service, call.level, call.info)) {
                logInfo("ChangeServiceConfig2W level %lu (%s) done", call.level, call.option);
                continue;
            }
            error = GetLastError();
        }
        logError("ChangeServiceConfig2W level %lu (%s) failed: %lu", call.level, call.option, error);
        fprintf(stderr, "Warning: %s not set, error %lu; the service is installed without it.\n", call.option,
                error);
    }
}

// What the entry is created with, the password's variable named but never its value.
void logEntry(const std::string& serviceName, const InstallPlan& plan, DWORD startType,
              const std::string& dependencies) {
    std::string account = plan.account.name.empty() ? "LocalSystem" : plan.account.name;
    if (plan.account.needsPassword())
        account += " with the password from " + plan.passwordVariable;
    logInfo("CreateServiceW \"%s\": display name \"%s\", account %s, start type %lu, dependencies \"%s\"",
            serviceName.c_str(), plan.displayName.empty() ? serviceName.c_str() : plan.displayName.c_str(),
            account.c_str(), startType, dependencies.c_str());
}

// The restart actions as the record holds them, for the log.
void logFailureActions(const SERVICE_FAILURE_ACTIONSW& record) {
    if (record.cActions == 0)
        return;
    std::string delays;
    for (DWORD i = 0; i < record.cActions; ++i)
        delays += (i == 0 ? "" : ", ") + std::to_string(record.lpsaActions[i].Delay);
    logInfo("recovery: restart after %s ms, the last for every later failure; count reset after %lu s",
            delays.c_str(), record.dwResetPeriod);
}

// A configuration the install cannot carry out: nothing has been touched yet.
int refuseInstall(const std::string& problem) {
    logError("install refused: %s", problem.c_str());
    printf("%s.\n", problem.c_str());
    printf("Could not create service.\n");
    return 1;
}

}  // namespace

bool buildDependencyList(std::string_view value, std::string& list) {
    list.clear();
    if (value.empty())
        return true;
    for (std::string_view dependency : brolt::splitList(value, ',', brolt::EmptyPieces::Skip)) {
        list.append(dependency);
        list.push_back('\0');
    }
    list.push_back('\0');
    if (list.size() > kDependencyListSize) {
        list.clear();
        return false;
    }
    return true;
}

std::string quotedBinaryPath(const char* modulePath) {
    return std::string("\"") + modulePath + "\"";
}

bool isSameExecutable(const char* modulePath, const char* configuredPath) {
    if (configuredPath[0] == '"')
        ++configuredPath;
    return _strnicmp(modulePath, configuredPath, strlen(modulePath)) == 0;
}

ServiceEntry serviceEntry(const std::string& serviceName, const InstallPlan& plan, DWORD commandStartType,
                          const std::string& dependencyList, const std::string& binaryPath) {
    // All names travel as UTF-16 converted from the ANSI code page: the narrow calls would do the same
    // conversion, except for a narrow dependency list, which some service managers store wrongly.
    ServiceEntry entry;
    entry.name = fromAnsiCodePage(serviceName);
    entry.displayName = plan.displayName.empty() ? entry.name : fromAnsiCodePage(plan.displayName);
    entry.serviceType = plan.account.kind == brolt::service::AccountKind::LocalSystem ? kInstalledServiceType
                                                                                      : kAccountServiceType;
    entry.startType = brolt::service::chosenStart(plan, commandStartType).startType;
    entry.binaryPath = fromAnsiCodePage(binaryPath);
    entry.dependencies = fromAnsiCodePage(dependencyList);
    if (!plan.account.name.empty())
        entry.account = fromAnsiCodePage(plan.account.name);
    return entry;
}

void buildServiceConfigChanges(const InstallPlan& plan, DWORD commandStartType,
                               const std::wstring& description, ServiceConfigChanges& changes) {
    if (!description.empty()) {
        changes.description = description;
        changes.descriptionInfo.lpDescription = changes.description.data();
        changes.calls.push_back(
            {SERVICE_CONFIG_DESCRIPTION, "the description (service.description)", &changes.descriptionInfo});
    }
    if (brolt::service::chosenStart(plan, commandStartType).delayed) {
        changes.delayedStart.delayed = TRUE;
        changes.calls.push_back(
            {SERVICE_CONFIG_DELAYED_AUTO_START_INFO, "delayed start (service.start)", &changes.delayedStart});
    }
    if (!plan.recovery)
        return;
    for (const brolt::service::RecoveryAction& action : plan.recovery->actions)
        changes.actions.push_back({static_cast<SC_ACTION_TYPE>(action.type), action.delayMilliseconds});
    changes.failureActions.dwResetPeriod = plan.recovery->resetPeriodSeconds;
    changes.failureActions.lpRebootMsg = nullptr;  // left as they are
    changes.failureActions.lpCommand = nullptr;
    changes.failureActions.cActions = static_cast<DWORD>(changes.actions.size());
    changes.failureActions.lpsaActions = changes.actions.data();
    changes.calls.push_back(
        {SERVICE_CONFIG_FAILURE_ACTIONS, "the restart actions (service.recovery)", &changes.failureActions});
    changes.failureActionsFlag.onNonCrashFailures = TRUE;
    changes.calls.push_back({SERVICE_CONFIG_FAILURE_ACTIONS_FLAG,
                             "restarts after an exit with a code (service.recovery)",
                             &changes.failureActionsFlag});
}

EnvironmentSecret::~EnvironmentSecret() {
    wipe();
}

bool EnvironmentSecret::take(const std::wstring& variable) {
    wipe();
    buffer_.reset();
    units_ = 0;
    // The value may change between the call that sizes it and the one that reads it; the few rounds
    // cover a race, not a loop without end.
    for (int round = 0; round < kSecretReadRounds; ++round) {
        SetLastError(ERROR_SUCCESS);
        DWORD needed = GetEnvironmentVariableW(variable.c_str(), buffer_.get(), static_cast<DWORD>(units_));
        if (needed == 0 && GetLastError() == ERROR_ENVVAR_NOT_FOUND)
            return false;
        if (buffer_ && needed < units_) {
            SetEnvironmentVariableW(variable.c_str(), nullptr);
            return true;
        }
        wipe();
        // An empty value asks for its terminator alone.
        units_ = std::max<size_t>(needed, 1);
        buffer_ = std::make_unique<wchar_t[]>(units_);
    }
    wipe();
    buffer_.reset();
    units_ = 0;
    return false;
}

void EnvironmentSecret::wipe() {
    if (buffer_)
        SecureZeroMemory(buffer_.get(), units_ * sizeof(wchar_t));
}

int installCommand(const std::string& serviceName, const InstallSettings& settings) {
    // Everything that can be refused is refused before the old entry is touched: a configuration that
    // cannot be carried out must not cost the service it replaces.
    brolt::service::PlanOutcome planned = brolt::service::planInstall(settings.configured, serviceName);
    if (!planned)
        return refuseInstall(planned.problem);
    const InstallPlan& plan = *planned.plan;
    std::string dependencies;
    if (!buildDependencyList(settings.dependencies, dependencies))
        return refuseInstall("Dependency list longer than " + std::to_string(kDependencyListSize) + " bytes");
    // Read before the old entry goes, so an unset variable costs nothing; wiped right after the call.
    EnvironmentSecret password;
    if (plan.account.needsPassword()) {
        if (!password.take(fromAnsiCodePage(plan.passwordVariable))) {
            return refuseInstall("The environment variable " + plan.passwordVariable +
                                 " (service.password_env) is not set; the account " + plan.account.name +
                                 " needs its password");
        }
    }
    for (const std::string& note : plan.notes)
        logInfo("install: %s", note.c_str());

    uninstallCommand(serviceName, false, settings.stopWaitLimit);
    UniqueServiceHandle manager(OpenSCManagerW(nullptr, nullptr, SC_MANAGER_ALL_ACCESS));
    if (!manager) {
        logFailure("OpenSCManagerW");
        printf("Could not open SCManager.\n");
        return 1;
    }
    ServiceEntry entry =
        serviceEntry(serviceName, plan, settings.startType, dependencies, quotedBinaryPath(getModulePath()));
    logEntry(serviceName, plan, entry.startType, settings.dependencies);
    UniqueServiceHandle service(
        CreateServiceW(manager.get(), entry.name.c_str(), entry.displayName.c_str(), SERVICE_ALL_ACCESS,
                       entry.serviceType, entry.startType, SERVICE_ERROR_NORMAL, entry.binaryPath.c_str(),
                       nullptr, nullptr, entry.dependencies.empty() ? nullptr : entry.dependencies.c_str(),
                       entry.account ? entry.account->c_str() : nullptr, password.text()));
    DWORD createError = GetLastError();
    password.wipe();
    if (!service) {
        logError("CreateServiceW failed: %lu", createError);
        printf("Could not create service.\n");
        return 1;
    }
    logInfo("CreateServiceW done");
    ServiceConfigChanges changes;
    buildServiceConfigChanges(plan, settings.startType, settings.description, changes);
    logFailureActions(changes.failureActions);
    applyConfigChanges(service.get(), changes);
    printf("Installed service '%s'.\n", serviceName.c_str());
    return 0;
}

int uninstallCommand(const std::string& serviceName, bool verbose, DWORD waitLimit) {
    stopCommand(serviceName, false, waitLimit);
    ServiceConnection connection;
    OpenFailure failure =
        openService(fromAnsiCodePage(serviceName), SC_MANAGER_ALL_ACCESS, DELETE, connection);
    if (failure == OpenFailure::Manager) {
        if (verbose)
            printf("Could not open SCManager.\n");
        return 1;
    }
    if (failure != OpenFailure::None || !DeleteService(connection.service.get())) {
        if (failure == OpenFailure::None)
            logFailure("DeleteService");
        if (verbose)
            printf("Could not delete service.\n");
        return 1;
    }
    if (verbose)
        printf("Uninstalled service '%s'.\n", serviceName.c_str());
    return 0;
}

int stopCommand(const std::string& serviceName, bool verbose, DWORD waitLimit) {
    ServiceConnection connection;
    OpenFailure failure =
        openService(fromAnsiCodePage(serviceName), SC_MANAGER_CONNECT, kStopAccess, connection);
    if (failure == OpenFailure::Manager) {
        if (verbose)
            printf("Could not open SCManager.\n");
        return 1;
    }
    SERVICE_STATUS status{};
    if (failure != OpenFailure::None ||
        !ControlService(connection.service.get(), SERVICE_CONTROL_STOP, &status)) {
        if (failure == OpenFailure::None)
            logFailure("ControlService");
        if (verbose)
            printf("Could not stop service.\n");
        return 1;
    }
    // A stop that was requested is always told, quiet or not.
    printf("Stopping service '%s'.\n", serviceName.c_str());
    fflush(stdout);
    if (waitWhileStopPending(connection.service.get(), waitLimit)) {
        printf("Service stopped\n");
        return 0;
    }
    printf("Error while stopping service\n");
    return 1;
}

bool waitWhileStopPending(SC_HANDLE service, DWORD waitLimit) {
    SERVICE_STATUS status{};
    if (!QueryServiceStatus(service, &status))
        return false;
    DWORD begun = GetTickCount();
    DWORD start = begun;
    DWORD checkPoint = status.dwCheckPoint;
    while (status.dwCurrentState == SERVICE_STOP_PENDING) {
        Sleep(kStopPollMilliseconds);
        if (!QueryServiceStatus(service, &status))
            return false;
        DWORD now = GetTickCount();
        if (now - begun > waitLimit) {
            logError("service still stopping after %lu ms", now - begun);
            break;
        }
        if (status.dwCheckPoint > checkPoint) {  // progress: the wait starts again
            start = now;
            checkPoint = status.dwCheckPoint;
        } else if (now - start > status.dwWaitHint) {
            break;
        }
    }
    return status.dwCurrentState == SERVICE_STOPPED;
}

DWORD stopWaitLimit(DWORD stopTimeout) {
    return stopTimeout + kStopWaitMarginMilliseconds;
}

int startCommand(const std::string& serviceName) {
    ServiceConnection connection;
    OpenFailure failure =
        openService(fromAnsiCodePage(serviceName), SC_MANAGER_CONNECT, SERVICE_START, connection);
    if (failure == OpenFailure::Manager) {
        printf("Could not open SCManager.\n");
        return 1;
    }
    if (failure == OpenFailure::None && StartServiceW(connection.service.get(), 0, nullptr)) {
        printf("Starting service '%s'.\n", serviceName.c_str());
        return 0;
    }
    DWORD error = failure == OpenFailure::None ? logFailure("StartServiceW") : GetLastError();
    if (error == ERROR_SERVICE_ALREADY_RUNNING) {
        printf("Service is already running.\n");
        return 0;
    }
    printf("Could not start service. Error code: %d\n", static_cast<int>(error));
    return 1;
}

int statusCommand(const std::string& serviceName) {
    ServiceConnection connection;
    OpenFailure failure =
        openService(fromAnsiCodePage(serviceName), SC_MANAGER_CONNECT, kStatusAccess, connection);
    if (failure == OpenFailure::Manager) {
        printf("Could not open SCManager.\n");
        return 1;
    }
    SERVICE_STATUS status{};
    if (failure != OpenFailure::None || !QueryServiceStatus(connection.service.get(), &status)) {
        if (failure == OpenFailure::None)
            logFailure("QueryServiceStatus");
        printf("Could not get status.\n");
        return 1;
    }
    int result = 3;
    if (status.dwCurrentState == SERVICE_RUNNING) {
        printf("Running.\n");
        result = 0;
    } else {
        printf("Not running.\n");
    }
    // DWORD elements keep the record's alignment.
    std::vector<DWORD> buffer(kServiceConfigBufferSize / sizeof(DWORD));
    auto* config = reinterpret_cast<QUERY_SERVICE_CONFIGW*>(buffer.data());
    DWORD needed = 0;
    if (!QueryServiceConfigW(connection.service.get(), config, kServiceConfigBufferSize, &needed)) {
        int error = static_cast<int>(logFailure("QueryServiceConfigW"));
        printf("Could not get config (%d, %d).\n", error, static_cast<int>(needed));
        return 1;
    }
    std::string binaryPath =
        config->lpBinaryPathName != nullptr ? toAnsiCodePage(config->lpBinaryPathName) : "";
    if (!isSameExecutable(getModulePath(), binaryPath.c_str())) {
        printf("Different service executable: %s\n", binaryPath.c_str());
        return 1;
    }
    if (config->dwStartType == SERVICE_AUTO_START)
        printf("%s.\n", "Auto-start");
    return result;
}
