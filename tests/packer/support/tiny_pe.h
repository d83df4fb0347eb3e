// Small Windows executables built in memory: just the headers and section data the packer walks.
#pragma once

#include <cstdint>
#include <vector>

namespace brolt::pack::testing {

struct TinyPeShape {
    int sections = 1;
    bool pe32Plus = false;
    uint32_t directoryCount = 16;  // data directories in the optional header
    uint32_t peOffset = 0x80;      // where the PE signature starts
    uint32_t trailingBytes = 0;    // junk behind the last section, as an old stream would be
};

struct TinyPe {
    std::vector<uint8_t> bytes;
    uint64_t sectionsEnd;          // end of the last section's raw data
    uint64_t securityEntryOffset;  // 0 when the optional header has no security directory
    uint16_t optionalHeaderSize;
};

TinyPe makeTinyPe(const TinyPeShape& shape);

// Appends `signature` and points the security directory at it, as a signing tool would.
void attachSignature(TinyPe& pe, const std::vector<uint8_t>& signature);

}  // namespace brolt::pack::testing
