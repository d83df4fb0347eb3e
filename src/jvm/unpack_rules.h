// A runtime shipped with its class archives packed (X.jar replaced by X.jar.pack): how it is
// recognised and the unpacker runs that restore it.
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "jvm/decision.h"

namespace brolt::jvm {

// Restored in this order; the last one's presence marks a finished unpacking.
inline constexpr std::string_view kPackedArchives[] = {
    "lib\\rt.jar",     "lib\\charsets.jar",        "lib\\plugin.jar",
    "lib\\deploy.jar", "lib\\ext\\localedata.jar", "lib\\jsse.jar",
};

// The runtime directory holds lib\rt.jar.pack and no lib\jsse.jar yet.
bool isPackedRuntime(std::string_view runtimeDirectory, const FileProbe& exists);

struct UnpackStep {
    std::string packedFile;   // runtime\archive.pack
    std::string archive;      // runtime\archive
    TextOutcome commandLine;  // the unpacker run; refused when it would not fit
};

// One step per archive of kPackedArchives, in order.
std::vector<UnpackStep> unpackSteps(std::string_view runtimeDirectory);

}  // namespace brolt::jvm
