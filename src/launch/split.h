// The splitting rule applied to texts of the ANSI code page.
#pragma once

#include <string>
#include <vector>

#include "launch/split_rules.h"

// Appends the arguments of text to list; an unclosed quote ends the process with message 1007.
void splitCommandLine(const wchar_t* text, std::vector<std::wstring>& list);
// Narrow form through the ANSI code page, converting back with the same code page.
void splitNarrowCommandLine(const char* text, std::vector<std::string>& list);
