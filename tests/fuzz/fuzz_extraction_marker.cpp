// The owner a marker or a "-version" output file's name gives, a stable folder's marker and its
// manifest, from arbitrary bytes. A sweep deletes what these answers name and a start trusts the files a
// manifest lists, so besides what the sanitizers catch: whatever is taken for ours must say the same when
// written out again, and a name taken for ours is one of the launcher's temporary files.
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

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

    if (std::optional<brolt::StableMarker> marker = brolt::parseStableMarker(text)) {
        require(!marker->launcher.modulePath.empty() && marker->users.size() <= brolt::kMaxFolderUsers);
        // Its own spelling, once written, is the one it reads back; the sweep never confuses the two forms.
        std::string written = brolt::formatStableMarker(*marker);
        std::optional<brolt::StableMarker> again = brolt::parseStableMarker(written);
        require(again && brolt::formatStableMarker(*again) == written);
        require(!brolt::parseExtractionMarker(text));
    }

    if (std::optional<std::vector<brolt::ManifestEntry>> entries = brolt::parseManifest(text)) {
        std::string written = brolt::formatManifest(*entries);
        std::optional<std::vector<brolt::ManifestEntry>> again = brolt::parseManifest(written);
        require(again && again->size() == entries->size() && brolt::formatManifest(*again) == written);
        for (const brolt::ManifestEntry& entry : *entries)
            require(!entry.name.empty() && entry.name.find('\n') == std::string::npos);
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
