#include "core/pe_machine.h"

#include <cstdio>

namespace brolt {

namespace {

constexpr size_t kHeaderOffsetField = 0x3C;
constexpr size_t kSignatureBytes = 4;
constexpr size_t kMachineBytes = 2;
constexpr uint8_t kPeSignature[kSignatureBytes] = {'P', 'E', 0, 0};

uint32_t readU32(std::span<const uint8_t> bytes, size_t offset) {
    return bytes[offset] | bytes[offset + 1] << 8 | bytes[offset + 2] << 16 |
           static_cast<uint32_t>(bytes[offset + 3]) << 24;
}

ImageMachine unknown(std::string why) {
    return {0, std::move(why)};
}

}  // namespace

ImageMachine imageMachine(std::span<const uint8_t> head) {
    if (head.size() > kImageHeadBytes)
        head = head.first(kImageHeadBytes);
    if (head.size() < kHeaderOffsetField + 4)
        return unknown("only " + std::to_string(head.size()) + " bytes, too short for a DOS header");
    if (head[0] != 'M' || head[1] != 'Z')
        return unknown("no MZ header");
    const uint32_t header = readU32(head, kHeaderOffsetField);
    // Compared without adding to the offset, which may be near the top of its range.
    if (header > head.size() || head.size() - header < kSignatureBytes + kMachineBytes)
        return unknown("the PE header at offset " + std::to_string(header) + " lies outside the first " +
                       std::to_string(head.size()) + " bytes");
    for (size_t i = 0; i < kSignatureBytes; ++i) {
        if (head[header + i] != kPeSignature[i])
            return unknown("no PE signature at offset " + std::to_string(header));
    }
    const size_t field = header + kSignatureBytes;
    return {static_cast<uint16_t>(head[field] | head[field + 1] << 8), {}};
}

std::string machineName(uint16_t machine) {
    switch (machine) {
        case kMachineI386:
            return "i386";
        case kMachineAmd64:
            return "x86-64";
        default: {
            char hex[8];
            std::snprintf(hex, sizeof hex, "0x%04X", machine);
            return hex;
        }
    }
}

}  // namespace brolt
