#include "launch/java_launch.h"

#include "core/log.h"

// No VM can be created yet: nothing loads a VM library, so there is nothing to launch or to stop.
bool launchJavaApplication(const brolt::JavaRuntime& runtime, const brolt::LaunchSettings&,
                           const std::vector<std::wstring>& arguments) {
    logError("Java launch not available (%u launch arguments, creation entry %s)",
             static_cast<unsigned>(arguments.size()), runtime.entryPoints.usable() ? "known" : "unknown");
    return false;
}

void stopJavaApplication() {}
