// Putting an argument into a configured message text.
#pragma once

#include <cstddef>

// The text with its first "{0}" replaced by argument (nullptr: none), cut to size.
void formatMessage(char* out, size_t size, const char* text, const char* argument);
