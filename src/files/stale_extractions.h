// What launcher processes leave in the temporary location: extraction folders with the marker each
// extraction writes, the output files of "-version" runs named after their process, and the sweep that
// removes both once their process is gone, whichever launcher made them.
#pragma once

#include <windows.h>

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "core/unique_resource.h"
#include "files/extraction_marker.h"
#include "files/file_location_rules.h"

namespace brolt {

// This process as the marker names it.
ExtractionOwner currentExtractionOwner();
// Whether the process of that id and creation time still runs.
OwnerState processState(uint32_t processId, uint64_t creationTime);

// Writes the marker into directory (nothing when directory is empty, or when a file of the marker's name
// is there already: it is not overwritten). The handle keeps the marker open without delete sharing,
// so no clean-up of the folder removes it while this process runs; hold it until the process ends.
UniqueFile writeExtractionMarker(const char* directory, const ExtractionOwner& self);

// The launcher at path as a stable folder's name and marker know it; nullopt when there is no file.
std::optional<LauncherIdentity> launcherIdentityOf(const std::string& path);
// The size and write time of the plain file at path; nullopt when there is none.
std::optional<FileStamp> fileStampOf(const std::string& path);

// Reads a small file of ours (a marker, a manifest) whole, sharing it with its writer; nullopt when it
// cannot be read or is larger than any of ours.
std::optional<std::string> readSmallFile(const std::string& path);

// The same, for a file in a folder already resolved (folderFinal): opened without following a link,
// and only when it resolves to folderFinal\name.
std::optional<std::string> readVerifiedSmallFile(const std::string& folderFinal, std::string_view name);

// Removes an extraction folder with everything in it, its marker last, by handle: nothing a link
// leads to, and nothing that does not resolve to where it lies below the folder (removeVerifiedTree);
// false when something stayed.
bool removeExtraction(const std::string& folder);

// How long a file may stay held after its last user is done before its removal is given up, and how
// often it is tried meanwhile. Under Wine a child's handles close a moment after the child is reported
// ended; that takes milliseconds, so two seconds only leave room for a loaded machine.
inline constexpr DWORD kReleaseWaitMilliseconds = 2000;
inline constexpr DWORD kReleaseRetryMilliseconds = 50;

// Deletes the file at path, trying again while it is held (sharing violation, access denied) until
// waitMilliseconds have passed; a file that is not there counts as removed. A file that stays is
// logged and left for a later start's sweep (when its name says whose it is).
bool removeFileOnceReleased(const std::string& path, DWORD waitMilliseconds = kReleaseWaitMilliseconds);

// A new file in directory for the output of a "-version" run, named after self (formatVersionOutputName)
// and never one that exists already, open for reading and writing (handle inheritable when security
// says so). Name and file are empty when none could be created.
struct VersionOutputFile {
    std::string name;
    UniqueFile file;
};
VersionOutputFile createVersionOutputFile(const std::string& directory, const ExtractionOwner& self,
                                          SECURITY_ATTRIBUTES* security);

// Removes what directly in location belongs to a process that is gone: every folder whose marker
// says so, with everything in it (links are removed, never entered; the marker goes last, so a folder
// that could not be emptied is tried again next time), and every "-version" output file whose name says
// so. Each entry is judged by a handle opened without following a link that must resolve to the entry
// in the location, and must be owned by this account (where the volume keeps owners); what it holds is
// deleted by handle, each name checked again against the folder's resolved path. A launcher's stable folder
// goes once its launcher is gone or rebuilt and no process its marker names may still run
// (judgeStableFolder); while its launcher is there unchanged it stays, for the next start to reuse. Folders
// without a marker, files not named as ours and whatever belongs to a running process or one that cannot be
// told are left alone. Answers how many folders and files went. stablePlace: the location of stable folders,
// where one stays while its launcher is unchanged; elsewhere a stable folder (of an earlier version) goes
// once none of its users may run.
int sweepLeftovers(const char* location, bool stablePlace = true);
// Every location this process's files may have been left in (FileLocations::sweep).
int sweepLeftovers(const FileLocations& locations);

}  // namespace brolt
