// The one loop over every byte of the included files, kept in a file of its own: the build optimises
// the rest of the launcher for size and this file for speed (see the root CMakeLists.txt).
#pragma once

#include <cstddef>

namespace brolt {

// Undoes in place the scrambling every byte of an included file is stored with (combined with
// stream::kScrambleValue), sixteen bytes at a time where the processor has SSE2.
void unscramble(unsigned char* bytes, size_t count);

}  // namespace brolt
