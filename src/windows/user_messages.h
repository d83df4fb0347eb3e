// What the user is shown: a literal text or a configured message (keys 1000 to 1021), in a message box or
// on standard error as start-up decided from the executable type, with the log file named when the
// diagnostic log is on. Only the entry shows anything; the steps below it hand failures up as values.
#pragma once

#include <string>

#include "config/executable_type.h"
#include "config/failure.h"

// Message boxes are on (without a caption) until start-up has read the configuration and fixes the
// presentation once: boxes or standard error, and the caption of every box.
void setErrorPresentation(bool messageBoxes, const char* caption);
bool isMessageBoxMode();
// Once the configuration is loaded: message boxes only for the executable types that show them, every box
// captioned with the text of key 1000.
void configureErrorPresentation(brolt::ExecutableType type);

// Shows a literal text.
void showError(const char* text);
[[noreturn]] void fatalError(const char* text);

// Shows the configured text of a message key with its first "{0}" replaced by argument (nullptr: none).
void showMessage(int key, const char* argument);
[[noreturn]] void fatalMessage(int key, const char* argument);

// A failure in words: its configured message, then its detail; empty when it has neither.
std::string failureText(const brolt::Failure& failure);
// Writes a failure's message to the log and shows it (a failure without a message shows nothing).
void showFailure(const brolt::Failure& failure);
