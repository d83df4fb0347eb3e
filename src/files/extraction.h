// Extraction of the included files from behind the configuration stream into the launcher's stable
// folder or a fresh directory in the temporary location. Failures come back as values; what the user
// sees of them is decided by the caller.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "files/extraction_marker.h"

// What the extraction needs to know of the launcher. The entry reads it from the configuration once
// (key 2002, key 2003 and where the records end); the extraction reads no configuration itself, so any
// file laid out like a launcher can be handed to it.
struct IncludedFiles {
    std::string executablePath;  // the file the configuration was read from; the entries follow its records
    uint64_t configurationEnd = 0;  // file offset behind the last record: the first entry's size field
    int count = 0;                  // how many entries; 0 or less: nothing is included, no directory is made
    std::string names;              // the entries' names separated by ';' (stream::includedFileNames)
};

// Where the included files went.
struct ExtractedFiles {
    std::string directory;             // empty when nothing was included
    uint32_t unextractedPosition = 0;  // offset in the executable behind the last extracted file; 0: none
    // The launcher's stable folder: it stays when the process ends, for the next start to reuse, and the
    // sweep judges it by its launcher. Otherwise a fresh directory, for this process only.
    bool stable = false;
    // The files extracted there, in the configuration's order: what the class path takes from the
    // folder, never what a listing of it shows.
    std::vector<std::string> names;
};

enum class ExtractionFailure {
    None,
    NoWritableTempLocation,  // no temporary location qualifies
    DirectoryNotCreated,     // the extraction directory (or a name for it) could not be made
    FileNotCreated,          // a target file could not be created, or its name is not a plain file name
    SizeUnreadable,          // the file ends inside an entry's size field
    CopyFailed,              // the executable could not be read or a target file not written
};

struct Extraction {
    ExtractionFailure failure = ExtractionFailure::None;
    ExtractedFiles files;  // meaningful when failure is None
};

// Extracts the included files into a fresh directory in the temporary location, in file order; a
// failure is the one of the first entry that fails. A failed extraction has removed the directory and
// everything it wrote before it returns.
Extraction extractIncludedFiles(const IncludedFiles& included);

// How long a start waits for another start of the same launcher to finish checking and writing the
// stable folder. Checking takes milliseconds and a first extraction of a large application a few
// seconds; past that the start goes on with a fresh directory rather than wait longer.
inline constexpr unsigned kStableFolderLockWaitMilliseconds = 5000;

// Extracts the included files into the launcher's stable folder in the temporary location, named after
// the launcher's path, size and write time (brolt::stableFolderName), and adds self to its marker. The
// files there that are as their extraction left them (the folder's manifest) are used as they are, with
// their write times; the others, and those missing, are written again, each under a temporary name
// renamed over its target, so no half-written file is ever taken for a whole one. Files the launcher does
// not include are removed while no other process uses the folder. The check and the writing hold the
// folder's lock. When the folder cannot be had (the lock stays held past the wait, a file cannot be
// replaced, the names or the sizes cannot be read) the files go to a fresh directory as
// extractIncludedFiles does, after a log line, and a failure is that extraction's.
Extraction extractIncludedFilesReusing(const IncludedFiles& included, const brolt::ExtractionOwner& self);

// Deletes the plain files and removes the empty subdirectories of directory; does not descend.
// A path that is empty or starts with "." is left alone.
void emptyDirectory(const char* directory);
