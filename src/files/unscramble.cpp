#include "files/unscramble.h"

#include <windows.h>
#include <emmintrin.h>

#include <cstdint>
#include <cstring>

#include "config/stream_format.h"

namespace brolt {
namespace {

// This loop runs over every byte of every included file, so it goes four bytes at a time, or sixteen
// where the processor has SSE2 (every one that runs a current Windows; the launcher still starts on
// older ones).
void unscrambleWords(unsigned char* bytes, size_t count) {
    constexpr uint32_t kWordMask = 0x01010101u * stream::kScrambleValue;
    size_t i = 0;
    for (; i + sizeof(uint32_t) <= count; i += sizeof(uint32_t)) {
        uint32_t word;
        memcpy(&word, bytes + i, sizeof word);
        word ^= kWordMask;
        memcpy(bytes + i, &word, sizeof word);
    }
    for (; i < count; ++i)
        bytes[i] ^= stream::kScrambleValue;
}

__attribute__((target("sse2"))) void unscrambleSse2(unsigned char* bytes, size_t count) {
    const __m128i mask = _mm_set1_epi8(static_cast<char>(stream::kScrambleValue));
    size_t i = 0;
    for (; i + sizeof(__m128i) <= count; i += sizeof(__m128i)) {
        auto* block = reinterpret_cast<__m128i*>(bytes + i);
        _mm_storeu_si128(block, _mm_xor_si128(_mm_loadu_si128(block), mask));
    }
    unscrambleWords(bytes + i, count - i);
}

}  // namespace

void unscramble(unsigned char* bytes, size_t count) {
    if (IsProcessorFeaturePresent(PF_XMMI64_INSTRUCTIONS_AVAILABLE))
        unscrambleSse2(bytes, count);
    else
        unscrambleWords(bytes, count);
}

}  // namespace brolt
