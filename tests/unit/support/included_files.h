// The included-files section that follows a configuration stream in test launchers: for each file an
// 8-byte little-endian size and its bytes combined with the scrambling value, then the end marker.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "config/stream_format.h"
#include "stream_fixture.h"

namespace fixture {

struct IncludedSection {
    std::string bytes;
    std::vector<uint32_t> entryOffsets;  // of each size field, from the start of the section
    uint32_t entriesEnd = 0;             // behind the last entry, where the end marker begins
};

inline IncludedSection includedSection(const std::vector<std::string>& contents) {
    IncludedSection section;
    for (const std::string& content : contents) {
        section.entryOffsets.push_back(static_cast<uint32_t>(section.bytes.size()));
        putInt64(section.bytes, static_cast<int64_t>(content.size()));
        for (char c : content)
            section.bytes += static_cast<char>(c ^ brolt::stream::kScrambleValue);
    }
    section.entriesEnd = static_cast<uint32_t>(section.bytes.size());
    section.bytes.append(reinterpret_cast<const char*>(brolt::stream::kEndMarker),
                         sizeof brolt::stream::kEndMarker);
    return section;
}

// Bytes that no simple pattern check would mistake for others; includes the scrambling value itself.
inline std::string patternedBytes(size_t size, unsigned seed) {
    std::string content(size, '\0');
    for (char& c : content) {
        seed = seed * 1103515245u + 12345u;
        c = static_cast<char>(seed >> 16);
    }
    return content;
}

}  // namespace fixture
