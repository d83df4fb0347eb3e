// What a launcher process leaves in the temporary location names that process: an extraction folder
// carries a marker file, the output file of a "-version" run says it in its name. With that, a later
// start of any launcher recognises what belongs to a process that is gone, so nothing piles up in the
// temporary location while each run's VM holds its archives until its process ends. A launcher's stable
// extraction folder carries a marker of another form, naming the launcher and the processes that used
// the folder, and a manifest of the files as they were extracted.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

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

// The launcher a stable extraction folder was made for: where it is and, standing for its contents,
// its size and last write time.
struct LauncherIdentity {
    std::string modulePath;  // the launcher's full path
    uint64_t size = 0;
    uint64_t writeTime = 0;  // FILETIME units
};

// A file as the folder holds it.
struct FileStamp {
    uint64_t size = 0;
    uint64_t writeTime = 0;  // FILETIME units
};

// One manifest line: an included file as it was after its extraction.
struct ManifestEntry {
    std::string name;
    FileStamp stamp;
};

// "brolt extraction manifest" and a line "<size> <write time> <name>" per file.
std::string formatManifest(const std::vector<ManifestEntry>& entries);
// nullopt for anything that is not a whole manifest (then every file is written again).
std::optional<std::vector<ManifestEntry>> parseManifest(std::string_view text);

// A process that uses the folder: its id with its creation time, as in ExtractionOwner.
struct FolderUser {
    uint32_t processId = 0;
    uint64_t creationTime = 0;
};

// A folder's marker names the launcher it was made for and the processes that used it, the last one
// last. At most this many users are kept, the earliest dropped: a start drops those that are gone.
inline constexpr size_t kMaxFolderUsers = 64;

struct StableMarker {
    LauncherIdentity launcher;
    std::vector<FolderUser> users;
};

// "brolt stable extraction", then "module=<path>", "size=<n>", "written=<n>" and "user=<id> <created>"
// per user; numbers in decimal.
std::string formatStableMarker(const StableMarker& marker);
// nullopt for anything that is not a whole marker of a stable folder.
std::optional<StableMarker> parseStableMarker(std::string_view text);

}  // namespace brolt
