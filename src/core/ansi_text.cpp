#include "core/ansi_text.h"

#include <windows.h>

std::wstring fromAnsiCodePage(std::string_view text) {
    if (text.empty())
        return {};
    int length = static_cast<int>(text.size());
    int units = MultiByteToWideChar(CP_ACP, 0, text.data(), length, nullptr, 0);
    if (units <= 0)
        return {};
    std::wstring wide(static_cast<size_t>(units), L'\0');
    MultiByteToWideChar(CP_ACP, 0, text.data(), length, wide.data(), units);
    return wide;
}

std::string toAnsiCodePage(std::wstring_view text) {
    if (text.empty())
        return {};
    int length = static_cast<int>(text.size());
    int bytes = WideCharToMultiByte(CP_ACP, 0, text.data(), length, nullptr, 0, nullptr, nullptr);
    if (bytes <= 0)
        return {};
    std::string narrow(static_cast<size_t>(bytes), '\0');
    WideCharToMultiByte(CP_ACP, 0, text.data(), length, narrow.data(), bytes, nullptr, nullptr);
    return narrow;
}
