// VM creation, main invocation and the stop through the Java platform's exit method.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "jvm/jvm_search.h"

namespace brolt {

// What the launch needs besides the runtime: fixed at start-up, before the service thread exists.
struct LaunchSettings {
    char launcherKind = '\0';         // 'q' quendrial kind, anything else brolt kind
    std::string extractionDirectory;  // empty when nothing was included
    uint32_t unextractedPosition = 0;
};

}  // namespace brolt

// True when the VM was created through the runtime's entry points and the application's main
// returned normally.
bool launchJavaApplication(const brolt::JavaRuntime& runtime, const brolt::LaunchSettings& settings,
                           const std::vector<std::wstring>& arguments);
void stopJavaApplication();
