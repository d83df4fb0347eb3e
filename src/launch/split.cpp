#include "launch/split.h"

#include "config/keys.h"
#include "core/ansi_text.h"
#include "config/messages.h"

void splitCommandLine(const wchar_t* text, std::vector<std::wstring>& list) {
    if (!splitArguments(text, list))
        fatalMessage(brolt::keys::kMsgWrongParameterUsage, nullptr);
}

void splitNarrowCommandLine(const char* text, std::vector<std::string>& list) {
    std::vector<std::wstring> arguments;
    splitCommandLine(fromAnsiCodePage(text).c_str(), arguments);
    // Back through the same code page, so a character survives whenever the forward step kept it.
    for (const std::wstring& argument : arguments)
        list.push_back(toAnsiCodePage(argument));
}
