// What the doubles share: files beside their own executable or library, read and appended whole.
#pragma once

#include <windows.h>

#include <string>

namespace doubles {

// Long enough for any path the file functions accept.
constexpr DWORD kModulePathUnits = 32768;

// The module's own path; empty when it cannot be had.
inline std::string modulePath(HMODULE module) {
    std::string path(kModulePathUnits, '\0');
    DWORD length = GetModuleFileNameA(module, path.data(), kModulePathUnits);
    path.resize(length < kModulePathUnits ? length : 0);
    return path;
}

inline std::string besideModule(HMODULE module, const char* name) {
    std::string path = modulePath(module);
    return path.substr(0, path.find_last_of('\\') + 1) + name;
}

inline bool readWholeFile(const std::string& path, std::string& contents) {
    HANDLE file = CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                              OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE)
        return false;
    contents.clear();
    char buffer[4096];
    DWORD read = 0;
    bool ok = true;
    while ((ok = ReadFile(file, buffer, sizeof buffer, &read, nullptr)) && read > 0)
        contents.append(buffer, read);
    CloseHandle(file);
    return ok;
}

inline bool writeAll(HANDLE file, const std::string& text) {
    DWORD written = 0;
    return text.empty() ||
           (WriteFile(file, text.data(), static_cast<DWORD>(text.size()), &written, nullptr) &&
            written == text.size());
}

// One line per call, written in one piece so that runs side by side do not interleave.
inline void appendLine(const std::string& path, const std::string& line) {
    HANDLE file = CreateFileA(path.c_str(), FILE_APPEND_DATA, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                              OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE)
        return;
    writeAll(file, line + "\r\n");
    CloseHandle(file);
}

}  // namespace doubles
