// Fuzzes the included-file name rule with arbitrary bytes. Besides what the sanitizers catch, a few
// properties that any correct answer has are checked; a violation aborts, so the fuzzer keeps the input.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

#include "files/file_names.h"

namespace {

using brolt::checkPlainFileName;
using brolt::FileNameProblem;

void require(bool holds) {
    if (!holds)
        abort();
}

std::string withAsciiCaseSwapped(std::string_view name) {
    std::string swapped(name);
    for (char& c : swapped) {
        if (c >= 'a' && c <= 'z')
            c = static_cast<char>(c - 'a' + 'A');
        else if (c >= 'A' && c <= 'Z')
            c = static_cast<char>(c - 'A' + 'a');
    }
    return swapped;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    std::string_view name(reinterpret_cast<const char*>(data), size);
    FileNameProblem problem = checkPlainFileName(name);

    // The system compares names without regard to ASCII case, so the answer cannot depend on it.
    require(checkPlainFileName(withAsciiCaseSwapped(name)) == problem);
    require(brolt::describeFileNameProblem(problem)[0] != '\0' || problem == FileNameProblem::None);
    if (problem == FileNameProblem::None) {
        // An accepted name stays inside its directory and keeps its spelling on disk: nothing appended
        // to it that leaves the directory or gets stripped by the system may be accepted.
        std::string text(name);
        for (const char* suffix : {"\\x", "/x", ":x", ".", " ", "\n"})
            require(checkPlainFileName(text + suffix) != FileNameProblem::None);
    }
    return 0;
}
