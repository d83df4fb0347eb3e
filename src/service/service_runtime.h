// What runs when the service control manager starts the launcher.
#pragma once

#include <windows.h>

#include <string>
#include <vector>

void WINAPI serviceMain(DWORD argc, LPSTR* argv);
void WINAPI serviceControlHandler(DWORD control);
void reportStoppedAtExit();
BOOL WINAPI ConsoleCtrlHandler(DWORD eventType);

// The launch argument list: the command line split by the launcher's rule without the program,
// then the service's start arguments (the service name first) converted from the ANSI code page.
std::vector<std::wstring> buildLaunchArguments(const wchar_t* commandLine, DWORD argc, LPSTR* argv);
