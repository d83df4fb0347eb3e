// The configuration read once at start-up into the values the runtime search and the launch take; below
// the entry nothing reads the configuration.
#pragma once

#include <cstdint>

#include "jvm/search.h"
#include "launch/java_launch.h"

namespace brolt {

struct LauncherSettings {
    SearchSettings search;
    LaunchSettings launch;                  // without the extraction, which start-up adds when it is done
    uint32_t stopTimeoutMilliseconds = 0;   // key 30001, the default when not configured
    uint32_t startTimeoutMilliseconds = 0;  // key 30011, the default when not configured
};

// Rolled output files kept when output.keep is not set (or not positive): history enough to see what led
// up to a failure, at most six times output.rotate_bytes on disk. The Java side falls back to the same.
inline constexpr uint32_t kDefaultKeptOutputFiles = 5;

// The rotation configured by keys 30008 and 30009: none for a size that is not positive, the default
// number kept for a count that is not.
OutputRotation outputRotation(int configuredBytes, int configuredKeep);

// From the loaded configuration, for the launcher kind (the first letter of key 2001) and the executable
// type start-up read. The application directory (key 10003) is made absolute here, once, for both.
LauncherSettings readLauncherSettings(char launcherKind, ExecutableType executableType);

}  // namespace brolt
