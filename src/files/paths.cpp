#include "files/paths.h"

#include <windows.h>

#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "core/limits.h"
#include "core/log.h"
#include "core/split_list.h"
#include "core/unique_resource.h"

namespace {

using brolt::kTextBufferSize;
using brolt::kWideBufferUnits;

char modulePath[kTextBufferSize];
bool modulePathCached = false;
char launcherDirectory[kTextBufferSize];
bool launcherDirectoryCached = false;

bool endsWithExe(const char* path) {
    size_t length = strlen(path);
    return length > 3 && _stricmp(path + length - 4, ".exe") == 0;
}

// A module name is usable when the narrow file functions can open it under that name.
bool acceptModuleName(const wchar_t* wideName) {
    char narrow[kTextBufferSize];
    if (!wideToNarrow(wideName, narrow, sizeof narrow) || !endsWithExe(narrow))
        return false;
    brolt::copyBounded(modulePath, sizeof modulePath, narrow);
    return true;
}

// A length answer of a call that fills a buffer of capacity units: 0 is a failure, capacity or more a
// result that did not fit. Either is logged with the call's name.
bool filled(const char* call, DWORD length, DWORD capacity) {
    if (length > 0 && length < capacity)
        return true;
    logError("%s failed: %lu (length %lu)", call, length == 0 ? GetLastError() : ERROR_INSUFFICIENT_BUFFER,
             length);
    return false;
}

void computeModulePath() {
    if (!isWindowsNT()) {
        if (!filled("GetModuleFileNameA", GetModuleFileNameA(nullptr, modulePath, sizeof modulePath),
                    sizeof modulePath)) {
            modulePath[0] = '\0';
        }
        return;
    }
    wchar_t wideName[kWideBufferUnits];
    if (filled("GetModuleFileNameW", GetModuleFileNameW(nullptr, wideName, kWideBufferUnits),
               kWideBufferUnits)) {
        if (acceptModuleName(wideName))
            return;
        // A name the ANSI code page cannot hold is still reachable through its 8.3 form.
        wchar_t shortName[kWideBufferUnits];
        if (filled("GetShortPathNameW", GetShortPathNameW(wideName, shortName, kWideBufferUnits),
                   kWideBufferUnits) &&
            acceptModuleName(shortName)) {
            return;
        }
    }
    char scratch[kTextBufferSize];
    if (!filled("GetModuleFileNameA", GetModuleFileNameA(nullptr, scratch, sizeof scratch), sizeof scratch))
        scratch[0] = '\0';
    if (!filled("GetShortPathNameA", GetShortPathNameA(scratch, modulePath, sizeof modulePath),
                sizeof modulePath)) {
        modulePath[0] = '\0';
    }
}

// A search that finds nothing is an answer; anything else that stops it is logged.
void logFindFailure(const char* pattern) {
    DWORD error = GetLastError();
    if (error != ERROR_FILE_NOT_FOUND && error != ERROR_PATH_NOT_FOUND && error != ERROR_NO_MORE_FILES)
        logError("FindFirstFileA %s failed: %lu", pattern, error);
}

bool isBackslash(wchar_t c) {
    return c == L'\\';
}

// Narrow text in, UTF-16 edited in place by change, narrow text back only when lossless.
template <typename Change>
void editAsWide(char* path, Change change) {
    wchar_t wide[kWideBufferUnits];
    if (!narrowToWide(path, wide, kWideBufferUnits))
        return;
    change(wide);
    char narrow[kTextBufferSize];
    if (wideToNarrow(wide, narrow, sizeof narrow))
        brolt::copyBounded(path, kTextBufferSize, narrow);
}

}  // namespace

bool isWindowsNT() {
    OSVERSIONINFOA version{};
    version.dwOSVersionInfoSize = sizeof version;  // 148 bytes
    if (!GetVersionExA(&version)) {
        logError("GetVersionExA failed: %lu", GetLastError());
        return false;
    }
    return version.dwPlatformId == VER_PLATFORM_WIN32_NT;
}

UINT fileApiCodePage() {
    return AreFileApisANSI() ? CP_ACP : CP_OEMCP;
}

bool narrowToWide(const char* text, wchar_t* out, int units) {
    if (MultiByteToWideChar(fileApiCodePage(), 0, text, -1, out, units) != 0)
        return true;
    logError("MultiByteToWideChar %s failed: %lu", text, GetLastError());
    return false;
}

bool wideToNarrow(const wchar_t* text, char* out, int size) {
    BOOL usedDefault = FALSE;
    int written = WideCharToMultiByte(fileApiCodePage(), 0, text, -1, out, size, "?", &usedDefault);
    if (written == 0) {
        logError("WideCharToMultiByte failed: %lu", GetLastError());
        return false;
    }
    return !usedDefault;  // a lossy result is an answer, not a failure
}

const char* getModulePath() {
    if (!modulePathCached) {
        computeModulePath();
        collapseBackslashes(modulePath);
        modulePathCached = true;
    }
    return modulePath;
}

const char* getLauncherDirectory() {
    if (!launcherDirectoryCached) {
        char* filePart = nullptr;
        DWORD length =
            GetFullPathNameA(getModulePath(), sizeof launcherDirectory, launcherDirectory, &filePart);
        if (!filled("GetFullPathNameA", length, sizeof launcherDirectory)) {
            launcherDirectory[0] = '\0';
        } else if (filePart != nullptr) {
            *filePart = '\0';
        }
        launcherDirectoryCached = true;
    }
    return launcherDirectory;
}

bool isRelativePath(const char* path) {
    size_t n = strlen(path);
    if (n <= 2)
        return true;
    if (path[0] == '"') {
        if (n <= 3)
            return true;
        return !((path[2] == ':' && path[3] == '\\') || (path[1] == '\\' && path[2] == '\\'));
    }
    return !((path[1] == ':' && path[2] == '\\') || (path[0] == '\\' && path[1] == '\\'));
}

void resolveLauncherPath(char* destination, const char* path) {
    destination[0] = '\0';
    if (isRelativePath(path))
        brolt::copyBounded(destination, kTextBufferSize, getLauncherDirectory());
    if (!brolt::appendBounded(destination, kTextBufferSize, path)) {
        logError("path cut to %u characters: %s", static_cast<unsigned>(kTextBufferSize - 1), destination);
    }
    collapseBackslashes(destination);
}

void getFullPath(char* destination, const char* path, bool keepCase) {
    char resolved[kTextBufferSize];
    resolveLauncherPath(resolved, path);
    DWORD length = GetFullPathNameA(resolved, kTextBufferSize, destination, nullptr);
    if (!filled("GetFullPathNameA", length, kTextBufferSize))
        brolt::copyBounded(destination, kTextBufferSize, resolved);
    if (!keepCase)
        lowerCasePath(destination);
    collapseBackslashes(destination);
}

void lowerCasePath(char* path) {
    editAsWide(path, [](wchar_t* wide) {
        for (wchar_t* c = wide; *c != L'\0'; ++c) {
            if (*c >= L'A' && *c <= L'Z')
                *c = static_cast<wchar_t>(*c - L'A' + L'a');
        }
    });
}

void collapseBackslashes(char* path) {
    editAsWide(path, [](wchar_t* wide) {
        if (wide[0] == L'\0')
            return;
        // The first two characters are never merged, so a UNC prefix survives.
        size_t j = 0;
        for (size_t i = 1; wide[i] != L'\0'; ++i) {
            if (!(j > 0 && isBackslash(wide[j]) && isBackslash(wide[i])))
                ++j;
            wide[j] = wide[i];
        }
        wide[j + 1] = L'\0';
    });
}

void resolvePathList(char* destination, const char* list, size_t size) {
    destination[0] = '\0';
    char scratch[kTextBufferSize];
    brolt::copyBounded(scratch, sizeof scratch, list);
    bool first = true;
    bool complete = true;
    for (std::string_view entry : brolt::splitList(scratch, ';', brolt::EmptyPieces::Skip)) {
        char resolved[kTextBufferSize];
        resolveLauncherPath(resolved, std::string(entry).c_str());
        if (!first)
            complete = brolt::appendBounded(destination, size, ";") && complete;
        complete = brolt::appendBounded(destination, size, resolved) && complete;
        first = false;
    }
    if (!complete)
        logError("path list cut to %u characters", static_cast<unsigned>(size - 1));
}

bool fileExists(const char* path) {
    size_t n = strlen(path);
    if (n >= 2) {
        const char* rest = path + 1;
        // A drive root in one of its three forms exists without asking the disk.
        if (strcmp(rest, ":\\") == 0 || strcmp(rest, ":\\.") == 0 || strcmp(rest, ":\\.\\.") == 0)
            return true;
    }
    return findFile(path, nullptr);
}

bool findFile(const char* path, uint64_t* lastWriteTime) {
    WIN32_FIND_DATAA entry;
    brolt::UniqueFind search(FindFirstFileA(path, &entry));
    if (!search) {
        logFindFailure(path);
        return false;
    }
    if (lastWriteTime != nullptr) {
        *lastWriteTime =
            (uint64_t{entry.ftLastWriteTime.dwHighDateTime} << 32) | entry.ftLastWriteTime.dwLowDateTime;
    }
    return true;
}

std::vector<std::string> listFilesWithExtension(const char* directory, const char* extension) {
    std::string pattern = std::string(directory) + "\\*" + (extension[0] == '.' ? "" : ".") + extension;
    std::vector<std::string> names;
    WIN32_FIND_DATAA entry;
    brolt::UniqueFind search(FindFirstFileA(pattern.c_str(), &entry));
    if (!search) {
        logFindFailure(pattern.c_str());
        return names;
    }
    do {
        names.push_back(entry.cFileName);
    } while (FindNextFileA(search.get(), &entry));
    if (DWORD error = GetLastError(); error != ERROR_NO_MORE_FILES)
        logError("FindNextFileA %s failed: %lu", pattern.c_str(), error);
    return names;
}
