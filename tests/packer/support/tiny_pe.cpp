#include "tiny_pe.h"

namespace brolt::pack::testing {
namespace {

constexpr uint32_t kFileAlignment = 0x200;

void put16(std::vector<uint8_t>& bytes, uint64_t offset, uint16_t value) {
    bytes[offset] = static_cast<uint8_t>(value);
    bytes[offset + 1] = static_cast<uint8_t>(value >> 8);
}

void put32(std::vector<uint8_t>& bytes, uint64_t offset, uint32_t value) {
    for (int i = 0; i < 4; ++i)
        bytes[offset + i] = static_cast<uint8_t>(value >> (8 * i));
}

}  // namespace

TinyPe makeTinyPe(const TinyPeShape& shape) {
    const uint32_t fixedPart = shape.pe32Plus ? 112 : 96;  // optional header up to its data directories
    const auto optionalSize = static_cast<uint16_t>(fixedPart + 8 * shape.directoryCount);
    const uint32_t headersEnd = shape.peOffset + 24 + optionalSize + 40 * shape.sections;
    const uint32_t firstRaw = (headersEnd + kFileAlignment - 1) / kFileAlignment * kFileAlignment;

    TinyPe pe;
    pe.optionalHeaderSize = optionalSize;
    pe.sectionsEnd = firstRaw + static_cast<uint64_t>(shape.sections) * kFileAlignment;
    pe.bytes.assign(pe.sectionsEnd + shape.trailingBytes, 0);
    auto& b = pe.bytes;
    b[0] = 'M';
    b[1] = 'Z';
    put32(b, 0x3C, shape.peOffset);
    put32(b, shape.peOffset, 0x00004550);
    put16(b, shape.peOffset + 4, shape.pe32Plus ? 0x8664 : 0x14C);
    put16(b, shape.peOffset + 6, static_cast<uint16_t>(shape.sections));
    put16(b, shape.peOffset + 20, optionalSize);
    const uint32_t optional = shape.peOffset + 24;
    put16(b, optional, shape.pe32Plus ? 0x20B : 0x10B);
    put32(b, optional + fixedPart - 4, shape.directoryCount);
    pe.securityEntryOffset = shape.directoryCount > 4 ? optional + fixedPart + 4 * 8 : 0;

    for (int i = 0; i < shape.sections; ++i) {
        const uint32_t header = optional + optionalSize + 40 * i;
        b[header] = '.';
        b[header + 1] = static_cast<uint8_t>('a' + i);
        put32(b, header + 16, kFileAlignment);
        put32(b, header + 20, firstRaw + i * kFileAlignment);
        for (uint32_t k = 0; k < kFileAlignment; ++k)
            b[firstRaw + i * kFileAlignment + k] = static_cast<uint8_t>(i + k);
    }
    for (uint64_t k = pe.sectionsEnd; k < b.size(); ++k)
        b[k] = 0xEE;
    return pe;
}

void attachSignature(TinyPe& pe, const std::vector<uint8_t>& signature) {
    const auto at = static_cast<uint32_t>(pe.bytes.size());
    pe.bytes.insert(pe.bytes.end(), signature.begin(), signature.end());
    put32(pe.bytes, pe.securityEntryOffset, at);
    put32(pe.bytes, pe.securityEntryOffset + 4, static_cast<uint32_t>(signature.size()));
}

}  // namespace brolt::pack::testing
