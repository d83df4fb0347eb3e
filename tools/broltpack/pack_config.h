// The packer's configuration file (TOML) mapped onto stream records.
//
//   [service] name = "MySvc"          readable names "table.name" from config/keys.h
//   [messages] internal_error = "..."  overrides of the default message texts
//   [include] files = ["a.txt"]        included files, relative to the configuration file
//   [include] runtime = false          leave out the Java-side runtime archive (see kRuntimeJarName)
//   [java] class_path, search          paths and words (entry_forms.h); the letter forms under
//                                      class_path_raw and search_sequence
//   [raw] 101 = "MySvc"  w20017 = "x"  numbered keys, narrow or (with "w") wide
#pragma once

#include <cstdint>
#include <filesystem>
#include <optional>
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

// Every launcher runs its application through the Java-side runtime classes, so their archive is an
// included file of every launcher (after the configured ones, under this name) unless the
// configuration says `[include] runtime = false`.
inline constexpr std::string_view kRuntimeJarName = "brolt-runtime.jar";

// Parses `tomlText`, named `tomlFile` in messages; included files are read relative to its directory.
// `runtimeJar` is the runtime archive to include; without one, none is added.
// Throws PackError with file, line and column for every problem.
StreamContent parsePackConfiguration(std::string_view tomlText, const std::filesystem::path& tomlFile,
                                     const std::optional<std::filesystem::path>& runtimeJar = std::nullopt);

// Reads and parses a configuration file.
StreamContent loadPackConfiguration(const std::filesystem::path& tomlFile,
                                    const std::optional<std::filesystem::path>& runtimeJar = std::nullopt);

}  // namespace brolt::pack
