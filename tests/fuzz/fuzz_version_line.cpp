// The version a runtime printed, from arbitrary output: whatever is taken must be what stood
// between the quotation marks of a version line, short and printable.
#include <cstdint>
#include <string>
#include <string_view>

#include "fuzz_check.h"
#include "jvm/version_rules.h"

namespace jvm = brolt::jvm;
using fuzz::require;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    std::string_view output(reinterpret_cast<const char*>(data), size);
    jvm::TextOutcome outcome = jvm::versionFromOutput(output);
    require(outcome.text.has_value() == outcome.reason.empty());
    if (!outcome.text)
        return 0;
    const std::string& version = *outcome.text;
    require(!version.empty());
    require(version.size() <= jvm::kVersionLineLimit - std::string_view("java version \"\"").size());
    for (char c : version)
        require(static_cast<unsigned char>(c) >= 0x20 && c != '"');
    require(output.find("version \"" + version + "\"") != std::string_view::npos);
    return 0;
}
