// Layout of the configuration stream appended to a launcher executable.
// Shared by the launcher (reader) and the packer (writer); no operating-system calls here.
#pragma once

#include <cstdint>

namespace brolt::stream {

// First four bytes of the stream, little-endian on disk: D5 13 E4 E8.
inline constexpr uint32_t kMagic = 0xE8E413D5u;

// Eight bytes that close the stream behind the last record or included file.
inline constexpr unsigned char kEndMarker[8] = {0xE8, 0xE4, 0x13, 0xD5, 0x00, 0x00, 0x00, 0x00};

// The stream is padded with zero bytes so the file size is a multiple of this.
inline constexpr uint32_t kPadding = 512;

// Every byte of an included file is stored combined with this value by exclusive-or.
inline constexpr unsigned char kScrambleValue = 0x88;

// Offsets of the executable-header fields that lead to the end of the last section's raw data.
inline constexpr uint32_t kPeOffsetField = 0x3C;
inline constexpr uint32_t kSectionCountOffset = 6;  // from the PE signature
inline constexpr uint32_t kOptionalHeaderSizeOffset = 20;
inline constexpr uint32_t kSectionTableOffset = 24;  // + optional header size
inline constexpr uint32_t kSectionHeaderSize = 40;
inline constexpr uint32_t kRawDataSizeOffset = 16;  // within a section header
inline constexpr uint32_t kRawDataPointerOffset = 20;

}  // namespace brolt::stream
