// Fuzzes the packer's class path and search entry forms with arbitrary text: every accepted entry must
// reach the launcher's own parsers as exactly one entry of its kind, and every suggestion made for a
// letter-form entry must write that entry again.
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "entry_forms.h"
#include "fuzz_check.h"
#include "core/text_case.h"
#include "jvm/search_rules.h"
#include "launch/vm_option_rules.h"

namespace {

using namespace brolt;
using fuzz::require;

void checkClassPathEntry(std::string_view text, bool required) {
    const pack::EntryForm form = pack::classPathEntryForm(text, required);
    require(form.stored.empty() != form.problem.empty());
    if (!form.problem.empty())
        return;
    require(form.stored.find(';') == std::string::npos);
    const std::vector<ClassPathEntry> read = parseClassPathEntries(form.stored);
    require(read.size() == 1 && read[0].required == required);
    require((read[0].type == 'E') == text.starts_with("env:"));
    // A path reaches the launcher with backslashes only; a variable's name as written.
    require(read[0].type == 'E' || read[0].value.find('/') == std::string::npos);
    require(read[0].type == 'A' || read[0].type == 'D' || read[0].type == 'S' || read[0].type == 'E');
}

void checkSearchEntry(std::string_view text) {
    const pack::EntryForm form = pack::searchEntryForm(text);
    require(form.stored.empty() != form.problem.empty());
    if (!form.problem.empty())
        return;
    const jvm::SearchSequence read = jvm::parseSearchSequence(form.stored);
    require(read.entries.size() + read.refused.size() == 1);
    require(jvm::searchLetter(form.stored[0]) != nullptr);
    // Only a folder beside the launcher is tried again without the version check.
    if (!read.entries.empty() && jvm::fallbackCandidate(read.entries[0]))
        require(!jvm::isAbsoluteLocation(read.entries[0].value));
    // "registry" and "path" are words in lower case only; in another case they are refused.
    for (std::string_view word : {"registry", "path"})
        require(text == word || !equalIgnoringCase(text, word));
}

// The path inside a suggestion: its quoted string, TOML escapes undone.
std::string suggestedPath(const std::string& suggestion) {
    const size_t first = suggestion.find('"');
    const size_t last = suggestion.rfind('"');
    require(first != std::string::npos && last > first);
    std::string path;
    for (size_t i = first + 1; i < last; ++i) {
        if (suggestion[i] == '\\')
            ++i;
        path += suggestion[i];
    }
    return path;
}

void checkSuggestion(std::string_view text) {
    const auto readable = pack::readableClassPathEntry(text);
    if (!readable || readable->empty())
        return;
    const bool required = readable->starts_with("{");
    require(required == (text[1] == '1'));
    const pack::EntryForm back = pack::classPathEntryForm(suggestedPath(*readable), required);
    require(back.problem.empty() && back.stored[0] == text[0] && back.stored[1] == text[1]);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    checkClassPathEntry(text, false);
    checkClassPathEntry(text, true);
    checkSearchEntry(text);
    checkSuggestion(text);
    return 0;
}
