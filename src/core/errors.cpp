#include "core/errors.h"

#include <windows.h>

#include <cstdio>
#include <cstring>

#include "config/config.h"
#include "config/keys.h"
#include "core/limits.h"
#include "core/log.h"
#include "files/paths.h"

namespace {

// On until the configuration is loaded, so that a broken stream is always seen in a box.
bool messageBoxMode = true;

constexpr const char* kPlaceholder = "{0}";

}  // namespace

void switchMessageBoxModeOff() {
    messageBoxMode = false;
}

bool isMessageBoxMode() {
    return messageBoxMode;
}

void showError(const char* message) {
    char text[brolt::kTextBufferSize];
    const char* logPath = getLogPath();
    if (logPath != nullptr) {
        char longLogPath[brolt::kTextBufferSize];
        DWORD length = getLongPathName(logPath, longLogPath, sizeof longLogPath);
        if (length == 0 || length >= sizeof longLogPath)
            brolt::copyBounded(longLogPath, sizeof longLogPath, logPath);
        // snprintf cuts a text that does not fit; the log name is what gets lost first.
        snprintf(text, sizeof text, "%s\n\nLog: %s", message, longLogPath);
    } else {
        brolt::copyBounded(text, sizeof text, message);
    }

    if (messageBoxMode) {
        char caption[brolt::kTextBufferSize];
        getStr(brolt::keys::kMessageCaption, caption, sizeof caption);
        MessageBoxA(nullptr, text, caption, MB_ICONERROR);
    } else {
        fprintf(stderr, "%s\n", text);
        fflush(stderr);
    }
}

void formatMessage(char* out, unsigned size, const char* text, const char* argument) {
    const char* placeholder = argument != nullptr ? strstr(text, kPlaceholder) : nullptr;
    if (placeholder == nullptr) {
        brolt::copyBounded(out, size, text);
        return;
    }
    size_t prefixLength = static_cast<size_t>(placeholder - text);
    if (prefixLength >= size)
        prefixLength = size - 1;
    memcpy(out, text, prefixLength);
    out[prefixLength] = '\0';
    brolt::appendBounded(out, size, argument);
    brolt::appendBounded(out, size, placeholder + strlen(kPlaceholder));
}

void showMessage(int key, const char* argument) {
    char text[brolt::kTextBufferSize];
    getStr(key, text, sizeof text);
    char message[brolt::kTextBufferSize];
    formatMessage(message, sizeof message, text, argument);
    showError(message);
}

void fatalError(const char* text) {
    showError(text);
    ExitProcess(1);
}

void fatalMessage(int key, const char* argument) {
    showMessage(key, argument);
    ExitProcess(1);
}
