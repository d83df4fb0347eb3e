// Fuzzes the decision of how a start or a stop ends. The first bytes choose the stage, the cause, whether
// a stop was asked for (and was a shutdown), whether the failure is shown and the limit; then the VM's exit
// code; the rest splits at 0x00 bytes into the failure's message, its detail and the VM's first line. Besides
// the sanitizers' checks: the service always ends stopped; a stop that was asked for never reports a non-zero
// WIN32_EXIT_CODE, so no recovery restarts it; a service-specific code is reported only beside 1066 or for
// a stop that was asked for; every event has a text ending in a full stop that names the exit code; a
// failure is shown only for a start nobody stopped; the start's files go exactly when the application never
// ran.
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string>
#include <string_view>

#include "fuzz_check.h"
#include "service/service_end_rules.h"

namespace svc = brolt::service;
using fuzz::require;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 8)
        return 0;
    svc::WhatHappened happened;
    happened.stage = static_cast<svc::StartStage>(data[0] % 4);
    happened.cause = static_cast<svc::EndCause>(data[1] % 8);
    happened.stopRequested = (data[2] & 1) != 0;
    happened.shutdown = (data[2] & 2) != 0;
    happened.failureShown = (data[2] & 4) != 0;
    happened.limitSeconds = data[3];
    int32_t code = 0;
    std::memcpy(&code, data + 4, sizeof code);
    happened.vmExitCode = code;
    std::string_view rest(reinterpret_cast<const char*>(data + 8), size - 8);
    size_t split = rest.find('\0');
    happened.failureText = std::string(rest.substr(0, split));
    if (split != std::string_view::npos) {
        rest.remove_prefix(split + 1);
        size_t next = rest.find('\0');
        happened.failureDetail = std::string(rest.substr(0, next));
        if (next != std::string_view::npos)
            happened.vmFirstLine = std::string(rest.substr(next + 1));
    }

    svc::ServiceEnd end = svc::decideServiceEnd(happened);
    require(end.state == svc::kStateStopped);
    // A stop that timed out was asked for, whatever the flag says.
    bool asked = happened.stopRequested || happened.cause == svc::EndCause::StopTimedOut;
    if (asked)
        require(end.win32ExitCode == 0);
    if (end.win32ExitCode != svc::kServiceSpecificError && !asked)
        require(end.serviceSpecificExitCode == 0);
    require(end.processExitCode == (end.win32ExitCode == 0 ? 0 : 1));
    if (end.event) {
        const std::string& text = end.event->text;
        require(!text.empty() && text.back() == '.');
        require(text.find(" Exit code: " + std::to_string(end.win32ExitCode)) != std::string::npos);
    }
    if (end.showFailure) {
        require(!happened.stopRequested && happened.failureShown);
        if (happened.cause != svc::EndCause::StartFailed)
            require(happened.stage != svc::StartStage::Running);
    }
    require(end.removeStartFiles ==
            (happened.stage != svc::StartStage::Running || happened.cause == svc::EndCause::StartFailed));
    require(!end.logLine.empty());
    return 0;
}
