// Configured message texts: keys 1000 to 1021, shown through the error reporting.
#pragma once

// Shows the configured text of a message key with its first "{0}" replaced by argument (nullptr: none).
void showMessage(int key, const char* argument);
[[noreturn]] void fatalMessage(int key, const char* argument);

// Once the configuration is loaded: message boxes only for executable types 1 and 5, every box
// captioned with the text of key 1000.
void configureErrorPresentation();
