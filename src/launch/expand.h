// Variable expansion in configured texts (buffers of 8192 characters, changed in place).
#pragma once

// Replaces the twenty launcher variables in their fixed order, then "${name}" of every environment
// variable (as the environment block spells the name, then upper-cased). A text that would grow beyond
// its buffer is cut at the buffer's end, with a log line.
void expandVariables(char* text);
// Replaces every occurrence of pattern in text (a buffer of 8192 characters) by value; an inserted value
// is not searched for the pattern again.
void replaceAll(char* text, const char* pattern, const char* value);

// The directory the included files went to (empty when none), for the temporary-directory variables.
void setExtractionDirectory(const char* directory);
// Records the JVM home from the chosen java executable's path: its directory followed by "..".
void setJvmHome(const char* javaExePath);
// Empty until a runtime has been chosen.
const char* getJvmHome();
