// The launcher's entry: start-up, then a service management command or the service itself.
#pragma once

#include <string>

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

// Loads the configuration stream of the executable at path as start-up does: a failure ends the process
// with its message (in a box, since nothing is configured yet); from then on errors go to standard error
// unless the executable type keeps message boxes.
void loadLauncherConfiguration(const char* path);
// Loads the configuration, fixes the launcher kind, extends "PATH" and enters the working directory.
void initializeLauncher();
// Start-up and dispatch; the result is the process exit code.
int runLauncher(const char* commandTail);
