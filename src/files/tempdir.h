// Temporary location, temporary names and extraction of the included files.
#pragma once

#include <windows.h>

#include <cstdint>

// The process-wide extraction directory (empty when nothing was included).
char* getExtractionDirectory();
// Offset in the executable just behind the last extracted file; 0 when nothing was extracted.
uint32_t getUnextractedPosition();

// 0 on success (also with nothing to extract), else 1 (read failure) or 2 (write failure).
int extractIncludedFiles(char* directory);
int extractIncludedFile(HANDLE executable, const char* target);
int copyScrambled(HANDLE input, HANDLE output, int64_t size);
void chooseTempDir(char* output);
bool isWritableDirectory(const char* directory);
void makeTempFileName(char* output);
void makeProcessCommFileName(char* output, DWORD processId);
void emptyDirectory(const char* directory);
