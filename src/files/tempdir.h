// The temporary location and the names of temporary files in it. Failures come back as values; what
// the user sees of them is decided by the caller.
#pragma once

#include <windows.h>

#include <functional>
#include <optional>
#include <string>

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
// Creates a new empty, uniquely named file in directory; where that fails, in the temporary location.
TempFile makeTempFileIn(const std::string& directory);
// Has create make a new file in the temporary location: create answers the name of the file it made in
// the directory it is given, nullopt when it made none.
TempFile makeTempFileWith(const std::function<std::optional<std::string>(const std::string&)>& create);

// "<system temporary path>brt_p<process id>.tmp"; nothing is created.
void makeProcessCommFileName(char* output, DWORD processId);
