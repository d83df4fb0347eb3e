// The places the runtime search walks and what each one means: the search sequence, the location
// files, the launcher-kind variable, and the message shown when the runtime found does not load.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "core/word_size.h"
#include "jvm/decision.h"

namespace brolt::jvm {

// Where a runtime was found; the number is what the search reports.
enum class LocationKind { None = 0, SystemPath = 1, Directory = 2, EnvironmentVariable = 3, Registry = 4 };

enum class CandidateCheck { Directory, SystemPath, EnvironmentVariable, Registry };
// Which entries the relative fallback pass tries again, without a version check.
enum class FallbackRule { Never, Always, WhenRelative };

struct SearchLetter {
    char letter;
    CandidateCheck check;
    LocationKind kind;         // reported when the entry's check succeeds
    bool valueIsLocationText;  // the entry's value names the place in the failure message
    FallbackRule fallback;
};

inline constexpr SearchLetter kSearchLetters[] = {
    {'A', CandidateCheck::Directory, LocationKind::Directory, true, FallbackRule::WhenRelative},
    {'B', CandidateCheck::Directory, LocationKind::Directory, true, FallbackRule::Always},
    {'R', CandidateCheck::Directory, LocationKind::Directory, true, FallbackRule::WhenRelative},
    {'S', CandidateCheck::SystemPath, LocationKind::SystemPath, true, FallbackRule::Never},
    {'E', CandidateCheck::EnvironmentVariable, LocationKind::EnvironmentVariable, true, FallbackRule::Never},
    {'Y', CandidateCheck::Registry, LocationKind::Registry, false, FallbackRule::Never},
};

// The row of a letter (case matters), or nullptr: an entry of another letter is logged and skipped.
const SearchLetter* searchLetter(char letter);

struct SearchEntry {
    char letter;
    std::string value;
};

struct SearchSequence {
    std::vector<SearchEntry> entries;  // in order, every letter kept (the first pass logs them all)
    std::vector<std::string> refused;  // one log line per entry left out
};

// Key 128: entries separated by ";", each a letter followed by its value, e.g. "B.\jre;Y;EJAVA_HOME;".
// Empty entries are skipped; an entry whose value is longer than kPathLimit is refused, never cut.
// Parsed once, the list serves both passes.
SearchSequence parseSearchSequence(std::string_view text);

// Longer than one character and a colon second ("c:\java", "c:") or two backslashes first
// ("\\server\java").
bool isAbsoluteLocation(std::string_view value);

// Whether an entry takes part in the relative fallback pass: B always, A and R unless absolute.
Verdict fallbackCandidate(const SearchEntry& entry);

// The message shown when the search fails or the runtime it found does not load.
struct FailureMessage {
    int32_t key;
    bool hasArgument;      // false: shown without substitution
    std::string argument;  // what replaces {0}
};
// Nothing found or found on the path: 1016 with the launcher's bits ("32" or "64"). A directory: the
// word size's "damaged" message (1020 or 1021) with the location text. An environment variable: the
// word size's "not working" message (1018 or 1019) with the location text (its name). The registry:
// 1005, no argument.
FailureMessage failureMessage(LocationKind kind, std::string_view locationText, const WordSize& wordSize);

// The variable of the launcher kind (first letter of key 2001): "BROLT_JAVA_HOME" for "b",
// "QUENDRIAL_JAVA_HOME" for "q", empty for any other.
std::string_view launcherKindVariable(char launcherKind);

// Below the application directory (key 10003); only the first line counts and names a directory.
inline constexpr std::string_view kPreferredLocationFile = "\\.quendrial\\pref_jre.cfg";
inline constexpr std::string_view kInstallerLocationFile = "\\.quendrial\\inst_jre.cfg";

// The first line of a location file's contents (the caller reads at least kTextBufferSize bytes),
// every trailing carriage return and line feed stripped. An empty line counts; empty contents have
// no line; a line longer than kPathLimit is refused.
TextOutcome locationFileLine(std::string_view contents);

// An installation directory named by an environment variable: forward slashes become backslashes.
// Refused when the variable is unset or empty, or longer than kPathLimit.
TextOutcome environmentJavaHome(std::string_view value);

}  // namespace brolt::jvm
