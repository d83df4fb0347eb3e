// What every step of one launch reads: the settings it was started with and the values variable
// expansion offers. Made once per launch on the launching thread.
#pragma once

#include <string>

#include "launch/expand.h"
#include "launch/java_launch.h"

namespace brolt {

struct LaunchContext {
    LaunchSettings settings;
    ExpansionContext expansion;
};

LaunchContext makeLaunchContext(const JavaRuntime& runtime, const LaunchSettings& settings);

// The configured text of key in a buffer of 8192 characters; a longer value is cut there, with a log line.
void getConfiguredText(int key, char* buffer);

// Every configured text the launch expands goes through here (a buffer of 8192 characters, changed in
// place).
void expandLaunchText(char* text, const ExpansionContext& context);

// Shows the configured message of key (with argument for "{0}", nullptr: none) and ends the process
// with exit code 1, after the hook that reports the end has run.
[[noreturn]] void failLaunch(const LaunchContext& context, int key, const char* argument);

}  // namespace brolt
