// Class-data sharing for the application's own classes: the archive of one launcher on one runtime in
// the per-user cache folder (%LOCALAPPDATA%\brolt\cds), the options that map it or have the VM write
// it at its exit, and the last step of a write once the VM has ended. Every failure here only leaves
// the application's classes unshared; none stops a start.
#pragma once

#include <string>
#include <vector>

#include "launch/launch_context.h"

namespace brolt {

// The options of class-data sharing for a VM about to be created with the given options (the user's
// and the composed class path among them) on the runtime whose java executable and version are given;
// they go in front of the others. Prunes the cache folder and takes the writer's lock when this start
// is to write the archive. Logs the choice and why.
std::vector<std::string> prepareClassDataSharing(const LaunchContext& context,
                                                 const std::string& javaExecutable,
                                                 const std::string& version,
                                                 const std::vector<std::string>& options);

// After the VM wrote its archive at its exit: the written file takes the archive's place and its stamp
// is written. Nothing when this start wrote none; safe to call more than once.
void finishClassDataSharing();

}  // namespace brolt
