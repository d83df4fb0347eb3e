// The owner a marker or a "-version" output file's name gives, from arbitrary bytes. A sweep deletes
// what these answers name, so besides what the sanitizers catch: whatever is taken for ours must say
// the same when written out again, and a name taken for ours is one of the launcher's temporary files.
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "files/extraction_marker.h"
#include "fuzz_check.h"

using brolt::ExtractionOwner;
using fuzz::require;

namespace {

bool sameOwner(const ExtractionOwner& a, const ExtractionOwner& b) {
    return a.modulePath == b.modulePath && a.processId == b.processId && a.creationTime == b.creationTime;
}

char asciiLower(char c) {
    return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
}

std::string asciiLowered(std::string_view text) {
    std::string lowered(text);
    for (char& c : lowered)
        c = asciiLower(c);
    return lowered;
}

// The sequence of a name of ours: the digits between its last separator and ".tmp".
uint32_t sequenceOf(std::string_view name) {
    std::string_view digits = name.substr(0, name.size() - 4);
    digits.remove_prefix(digits.rfind('_') + 1);
    uint32_t sequence = 0;
    for (char c : digits)
        sequence = sequence * 10 + static_cast<uint32_t>(c - '0');
    return sequence;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    std::string_view text(reinterpret_cast<const char*>(data), size);

    if (std::optional<ExtractionOwner> owner = brolt::parseExtractionMarker(text)) {
        require(!owner->modulePath.empty());
        std::optional<ExtractionOwner> again =
            brolt::parseExtractionMarker(brolt::formatExtractionMarker(*owner));
        require(again && sameOwner(*again, *owner));
    }

    if (std::optional<ExtractionOwner> owner = brolt::parseVersionOutputName(text)) {
        std::string lowered = asciiLowered(text);
        require(lowered.starts_with("brt") && lowered.ends_with(".tmp"));
        require(lowered.find_first_of("\\/:") == std::string::npos);
        require(owner->modulePath.empty());
        // One spelling per owner and sequence, ASCII case aside: no second name for the same file.
        require(brolt::formatVersionOutputName(*owner, sequenceOf(text)) == lowered);
    }
    return 0;
}
