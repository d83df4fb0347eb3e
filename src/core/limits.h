// Buffer sizes shared by all modules.
#pragma once

#include <cstddef>

namespace brolt {

// Every path and configured text is a narrow string in a buffer of this many characters,
// terminator included; UTF-16 intermediates use the same number of units.
inline constexpr size_t kTextBufferSize = 8192;
inline constexpr size_t kWideBufferUnits = 8192;
// "PATH" values get twice the room: a configured prefix in front of the inherited value.
inline constexpr size_t kSearchPathBufferSize = 16384;

// Copies at most size - 1 characters of source and terminates; answers false when it had to cut.
bool copyBounded(char* destination, size_t size, const char* source);
// Appends source behind what destination holds, within size; answers false when it had to cut.
bool appendBounded(char* destination, size_t size, const char* source);

}  // namespace brolt
