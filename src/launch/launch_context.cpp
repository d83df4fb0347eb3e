#include "launch/launch_context.h"

#include <string>

#include "core/limits.h"
#include "core/log.h"
#include "files/paths.h"
#include "jvm/library_rules.h"
#include "launch/expand.h"

namespace brolt {

LaunchContext makeLaunchContext(const JavaRuntime& runtime, const LaunchSettings& settings) {
    LaunchContext context;
    context.settings = settings;
    context.expansion.launcherDirectory = getLauncherDirectory();
    context.expansion.extractionDirectory = settings.extractionDirectory;
    // The directory above the chosen executable's bin directory, left unnormalised.
    jvm::TextOutcome jvmHome = jvm::jvmHomeFor(runtime.javaExePath);
    if (!jvmHome)
        logError("no JVM home: %s", jvmHome.reason.c_str());
    context.expansion.jvmHome = jvmHome.text.value_or("");
    return context;
}

ExpandedText::ExpandedText(std::string_view source, const LaunchContext& context, const char* what) {
    std::string copy(source);
    if (!copyBounded(text, sizeof text, copy.c_str()))
        logError("%s cut to %u characters", what, static_cast<unsigned>(sizeof text - 1));
    expandVariables(text, context.expansion);
}

}  // namespace brolt
