// Builds launcher-like files for tests: a copy of a real PE file cut behind its last section,
// followed by a configuration stream. The cut is computed from the image headers with the
// system's own structures, independently of the launcher's reader.
#pragma once

#include <windows.h>

#include <cstdint>
#include <string>

#include "stream_bytes.h"

namespace fixture {

inline std::string readFile(const std::string& path) {
    std::string data;
    HANDLE file = CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                              OPEN_EXISTING, 0, nullptr);
    if (file == INVALID_HANDLE_VALUE)
        return data;
    char buffer[65536];
    DWORD got = 0;
    while (ReadFile(file, buffer, sizeof buffer, &got, nullptr) && got > 0)
        data.append(buffer, got);
    CloseHandle(file);
    return data;
}

inline bool writeFile(const std::string& path, const std::string& data) {
    HANDLE file =
        CreateFileA(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE)
        return false;
    DWORD written = 0;
    bool ok = WriteFile(file, data.data(), static_cast<DWORD>(data.size()), &written, nullptr) &&
              written == data.size();
    CloseHandle(file);
    return ok;
}

struct ImageLayout {
    int sections = 0;
    int optionalHeaderSize = 0;
    uint32_t endOfLastSection = 0;  // where a stream starts
};

inline ImageLayout imageLayout(const std::string& image) {
    ImageLayout layout;
    auto dos = reinterpret_cast<const IMAGE_DOS_HEADER*>(image.data());
    auto nt = reinterpret_cast<const IMAGE_NT_HEADERS32*>(image.data() + dos->e_lfanew);
    layout.sections = nt->FileHeader.NumberOfSections;
    layout.optionalHeaderSize = nt->FileHeader.SizeOfOptionalHeader;
    auto sections = reinterpret_cast<const IMAGE_SECTION_HEADER*>(
        reinterpret_cast<const char*>(&nt->OptionalHeader) + nt->FileHeader.SizeOfOptionalHeader);
    const IMAGE_SECTION_HEADER& last = sections[layout.sections - 1];
    layout.endOfLastSection = last.PointerToRawData + last.SizeOfRawData;
    return layout;
}

// Writes stub (cut behind its last section) + stream + tail to path; answers the stream's offset.
inline uint32_t writeLauncher(const std::string& stubPath, const std::string& path, const std::string& stream,
                              const std::string& tail = "") {
    std::string image = readFile(stubPath);
    ImageLayout layout = imageLayout(image);
    image.resize(layout.endOfLastSection);
    writeFile(path, image + stream + tail);
    return layout.endOfLastSection;
}

inline std::string ownPath() {
    char path[MAX_PATH];
    GetModuleFileNameA(nullptr, path, MAX_PATH);
    return path;
}

// The directory the test binary runs from, with a trailing backslash.
inline std::string ownDirectory() {
    std::string path = ownPath();
    return path.substr(0, path.find_last_of('\\') + 1);
}

}  // namespace fixture
