// The configuration stream as bytes: records, included files, end marker and padding.
#pragma once

#include <cstdint>
#include <map>
#include <string>
#include <vector>

namespace brolt::pack {

struct IncludedFile {
    std::string name;  // code page 1252, as listed in key 2003
    std::vector<uint8_t> content;
};

// Everything a stream carries. Narrow values are already code page 1252 bytes. The writer stores what
// it is given: keys 2002 and 2003 that describe `files` are the caller's (see pack_config.h).
struct StreamContent {
    std::map<int32_t, std::string> narrow;
    std::map<int32_t, std::u16string> wide;
    std::vector<IncludedFile> files;
};

// The stream to append to an executable of `stubSize` bytes, zero-padded so that the whole file is a
// multiple of the padding size. Records come out sorted by key, so equal input gives equal bytes.
// Throws PackError when a value or count does not fit the stream's 32-bit fields.
std::vector<uint8_t> encodeStream(const StreamContent& content, uint64_t stubSize);

}  // namespace brolt::pack
