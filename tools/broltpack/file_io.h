// Whole-file reads, the all-or-nothing write of the packed executable, and the packer's paths: text
// inside the packer is UTF-8, and a path is made from it (and shown from it) through UTF-16 on Windows,
// never through the ANSI code page, so that any folder name a user has works.
#pragma once

#include <cstdint>
#include <filesystem>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace brolt::pack {

// The path a UTF-8 name stands for (on Linux the bytes as they are).
std::filesystem::path pathFromUtf8(std::string_view utf8);

// The path's name as UTF-8, for messages (on Linux the bytes as they are).
std::string pathToUtf8(const std::filesystem::path& path);

// The folder of this program's file (symbolic links resolved on Linux). `argv0` is the fallback where
// the system cannot tell.
std::filesystem::path programDirectory(const char* argv0);

// The file's bytes; throws PackError naming the file and the system's reason.
std::vector<uint8_t> readWholeFile(const std::filesystem::path& path);

// Writes `bytes` to a temporary file beside `target` and renames it over `target`, so that `target` is
// either complete or untouched; the temporary file is removed on failure. `permissions` apply on Linux
// only. Throws PackError.
void writeFileAtomically(const std::filesystem::path& target, std::span<const uint8_t> bytes,
                         std::filesystem::perms permissions);

}  // namespace brolt::pack
