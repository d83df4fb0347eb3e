// Variable expansion in configured texts (buffers of 8192 characters, changed in place).
#pragma once

void expandVariables(char* text);
void replaceAll(char* text, const char* pattern, const char* value);

// The JVM home: the chosen java executable's directory followed by "..".
void setJvmHome(const char* javaExeDirectory);
const char* getJvmHome();
