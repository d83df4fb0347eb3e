// Temporary location, temporary names and extraction of the included files. Failures come back as
// values; what the user sees of them is decided by the caller.
#pragma once

#include <windows.h>

#include <cstdint>
#include <optional>
#include <string>

// Where the included files went.
struct ExtractedFiles {
    std::string directory;             // empty when nothing was included
    uint32_t unextractedPosition = 0;  // offset in the executable behind the last extracted file; 0: none
};

enum class ExtractionFailure {
    None,
    NoWritableTempLocation,  // no temporary location qualifies
    DirectoryNotCreated,     // the extraction directory (or a name for it) could not be made
    FileNotCreated,          // a target file could not be created, or its name is not a plain file name
    SizeUnreadable,          // the stream ends inside an entry's size field
    CopyFailed,              // the executable could not be read or a target file not written
};

struct Extraction {
    ExtractionFailure failure = ExtractionFailure::None;
    ExtractedFiles files;  // meaningful when failure is None
};

// Extracts the files listed by keys 2002 and 2003 from behind the configuration stream into a fresh
// directory in the temporary location. A failed extraction has removed the directory and everything it
// wrote before it returns.
Extraction extractIncludedFiles();

// The first qualifying temporary location; nullopt when no location is writable.
std::optional<std::string> chooseTempDir();
// True when a test directory could be created (and was removed again) in directory.
bool isWritableDirectory(const char* directory);

enum class TempFileFailure { None, NoWritableLocation, NotCreated };
struct TempFile {
    TempFileFailure failure = TempFileFailure::None;
    std::string name;  // a new empty, uniquely named file; meaningful when failure is None
};
// Creates a new empty, uniquely named file in the temporary location.
TempFile makeTempFileName();

// "<system temporary path>brt_p<process id>.tmp"; nothing is created.
void makeProcessCommFileName(char* output, DWORD processId);
// Deletes the plain files and removes the empty subdirectories of directory; does not descend.
// A path that is empty or starts with "." is left alone.
void emptyDirectory(const char* directory);
