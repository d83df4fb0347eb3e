// The marker an extraction folder carries: which launcher process made it. With it a later start of the
// same launcher recognises the folders of its own earlier runs whose process is gone, so folders do not
// pile up in the temporary location while the VM of each run holds its archives until the process ends.
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

enum class OwnerState {
    Running,  // the process named by the marker still runs
    Gone,     // no process of that id, or one created at another time, or one that has ended
    Unknown,  // it could not be told (no access to the process)
};

// A folder goes only when its marker names this launcher (the executable's path, ASCII case ignored)
// and a process that is gone.
bool isStaleExtraction(const ExtractionOwner& marker, const ExtractionOwner& self, OwnerState ownerState);

}  // namespace brolt
