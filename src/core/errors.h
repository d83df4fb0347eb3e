// Error reporting: a message box or standard error, as start-up decided from the executable type.
#pragma once

#include <cstddef>

// Shows a literal text, with the log file named when the diagnostic log is on.
void showError(const char* text);
[[noreturn]] void fatalError(const char* text);

// Message boxes are on (without a caption) until start-up has read the configuration and fixes the
// presentation once: boxes or standard error, and the caption of every box.
void setErrorPresentation(bool messageBoxes, const char* caption);
bool isMessageBoxMode();

// The text with its first "{0}" replaced by argument (nullptr: none), cut to size.
void formatMessage(char* out, size_t size, const char* text, const char* argument);
