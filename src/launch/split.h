// The launcher's own command-line splitting rule: single spaces separate, ' and " group, no escapes.
#pragma once

#include <string>
#include <vector>

// Appends the arguments of text to list; an unclosed quote ends the process with message 1007.
void splitCommandLine(const wchar_t* text, std::vector<std::wstring>& list);
// Narrow form through the ANSI code page, converting back with the same code page.
void splitNarrowCommandLine(const char* text, std::vector<std::string>& list);

// The rule itself, without side effects: false on an unclosed quote (list then holds what came before).
bool splitArguments(const wchar_t* text, std::vector<std::wstring>& list);
