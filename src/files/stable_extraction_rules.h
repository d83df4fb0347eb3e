// The decisions behind a launcher's stable extraction folder, apart from the calls that carry them out:
// the folder's name, which files a start writes again or removes, and whether a sweep removes the
// folder. Its manifest and marker are written and read in files/extraction_marker.
//
// One folder per launcher file and contents, reused by every start while both stay the same, so the
// class path the VM sees is the same at every start. A launcher's contents are told by its size and last
// write time: every writer that changes a file sets its write time, the packer included, and the two
// are had without reading the file (the sweep judges other launchers' folders by them).
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "files/extraction_marker.h"

namespace brolt {

// "brt_s<16 lower-case hex digits>.tmp": a 64-bit FNV-1a hash of the path (ASCII case folded, as the
// system compares paths) and the two numbers. It shares "brt" and ".tmp" with the launcher's other
// temporary files.
std::string stableFolderName(const LauncherIdentity& launcher);

// Files of the folder that are not included files: the manifest, the lock held around the check and
// the extraction, and the suffix of a file being written before it is renamed over its target. None has
// an archive kind, so none lands on the class path.
inline constexpr std::string_view kManifestName = "brolt-extraction.manifest";
inline constexpr std::string_view kLockName = "brolt-extraction.lock";
inline constexpr std::string_view kPartSuffix = ".brolt-part";

// An included file as the launcher holds it.
struct WantedFile {
    std::string name;
    int64_t size = 0;  // 0 or less: no file is made for it
};

// The indexes into wanted of the files a start writes (again): those the manifest does not list, that
// are missing, and those whose size differs from the launcher's or whose size or write time differs
// from the manifest's, so a file the application changed is never served. onDisk[i] is wanted[i] as the
// folder holds it, nullopt when it is not there. Names compare with ASCII case ignored.
std::vector<size_t> filesToRewrite(const std::vector<WantedFile>& wanted,
                                   const std::vector<ManifestEntry>& manifest,
                                   const std::vector<std::optional<FileStamp>>& onDisk);

// Which plain files found in the folder a start removes: half-written files (kPartSuffix) always, since
// the lock tells that no other start writes; files the launcher does not include only when no other
// process uses the folder, since a running application may be using them. The marker, the manifest and
// the lock always stay.
std::vector<std::string> filesToRemove(const std::vector<std::string>& present,
                                       const std::vector<WantedFile>& wanted, bool othersUseTheFolder);

enum class StableFolderVerdict {
    Keep,     // its launcher is there with the same contents: the next start reuses the folder
    InUse,    // its launcher is gone or changed, but a process that used it may still run
    NotOurs,  // its name is not the one its marker's launcher gives: left alone
    Remove,   // its launcher is gone or changed and no process uses it
};

// What the sweep does with a stable folder named folderName holding marker; launcherNow is the
// launcher at the marker's path as it is now (nullopt when there is none), anyUserMayRun whether a
// process the marker names runs or cannot be told to be gone.
StableFolderVerdict judgeStableFolder(std::string_view folderName, const StableMarker& marker,
                                      const std::optional<LauncherIdentity>& launcherNow, bool anyUserMayRun);

}  // namespace brolt
