// Fuzzes the handling of options-file lines with arbitrary bytes: the input is cut into reads as the
// options file is read (up to a line end, at most one buffer less its terminator), each read becomes an
// option or is skipped, the option is classified and lands in a class path option. Besides what the
// sanitizers catch, properties any correct answer has are checked; a violation aborts, so the fuzzer
// keeps the input.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string_view>

#include "launch/vm_option_rules.h"

namespace {

void require(bool holds) {
    if (!holds)
        abort();
}

// What one read of the file delivers: up to and including a line end, at most a buffer less one.
std::string_view nextRead(std::string_view& rest) {
    size_t length = rest.find('\n');
    length = length == std::string_view::npos ? rest.size() : length + 1;
    if (length > brolt::kOptionsLineSize - 1)
        length = brolt::kOptionsLineSize - 1;
    std::string_view read = rest.substr(0, length);
    rest.remove_prefix(length);
    return read;
}

void checkOption(std::string_view read, std::string_view option, brolt::ClassPathOption& classPath,
                 brolt::ClassPathModifiers& modifiers) {
    // A part of the read without its line end and outer spaces; never a comment, never empty. (A
    // carriage return followed by spaces is text of the line, not its end.)
    require(!option.empty());
    require(option.data() >= read.data() && option.data() + option.size() <= read.data() + read.size());
    require(option.front() != ' ' && option.front() != '#' && option.back() != ' ');
    require(option.find('\n') == std::string_view::npos);
    std::string_view after = read.substr(static_cast<size_t>(option.data() - read.data()) + option.size());
    require(after.find_first_not_of(" \r\n") == std::string_view::npos);

    brolt::ClassifiedVmOption classified = brolt::classifyVmOption(option);
    require(option.ends_with(classified.rest));
    require((classified.kind == brolt::VmOptionKind::Plain) == (classified.rest.size() == option.size()));
    bool isSetting = modifiers.apply(classified);
    require(isSetting == (classified.kind != brolt::VmOptionKind::Plain &&
                          classified.kind != brolt::VmOptionKind::Include));

    size_t before = classPath.text().size();
    classPath.addEntry(option);
    require(classPath.text().size() < brolt::kClassPathOptionSize);
    require(classPath.cut() || classPath.text().size() == before + option.size() + 1);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    std::string_view rest(reinterpret_cast<const char*>(data), size);
    brolt::ClassPathOption classPath;
    brolt::ClassPathModifiers modifiers;
    while (!rest.empty()) {
        std::string_view read = nextRead(rest);
        std::optional<std::string_view> option = brolt::optionsFileLine(read);
        if (option)
            checkOption(read, *option, classPath, modifiers);
    }
    require(classPath.text().starts_with(brolt::kClassPathOptionStart));
    return 0;
}
