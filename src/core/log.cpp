#include "core/log.h"

#include <windows.h>

#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>

#include "core/limits.h"

namespace {

// The fixed name used when no fresh temporary name can be had.
constexpr const char* kFallbackLogPath = "c:\\qdl_nlog";

// Suffixes tried before giving up on a fresh name and falling back to the fixed one.
constexpr unsigned kNameAttempts = 1000;

bool logOpened = false;
FILE* logStream = nullptr;
char logPath[brolt::kTextBufferSize];
bool haveLogPath = false;

bool variableIsYes(const char* name) {
    char value[brolt::kTextBufferSize];
    DWORD length = GetEnvironmentVariableA(name, value, sizeof value);
    return length > 0 && length < sizeof value && strcmp(value, "yes") == 0;
}

bool isDirectory(const char* path) {
    DWORD attributes = GetFileAttributesA(path);
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
}

// A name not yet in use, "qdl_nlog_" followed by a unique suffix, in the directory named by TMP
// when that is an existing directory, otherwise in "c:\". (The runtime library's _tempnam would
// keep only the first three letters of the prefix on some systems.)
bool makeLogFileName(char* name, size_t size) {
    const char* tmp = getenv("TMP");
    const char* directory = tmp != nullptr && tmp[0] != '\0' && isDirectory(tmp) ? tmp : "c:\\";
    size_t length = strlen(directory);
    const char* separator = length > 0 && directory[length - 1] != '\\' ? "\\" : "";
    unsigned processId = static_cast<unsigned>(GetCurrentProcessId());
    for (unsigned attempt = 0; attempt < kNameAttempts; ++attempt) {
        int written = snprintf(name, size, "%s%sqdl_nlog_%x%u", directory, separator, processId, attempt);
        if (written < 0 || static_cast<size_t>(written) >= size)
            return false;
        if (GetFileAttributesA(name) == INVALID_FILE_ATTRIBUTES)
            return true;
    }
    return false;
}

void openLog() {
    if (logOpened)
        return;
    logOpened = true;
    if (!variableIsYes("BROLT_LOG") && !variableIsYes("QUENDRIAL_LOG"))
        return;

    if (makeLogFileName(logPath, sizeof logPath)) {
        haveLogPath = true;
        logStream = fopen(logPath, "w");
    }
    if (logStream == nullptr) {
        brolt::copyBounded(logPath, sizeof logPath, kFallbackLogPath);
        haveLogPath = true;
        logStream = fopen(logPath, "w");
        if (logStream == nullptr)
            return;
    }

    char executable[brolt::kTextBufferSize];
    DWORD length = GetModuleFileNameA(nullptr, executable, sizeof executable);
    if (length == 0 || length >= sizeof executable)
        executable[0] = '\0';
    time_t now = time(nullptr);
    // ctime ends with its own line end, so the header is followed by an empty line.
    fprintf(logStream, "Started executable %s at %s\n", executable, ctime(&now));
    fflush(logStream);
}

void writeLine(const char* prefix, const char* format, va_list arguments) {
    openLog();
    if (logStream == nullptr)
        return;
    fputs(prefix, logStream);
    vfprintf(logStream, format, arguments);
    fputs("\n", logStream);
    fflush(logStream);
}

}  // namespace

void logInfo(const char* format, ...) {
    va_list arguments;
    va_start(arguments, format);
    writeLine("", format, arguments);
    va_end(arguments);
}

void logError(const char* format, ...) {
    va_list arguments;
    va_start(arguments, format);
    writeLine("ERROR: ", format, arguments);
    va_end(arguments);
}

const char* getLogPath() {
    return haveLogPath ? logPath : nullptr;
}
