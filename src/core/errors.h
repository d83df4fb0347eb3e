// Error reporting: a message box or standard error, depending on the executable type.
#pragma once

// Shows a literal text, with the log file named when the diagnostic log is on.
void showError(const char* text);
// Shows the configured text of a message key with "{0}" replaced by argument (nullptr: none).
void showMessage(int key, const char* argument);
[[noreturn]] void fatalError(const char* text);
[[noreturn]] void fatalMessage(int key, const char* argument);

// Message boxes are on until the configuration says the executable type is neither 1 nor 5.
void switchMessageBoxModeOff();
bool isMessageBoxMode();

// Builds the text showMessage shows: the first "{0}" replaced by argument, cut to size.
void formatMessage(char* out, unsigned size, const char* text, const char* argument);
