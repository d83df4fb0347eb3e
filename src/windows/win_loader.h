// The launcher's entry: start-up, then a service management command or the service itself.
#pragma once

#include <string>

#include "config/executable_type.h"
#include "service/service_runtime.h"

enum class Command { None, Install, InstallAuto, InstallDemand, Uninstall, Stop, Start, Status };

struct ParsedCommand {
    Command command = Command::None;  // None: act as the service
    bool hasName = false;             // a service name followed the command word
    std::string name;
};

// The command line without the program name and the blanks that follow it.
const char* getCommandTail(const char* commandLine);
// Reads a command word ("-word", "/word", "--word", "/-word") and an optional service name.
ParsedCommand parseCommandTail(const char* tail);

// Puts the directories of key 10004 in front of "PATH" (process and runtime-library copies).
void extendSearchPath();
// Enters the working directory of key 146 when one is configured.
void enterWorkingDirectory();

// The service name as its 8192-byte buffer holds it: a longer name is cut (and logged).
std::string boundedServiceName(std::string name);

// Loads the configuration stream of the executable at path as start-up does: a failure ends the process
// with its message (in a box, since nothing is configured yet); then the error presentation is fixed
// from the executable type (key 107, read here once and answered) and the caption.
brolt::ExecutableType loadLauncherConfiguration(const char* path);

// What start-up fixes before dispatch.
struct LauncherSetup {
    char launcherKind = '\0';  // first character of key 2001
    brolt::ExecutableType executableType = brolt::ExecutableType::Console;
};
// Loads the configuration, fixes the error presentation and the launcher kind, extends "PATH" and
// enters the working directory.
LauncherSetup initializeLauncher();
// Start-up and dispatch; the result is the process exit code. The service path reaches Java through
// host.
int runLauncher(const char* commandTail, const brolt::JavaHost& host);
