// The splitting rule applied to texts of the ANSI code page.
#pragma once

#include <string>
#include <vector>

#include "launch/split_rules.h"

// Appends the arguments of text to list, through the ANSI code page and back with the same code page.
// False on an unclosed quote (list then holds what came before).
bool splitNarrowArguments(const char* text, std::vector<std::string>& list);
