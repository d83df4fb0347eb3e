// The machine field of a program's header, from its first bytes.
#include "core/pe_machine.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

namespace brolt {
namespace {

using Bytes = std::vector<uint8_t>;

void putU32(Bytes& bytes, size_t offset, uint32_t value) {
    for (int i = 0; i < 4; ++i)
        bytes[offset + i] = static_cast<uint8_t>(value >> (8 * i));
}

// size bytes: "MZ", the header offset at 0x3C and, when it fits, "PE\0\0" and the machine there.
Bytes head(size_t size, uint32_t headerOffset, uint16_t machine) {
    Bytes bytes(size, 0);
    bytes[0] = 'M';
    bytes[1] = 'Z';
    putU32(bytes, 0x3C, headerOffset);
    const uint8_t fields[] = {
        'P', 'E', 0, 0, static_cast<uint8_t>(machine), static_cast<uint8_t>(machine >> 8)};
    for (size_t i = 0; i < sizeof fields && headerOffset + i < size; ++i)
        bytes[headerOffset + i] = fields[i];
    return bytes;
}

Bytes withOffset(Bytes bytes, uint32_t headerOffset) {
    putU32(bytes, 0x3C, headerOffset);
    return bytes;
}

Bytes with(Bytes bytes, size_t offset, uint8_t value) {
    bytes[offset] = value;
    return bytes;
}

TEST(ImageMachine, ReadFromTheFileHeaderOrRefusedWithTheReason) {
    struct Case {
        const char* what;
        Bytes bytes;
        uint16_t machine;     // when read
        const char* problem;  // a part of the reason when not
    };
    const Case cases[] = {
        {"32-bit program", head(512, 0x80, kMachineI386), kMachineI386, nullptr},
        {"64-bit program", head(512, 0x40, kMachineAmd64), kMachineAmd64, nullptr},
        {"another machine is still read", head(512, 0xF8, 0xAA64), 0xAA64, nullptr},
        {"header ending at the last byte", head(0x86, 0x80, kMachineAmd64), kMachineAmd64, nullptr},
        {"a head longer than the window counts its first bytes only",
         head(kImageHeadBytes + 64, kImageHeadBytes, kMachineI386), 0, "outside the first 4096 bytes"},
        {"empty", {}, 0, "too short"},
        {"shorter than the header offset field", Bytes{'M', 'Z', 0, 0}, 0, "too short"},
        {"no MZ", with(head(512, 0x80, kMachineI386), 0, 'Z'), 0, "no MZ header"},
        {"header one byte short of the machine", head(0x85, 0x80, kMachineI386), 0, "lies outside"},
        {"header offset at the top of its range", head(512, 0xFFFFFFFF, kMachineI386), 0, "lies outside"},
        {"header offset pointing at the DOS header", withOffset(head(512, 0x80, kMachineI386), 0), 0,
         "no PE signature at offset 0"},
        {"wrong signature", with(head(512, 0x80, kMachineI386), 0x82, 'X'), 0, "no PE signature"},
    };
    for (const Case& c : cases) {
        ImageMachine image = imageMachine(c.bytes);
        if (c.problem == nullptr) {
            EXPECT_TRUE(image.known()) << c.what << ": " << image.problem;
            EXPECT_EQ(image.machine, c.machine) << c.what;
        } else {
            EXPECT_FALSE(image.known()) << c.what;
            EXPECT_NE(image.problem.find(c.problem), std::string::npos) << c.what << ": " << image.problem;
        }
    }
}

TEST(MachineName, NamesTheTwoWordSizesAndShowsOthersInHex) {
    EXPECT_EQ(machineName(kMachineI386), "i386");
    EXPECT_EQ(machineName(kMachineAmd64), "x86-64");
    EXPECT_EQ(machineName(0xAA64), "0xAA64");
    EXPECT_EQ(machineName(0x1C4), "0x01C4");
}

}  // namespace
}  // namespace brolt
