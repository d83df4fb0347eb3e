#include "launch/expand_rules.h"

#include <cstring>

#include "core/limits.h"

namespace {

using brolt::kTextBufferSize;

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

const char* valueOf(LauncherValue value, const ExpansionContext& context) {
    switch (value) {
        case LauncherValue::Directory:
            return context.launcherDirectory.c_str();
        case LauncherValue::TempDirectory:
            return context.extractionDirectory.c_str();
        case LauncherValue::PathListSeparator:
            return kPathListSeparator;
        case LauncherValue::JvmHome:
            return context.jvmHome.c_str();
    }
    return "";
}

void upperCaseAsciiLetters(std::string& text) {
    for (char& c : text) {
        if (c >= 'a' && c <= 'z')
            c = static_cast<char>(c - 'a' + 'A');
    }
}

void replaceNoting(char* text, const char* pattern, const char* value, ExpansionNotes& notes) {
    if (!replaceAll(text, pattern, value))
        notes.cutWhileReplacing.emplace_back(pattern);
}

}  // namespace

bool replaceAll(char* text, const char* pattern, const char* value) {
    size_t patternLength = strlen(pattern);
    if (patternLength == 0)
        return true;  // would match everywhere
    bool allFit = true;
    char* found = strstr(text, pattern);
    while (found != nullptr) {
        char tail[kTextBufferSize];
        brolt::copyBounded(tail, sizeof tail, found + patternLength);
        *found = '\0';
        bool fits = brolt::appendBounded(text, kTextBufferSize, value);
        size_t resumeAt = strlen(text);  // right behind the inserted value
        fits = brolt::appendBounded(text, kTextBufferSize, tail) && fits;
        allFit = allFit && fits;
        found = strstr(text + resumeAt, pattern);
    }
    return allFit;
}

ExpansionNotes expandText(char* text, const ExpansionContext& context, const char* environmentBlock) {
    ExpansionNotes notes;
    for (const LauncherVariable& variable : kLauncherVariables)
        replaceNoting(text, variable.pattern, valueOf(variable.value, context), notes);
    if (environmentBlock == nullptr)
        return notes;

    char entry[kTextBufferSize];
    for (const char* cursor = environmentBlock; *cursor != '\0'; cursor += strlen(cursor) + 1) {
        if (!brolt::copyBounded(entry, sizeof entry, cursor)) {
            ++notes.longEntriesSkipped;
            continue;
        }
        char* equals = strchr(entry, '=');
        if (equals == nullptr)
            continue;
        *equals = '\0';
        const char* value = equals + 1;
        std::string pattern = std::string("${") + entry + "}";
        replaceNoting(text, pattern.c_str(), value, notes);
        upperCaseAsciiLetters(pattern);
        replaceNoting(text, pattern.c_str(), value, notes);
    }
    return notes;
}
