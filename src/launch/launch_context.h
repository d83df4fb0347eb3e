// What every step of one launch reads: the settings it was started with and the values variable
// expansion offers. Made once per launch on the launching thread.
#pragma once

#include <string>
#include <string_view>

#include "core/limits.h"
#include "launch/expand.h"
#include "launch/java_launch.h"

namespace brolt {

struct LaunchContext {
    LaunchSettings settings;
    ExpansionContext expansion;
};

LaunchContext makeLaunchContext(const JavaRuntime& runtime, const LaunchSettings& settings);

// A configured text in its 8192-character work buffer, expanded there; what does not fit is cut, with
// a log line naming what.
struct ExpandedText {
    char text[kTextBufferSize];

    ExpandedText(std::string_view source, const LaunchContext& context, const char* what);
};

}  // namespace brolt
