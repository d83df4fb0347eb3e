// A launch step that cannot go on, as a value handed up to the entry, which alone shows it and ends the
// process.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

namespace brolt {

// The exit code a service start reports when it fails before the application runs.
inline constexpr uint32_t kFailedStartExitCode = 1;

struct Failure {
    // The configured message shown, with argument in place of its "{0}"; 0 shows nothing, the log
    // lines written where it happened say what went wrong.
    int messageKey = 0;
    std::optional<std::string> argument;
    uint32_t serviceExitCode = kFailedStartExitCode;  // what a failed service start reports
    // What happened, in words, where the message alone does not say it (an exception's text).
    std::string detail;

    // A stop asked for while the service was starting: the start ends before the application's main,
    // as a stop and not as a failure.
    bool isStop() const { return serviceExitCode == 0; }
};

inline Failure failure(int messageKey, std::optional<std::string> argument = std::nullopt) {
    return {messageKey, std::move(argument), kFailedStartExitCode, {}};
}

// A failure the log lines already explain, with nothing of its own to show.
inline Failure silentFailure() {
    return {};
}

// The start given up because a stop or shutdown arrived before the application's main was called.
inline Failure stopBeforeMain() {
    return {0, std::nullopt, 0, {}};
}

}  // namespace brolt
