// What every runtime-search rule answers: an outcome and, when something was turned down, the reason
// the diagnostic log prints, so a user can read why a runtime was or was not chosen.
#pragma once

#include <cstddef>
#include <functional>
#include <optional>
#include <string>
#include <string_view>

#include "core/limits.h"

namespace brolt::jvm {

// The longest path or configured text the search takes: one buffer of the shared size, terminator
// included. A longer one is refused, never cut, since a cut path names another place.
inline constexpr size_t kPathLimit = kTextBufferSize - 1;

struct Verdict {
    bool accepted = false;
    std::string reason;  // why not, for the log; empty when accepted

    static Verdict accept() { return {true, {}}; }
    static Verdict reject(std::string why) { return {false, std::move(why)}; }
    explicit operator bool() const { return accepted; }
};

struct TextOutcome {
    std::optional<std::string> text;  // absent when refused
    std::string reason;               // why it was refused, for the log

    static TextOutcome of(std::string value) { return {std::move(value), {}}; }
    static TextOutcome refuse(std::string why) { return {std::nullopt, std::move(why)}; }
    explicit operator bool() const { return text.has_value(); }
};

// Asks whether a file exists; the search passes its file check, tests pass a list of files.
using FileProbe = std::function<bool(const std::string& path)>;

// The start of a long text for a log line, so a refused megabyte does not flood the log.
std::string logExcerpt(std::string_view text);
// The text with every from character turned into to ("\\" and "/" between paths and registry names).
std::string replaceChar(std::string_view text, char from, char to);

}  // namespace brolt::jvm
