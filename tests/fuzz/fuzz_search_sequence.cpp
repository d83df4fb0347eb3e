// The search sequence from arbitrary text: entries and refusals account for every non-empty entry,
// values stay within their buffer, and the fallback rules answer for each entry.
#include <algorithm>
#include <cstdint>
#include <string>
#include <string_view>

#include "fuzz_check.h"
#include "jvm/search_rules.h"

namespace jvm = brolt::jvm;
using fuzz::require;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    std::string_view text(reinterpret_cast<const char*>(data), size);
    jvm::SearchSequence sequence = jvm::parseSearchSequence(text);

    std::string rebuilt;
    for (const jvm::SearchEntry& entry : sequence.entries) {
        require(entry.value.size() <= jvm::kPathLimit);
        require(entry.value.find(';') == std::string::npos);
        require(entry.letter != ';');
        jvm::Verdict fallback = jvm::fallbackCandidate(entry);
        require(fallback.accepted == fallback.reason.empty());
        const jvm::SearchLetter* row = jvm::searchLetter(entry.letter);
        if (fallback.accepted)
            require(row != nullptr && row->check == jvm::CandidateCheck::Directory);
        if (entry.letter == 'B')
            require(fallback.accepted);
        rebuilt += entry.letter + entry.value + ";";
    }

    size_t nonEmpty = 0;
    std::string expected;
    size_t start = 0;
    while (start <= text.size()) {
        size_t end = std::min(text.find(';', start), text.size());
        if (end > start) {
            ++nonEmpty;
            expected += std::string(text.substr(start, end - start)) + ";";
        }
        start = end + 1;
    }
    require(sequence.entries.size() + sequence.refused.size() == nonEmpty);
    if (sequence.refused.empty())
        require(rebuilt == expected);
    return 0;
}
