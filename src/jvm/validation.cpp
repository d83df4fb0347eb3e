#include "jvm/validation.h"

#include <windows.h>

#include <string_view>
#include <vector>

#include "core/limits.h"
#include "core/log.h"
#include "core/unique_resource.h"
#include "core/word_size.h"
#include "files/paths.h"
#include "files/stale_extractions.h"
#include "files/tempdir.h"
#include "jvm/child_command.h"
#include "jvm/validation_rules.h"

namespace brolt::jvm {

namespace {

// A process that is still running when its wait ends reports this as its exit code.
constexpr DWORD kStillActive = 259;

std::optional<std::string> queryValue(HKEY key, const char* name, size_t bufferSize) {
    std::vector<char> buffer(bufferSize);
    DWORD size = static_cast<DWORD>(buffer.size());
    if (RegQueryValueExA(key, name, nullptr, nullptr, reinterpret_cast<BYTE*>(buffer.data()), &size) !=
        ERROR_SUCCESS)
        return std::nullopt;
    return std::string(buffer.data(), size);
}

// The whole of what a child wrote to the file, up to the limit the version rule looks at.
std::string readOutput(const std::string& path) {
    std::string output;
    UniqueFile file(CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file) {
        logError("CreateFileA %s failed: %lu", path.c_str(), GetLastError());
        return output;
    }
    std::vector<char> chunk(4096);
    DWORD got = 0;
    while (output.size() < kVersionOutputLimit &&
           ReadFile(file.get(), chunk.data(), static_cast<DWORD>(chunk.size()), &got, nullptr) && got > 0)
        output.append(chunk.data(), got);
    if (output.size() > kVersionOutputLimit)
        output.resize(kVersionOutputLimit);
    return output;
}

// The short form spares the child a long path where the volume has one; the program is quoted anyway.
std::string shortFormOf(const std::string& path) {
    char shortPath[kTextBufferSize];
    DWORD length = GetShortPathNameA(path.c_str(), shortPath, sizeof shortPath);
    if (length == 0 || length >= sizeof shortPath)
        return path;
    return shortPath;
}

}  // namespace

std::optional<std::string> readCachedVersion(const std::string& javaExecutable, uint64_t lastWriteTime) {
    TextOutcome keyName = cacheKeyName(javaExecutable);
    if (!keyName) {
        logInfo("version cache not used: %s", keyName.reason.c_str());
        return std::nullopt;
    }
    UniqueRegKey key;
    if (RegOpenKeyExA(HKEY_CURRENT_USER, keyName.text->c_str(), 0, KEY_READ, key.put()) != ERROR_SUCCESS)
        return std::nullopt;
    CacheEntry entry;
    // One byte more than the stored time, so a longer value is seen as such.
    entry.lastWriteTime = queryValue(key.get(), "LastWriteTime", kFileTimeBytes + 1);
    entry.version = queryValue(key.get(), "Version", kCachedVersionBufferSize);
    TextOutcome version = cachedVersion(entry, lastWriteTime);
    if (!version) {
        logInfo("version cache miss: %s", version.reason.c_str());
        return std::nullopt;
    }
    return version.text;
}

void writeCachedVersion(const std::string& javaExecutable, uint64_t lastWriteTime,
                        const std::string& version) {
    TextOutcome keyName = cacheKeyName(javaExecutable);
    if (!keyName)
        return;
    UniqueRegKey key;
    if (RegCreateKeyExA(HKEY_CURRENT_USER, keyName.text->c_str(), 0, nullptr, REG_OPTION_NON_VOLATILE,
                        KEY_ALL_ACCESS, nullptr, key.put(), nullptr) != ERROR_SUCCESS) {
        logError("RegCreateKeyExA %s failed", keyName.text->c_str());
        return;
    }
    std::string time = cacheTimeBytes(lastWriteTime);
    // Failed writes only cost the next start a "-version" run.
    RegSetValueExA(key.get(), "LastWriteTime", 0, REG_BINARY, reinterpret_cast<const BYTE*>(time.data()),
                   static_cast<DWORD>(time.size()));
    RegSetValueExA(key.get(), "Version", 0, REG_SZ, reinterpret_cast<const BYTE*>(version.data()),
                   static_cast<DWORD>(version.size()));
}

std::optional<std::string> runJavaVersion(const std::string& javaExecutable, uint64_t lastWriteTime) {
    TextOutcome commandLine = javaVersionCommandLine(shortFormOf(javaExecutable));
    if (!commandLine) {
        logError("no -version run: %s", commandLine.reason.c_str());
        return std::nullopt;
    }
    // Named after this process, so what a failed removal leaves is swept once the process is gone.
    ExtractionOwner self = currentExtractionOwner();
    SECURITY_ATTRIBUTES inheritable{sizeof(SECURITY_ATTRIBUTES), nullptr, TRUE};
    VersionOutputFile output;
    TempFile tempFile = makeTempFileWith([&](const std::string& directory) -> std::optional<std::string> {
        output = createVersionOutputFile(directory, self, &inheritable);
        return output.file ? std::optional<std::string>(output.name) : std::nullopt;
    });
    if (tempFile.failure != TempFileFailure::None) {
        logError("no temporary file for the -version output");
        return std::nullopt;
    }
    const char* outputName = output.name.c_str();
    // The child's copy of the handle may outlive the child for a moment.
    auto removeOutput = ScopeExit([&] {
        output.file.reset();
        removeFileOnceReleased(output.name);
    });

    STARTUPINFOA startup{};
    startup.cb = sizeof startup;
    startup.dwFlags = STARTF_USESHOWWINDOW | STARTF_USESTDHANDLES;
    startup.wShowWindow = SW_HIDE;
    startup.hStdError = output.file.get();  // the runtime prints its version here
    PROCESS_INFORMATION process{};
    std::string command = *commandLine.text;
    if (!CreateProcessA(nullptr, command.data(), nullptr, nullptr, TRUE, NORMAL_PRIORITY_CLASS, nullptr,
                        nullptr, &startup, &process)) {
        logInfo("Could not create process %s > %s (error %d)", command.c_str(), outputName,
                static_cast<int>(GetLastError()));
        return std::nullopt;
    }
    UniqueHandle processHandle(process.hProcess);
    UniqueHandle threadHandle(process.hThread);

    WaitForSingleObject(processHandle.get(), kVersionRunTimeoutMilliseconds);
    DWORD exitCode = 0;
    GetExitCodeProcess(processHandle.get(), &exitCode);
    logInfo("Exit Code %d", static_cast<int>(exitCode));
    if (exitCode == kStillActive) {
        // Nothing is cached, so the next start tries again.
        logInfo("Terminating process");
        TerminateProcess(processHandle.get(), 1);
        return std::nullopt;
    }
    if (exitCode != 0) {
        // Remembered, so later checks of the unchanged executable need no run to reject it.
        writeCachedVersion(javaExecutable, lastWriteTime, std::string(kFailedVersion));
        return std::nullopt;
    }
    output.file.reset();
    TextOutcome version = versionFromOutput(readOutput(outputName));
    if (!version) {
        logInfo("no version in the output: %s", version.reason.c_str());
        return std::nullopt;
    }
    logInfo("Java version: %s", version.text->c_str());
    return version.text;
}

HomeExecutable homeExecutable(std::string_view home, bool requireDevelopmentKit) {
    return javaExeForHome(home, requireDevelopmentKit,
                          [](const std::string& path) { return fileExists(path.c_str()); });
}

ImageMachine readImageMachine(const std::string& path) {
    UniqueFile file(CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file)
        return {0, "cannot be read (error " + std::to_string(GetLastError()) + ")"};
    std::vector<uint8_t> head(kImageHeadBytes);
    DWORD got = 0;
    if (!ReadFile(file.get(), head.data(), static_cast<DWORD>(head.size()), &got, nullptr))
        return {0, "cannot be read (error " + std::to_string(GetLastError()) + ")"};
    head.resize(got);
    return imageMachine(head);
}

namespace {

// The version of an existing executable: from the cache when its entry is current, else from a run,
// which is then cached.
std::optional<std::string> versionOf(const std::string& javaExecutable, uint64_t lastWriteTime) {
    if (std::optional<std::string> cached = readCachedVersion(javaExecutable, lastWriteTime)) {
        logInfo("got version from registry %s", cached->c_str());
        return cached;
    }
    if (std::optional<std::string> found = runJavaVersion(javaExecutable, lastWriteTime)) {
        logInfo("got version from execution %s", found->c_str());
        writeCachedVersion(javaExecutable, lastWriteTime, *found);
        return found;
    }
    logInfo("couldn't get version");
    return std::nullopt;
}

// Whether an existing executable qualifies; version receives what was found.
bool qualifies(const std::string& javaExecutable, uint64_t lastWriteTime, std::string& version,
               const ValidationSettings& settings, bool skipPrereleaseCheck) {
    // Before the cache and the run: a cached version says nothing about the word size, and a runtime
    // of the other one is not worth a child process.
    Verdict wordSize = runtimeWordSize(readImageMachine(javaExecutable), kLauncherWordSize);
    if (!wordSize) {
        logInfo("wrong word size: %s", wordSize.reason.c_str());
        return false;
    }
    std::optional<std::string> found = versionOf(javaExecutable, lastWriteTime);
    if (!found)
        return false;
    version = *found;
    Verdict inRange = versionInRange(version, settings.range, skipPrereleaseCheck);
    if (!inRange)
        logInfo("%s", inRange.reason.c_str());
    return inRange.accepted;
}

}  // namespace

bool checkJavaExe(std::string& javaExecutable, std::string& version, const ValidationSettings& settings,
                  bool skipPrereleaseCheck) {
    logInfo("checkJavaExe (%s, [out], %s, %s, %d)", javaExecutable.c_str(), settings.range.minimum.c_str(),
            settings.range.maximum.c_str(), skipPrereleaseCheck ? 1 : 0);
    version.clear();
    bool result = false;
    uint64_t lastWriteTime = 0;
    if (javaExecutable.size() >= kTextBufferSize) {
        logInfo("path longer than %u characters", static_cast<unsigned>(kTextBufferSize - 1));
    } else {
        char fullPath[kTextBufferSize];
        getFullPath(fullPath, javaExecutable.c_str(), false);
        javaExecutable = fullPath;
        if (!findFile(javaExecutable.c_str(), &lastWriteTime)) {
            logInfo("file doesn't exist");
        } else {
            logInfo("file exists");
            result = qualifies(javaExecutable, lastWriteTime, version, settings, skipPrereleaseCheck);
        }
    }
    if (result && settings.windowless) {
        TextOutcome windowless = windowlessExecutable(javaExecutable);
        if (!windowless)
            return false;
        javaExecutable = *windowless.text;
        return fileExists(javaExecutable.c_str());
    }
    logInfo("checkJavaExe returning %d", result ? 1 : 0);
    return result;
}

}  // namespace brolt::jvm
