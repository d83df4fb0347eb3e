// Temporary location, temporary names and extraction of the included files.
#pragma once

#include <windows.h>

#include <cstdint>

// The process-wide extraction directory (8192 characters; empty when nothing was included).
char* getExtractionDirectory();
// Offset in the executable just behind the last extracted file; 0 when nothing was extracted.
uint32_t getUnextractedPosition();

// Extracts the files listed by keys 2002 and 2003 from behind the configuration stream into a fresh
// directory, whose name goes into directory (8192 characters). 0 on success (also with nothing to
// extract), else 1 (read failure) or 2 (write failure); a failed extraction leaves nothing behind.
int extractIncludedFiles(char* directory);
// Reads one entry (size, then scrambled bytes) at the executable's file pointer into target.
int extractIncludedFile(HANDLE executable, const char* target);
// Copies size bytes from input to output, unscrambling them; 0, 1 (read failure) or 2 (write failure).
int copyScrambled(HANDLE input, HANDLE output, int64_t size);

// The first qualifying temporary location (8192 characters); ends the process with message 1015 when
// no location is writable.
void chooseTempDir(char* output);
// True when a test directory could be created (and was removed again) in directory.
bool isWritableDirectory(const char* directory);
// Creates a new empty, uniquely named file in the temporary location and writes its name to output
// (8192 characters). False, with output empty, when no such file could be created.
bool makeTempFileName(char* output);
// "<system temporary path>brt_p<process id>.tmp"; nothing is created.
void makeProcessCommFileName(char* output, DWORD processId);
// Deletes the plain files and removes the empty subdirectories of directory; does not descend.
// A path that is empty or starts with "." is left alone.
void emptyDirectory(const char* directory);
