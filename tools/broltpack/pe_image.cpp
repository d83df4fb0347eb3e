#include "pe_image.h"

#include <cstdio>

#include "config/stream_format.h"
#include "core/pe_machine.h"
#include "core/word_size.h"
#include "pack_error.h"

namespace brolt::pack {
namespace {

using namespace brolt::stream;

constexpr uint32_t kMachineOffset = 4;  // from the PE signature

// Optional header magics and where each keeps its data directory count and table.
constexpr uint16_t kPe32Magic = 0x10B;
constexpr uint16_t kPe32PlusMagic = 0x20B;
constexpr uint32_t kPe32DirectoryCountOffset = 92;
constexpr uint32_t kPe32PlusDirectoryCountOffset = 108;
constexpr uint32_t kSecurityDirectoryIndex = 4;
constexpr uint32_t kDirectoryEntrySize = 8;
constexpr uint32_t kChecksumOffset = 64;  // within the optional header, PE32 and PE32+ alike

uint32_t readU32(std::span<const uint8_t> bytes, uint64_t offset) {
    return bytes[offset] | bytes[offset + 1] << 8 | bytes[offset + 2] << 16 |
           static_cast<uint32_t>(bytes[offset + 3]) << 24;
}

uint16_t readU16(std::span<const uint8_t> bytes, uint64_t offset) {
    return static_cast<uint16_t>(bytes[offset] | bytes[offset + 1] << 8);
}

[[noreturn]] void notAnExecutable(const std::string& name, const std::string& why) {
    throw PackError({name, 0, 0, "not a Windows executable: " + why});
}

void requireInside(std::span<const uint8_t> image, uint64_t offset, uint64_t width, const std::string& name,
                   const char* what) {
    if (offset + width > image.size()) {
        notAnExecutable(name, std::string(what) + " lies outside the file (offset " + std::to_string(offset) +
                                  ", file size " + std::to_string(image.size()) + ")");
    }
}

}  // namespace

StubLayout stubLayout(std::span<const uint8_t> image, const std::string& name) {
    if (image.size() < kPeOffsetField + 4 || image[0] != 'M' || image[1] != 'Z') {
        notAnExecutable(name, "no MZ header");
    }
    StubLayout layout;
    // The walk answers its failures as values; the checks below refuse each of them, and more, in
    // the packer's own words. A walk that gets past them has read every field.
    layout.headers = locateStream(image, image.size()).layout;
    const ImageLayout& headers = layout.headers;
    const uint64_t pe = headers.peOffset;
    requireInside(image, pe, kSectionTableOffset, name, "the PE header");
    if (readU32(image, pe) != 0x00004550)
        notAnExecutable(name, "no PE signature");

    const int16_t optionalSize = headers.optionalHeaderSize;
    if (headers.sectionCount < 1)
        notAnExecutable(name, "no sections");
    if (optionalSize < 0)
        notAnExecutable(name, "negative optional header size");

    const uint64_t optional = pe + kSectionTableOffset;
    requireInside(image, static_cast<uint64_t>(headers.lastSectionHeader), kSectionHeaderSize, name,
                  "the last section header");

    layout.machine = readU16(image, pe + kMachineOffset);
    if (headers.streamStart > image.size()) {
        notAnExecutable(name, "the last section ends at " + std::to_string(headers.streamStart) +
                                  ", behind the end of the file (" + std::to_string(image.size()) + ")");
    }

    if (optionalSize >= static_cast<int16_t>(kChecksumOffset + 4))
        layout.checksumOffset = optional + kChecksumOffset;
    if (optionalSize >= 2) {
        const uint16_t magic = readU16(image, optional);
        uint32_t countOffset = 0;
        if (magic == kPe32Magic) {
            countOffset = kPe32DirectoryCountOffset;
        } else if (magic == kPe32PlusMagic) {
            countOffset = kPe32PlusDirectoryCountOffset;
        } else {
            char hex[8];
            std::snprintf(hex, sizeof hex, "0x%X", magic);
            notAnExecutable(name, std::string("unknown optional header magic ") + hex);
        }
        const uint64_t entry = optional + countOffset + 4 + kSecurityDirectoryIndex * kDirectoryEntrySize;
        if (countOffset + 4 <= static_cast<uint64_t>(optionalSize) &&
            readU32(image, optional + countOffset) > kSecurityDirectoryIndex &&
            entry + kDirectoryEntrySize <= optional + static_cast<uint64_t>(optionalSize)) {
            layout.securityEntryOffset = entry;
            layout.securityAddress = readU32(image, entry);
            layout.securitySize = readU32(image, entry + 4);
        }
    }
    return layout;
}

std::vector<uint8_t> prepareStub(std::span<const uint8_t> image, const std::string& name) {
    const StubLayout layout = stubLayout(image, name);
    if (wordSizeOfMachine(layout.machine) == nullptr) {
        throw PackError({name, 0, 0,
                         "not a launcher stub: built for " + machineName(layout.machine) +
                             ", while launchers are built for " + machineName(kWordSize32.runtimeMachine) +
                             " and " + machineName(kWordSize64.runtimeMachine)});
    }
    std::vector<uint8_t> stub(image.begin(),
                              image.begin() + static_cast<std::ptrdiff_t>(layout.headers.streamStart));
    // The signature no longer covers the file once a stream changes, and it was cut off with the old stream.
    if (layout.securityEntryOffset != 0 && layout.securityEntryOffset + kDirectoryEntrySize <= stub.size()) {
        std::fill_n(stub.begin() + static_cast<std::ptrdiff_t>(layout.securityEntryOffset),
                    kDirectoryEntrySize, 0);
    }
    return stub;
}

std::string machineDescription(std::span<const uint8_t> image) {
    const ImageMachine read = imageMachine(image);
    if (!read.known())
        return "unknown (" + read.problem + ")";
    const WordSize* wordSize = wordSizeOfMachine(read.machine);
    if (wordSize == nullptr)
        return machineName(read.machine) + " (no launcher is built for it)";
    return machineName(read.machine) + " (" + std::to_string(wordSize->bits) + "-bit launcher)";
}

void updateChecksum(std::vector<uint8_t>& image, const std::string& name) {
    const uint64_t field = stubLayout(image, name).checksumOffset;
    if (field == 0)
        return;
    // 16-bit one's-complement style sum over the file without the field itself, plus the file size.
    uint64_t sum = 0;
    for (uint64_t i = 0; i < image.size(); i += 2) {
        if (i >= field && i < field + 4)
            continue;
        sum += image[i] | (i + 1 < image.size() ? image[i + 1] << 8 : 0);
        sum = (sum & 0xFFFF) + (sum >> 16);
    }
    sum = (sum & 0xFFFF) + (sum >> 16);
    const auto checksum = static_cast<uint32_t>(sum + image.size());
    for (int i = 0; i < 4; ++i)
        image[field + i] = static_cast<uint8_t>(checksum >> (8 * i));
}

}  // namespace brolt::pack
