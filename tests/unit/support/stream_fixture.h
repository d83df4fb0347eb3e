// Launcher-shaped files for unit tests: a minimal executable header whose last section ends where a
// configuration stream begins, the stream's records, included files and the end marker.
#pragma once

#include <windows.h>

#include <cstdint>
#include <cstdio>
#include <map>
#include <string>
#include <vector>

#include "config/stream_format.h"

namespace brolt::test {

// Just the header fields the configuration reader walks: the PE offset, one section and that
// section's raw data, which ends at kStreamOffset.
inline constexpr uint32_t kStreamOffset = 0x400;

struct StreamFixture {
    std::map<int32_t, std::string> values;
    std::map<int32_t, std::wstring> wideValues;
    std::vector<std::string> includedFiles;  // plain contents, scrambled on writing

    // Offsets of each included file's size field, and of the byte behind the last one (the end marker).
    std::vector<uint32_t> entryOffsets;
    uint32_t entriesEnd = 0;

    std::string bytes() {
        std::string out(kStreamOffset, '\0');
        auto put32At = [&out](size_t offset, uint32_t value) { memcpy(&out[offset], &value, sizeof value); };
        out[0] = 'M';
        out[1] = 'Z';
        constexpr uint32_t kPeOffset = 0x80;
        put32At(stream::kPeOffsetField, kPeOffset);
        memcpy(&out[kPeOffset], "PE\0\0", 4);
        out[kPeOffset + stream::kSectionCountOffset] = 1;  // optional header size stays 0
        size_t section = kPeOffset + stream::kSectionTableOffset;
        put32At(section + stream::kRawDataSizeOffset, kStreamOffset - 0x200);
        put32At(section + stream::kRawDataPointerOffset, 0x200);

        auto put32 = [&out](uint32_t value) { out.append(reinterpret_cast<const char*>(&value), sizeof value); };
        put32(stream::kMagic);
        put32(static_cast<uint32_t>(values.size()));
        for (const auto& [key, value] : values) {
            put32(static_cast<uint32_t>(key));
            put32(static_cast<uint32_t>(value.size()));
            out += value;
        }
        put32(static_cast<uint32_t>(wideValues.size()));
        for (const auto& [key, value] : wideValues) {
            put32(static_cast<uint32_t>(key));
            put32(static_cast<uint32_t>(value.size() * 2));
            out.append(reinterpret_cast<const char*>(value.data()), value.size() * 2);
        }
        entryOffsets.clear();
        for (const std::string& content : includedFiles) {
            entryOffsets.push_back(static_cast<uint32_t>(out.size()));
            int64_t size = static_cast<int64_t>(content.size());
            out.append(reinterpret_cast<const char*>(&size), sizeof size);
            for (char c : content) out += static_cast<char>(c ^ stream::kScrambleValue);
        }
        entriesEnd = static_cast<uint32_t>(out.size());
        out.append(reinterpret_cast<const char*>(stream::kEndMarker), sizeof stream::kEndMarker);
        out.resize((out.size() + stream::kPadding - 1) / stream::kPadding * stream::kPadding, '\0');
        return out;
    }

    bool write(const std::string& path);
};

inline std::string readWholeFile(const std::string& path) {
    std::string content;
    FILE* file = fopen(path.c_str(), "rb");
    if (file == nullptr) return content;
    char chunk[4096];
    size_t count;
    while ((count = fread(chunk, 1, sizeof chunk, file)) > 0) content.append(chunk, count);
    fclose(file);
    return content;
}

inline bool writeWholeFile(const std::string& path, const std::string& content) {
    FILE* file = fopen(path.c_str(), "wb");
    if (file == nullptr) return false;
    bool written = fwrite(content.data(), 1, content.size(), file) == content.size();
    return fclose(file) == 0 && written;
}

inline bool StreamFixture::write(const std::string& path) {
    return writeWholeFile(path, bytes());
}

inline void removeTree(const std::string& directory) {
    WIN32_FIND_DATAA entry;
    HANDLE search = FindFirstFileA((directory + "\\*").c_str(), &entry);
    if (search != INVALID_HANDLE_VALUE) {
        do {
            std::string name = entry.cFileName;
            if (name == "." || name == "..") continue;
            std::string path = directory + "\\" + name;
            if (entry.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
                removeTree(path);
            } else {
                DeleteFileA(path.c_str());
            }
        } while (FindNextFileA(search, &entry));
        FindClose(search);
    }
    RemoveDirectoryA(directory.c_str());
}

}  // namespace brolt::test
