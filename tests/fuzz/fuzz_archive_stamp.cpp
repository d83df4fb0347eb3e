// An archive's stamp from arbitrary bytes: what is read back writes out as the very same text, and
// the class-data sharing names and versions made from the bytes stay in their forms.
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "fuzz_check.h"
#include "launch/class_data_sharing_rules.h"

using fuzz::require;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    std::string_view text(reinterpret_cast<const char*>(data), size);
    if (std::optional<brolt::ArchiveStamp> stamp = brolt::parseArchiveStamp(text)) {
        require(!stamp->inputs.empty());
        require(stamp->inputs.find('\n') == std::string::npos);
        // Numbers with leading zeros read back fine but write out without them.
        if (text.find(" 0") == std::string_view::npos)
            require(brolt::formatArchiveStamp(*stamp) == text);
    }
    int feature = brolt::javaFeatureVersion(text);
    require(feature >= 0 && feature <= 999);
    std::string name = brolt::archiveFileName(text, text, text);
    require(name.size() == 37 && name[16] == '-' && name.ends_with(".jsa"));
    return 0;
}
