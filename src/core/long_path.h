// Long path names: the system's GetLongPathNameA where it works, the shell's emulation elsewhere.
#pragma once

#include <windows.h>

// As GetLongPathNameA: the length of the long form, or 0 on failure. The first call decides once
// whether the system function or the emulation answers from then on.
DWORD getLongPathName(const char* source, char* destination, DWORD length);
// The shell's replacement for systems without GetLongPathNameA.
DWORD WINAPI emulateLongPathName(LPCSTR source, LPSTR destination, DWORD length);
