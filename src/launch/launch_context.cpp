#include "launch/launch_context.h"

#include "config/messages.h"
#include "files/paths.h"
#include "launch/expand.h"

namespace brolt {

LaunchContext makeLaunchContext(const JavaRuntime& runtime, const LaunchSettings& settings) {
    LaunchContext context;
    context.settings = settings;
    context.expansion.launcherDirectory = getLauncherDirectory();
    context.expansion.extractionDirectory = settings.extractionDirectory;
    // The JVM home follows from the chosen executable by expansion's own rule.
    setJvmHome(runtime.javaExePath.c_str());
    context.expansion.jvmHome = getJvmHome();
    return context;
}

void expandLaunchText(char* text, const ExpansionContext&) {
    // Expansion still reads the launcher directory, the extraction directory and the JVM home from
    // where start-up and makeLaunchContext recorded them; the context holds the same values.
    expandVariables(text);
}

void failLaunch(const LaunchContext& context, int key, const char* argument) {
    if (context.settings.hooks.beforeFatalExit != nullptr)
        context.settings.hooks.beforeFatalExit();
    fatalMessage(key, argument);
}

}  // namespace brolt
