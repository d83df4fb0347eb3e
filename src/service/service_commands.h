// Service management from the console: each command prints its outcome and returns the exit code.
#pragma once

#include <windows.h>

#include <string>

int installCommand(DWORD startType);
int uninstallCommand(bool verbose);
int stopCommand(bool verbose);
int startCommand();
int statusCommand();
bool waitWhileStopPending(SC_HANDLE service);
// Key 149 as a double-zero-terminated list; empty when key 149 is empty.
std::string buildDependencyList();
