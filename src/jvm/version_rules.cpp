#include "jvm/version_rules.h"

#include <algorithm>
#include <vector>

namespace brolt::jvm {

namespace {

// A pre-release names itself in a dash-separated part after the number: "-ea", "-rc1", "-beta2".
constexpr std::string_view kPrereleaseMarkers[] = {"beta", "ea", "rc"};
constexpr char kPartSeparator = '-';
constexpr char kBuildSeparator = '+';
constexpr std::string_view kLegacyPrefix = "1.";

// Lines a runtime prints before its version when options come from the environment.
constexpr std::string_view kNoticePrefixes[] = {
    "Picked up JAVA_TOOL_OPTIONS:",
    "Picked up _JAVA_OPTIONS:",
    "NOTE: Picked up JDK_JAVA_OPTIONS:",
};
constexpr std::string_view kVersionLinePrefixes[] = {"java version \"", "openjdk version \""};

bool startsWith(std::string_view text, std::string_view prefix) {
    return text.substr(0, prefix.size()) == prefix;
}

bool isLegacy(std::string_view version) {
    return startsWith(version, kLegacyPrefix);
}

// The texts come from C strings: the first NUL ends them.
std::string_view untilNul(std::string_view text) {
    return text.substr(0, text.find('\0'));
}

// Bytes compared as unsigned over at most count positions; a text that has ended compares as 0
// there, so a shorter text sorts below a longer one it begins.
int compareBytes(std::string_view a, std::string_view b, size_t count) {
    for (size_t i = 0; i < count; ++i) {
        unsigned ca = i < a.size() ? static_cast<unsigned char>(a[i]) : 0;
        unsigned cb = i < b.size() ? static_cast<unsigned char>(b[i]) : 0;
        if (ca != cb)
            return ca < cb ? -1 : 1;
        if (ca == 0)
            return 0;
    }
    return 0;
}

bool isDigit(char c) {
    return c >= '0' && c <= '9';
}

// The runs of digits of a version, leading zeros dropped, so that "0" and "" both mean zero.
std::vector<std::string_view> numbersOf(std::string_view text) {
    std::vector<std::string_view> numbers;
    size_t i = 0;
    while (i < text.size()) {
        if (!isDigit(text[i])) {
            ++i;
            continue;
        }
        size_t start = i;
        while (i < text.size() && isDigit(text[i]))
            ++i;
        std::string_view run = text.substr(start, i - start);
        size_t significant = run.find_first_not_of('0');
        numbers.push_back(significant == std::string_view::npos ? std::string_view()
                                                                : run.substr(significant));
    }
    return numbers;
}

// Digit runs without leading zeros compare by length first.
int compareNumbers(std::string_view a, std::string_view b) {
    if (a.size() != b.size())
        return a.size() < b.size() ? -1 : 1;
    int c = a.compare(b);
    return c < 0 ? -1 : (c > 0 ? 1 : 0);
}

std::string_view numberAt(const std::vector<std::string_view>& numbers, size_t index) {
    return index < numbers.size() ? numbers[index] : std::string_view();
}

int compareNumberSequences(const std::vector<std::string_view>& a, const std::vector<std::string_view>& b,
                           size_t from, size_t count) {
    for (size_t i = from; i < count; ++i) {
        int c = compareNumbers(numberAt(a, i), numberAt(b, i));
        if (c != 0)
            return c;
    }
    return 0;
}

enum class Span { BoundLength, ShorterLength };

// A version (or key) against one bound. An empty bound has nothing to compare and always passes.
int compareWithBound(std::string_view version, std::string_view bound, Span span) {
    if (isLegacy(version) && isLegacy(bound)) {
        size_t count = span == Span::BoundLength ? bound.size() : std::min(version.size(), bound.size());
        return compareBytes(version, bound, count);
    }
    std::vector<std::string_view> own = numbersOf(version);
    std::vector<std::string_view> limit = numbersOf(bound);
    size_t count = span == Span::BoundLength ? limit.size() : std::min(own.size(), limit.size());
    return compareNumberSequences(own, limit, 0, count);
}

Verdict checkBounds(std::string_view what, std::string_view version, const VersionRange& range, Span span) {
    std::string_view minimum = untilNul(range.minimum);
    std::string_view maximum = untilNul(range.maximum);
    if (compareWithBound(version, minimum, span) < 0)
        return Verdict::reject(std::string(what) + " " + logExcerpt(version) + " is below the minimum " +
                               logExcerpt(minimum));
    if (compareWithBound(version, maximum, span) > 0)
        return Verdict::reject(std::string(what) + " " + logExcerpt(version) + " is above the maximum " +
                               logExcerpt(maximum));
    return Verdict::accept();
}

// One part, its build number ("+181") already cut off: a marker, then nothing but digits.
bool isPrereleaseMarker(std::string_view part) {
    return std::any_of(
        std::begin(kPrereleaseMarkers), std::end(kPrereleaseMarkers), [part](std::string_view marker) {
            return startsWith(part, marker) &&
                   std::all_of(part.begin() + marker.size(), part.end(), [](char c) { return isDigit(c); });
        });
}

}  // namespace

bool isPrerelease(std::string_view version) {
    version = untilNul(version);
    // The text before the first dash is the version number itself and never a marker.
    size_t dash = version.find(kPartSeparator);
    while (dash != std::string_view::npos) {
        size_t start = dash + 1;
        dash = version.find(kPartSeparator, start);
        std::string_view part = version.substr(start, dash == std::string_view::npos ? dash : dash - start);
        if (isPrereleaseMarker(part.substr(0, part.find(kBuildSeparator))))
            return true;
    }
    return false;
}

Verdict versionInRange(std::string_view version, const VersionRange& range, bool skipPrereleaseCheck) {
    version = untilNul(version);
    if (!skipPrereleaseCheck && !range.prereleaseAllowed && isPrerelease(version))
        return Verdict::reject("beta vm not allowed");
    return checkBounds("version", version, range, Span::BoundLength);
}

Verdict versionKeyInRange(std::string_view key, const VersionRange& range) {
    return checkBounds("key", untilNul(key), range, Span::ShorterLength);
}

int compareVersions(std::string_view a, std::string_view b) {
    a = untilNul(a);
    b = untilNul(b);
    if (isLegacy(a) && isLegacy(b))
        return compareBytes(a, b, std::max(a.size(), b.size()) + 1);
    std::vector<std::string_view> numbersA = numbersOf(a);
    std::vector<std::string_view> numbersB = numbersOf(b);
    if (int c = compareNumbers(numberAt(numbersA, 0), numberAt(numbersB, 0)); c != 0)
        return c;
    if (isLegacy(a) != isLegacy(b))
        return isLegacy(a) ? -1 : 1;
    size_t count = std::max(numbersA.size(), numbersB.size());
    if (int c = compareNumberSequences(numbersA, numbersB, 1, count); c != 0)
        return c;
    return compareBytes(a, b, std::max(a.size(), b.size()) + 1);
}

TextOutcome versionFromOutput(std::string_view output) {
    if (output.empty())
        return TextOutcome::refuse("no output");
    size_t start = 0;
    for (int notices = 0;; ++notices) {
        size_t end = output.find('\n', start);
        std::string_view line = output.substr(start, end == output.npos ? output.npos : end - start);
        bool notice = std::any_of(std::begin(kNoticePrefixes), std::end(kNoticePrefixes),
                                  [line](std::string_view prefix) { return startsWith(line, prefix); });
        if (!notice)
            break;
        if (notices == kMaxNoticeLines)
            return TextOutcome::refuse("more than " + std::to_string(kMaxNoticeLines) +
                                       " notice lines before the version line");
        if (end == output.npos)
            return TextOutcome::refuse("no version line after " + logExcerpt(line));
        start = end + 1;
    }

    std::string_view line = output.substr(start);
    line = line.substr(0, std::min(line.find('\n'), kVersionLineLimit));
    std::optional<std::string_view> rest;
    for (std::string_view prefix : kVersionLinePrefixes) {
        if (startsWith(line, prefix))
            rest = line.substr(prefix.size());
    }
    if (!rest)
        return TextOutcome::refuse("first line is not a version line: " + logExcerpt(line));
    size_t close = rest->find('"');
    if (close == std::string_view::npos)
        return TextOutcome::refuse("no closing quotation mark within " + std::to_string(kVersionLineLimit) +
                                   " characters: " + logExcerpt(line));
    std::string_view version = rest->substr(0, close);
    if (version.empty())
        return TextOutcome::refuse("empty version: " + logExcerpt(line));
    if (std::any_of(version.begin(), version.end(),
                    [](char c) { return static_cast<unsigned char>(c) < 0x20; }))
        return TextOutcome::refuse("version holds a control character: " + logExcerpt(line));
    return TextOutcome::of(std::string(version));
}

}  // namespace brolt::jvm
