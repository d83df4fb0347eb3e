// The two commands of the packer over files: pack a launcher, inspect one.
#pragma once

#include <filesystem>
#include <optional>
#include <ostream>

namespace brolt::pack {

// Writes `output`: the stub cut behind its last section (old stream and signature removed) followed by
// the stream built from `config` (with `runtimeJar` as an included file, see pack_config.h). Throws
// PackError; `output` is then left as it was.
void packLauncher(const std::filesystem::path& stub, const std::filesystem::path& config,
                  const std::filesystem::path& output,
                  const std::optional<std::filesystem::path>& runtimeJar = std::nullopt);

// Prints the machine `launcher` is built for and its stream (see printLauncherStream). Throws
// PackError for a broken or missing stream, also after printing when the end marker does not follow
// the stream.
void inspectLauncher(const std::filesystem::path& launcher, std::ostream& out);

}  // namespace brolt::pack
