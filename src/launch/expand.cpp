#include "launch/expand.h"

#include <windows.h>

#include <cstring>
#include <algorithm>
#include <string>
#include <string_view>

#include "core/limits.h"
#include "core/log.h"
#include "core/unique_resource.h"
#include "files/paths.h"

namespace {

using brolt::kTextBufferSize;

char jvmHome[kTextBufferSize];
std::string extractionDirectory;

enum class LauncherValue { Directory, TempDirectory, PathListSeparator, JvmHome };

struct LauncherVariable {
    const char* pattern;
    LauncherValue value;
};

// Replaced in this order, before any environment variable: a launcher variable always wins over an
// environment variable of the same name.
constexpr LauncherVariable kLauncherVariables[] = {
    {"%BROLT_EXEDIR%", LauncherValue::Directory},
    {"%QUENDRIAL_EXEDIR%", LauncherValue::Directory},
    {"%BROLT_TEMPDIR%", LauncherValue::TempDirectory},
    {"%QUENDRIAL_TEMPDIR%", LauncherValue::TempDirectory},
    {"%BROLT_PATHLIST_SEPARATOR%", LauncherValue::PathListSeparator},
    {"%QUENDRIAL_PATHLIST_SEPARATOR%", LauncherValue::PathListSeparator},
    {"%BROLT_JVM_HOME%", LauncherValue::JvmHome},
    {"%QUENDRIAL_JVM_HOME%", LauncherValue::JvmHome},
    {"${BROLT_EXEDIR}", LauncherValue::Directory},
    {"${QUENDRIAL_EXEDIR}", LauncherValue::Directory},
    {"${BROLT_TEMPDIR}", LauncherValue::TempDirectory},
    {"${QUENDRIAL_TEMPDIR}", LauncherValue::TempDirectory},
    {"${BROLT_PATHLIST_SEPARATOR}", LauncherValue::PathListSeparator},
    {"${QUENDRIAL_PATHLIST_SEPARATOR}", LauncherValue::PathListSeparator},
    {"${BROLT_JVM_HOME}", LauncherValue::JvmHome},
    {"${QUENDRIAL_JVM_HOME}", LauncherValue::JvmHome},
    {"${launcher:sys.launcherDirectory}", LauncherValue::Directory},
    {"${launcher:sys.launcherTempDirectory}", LauncherValue::TempDirectory},
    {"${launcher:sys.pathlistSeparator}", LauncherValue::PathListSeparator},
    {"${launcher:sys.jvmHome}", LauncherValue::JvmHome},
};

constexpr const char* kPathListSeparator = ";";

void upperCaseAsciiLetters(std::string& text) {
    for (char& c : text) {
        if (c >= 'a' && c <= 'z')
            c = static_cast<char>(c - 'a' + 'A');
    }
}

void expandEnvironment(char* text) {
    char* block = GetEnvironmentStringsA();
    if (block == nullptr)
        return;
    brolt::ScopeExit release([block] { FreeEnvironmentStringsA(block); });

    char entry[kTextBufferSize];
    for (const char* cursor = block; *cursor != '\0'; cursor += strlen(cursor) + 1) {
        if (!brolt::copyBounded(entry, sizeof entry, cursor)) {
            logError("environment entry longer than %u characters skipped",
                     static_cast<unsigned>(sizeof entry - 1));
            continue;
        }
        char* equals = strchr(entry, '=');
        if (equals == nullptr)
            continue;
        *equals = '\0';
        const char* value = equals + 1;
        std::string pattern = std::string("${") + entry + "}";
        replaceAll(text, pattern.c_str(), value);
        upperCaseAsciiLetters(pattern);
        replaceAll(text, pattern.c_str(), value);
    }
}

}  // namespace

void replaceAll(char* text, const char* pattern, const char* value) {
    size_t patternLength = strlen(pattern);
    if (patternLength == 0)
        return;  // would match everywhere
    char* found = strstr(text, pattern);
    while (found != nullptr) {
        char tail[kTextBufferSize];
        brolt::copyBounded(tail, sizeof tail, found + patternLength);
        *found = '\0';
        bool fits = brolt::appendBounded(text, kTextBufferSize, value);
        size_t resumeAt = strlen(text);  // right behind the inserted value
        fits = brolt::appendBounded(text, kTextBufferSize, tail) && fits;
        if (!fits) {
            logError("text cut to %u characters while replacing %s",
                     static_cast<unsigned>(kTextBufferSize - 1), pattern);
        }
        found = strstr(text + resumeAt, pattern);
    }
}

void expandVariables(char* text) {
    char launcherDirectory[kTextBufferSize];
    resolveLauncherPath(launcherDirectory, "");
    auto valueOf = [&](LauncherValue value) -> const char* {
        switch (value) {
            case LauncherValue::Directory:
                return launcherDirectory;
            case LauncherValue::TempDirectory:
                return extractionDirectory.c_str();
            case LauncherValue::PathListSeparator:
                return kPathListSeparator;
            case LauncherValue::JvmHome:
                return jvmHome;
        }
        return "";
    };
    for (const LauncherVariable& variable : kLauncherVariables)
        replaceAll(text, variable.pattern, valueOf(variable.value));
    expandEnvironment(text);
}

void setExtractionDirectory(const char* directory) {
    extractionDirectory = directory;
}

void setJvmHome(const char* javaExePath) {
    // The executable's name is cut off by its length, so the directory keeps its trailing backslash.
    constexpr std::string_view kWindowedName = "javaw.exe";
    constexpr std::string_view kConsoleName = "java.exe";
    std::string_view path(javaExePath);
    size_t cut = path.ends_with(kWindowedName) ? kWindowedName.size() : kConsoleName.size();
    std::string home(path.substr(0, path.size() - std::min(cut, path.size())));
    home += "..";
    if (!brolt::copyBounded(jvmHome, sizeof jvmHome, home.c_str()))
        logError("JVM home cut: %s", home.c_str());
}

const char* getJvmHome() {
    return jvmHome;
}
