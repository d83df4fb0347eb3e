// The configuration stream of the launcher's own file: loading it, and the getters every module reads
// its settings through.
#pragma once

#include <windows.h>

#include <cstddef>
#include <cstdint>
#include <string>

// Why a configuration could not be loaded. Each has the text the user is shown (configurationErrorText).
enum class ConfigurationError {
    None,
    Open,         // the file cannot be opened
    Magic,        // no stream behind the last section
    ReadInt,      // the file ends inside a 32-bit number
    ReadShort,    // the file ends inside a 16-bit number
    ReadString,   // a narrow text is cut off, or its length is impossible
    ReadWString,  // a wide text is cut off, or its length is impossible
};

struct ConfigurationLoad {
    ConfigurationError error = ConfigurationError::None;
    // The system's error code when the failure came with a read (ReadInt and ReadShort show it).
    uint32_t systemError = 0;

    bool ok() const { return error == ConfigurationError::None; }
};

// Reads the stream appended to the executable at path into the value maps, replacing what an earlier
// load read. Logs the headers it walked, and "Could not open <path>" when the file cannot be opened.
// Nothing is shown and the process goes on whatever happens; the caller decides what the user sees.
[[nodiscard]] ConfigurationLoad loadConfiguration(const char* path);

// The literal text shown for a failed load ("Internal Error: readInt", ...); empty for None.
const char* configurationErrorText(ConfigurationError error);

// The value copied into buffer (at most size - 1 characters); empty when the key is absent.
void getStr(int32_t key, char* buffer, size_t size);
// The whole value; empty when the key is absent.
std::string getText(int32_t key);
// The value as atoi reads it; 0 when absent, empty or not numeric.
int getInt(int32_t key);
// The wide value copied into buffer (at most units - 1 units); empty when absent.
void getWStr(int32_t key, wchar_t* buffer, size_t units = 8192);
// "r,g,b" as a COLORREF 0x00BBGGRR; missing parts count as 0.
uint32_t getColor(int32_t key);

// Offset just behind the last wide record: where the included files start.
uint32_t getConfigurationEndPosition();
