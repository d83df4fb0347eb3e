#include "windows/launcher_settings.h"

#include <string>

#include "config/config.h"
#include "config/executable_type.h"
#include "config/keys.h"
#include "core/limits.h"
#include "core/log.h"
#include "files/paths.h"
#include "service/service_status.h"

namespace brolt {

namespace {

// A value the search takes as it is: one longer than a configured text may be would have been cut, and
// a cut search entry names another folder. Such a value is refused, with a log line.
std::optional<std::string> searchValue(int32_t key) {
    std::string value = getText(key);
    if (value.size() < kTextBufferSize)
        return value;
    logError("value of key %d longer than %u characters, refused", static_cast<int>(key),
             static_cast<unsigned>(kTextBufferSize - 1));
    return std::nullopt;
}

bool flag(int32_t key) {
    return getInt(key) != 0;
}

Redirection redirection(int32_t flagKey, int32_t fileKey) {
    if (!flag(flagKey))
        return std::nullopt;
    return getText(fileKey);
}

std::string absoluteApplicationDirectory() {
    std::string configured = getText(keys::kApplicationDirectory);
    if (configured.size() >= kTextBufferSize) {
        logError("value of key %d cut to %u characters", static_cast<int>(keys::kApplicationDirectory),
                 static_cast<unsigned>(kTextBufferSize - 1));
        configured.resize(kTextBufferSize - 1);
    }
    char directory[kTextBufferSize];
    getFullPath(directory, configured.c_str(), true);
    return directory;
}

}  // namespace

OutputRotation outputRotation(int configuredBytes, int configuredKeep) {
    if (configuredBytes <= 0)
        return {};
    uint32_t keep = configuredKeep > 0 ? static_cast<uint32_t>(configuredKeep) : kDefaultKeptOutputFiles;
    return {static_cast<uint32_t>(configuredBytes), keep};
}

LauncherSettings readLauncherSettings(char launcherKind, ExecutableType executableType) {
    LauncherSettings settings;
    std::string applicationDirectory = absoluteApplicationDirectory();

    SearchSettings& search = settings.search;
    std::optional<std::string> minimum = searchValue(keys::kMinVersion);
    std::optional<std::string> maximum = searchValue(keys::kMaxVersion);
    search.rangeRefused = !minimum || !maximum;
    search.validation.range = {minimum.value_or(""), maximum.value_or(""), flag(keys::kAllowPrerelease)};
    search.validation.windowless = executableType == ExecutableType::Windowed;
    search.validation.requireDevelopmentKit = flag(keys::kRequireJdk);
    search.applicationDirectory = applicationDirectory;
    search.searchSequence = searchValue(keys::kSearchSequence).value_or("");
    search.preferredVmKind = getText(keys::kPreferredVmKind);
    search.launcherKind = launcherKind;

    LaunchSettings& launch = settings.launch;
    launch.launcherKind = launcherKind;
    launch.executableType = executableType;
    launch.applicationDirectory = applicationDirectory;
    launch.singleInstance = flag(keys::kSingleInstance);
    launch.vmParameters = getText(keys::kVmParameters);
    launch.javaOptionArguments = flag(keys::kJavaOptionArguments);
    launch.classPath = getText(keys::kClassPath);
    launch.mainClass = getText(keys::kMainClass);
    launch.stderrFile = redirection(keys::kRedirectStderr, keys::kStderrFile);
    launch.stdoutFile = redirection(keys::kRedirectStdout, keys::kStdoutFile);
    launch.mainParameterFlag = flag(keys::kMainParameterFlag);
    launch.arguments = getText(keys::kArguments);
    launch.rotation = outputRotation(getInt(keys::kOutputRotateBytes), getInt(keys::kOutputKeep));
    launch.classDataSharing = getText(keys::kClassDataSharing).empty() || flag(keys::kClassDataSharing);
    settings.stopTimeoutMilliseconds = service::stopTimeoutMilliseconds(getInt(keys::kStopTimeout));
    settings.startTimeoutMilliseconds = service::startTimeoutMilliseconds(getInt(keys::kStartTimeout));
    return settings;
}

}  // namespace brolt
