#include "core/errors.h"

#include <windows.h>

#include <cstdio>
#include <cstring>

#include "core/limits.h"
#include "core/log.h"
#include "core/long_path.h"

namespace {

// On until the configuration is loaded, so that a broken stream is always seen in a box.
bool messageBoxMode = true;
char messageCaption[brolt::kTextBufferSize] = "";

constexpr const char* kPlaceholder = "{0}";

}  // namespace

void setErrorPresentation(bool messageBoxes, const char* caption) {
    messageBoxMode = messageBoxes;
    brolt::copyBounded(messageCaption, sizeof messageCaption, caption);
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
        MessageBoxA(nullptr, text, messageCaption, MB_ICONERROR);
    } else {
        fprintf(stderr, "%s\n", text);
        fflush(stderr);
    }
}

void formatMessage(char* out, size_t size, const char* text, const char* argument) {
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

void fatalError(const char* text) {
    showError(text);
    ExitProcess(1);
}
