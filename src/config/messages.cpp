#include "config/messages.h"

#include <windows.h>

#include "config/config.h"
#include "config/keys.h"
#include "core/errors.h"
#include "core/limits.h"

void showMessage(int key, const char* argument) {
    char text[brolt::kTextBufferSize];
    getStr(key, text, sizeof text);
    char message[brolt::kTextBufferSize];
    formatMessage(message, sizeof message, text, argument);
    showError(message);
}

void fatalMessage(int key, const char* argument) {
    showMessage(key, argument);
    ExitProcess(1);
}

void configureErrorPresentation() {
    int executableType = getInt(brolt::keys::kExecutableType);
    char caption[brolt::kTextBufferSize];
    getStr(brolt::keys::kMessageCaption, caption, sizeof caption);
    setErrorPresentation(executableType == 1 || executableType == 5, caption);
}
