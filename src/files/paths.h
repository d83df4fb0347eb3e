// Path utilities: narrow (ANSI) paths in caller-supplied buffers of 8192 characters.
#pragma once

#include <windows.h>

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

bool isWindowsNT();
// The launcher's own path, in a form the narrow file functions can open (short name as fallback).
const char* getModulePath();
// The launcher's directory with a trailing backslash.
const char* getLauncherDirectory();
bool isRelativePath(const char* path);
// Launcher directory + path when relative, else the path; backslashes collapsed.
void resolveLauncherPath(char* destination, const char* path);
// Absolute, normalised form; lower-cased (A to Z) unless keepCase.
void getFullPath(char* destination, const char* path, bool keepCase);
void lowerCasePath(char* path);
void collapseBackslashes(char* path);
// Each ";"-separated entry resolved by resolveLauncherPath, joined by ";" (destination of size bytes).
void resolvePathList(char* destination, const char* list, size_t size = 8192);
bool fileExists(const char* path);
bool findFile(const char* path, uint64_t* lastWriteTime);
// Names (without directory) matching directory\*.ext, in the order the system delivers them.
std::vector<std::string> listFilesWithExtension(const char* directory, const char* extension);

// Conversions in the file-API code page (ANSI, or OEM when the file APIs use it).
UINT fileApiCodePage();
// Answers false when the conversion failed or did not fit.
bool narrowToWide(const char* text, wchar_t* out, int units);
// Answers false when the conversion failed, did not fit or needed the default character.
bool wideToNarrow(const wchar_t* text, char* out, int size);
