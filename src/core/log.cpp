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

bool logOpened = false;
FILE* logStream = nullptr;
char logPath[brolt::kTextBufferSize];
bool haveLogPath = false;

bool variableIsYes(const char* name) {
    char value[brolt::kTextBufferSize];
    DWORD length = GetEnvironmentVariableA(name, value, sizeof value);
    return length > 0 && length < sizeof value && strcmp(value, "yes") == 0;
}

void openLog() {
    if (logOpened)
        return;
    logOpened = true;
    if (!variableIsYes("BROLT_LOG") && !variableIsYes("QUENDRIAL_LOG"))
        return;

    // _tempnam prefers the directory named by TMP and falls back to the one given here.
    char* name = _tempnam("c:\\", "qdl_nlog_");
    if (name != nullptr) {
        brolt::copyBounded(logPath, sizeof logPath, name);
        haveLogPath = true;
        free(name);
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
