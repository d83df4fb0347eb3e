// What the word size the launcher is built for decides. The 32-bit and the 64-bit launcher come from the
// same sources; everything in which they differ is in this table, and code that depends on the word
// size takes a row of it, so tests can check both rows in either build.
#pragma once

#include <cstdint>

#include "core/pe_machine.h"

namespace brolt {

struct WordSize {
    unsigned bits;                   // the {0} of the message that no runtime was found (1016)
    uint16_t runtimeMachine;         // the machine of the runtime programs and VM libraries it can load
    int32_t envVmNotWorkingMessage;  // the runtime an environment variable names does not load
    int32_t vmDamagedMessage;        // the runtime found in a directory does not load
};

inline constexpr WordSize kWordSize32{32, kMachineI386, 1018, 1020};
inline constexpr WordSize kWordSize64{64, kMachineAmd64, 1019, 1021};

// This build's row: a process loads only libraries of its own word size.
inline constexpr WordSize kLauncherWordSize = sizeof(void*) == 8 ? kWordSize64 : kWordSize32;

// The row whose runtimes have this machine; nullptr for a machine no launcher is built for.
constexpr const WordSize* wordSizeOfMachine(uint16_t machine) {
    if (machine == kWordSize32.runtimeMachine)
        return &kWordSize32;
    if (machine == kWordSize64.runtimeMachine)
        return &kWordSize64;
    return nullptr;
}

}  // namespace brolt
