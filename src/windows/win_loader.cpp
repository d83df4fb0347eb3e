#include "windows/win_loader.h"

#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <utility>
#include <vector>

#include "config/config.h"
#include "config/executable_type.h"
#include "config/keys.h"
#include "core/limits.h"
#include "core/log.h"
#include "files/extraction.h"
#include "files/file_locations.h"
#include "files/paths.h"
#include "files/stale_extractions.h"
#include "files/tempdir.h"
#include "service/service_commands.h"
#include "service/service_runtime.h"
#include "service/service_status.h"
#include "windows/launcher_settings.h"
#include "windows/user_messages.h"

namespace {

using brolt::kSearchPathBufferSize;
using brolt::kTextBufferSize;

struct CommandWord {
    const char* word;
    Command command;
};

// Compared in this order, whole word and case kept: "install-auto" never runs "install".
constexpr CommandWord kCommandWords[] = {
    {"install", Command::Install},
    {"install-auto", Command::InstallAuto},
    {"install-demand", Command::InstallDemand},
    {"uninstall", Command::Uninstall},
    {"stop", Command::Stop},
    {"start", Command::Start},
    {"status", Command::Status},
};

bool isBlank(char c) {
    return c == ' ' || c == '\t';
}

// How long a stop command waits for the service: its configured stop timeout, and a margin.
DWORD configuredStopWait() {
    return stopWaitLimit(brolt::service::stopTimeoutMilliseconds(getInt(brolt::keys::kStopTimeout)));
}

// The install command's settings with the start type a command word chose; the configured start word
// counts only where the word left the choice to the configuration.
InstallSettings installSettings(DWORD startType, bool startConfigurable) {
    InstallSettings settings;
    settings.startType = startType;
    settings.stopWaitLimit = configuredStopWait();
    settings.dependencies = getText(brolt::keys::kDependencies);
    std::vector<wchar_t> description(kDescriptionUnits);
    getWStr(brolt::keys::kDescription, description.data(), description.size());
    settings.description = description.data();
    brolt::service::InstallConfiguration& configured = settings.configured;
    configured.displayName = getText(brolt::keys::kDisplayName);
    configured.account = getText(brolt::keys::kAccount);
    configured.passwordVariable = getText(brolt::keys::kPasswordVariable);
    if (startConfigurable)
        configured.start = getText(brolt::keys::kStartType);
    configured.restartDelays = getText(brolt::keys::kRestartDelays);
    configured.resetAfter = getText(brolt::keys::kResetAfter);
    return settings;
}

int runCommand(Command command, const std::string& serviceName, brolt::ExecutableType executableType) {
    switch (command) {
        case Command::Install:
            return installCommand(serviceName,
                                  installSettings(executableType == brolt::ExecutableType::AutoStartService
                                                      ? SERVICE_AUTO_START
                                                      : SERVICE_DEMAND_START,
                                                  true));
        case Command::InstallAuto:
            return installCommand(serviceName, installSettings(SERVICE_AUTO_START, false));
        case Command::InstallDemand:
            return installCommand(serviceName, installSettings(SERVICE_DEMAND_START, false));
        case Command::Uninstall:
            return uninstallCommand(serviceName, true, configuredStopWait());
        case Command::Stop:
            return stopCommand(serviceName, true, configuredStopWait());
        case Command::Start:
            return startCommand(serviceName);
        case Command::Status:
            return statusCommand(serviceName);
        case Command::None:
            break;
    }
    return 0;
}

// A start that failed before the service dispatcher was reached is still told to the service manager
// (stopped with exit code 1) and the event log when the process was started as a service; the user is
// shown the failure as before either way, and the process ends with exit code 1.
[[noreturn]] void failBeforeDispatch(const std::string& serviceName, const brolt::Failure& failure) {
    brolt::ServiceSettings settings;
    settings.serviceName = serviceName;
    settings.presentation = {failureText, showFailure};
    settings.failedBeforeDispatch = failure;
    brolt::ServiceOutcome outcome = runServiceDispatcher(std::move(settings));
    if (!outcome.startedByManager) {
        if (failure.messageKey != 0)
            fatalMessage(failure.messageKey, failure.argument ? failure.argument->c_str() : nullptr);
        fatalError(failure.detail.c_str());
    }
    ExitProcess(1);
}

// A failed extraction has already removed what it created; each kind of failure has its message.
[[noreturn]] void reportExtractionFailure(const std::string& serviceName, ExtractionFailure failure) {
    switch (failure) {
        case ExtractionFailure::NoWritableTempLocation:
            failBeforeDispatch(serviceName, brolt::failure(brolt::keys::kMsgPowerUserRequired));
        case ExtractionFailure::DirectoryNotCreated:
            failBeforeDispatch(serviceName, brolt::failure(brolt::keys::kMsgInternalError, "7"));
        case ExtractionFailure::FileNotCreated:
            failBeforeDispatch(serviceName, brolt::failure(brolt::keys::kMsgInternalError, "11"));
        case ExtractionFailure::SizeUnreadable: {
            brolt::Failure unreadable = brolt::silentFailure();
            unreadable.detail = "Internal Error: readLong";
            failBeforeDispatch(serviceName, unreadable);
        }
        case ExtractionFailure::CopyFailed:
        case ExtractionFailure::None:
            break;
    }
    failBeforeDispatch(serviceName, brolt::failure(brolt::keys::kMsgInternalError, "16"));
}

int runService(const LauncherSetup& setup, const std::string& serviceName, const brolt::JavaHost& host) {
    // What runs whose process is gone left behind goes first, whichever launcher made it, so restarts
    // do not pile it up.
    brolt::sweepLeftovers(brolt::currentFileLocations());
    brolt::ExtractionOwner self = brolt::currentExtractionOwner();
    char names[kTextBufferSize];
    getStr(brolt::keys::kIncludedFileNames, names, sizeof names);
    const IncludedFiles included{getModulePath(), getConfigurationEndPosition(),
                                 getInt(brolt::keys::kIncludedFileCount), names};
    Extraction extraction = extractIncludedFilesReusing(included, self);
    if (extraction.failure != ExtractionFailure::None)
        reportExtractionFailure(serviceName, extraction.failure);
    brolt::LauncherSettings configured =
        brolt::readLauncherSettings(setup.launcherKind, setup.executableType);
    brolt::ServiceSettings settings;
    settings.serviceName = serviceName;
    settings.host = host;
    settings.search = configured.search;
    settings.launch = configured.launch;
    settings.launch.extractionDirectory = extraction.files.directory;
    settings.launch.extractedFiles = extraction.files.names;
    settings.launch.unextractedPosition = extraction.files.unextractedPosition;
    settings.stopTimeout = configured.stopTimeoutMilliseconds;
    settings.startTimeout = configured.startTimeoutMilliseconds;
    settings.presentation = {failureText, showFailure};
    // The stable folder stays for the next start, whatever becomes of this one; its marker is written.
    // A fresh one is this process's alone: its marker stays open until the process ends, so the folder's
    // clean-up at the VM's exit leaves it for the sweep; a start that ends before main removes it.
    if (!extraction.files.stable) {
        settings.freshExtraction = extraction.files.directory;
        settings.extractionMarker = brolt::writeExtractionMarker(extraction.files.directory.c_str(), self);
    }
    brolt::ServiceOutcome outcome = runServiceDispatcher(std::move(settings));
    // Started by hand, no service ran; otherwise the service's end was reported, and the process ends
    // with its code.
    return outcome.end ? outcome.end->processExitCode : 0;
}

}  // namespace

void extendSearchPath() {
    char list[kTextBufferSize];
    getStr(brolt::keys::kSearchPathPrefix, list, sizeof list);
    char path[kSearchPathBufferSize];
    resolvePathList(path, list, sizeof path);
    size_t used = strlen(path);
    if (used > 0 && path[used - 1] != ';' && used + 1 < sizeof path) {
        path[used++] = ';';
        path[used] = '\0';
    }
    DWORD available = static_cast<DWORD>(sizeof path - used);
    DWORD inherited = GetEnvironmentVariableA("PATH", path + used, available);
    if (inherited >= available) {
        // The inherited value does not fit behind the configured directories: keep the whole
        // entries that do, so no directory name is cut in the middle.
        std::string whole(inherited, '\0');
        GetEnvironmentVariableA("PATH", whole.data(), inherited);
        whole.resize(strlen(whole.c_str()));
        std::string kept = whole.substr(0, available - 1);
        size_t lastSeparator = kept.rfind(';');
        kept.resize(lastSeparator == std::string::npos ? 0 : lastSeparator);
        memcpy(path + used, kept.c_str(), kept.size() + 1);
        logError("PATH longer than %u characters; inherited entries dropped from the end",
                 static_cast<unsigned>(sizeof path - 1));
    } else if (inherited == 0) {
        path[used] = '\0';
    }
    SetEnvironmentVariableA("PATH", path);
    std::string assignment = std::string("PATH=") + path;
    _putenv(assignment.c_str());
}

void enterWorkingDirectory() {
    char configured[kTextBufferSize];
    getStr(brolt::keys::kWorkingDirectory, configured, sizeof configured);
    if (configured[0] == '\0')
        return;
    char directory[kTextBufferSize];
    getFullPath(directory, configured, true);
    SetCurrentDirectoryA(directory);  // a directory that cannot be entered leaves the inherited one
}

const char* getCommandTail(const char* commandLine) {
    const char* p = commandLine;
    if (*p == '"') {
        const char* closing = strchr(p + 1, '"');
        p = closing != nullptr ? closing + 1 : p + strlen(p);
    } else {
        while (*p != '\0' && !isBlank(*p))
            ++p;
    }
    while (isBlank(*p))
        ++p;
    return p;
}

ParsedCommand parseCommandTail(const char* tail) {
    ParsedCommand parsed;
    if (tail[0] != '/' && tail[0] != '-')
        return parsed;
    const char* word = tail + 1;
    if (*word == '-')
        ++word;
    std::string commandWord = word;
    size_t space = commandWord.find(' ');
    if (space != std::string::npos) {
        if (commandWord.size() - space > 1) {
            parsed.hasName = true;
            parsed.name = commandWord.substr(space + 1);
        }
        commandWord.resize(space);
    }
    for (const CommandWord& entry : kCommandWords) {
        if (commandWord == entry.word) {
            parsed.command = entry.command;
            break;
        }
    }
    return parsed;
}

std::string boundedServiceName(std::string name) {
    if (name.size() >= kTextBufferSize) {
        name.resize(kTextBufferSize - 1);
        logError("service name cut to %u characters", static_cast<unsigned>(name.size()));
    }
    return name;
}

brolt::ExecutableType loadLauncherConfiguration(const char* path) {
    ConfigurationLoad load = loadConfiguration(path);
    if (!load.ok()) {
        // A number that cannot be read shows the system's error code first, as it always has.
        if (load.error == ConfigurationError::ReadInt || load.error == ConfigurationError::ReadShort) {
            printf("error %d\n", static_cast<int>(load.systemError));
            fflush(stdout);
        }
        // A broken stream is always shown in a box, captioned with key 1000 when it was read before the
        // break.
        char caption[kTextBufferSize];
        getStr(brolt::keys::kMessageCaption, caption, sizeof caption);
        setErrorPresentation(true, caption);
        // The service's name is not known yet: the service manager's is used when it started us.
        brolt::Failure unreadable = brolt::silentFailure();
        unreadable.detail = configurationErrorText(load.error);
        failBeforeDispatch(std::string(), unreadable);
    }
    brolt::ExecutableType type = brolt::executableTypeOf(getInt(brolt::keys::kExecutableType));
    configureErrorPresentation(type);
    return type;
}

LauncherSetup initializeLauncher() {
    LauncherSetup setup;
    setup.executableType = loadLauncherConfiguration(getModulePath());
    char kind[2];
    getStr(brolt::keys::kLauncherKind, kind, sizeof kind);
    setup.launcherKind = kind[0];
    extendSearchPath();
    enterWorkingDirectory();
    return setup;
}

int runLauncher(const char* commandTail, const brolt::JavaHost& host) {
    LauncherSetup setup = initializeLauncher();
    char configuredName[kTextBufferSize];
    getStr(brolt::keys::kServiceName, configuredName, sizeof configuredName);
    std::string serviceName = configuredName;
    ParsedCommand parsed = parseCommandTail(commandTail);
    if (parsed.hasName)
        serviceName = boundedServiceName(parsed.name);
    if (parsed.command != Command::None)
        return runCommand(parsed.command, serviceName, setup.executableType);
    return runService(setup, serviceName, host);
}
