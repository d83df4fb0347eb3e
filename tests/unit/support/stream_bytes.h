// The bytes of a configuration stream as the packer writes them (magic, narrow records, wide records),
// for tests on this machine and under Windows alike: no operating-system calls here.
#pragma once

#include <cstdint>
#include <string>
#include <utility>
#include <vector>

namespace fixture {

struct Stream {
    std::vector<std::pair<int32_t, std::string>> narrow;
    std::vector<std::pair<int32_t, std::u16string>> wide;
};

inline void putInt32(std::string& out, int32_t value) {
    for (int i = 0; i < 4; ++i)
        out += static_cast<char>(static_cast<uint32_t>(value) >> (8 * i));
}

inline void putInt64(std::string& out, int64_t value) {
    for (int i = 0; i < 8; ++i)
        out += static_cast<char>(static_cast<uint64_t>(value) >> (8 * i));
}

inline std::string streamBytes(const Stream& stream) {
    std::string out;
    putInt32(out, static_cast<int32_t>(0xE8E413D5u));
    putInt32(out, static_cast<int32_t>(stream.narrow.size()));
    for (const auto& [key, value] : stream.narrow) {
        putInt32(out, key);
        putInt32(out, static_cast<int32_t>(value.size()));
        out += value;
    }
    putInt32(out, static_cast<int32_t>(stream.wide.size()));
    for (const auto& [key, value] : stream.wide) {
        putInt32(out, key);
        putInt32(out, static_cast<int32_t>(value.size() * 2));
        for (char16_t unit : value) {
            out += static_cast<char>(unit & 0xFF);
            out += static_cast<char>(unit >> 8);
        }
    }
    return out;
}

}  // namespace fixture
