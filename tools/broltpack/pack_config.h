// The packer's configuration file (TOML) mapped onto stream records.
//
//   [service] name = "MySvc"          readable names "table.name" from config/keys.h
//   [messages] internal_error = "..."  overrides of the default message texts
//   [include] files = ["a.txt"]        included files, relative to the configuration file
//   [raw] 101 = "MySvc"  w20017 = "x"  numbered keys, narrow or (with "w") wide
#pragma once

#include <cstdint>
#include <filesystem>
#include <span>
#include <string>
#include <string_view>

#include "stream_writer.h"

namespace brolt::pack {

// The message texts written when the configuration does not set them.
struct DefaultMessage {
    int32_t key;
    std::string_view text;
};
std::span<const DefaultMessage> defaultMessages();

// Parses `tomlText`, named `tomlFile` in messages; included files are read relative to its directory.
// Throws PackError with file, line and column for every problem.
StreamContent parsePackConfiguration(std::string_view tomlText, const std::filesystem::path& tomlFile);

// Reads and parses a configuration file.
StreamContent loadPackConfiguration(const std::filesystem::path& tomlFile);

}  // namespace brolt::pack
