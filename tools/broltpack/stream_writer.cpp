#include "stream_writer.h"

#include <limits>

#include "config/stream_format.h"
#include "pack_error.h"

namespace brolt::pack {
namespace {

void putU32(std::vector<uint8_t>& out, uint32_t value) {
    for (int shift = 0; shift < 32; shift += 8)
        out.push_back(static_cast<uint8_t>(value >> shift));
}

void putU64(std::vector<uint8_t>& out, uint64_t value) {
    for (int shift = 0; shift < 64; shift += 8)
        out.push_back(static_cast<uint8_t>(value >> shift));
}

uint32_t checkedLength(uint64_t length, int32_t key) {
    if (length > static_cast<uint64_t>(std::numeric_limits<int32_t>::max())) {
        throw PackError({"stream", 0, 0, "value of key " + std::to_string(key) + " is too long"});
    }
    return static_cast<uint32_t>(length);
}

}  // namespace

std::vector<uint8_t> encodeStream(const StreamContent& content, uint64_t stubSize) {
    std::vector<uint8_t> out;
    putU32(out, stream::kMagic);

    putU32(out, static_cast<uint32_t>(content.narrow.size()));
    for (const auto& [key, value] : content.narrow) {
        putU32(out, static_cast<uint32_t>(key));
        putU32(out, checkedLength(value.size(), key));
        out.insert(out.end(), value.begin(), value.end());
    }

    putU32(out, static_cast<uint32_t>(content.wide.size()));
    for (const auto& [key, value] : content.wide) {
        putU32(out, static_cast<uint32_t>(key));
        putU32(out, checkedLength(value.size() * 2, key));
        for (char16_t unit : value) {
            out.push_back(static_cast<uint8_t>(unit & 0xFF));
            out.push_back(static_cast<uint8_t>(unit >> 8));
        }
    }

    for (const IncludedFile& file : content.files) {
        putU64(out, file.content.size());
        for (uint8_t byte : file.content)
            out.push_back(byte ^ stream::kScrambleValue);
    }

    out.insert(out.end(), std::begin(stream::kEndMarker), std::end(stream::kEndMarker));
    const uint64_t rest = (stubSize + out.size()) % stream::kPadding;
    if (rest != 0)
        out.resize(out.size() + (stream::kPadding - rest), 0);
    return out;
}

}  // namespace brolt::pack
