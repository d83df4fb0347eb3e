#include "service/service_commands.h"

#include <windows.h>

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

// Installation registers its own process, allowed to interact with the desktop.
constexpr DWORD kInstalledServiceType = SERVICE_WIN32_OWN_PROCESS | SERVICE_INTERACTIVE_PROCESS;
constexpr DWORD kStopAccess = SERVICE_STOP | SERVICE_QUERY_STATUS;
constexpr DWORD kStatusAccess = SERVICE_QUERY_CONFIG | SERVICE_QUERY_STATUS;
// How often a stopping service is asked again; its own wait hint bounds the whole wait.
constexpr DWORD kStopPollMilliseconds = 500;
constexpr size_t kServiceConfigBufferSize = 8192;
constexpr DWORD kStopWaitMarginMilliseconds = 15000;

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

using ChangeServiceConfig2WFunction = BOOL(WINAPI*)(SC_HANDLE, DWORD, LPVOID);

// Systems without ChangeServiceConfig2W simply get no description.
void setDescription(SC_HANDLE service, std::wstring description) {
    if (description.empty())
        return;
    HMODULE advapi = GetModuleHandleA("advapi32.dll");
    if (advapi == nullptr)
        return;
    auto change =
        reinterpret_cast<ChangeServiceConfig2WFunction>(GetProcAddress(advapi, "ChangeServiceConfig2W"));
    if (change == nullptr)
        return;
    SERVICE_DESCRIPTIONW info{description.data()};
    change(service, SERVICE_CONFIG_DESCRIPTION, &info);
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

int installCommand(const std::string& serviceName, const InstallSettings& settings) {
    // Refused before the old entry is touched: a list that does not fit must not cost the service.
    std::string dependencies;
    if (!buildDependencyList(settings.dependencies, dependencies)) {
        printf("Dependency list longer than %u bytes.\n", static_cast<unsigned>(kDependencyListSize));
        printf("Could not create service.\n");
        return 1;
    }
    uninstallCommand(serviceName, false, settings.stopWaitLimit);
    UniqueServiceHandle manager(OpenSCManagerW(nullptr, nullptr, SC_MANAGER_ALL_ACCESS));
    if (!manager) {
        logFailure("OpenSCManagerW");
        printf("Could not open SCManager.\n");
        return 1;
    }
    // All names travel as UTF-16 converted from the ANSI code page: the narrow calls would do the same
    // conversion, except for a narrow dependency list, which some service managers store wrongly.
    std::wstring name = fromAnsiCodePage(serviceName);
    std::wstring binaryPath = fromAnsiCodePage(quotedBinaryPath(getModulePath()));
    std::wstring dependencyList = fromAnsiCodePage(dependencies);
    UniqueServiceHandle service(
        CreateServiceW(manager.get(), name.c_str(), name.c_str(), SERVICE_ALL_ACCESS, kInstalledServiceType,
                       settings.startType, SERVICE_ERROR_NORMAL, binaryPath.c_str(), nullptr, nullptr,
                       dependencyList.empty() ? nullptr : dependencyList.c_str(), nullptr, nullptr));
    if (!service) {
        logFailure("CreateServiceW");
        printf("Could not create service.\n");
        return 1;
    }
    setDescription(service.get(), settings.description);
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
