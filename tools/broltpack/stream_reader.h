// Reads the configuration stream and the included-files section back from a launcher executable with
// the launcher's own reader, refusing broken input with a message that says where it broke.
#pragma once

#include <cstdint>
#include <optional>
#include <ostream>
#include <span>
#include <string>
#include <vector>

#include "config/stream_reader.h"

namespace brolt::pack {

using NarrowRecord = brolt::stream::NarrowRecord;  // value: code page 1252 bytes as stored
using WideRecord = brolt::stream::WideRecord;

// name: from key 2003, code page 1252; size: as stored, 0 or less an empty entry, as for the launcher.
using IncludedEntry = brolt::stream::IncludedFile;

struct LauncherStream {
    uint64_t start = 0;                // offset of the magic
    std::vector<NarrowRecord> narrow;  // in file order, duplicates kept
    std::vector<WideRecord> wide;
    uint64_t configurationEnd = 0;  // behind the last wide record: where included files begin
    std::vector<IncludedEntry> files;
    uint64_t end = 0;                   // behind the last included file
    std::optional<uint64_t> endMarker;  // offset of the end marker when it follows at `end`
    uint64_t fileSize = 0;
};

// Throws PackError naming `name` for a file that is not an executable, has no stream (bad magic), or
// whose stream is cut short or holds impossible lengths.
LauncherStream readLauncherStream(std::span<const uint8_t> file, const std::string& name);

// The unscrambled bytes of one included file.
std::vector<uint8_t> includedFileContent(std::span<const uint8_t> file, const IncludedEntry& entry);

// The listing of `broltpack inspect`: every record with its readable name, the included files and where
// the stream ends.
void printLauncherStream(const LauncherStream& stream, std::ostream& out);

}  // namespace brolt::pack
