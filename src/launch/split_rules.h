// The launcher's own command-line splitting rule: single spaces separate, ' and " group, no escapes.
#pragma once

#include <string>
#include <vector>

// The rule itself, without side effects: false on an unclosed quote (list then holds what came before).
bool splitArguments(const wchar_t* text, std::vector<std::wstring>& list);
