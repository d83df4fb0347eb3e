#include "launch/launch_context.h"

#include <cstring>
#include <string>

#include "config/config.h"
#include "config/messages.h"
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

void getConfiguredText(int key, char* buffer) {
    // One character more than the buffer holds tells a value that fits from one that does not.
    std::string probe(kTextBufferSize + 1, '\0');
    getStr(key, probe.data(), probe.size());
    if (strlen(probe.c_str()) >= kTextBufferSize)
        logError("value of key %d cut to %u characters", key, static_cast<unsigned>(kTextBufferSize - 1));
    copyBounded(buffer, kTextBufferSize, probe.c_str());
}

void expandLaunchText(char* text, const ExpansionContext& context) {
    expandVariables(text, context);
}

void failLaunch(const LaunchContext& context, int key, const char* argument) {
    if (context.settings.hooks.beforeFatalExit != nullptr)
        context.settings.hooks.beforeFatalExit();
    fatalMessage(key, argument);
}

}  // namespace brolt
