#include "windows/user_messages.h"

#include <windows.h>

#include <cstdio>

#include "config/config.h"
#include "config/executable_type.h"
#include "config/keys.h"
#include "core/limits.h"
#include "core/log.h"
#include "core/long_path.h"
#include "core/message_format.h"

namespace {

// On until the configuration is loaded, so that a broken stream is always seen in a box.
bool messageBoxMode = true;
char messageCaption[brolt::kTextBufferSize] = "";

void formatConfigured(char* message, size_t size, int key, const char* argument) {
    char text[brolt::kTextBufferSize];
    getStr(key, text, sizeof text);
    formatMessage(message, size, text, argument);
}

}  // namespace

void setErrorPresentation(bool messageBoxes, const char* caption) {
    messageBoxMode = messageBoxes;
    brolt::copyBounded(messageCaption, sizeof messageCaption, caption);
}

bool isMessageBoxMode() {
    return messageBoxMode;
}

void configureErrorPresentation(brolt::ExecutableType type) {
    char caption[brolt::kTextBufferSize];
    getStr(brolt::keys::kMessageCaption, caption, sizeof caption);
    setErrorPresentation(brolt::showsMessageBoxes(type), caption);
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

void fatalError(const char* text) {
    showError(text);
    ExitProcess(1);
}

void showMessage(int key, const char* argument) {
    char message[brolt::kTextBufferSize];
    formatConfigured(message, sizeof message, key, argument);
    showError(message);
}

void fatalMessage(int key, const char* argument) {
    showMessage(key, argument);
    ExitProcess(1);
}

std::string failureText(const brolt::Failure& failure) {
    std::string text;
    if (failure.messageKey != 0) {
        const char* argument = failure.argument ? failure.argument->c_str() : nullptr;
        char message[brolt::kTextBufferSize];
        formatConfigured(message, sizeof message, failure.messageKey, argument);
        text = message;
    }
    if (!failure.detail.empty())
        text += (text.empty() ? "" : "\n") + failure.detail;
    return text;
}

void showFailure(const brolt::Failure& failure) {
    if (failure.messageKey == 0)
        return;
    std::string message = failureText(failure);
    logError("%s", message.c_str());
    showError(message.c_str());
}
