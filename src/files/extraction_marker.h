// What a launcher process leaves in the temporary location names that process: an extraction folder
// carries a marker file, the output file of a "-version" run says it in its name. With that, a later
// start of any launcher recognises what belongs to a process that is gone, so nothing piles up in the
// temporary location while each run's VM holds its archives until its process ends.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace brolt {

// The marker's file name inside the extraction folder; no archive kind, so it never lands on the class
// path.
inline constexpr std::string_view kExtractionMarkerName = "brolt-extraction.owner";

// A launcher process: its executable, and its process id with the process's creation time, since a
// process id alone is given to another process once its owner has ended.
struct ExtractionOwner {
    std::string modulePath;
    uint32_t processId = 0;
    uint64_t creationTime = 0;  // FILETIME units
};

std::string formatExtractionMarker(const ExtractionOwner& owner);
// nullopt for anything that is not a whole marker (a foreign file, one still being written).
std::optional<ExtractionOwner> parseExtractionMarker(std::string_view text);

// The name of a "-version" run's output file: "brt_v<process id>_<creation time, hex>_<sequence>.tmp",
// numbers without leading zeros. It shares "brt" and ".tmp" with the launcher's other temporary files;
// the sequence tells apart the files of one process.
std::string formatVersionOutputName(const ExtractionOwner& owner, uint32_t sequence);
// The owner (without module path) a file name of that form names, ASCII case ignored; nullopt for any
// other name, so files that are not ours by name are never taken for ours.
std::optional<ExtractionOwner> parseVersionOutputName(std::string_view name);

enum class OwnerState {
    Running,  // the process named by the marker still runs
    Gone,     // no process of that id, or one created at another time, or one that has ended
    Unknown,  // it could not be told (no access to the process)
};

}  // namespace brolt
