// Configuration stream reader and getters.
#pragma once

#include <windows.h>

#include <cstddef>
#include <cstdint>

// Reads the stream from the launcher's own file; every failure ends the process.
void loadConfiguration();
// Same, from another file (the launcher's own file in production; fixtures in tests).
void loadConfigurationFrom(const char* path);

// The value copied into buffer (at most size - 1 characters); empty when the key is absent.
void getStr(int32_t key, char* buffer, size_t size);
// The value as atoi reads it; 0 when absent, empty or not numeric.
int getInt(int32_t key);
// The wide value copied into buffer (at most units - 1 units); empty when absent.
void getWStr(int32_t key, wchar_t* buffer, size_t units = 8192);
// "r,g,b" as a COLORREF 0x00BBGGRR; missing parts count as 0.
uint32_t getColor(int32_t key);

// Offset just behind the last wide record: where the included files start.
uint32_t getConfigurationEndPosition();

// Opens the launcher's own file for reading (shared read and write); INVALID_HANDLE_VALUE on failure.
// Once a configuration has been loaded this is the file it came from, so that the configuration end
// position and the included files behind it always refer to the same file.
HANDLE openOwnExecutable();

// Readers at the current position of an open file; a short read ends the process.
int64_t readLong(HANDLE file);
int32_t readInt(HANDLE file);
int16_t readShort(HANDLE file);
// Length-prefixed texts; a negative length or one running past the end of the file ends the process.
char* readString(HANDLE file);
wchar_t* readWString(HANDLE file);
// The 8-byte size field in front of an included file's content; false when the file ends inside it.
bool readIncludedFileSize(HANDLE file, int64_t& size);
