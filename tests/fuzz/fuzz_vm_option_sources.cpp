// The options the VM reads besides the launcher's, from arbitrary bytes: the text before the first NUL
// is JAVA_TOOL_OPTIONS, the rest is what every options file holds. Splitting never makes text up, the
// files read stay within the bound, and an agent or archive option met anywhere turns sharing off.
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "fuzz_check.h"
#include "launch/class_data_sharing_rules.h"

using fuzz::require;

namespace {

bool hasVmSpace(std::string_view text) {
    return text.find_first_of(" \t\n\r\v\f") != std::string_view::npos;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    std::string_view input(reinterpret_cast<const char*>(data), size);
    size_t split = input.find('\0');
    std::string_view variable = input.substr(0, split);
    std::string_view fileText =
        split == std::string_view::npos ? std::string_view() : input.substr(split + 1);

    size_t characters = 0;
    bool quoted = variable.find_first_of("'\"") != std::string_view::npos;
    for (const std::string& option : brolt::splitVmOptionsText(variable)) {
        characters += option.size();
        require(quoted || (!option.empty() && !hasVmSpace(option)));
    }
    require(characters <= variable.size());
    for (const std::string& flag : brolt::flagsFileOptions(fileText)) {
        require(flag.starts_with("-XX:") && flag.size() > 4);
        require(flag.find('\n') == std::string::npos);
    }

    size_t filesRead = 0;
    brolt::VmOptionReaders readers;
    readers.variable = [variable](std::string_view name) -> std::optional<std::string> {
        if (name == "JAVA_TOOL_OPTIONS")
            return std::string(variable);
        return std::nullopt;
    };
    readers.file = [fileText, &filesRead](const std::string&) -> brolt::OptionsFileText {
        ++filesRead;
        return {std::string(fileText), {}};
    };
    std::vector<brolt::VmOptionSource> others = brolt::otherVmOptionSources({}, readers);
    require(filesRead <= brolt::kMaxOptionsFiles);
    brolt::SharingChoice choice = brolt::chooseSharing(true, 64, "21", {}, others);
    require(!choice.reason.empty());
    for (const brolt::VmOptionSource& source : others) {
        if (!brolt::agentOption(source.options).empty() ||
            !brolt::userSharingOption(source.options).empty() || !source.unreadable.empty())
            require(choice.mode == brolt::SharingMode::Off);
    }
    return 0;
}
