#include "launch/vm_output_rules.h"

#include <utility>

#include "core/text_case.h"

namespace brolt {

namespace {

// A kept text past the limit is cut back to this share of it, so that the next prints do not each move
// the whole text again.
constexpr size_t kKeptAfterCut = kKeptOutputLimit / 4 * 3;
// How far past the cut a line start is looked for; beyond it the cut falls inside a line.
constexpr size_t kLineStartSearch = kKeptOutputLimit / 4;

void addLine(std::vector<std::string>& lines, std::string_view line) {
    while (!line.empty() && line.back() == '\r')
        line.remove_suffix(1);
    if (!line.empty())
        lines.emplace_back(line);
}

// The write of text now that nothing is kept: the first one starts the file afresh when that is due.
PendingWrite written(VmOutput& output, std::string text) {
    PendingWrite write{std::move(text), output.startAfresh ? OutputWrite::StartAfresh : OutputWrite::Append};
    if (write.text.empty())
        write.mode = OutputWrite::Append;
    else
        output.startAfresh = false;
    return write;
}

}  // namespace

std::vector<std::string> takeLogLines(std::string& pending, std::string_view printed) {
    std::vector<std::string> lines;
    pending.append(printed);
    std::string_view rest = pending;
    for (;;) {
        size_t end = rest.find('\n');
        if (end == std::string_view::npos && rest.size() < kLogLineLimit)
            break;
        // A line too long to wait for goes in a piece of the limit's size.
        size_t length = end != std::string_view::npos && end <= kLogLineLimit ? end : kLogLineLimit;
        addLine(lines, rest.substr(0, length));
        rest.remove_prefix(length == end ? length + 1 : length);
    }
    pending.erase(0, pending.size() - rest.size());
    return lines;
}

std::string takeLastLogLine(std::string& pending) {
    std::vector<std::string> lines;
    addLine(lines, pending);
    pending.clear();
    return lines.empty() ? std::string() : lines.front();
}

VmOutput startVmOutput(bool toFile, bool append) {
    VmOutput output;
    output.keeping = toFile;
    output.startAfresh = toFile && !append;
    return output;
}

PendingWrite printed(VmOutput& output, std::string_view text) {
    if (!output.keeping) {
        // Whole lines only: the VM prints a line in pieces (a log line's decorations, then its text), and
        // the Java side appends to the same file between any two of them. The start of a line waits for
        // its end, unless it grows past a log line's limit.
        output.kept.append(text);
        size_t lineEnd = output.kept.rfind('\n');
        size_t whole = lineEnd == std::string::npos ? 0 : lineEnd + 1;
        if (output.kept.size() - whole >= kLogLineLimit)
            whole = output.kept.size();
        std::string lines = output.kept.substr(0, whole);
        output.kept.erase(0, whole);
        return written(output, std::move(lines));
    }
    output.kept.append(text);
    if (output.kept.size() > kKeptOutputLimit) {
        size_t cut = output.kept.size() - kKeptAfterCut;
        size_t lineEnd = output.kept.find('\n', cut - 1);
        if (lineEnd != std::string::npos && lineEnd + 1 - cut <= kLineStartSearch)
            cut = lineEnd + 1;
        output.kept.erase(0, cut);
        output.leftOut += cut;
    }
    return {};
}

PendingWrite releaseKept(VmOutput& output, bool javaSideRan) {
    std::string text;
    if (output.leftOut > 0)
        text = "(" + std::to_string(output.leftOut) + " bytes of earlier output left out)\n";
    text += output.kept;
    VmOutput released;
    released.startAfresh = output.startAfresh && !javaSideRan;
    output = std::move(released);
    return written(output, std::move(text));
}

namespace {

// "msvcrt.dll", or "msvcr" and the version's digits ("msvcr100.dll"); not the debug builds ("msvcr100d").
bool isClassicCLibrary(std::string_view name) {
    constexpr std::string_view prefix = "msvcr";
    constexpr std::string_view suffix = ".dll";
    if (!startsWithIgnoringCase(name, prefix) || !endsWithIgnoringCase(name, suffix))
        return false;
    std::string_view middle = name.substr(prefix.size(), name.size() - prefix.size() - suffix.size());
    if (middle.size() == 1 && asciiLower(middle[0]) == 't')
        return true;
    if (middle.empty())
        return false;
    for (char c : middle) {
        if (c < '0' || c > '9')
            return false;
    }
    return true;
}

}  // namespace

CLibrary vmCLibrary(const std::vector<std::string>& importedNames) {
    for (const std::string& name : importedNames) {
        if (equalIgnoringCase(name, "ucrtbase.dll") || startsWithIgnoringCase(name, "api-ms-win-crt-"))
            return {CLibraryKind::Universal, "ucrtbase.dll"};
        if (isClassicCLibrary(name))
            return {CLibraryKind::Classic, name};
    }
    return {};
}

}  // namespace brolt
