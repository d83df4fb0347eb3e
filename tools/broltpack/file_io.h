// Whole-file reads and the all-or-nothing write of the packed executable.
#pragma once

#include <cstdint>
#include <filesystem>
#include <span>
#include <vector>

namespace brolt::pack {

// The file's bytes; throws PackError naming the file and the system's reason.
std::vector<uint8_t> readWholeFile(const std::filesystem::path& path);

// Writes `bytes` to a temporary file beside `target` and renames it over `target`, so that `target` is
// either complete or untouched; the temporary file is removed on failure. Throws PackError.
void writeFileAtomically(const std::filesystem::path& target, std::span<const uint8_t> bytes,
                         std::filesystem::perms permissions);

}  // namespace brolt::pack
