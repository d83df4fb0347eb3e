// Fuzzes what the VM prints on its way to the log and the standard-error file. The first byte chooses
// whether standard error is redirected and appended to; the rest is a run of prints separated by the
// bytes 0x01 (the Java side ran) and 0x02 (it never will). Besides what the sanitizers catch: no log
// line is empty, holds a line end or passes the limit; the kept text stays within its limit; every
// printed byte is written, kept or counted as left out, and in order when none was left out; only the first
// write of a file that is to start afresh does so.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "fuzz_check.h"
#include "launch/vm_output_rules.h"

namespace {

using fuzz::require;

constexpr char kJavaSideRan = '\x01';
constexpr char kJavaSideNeverRuns = '\x02';
constexpr char kReleases[] = {kJavaSideRan, kJavaSideNeverRuns, '\0'};

void checkLines(const std::vector<std::string>& lines) {
    for (const std::string& line : lines) {
        require(!line.empty() && line.size() <= brolt::kLogLineLimit);
        require(line.find('\n') == std::string::npos && line.back() != '\r');
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size == 0)
        return 0;
    const bool toFile = (data[0] & 1) != 0;
    const bool append = (data[0] & 2) != 0;
    std::string_view rest(reinterpret_cast<const char*>(data) + 1, size - 1);

    // The same bytes as a list of imported names: a C library found is one of them, or the universal one.
    std::vector<std::string> names;
    for (size_t start = 0; start <= rest.size();) {
        size_t end = std::min(rest.find('\0', start), rest.size());
        names.emplace_back(rest.substr(start, end - start));
        start = end + 1;
    }
    brolt::CLibrary library = brolt::vmCLibrary(names);
    if (library.kind == brolt::CLibraryKind::Unknown)
        require(library.module.empty());
    else if (library.kind == brolt::CLibraryKind::Classic)
        require(std::find(names.begin(), names.end(), library.module) != names.end());
    else
        require(library.module == "ucrtbase.dll");

    brolt::VmOutput output = brolt::startVmOutput(toFile, append);
    std::string pending;
    std::string printedText;  // everything printed, in order
    std::string accounted;    // what was written or kept, in order, with gaps where text was left out
    size_t leftOut = 0;
    bool written = false;
    auto take = [&](const brolt::PendingWrite& write, size_t noteLength) {
        if (write.text.empty())
            return;
        require(write.mode == brolt::OutputWrite::Append || (!written && toFile && !append));
        written = true;
        accounted += write.text.substr(noteLength);
    };
    while (!rest.empty()) {
        size_t end = rest.find_first_of(kReleases);
        std::string_view text = rest.substr(0, end);
        checkLines(brolt::takeLogLines(pending, text));
        printedText += text;
        take(brolt::printed(output, text), 0);
        require(output.kept.size() <= brolt::kKeptOutputLimit);
        if (end == std::string_view::npos)
            break;
        size_t dropped = output.leftOut;
        size_t noteLength = 0;
        if (dropped > 0)
            noteLength = std::string_view("( bytes of earlier output left out)\n").size() +
                         std::to_string(dropped).size();
        leftOut += dropped;
        take(brolt::releaseKept(output, rest[end] == kJavaSideRan), noteLength);
        require(output.kept.empty() && output.leftOut == 0 && !output.keeping);
        rest.remove_prefix(end + 1);
    }
    std::string last = brolt::takeLastLogLine(pending);
    require(pending.empty());
    if (!last.empty())
        checkLines({last});
    accounted += output.kept;
    leftOut += output.leftOut;
    require(accounted.size() + leftOut == printedText.size());
    require(leftOut > 0 || accounted == printedText);
    return 0;
}
