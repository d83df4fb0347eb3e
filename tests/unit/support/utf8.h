// UTF-16 to UTF-8, for test programs that print what they read from the system.
#pragma once

#include <windows.h>

#include <string>

namespace fixture {

inline std::string utf8(const std::wstring& text) {
    int bytes = WideCharToMultiByte(CP_UTF8, 0, text.c_str(), -1, nullptr, 0, nullptr, nullptr);
    std::string out(static_cast<size_t>(bytes > 0 ? bytes : 1), '\0');
    WideCharToMultiByte(CP_UTF8, 0, text.c_str(), -1, out.data(), bytes, nullptr, nullptr);
    out.resize(bytes > 0 ? static_cast<size_t>(bytes - 1) : 0);
    return out;
}

}  // namespace fixture
