// Java version texts: whether one lies in the configured range, how two of them order, and the
// version a runtime printed for "-version". Versions are compared as text, never parsed into a
// number type, so no version of any length can overflow anything.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

#include "jvm/decision.h"

namespace brolt::jvm {

struct VersionRange {
    std::string minimum;             // key 126; empty: no lower bound
    std::string maximum;             // key 127; empty: no upper bound
    bool prereleaseAllowed = false;  // key 130 not 0
};

// A pre-release carries a marker as one of its dash-separated parts after the first: a part that is
// "beta", "ea" or "rc" (lower case, as runtimes print them) followed by nothing but digits, with any
// build number after a "+" left out (the text ends at its first NUL). So "17-ea", "1.7.0-rc1",
// "1.6.0-beta2-b86" and "9-ea+181" are pre-releases, while vendor suffixes such as "17.0.9-release",
// "21.0.1-orca" or "11-rcx" are not.
bool isPrerelease(std::string_view version);

// Whether a runtime's version qualifies. Unless skipPrereleaseCheck or the range allows them,
// a pre-release is turned down with the reason "beta vm not allowed". Then the version is
// compared with each bound: byte by byte over the bound's length when both begin with "1."
// (a version beginning with the bound's text equals it, so a maximum of 1.5 admits 1.5.0_22),
// otherwise number by number over the bound's own numbers (a minimum of 11 admits 11.0.21 and
// turns down 9.0.4 and 1.8.0_392).
Verdict versionInRange(std::string_view version, const VersionRange& range, bool skipPrereleaseCheck);

// The cheap test of a registry key named after a version: the same comparisons over the shorter of
// key and bound, so a key 1.5 passes a minimum of 1.5.0_06 and a key 17 passes a minimum of 11.0.2;
// the exact version is settled when the runtime itself is checked.
Verdict versionKeyInRange(std::string_view key, const VersionRange& range);

// A total order of version texts for choosing the greatest: texts that both begin with "1." order
// byte by byte, as they always have; otherwise by their first number, then "1." texts before the
// others, then number by number (a missing number counts as 0), then byte by byte. Negative, zero
// (identical texts only) or positive.
int compareVersions(std::string_view a, std::string_view b);

// The output of "-version" as the launcher hands it over: at most this many bytes of the file the
// runtime's standard error went to. Room for a few notice lines of the longest environment value
// (32767 characters) before the version line.
inline constexpr size_t kVersionOutputLimit = 131072;
// Of the version line only its start is looked at, as the first line always was.
inline constexpr size_t kVersionLineLimit = 99;
// Notice lines a runtime may print before its version line; each known notice comes at most once.
inline constexpr int kMaxNoticeLines = 4;

// The version a runtime printed: the text between the quotation marks of the first line that begins
// with `java version "` or `openjdk version "`, after at most kMaxNoticeLines lines such as
// "Picked up JAVA_TOOL_OPTIONS: ...". Line ends may be "\n" or "\r\n".
TextOutcome versionFromOutput(std::string_view output);

}  // namespace brolt::jvm
