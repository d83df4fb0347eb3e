// The machine a Windows program or library is built for, read from the file header of its first
// bytes. Bytes in, an answer out, no system calls: the launcher asks it about a runtime's files, the
// packer about its stubs, and it is fuzzed on its own.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <string>

namespace brolt {

// The file header's machine field of the two word sizes the launcher is built for.
inline constexpr uint16_t kMachineI386 = 0x014C;
inline constexpr uint16_t kMachineAmd64 = 0x8664;

// How many of a file's first bytes a caller reads for the header walk. The header offset is a 32-bit
// field, but linkers put the header right behind the DOS stub, within the first few hundred bytes; a
// file whose header lies further in is answered as one whose machine is unknown.
inline constexpr size_t kImageHeadBytes = 4096;

struct ImageMachine {
    uint16_t machine = 0;
    std::string problem;  // why the machine could not be read; empty when it was

    bool known() const { return problem.empty(); }
};

// "MZ" at the start, the header offset at 0x3C, "PE\0\0" there and the machine field behind it, all
// within head (the first bytes of the file, at most kImageHeadBytes are looked at).
ImageMachine imageMachine(std::span<const uint8_t> head);

// "i386", "x86-64", or the field in hexadecimal ("0xAA64") for any other machine.
std::string machineName(uint16_t machine);

}  // namespace brolt
