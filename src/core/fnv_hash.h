// The 64-bit FNV-1a hash, one byte at a time: short names for files the launcher keeps (its stable
// extraction folder, its class-data archives), computed without a table. Callers frame their fields.
#pragma once

#include <cstdint>

namespace brolt {

inline constexpr uint64_t kFnvOffsetBasis = 0xcbf29ce484222325ull;
inline constexpr uint64_t kFnvPrime = 0x100000001b3ull;

constexpr uint64_t fnvHashByte(uint64_t hash, unsigned char byte) {
    return (hash ^ byte) * kFnvPrime;
}

}  // namespace brolt
