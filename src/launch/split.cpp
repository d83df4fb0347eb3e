#include "launch/split.h"

#include "core/ansi_text.h"

bool splitNarrowArguments(const char* text, std::vector<std::string>& list) {
    std::vector<std::wstring> arguments;
    bool closed = splitArguments(fromAnsiCodePage(text).c_str(), arguments);
    // Back through the same code page, so a character survives whenever the forward step kept it.
    for (const std::wstring& argument : arguments)
        list.push_back(toAnsiCodePage(argument));
    return closed;
}
