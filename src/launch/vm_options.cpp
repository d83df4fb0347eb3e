#include "launch/vm_options.h"

#include <windows.h>

#include <cstdlib>
#include <cstring>

#include "config/keys.h"
#include "core/ansi_text.h"
#include "core/limits.h"
#include "core/log.h"
#include "core/long_path.h"
#include "files/paths.h"
#include "launch/split.h"

namespace brolt {

namespace {

constexpr const char* kOptionsFileExtension = ".vmoptions";
constexpr const char* kQuendrialRuntimeArchive = ".quendrial\\qdlruntime.jar";
// The extraction directory and "S" entries contribute their archives of these kinds, in this order.
constexpr const char* kArchiveExtensions[] = {"jar", "zip"};

using MaybeFailure = std::optional<Failure>;

// An environment variable's value: false when it is not defined. A value longer than its buffer is cut.
bool readEnvironmentVariable(const char* name, std::string& value) {
    char buffer[kTextBufferSize];
    SetLastError(ERROR_SUCCESS);  // an empty value answers 0 as well, without an error of its own
    DWORD length = GetEnvironmentVariableA(name, buffer, sizeof buffer);
    if (length == 0) {
        value.clear();
        return GetLastError() != ERROR_ENVVAR_NOT_FOUND;
    }
    if (length >= sizeof buffer) {
        std::string whole(length, '\0');
        DWORD got = GetEnvironmentVariableA(name, whole.data(), length);
        whole.resize(got < length ? got : 0);
        value = whole.substr(0, sizeof buffer - 1);
        logError("value of %s cut to %u characters", name, static_cast<unsigned>(sizeof buffer - 1));
        return true;
    }
    value.assign(buffer, length);
    return true;
}

// A configured entry's path: relative ones are taken from the launcher directory.
std::string launcherPath(const char* path) {
    char resolved[kTextBufferSize];
    resolveLauncherPath(resolved, path);
    return resolved;
}

bool addArchivesOfKinds(ClassPathOption& classPath, const char* directory) {
    bool exists = false;
    for (const char* extension : kArchiveExtensions)
        exists = addArchivesOfDirectory(classPath, directory, extension);
    return exists;
}

// One configured entry; answers whether it counts as found. A required variable that is not defined
// is a failure.
bool addConfiguredEntry(ClassPathOption& classPath, const ClassPathEntry& entry, const char* value,
                        MaybeFailure& failed) {
    switch (entry.type) {
        case 'A':
        case 'D': {
            std::string path = launcherPath(value);
            classPath.addEntry(path);  // also when it is not there
            return fileExists(path.c_str());
        }
        case 'S':
            return addArchivesOfKinds(classPath, launcherPath(value).c_str());
        case 'E': {
            std::string variable;
            if (!readEnvironmentVariable(value, variable)) {
                if (entry.required)
                    failed = failure(keys::kMsgVariableUndefined, value);
                return false;
            }
            if (variable.empty())
                return false;
            classPath.addTerminated(withoutSurroundingQuotes(variable));
            return true;
        }
        default:
            // Nothing to look for, so nothing can be missing either.
            logError("class path entry of unknown type '%c' ignored: %s", entry.type, value);
            return true;
    }
}

}  // namespace

MaybeFailure assembleVmOptions(const std::vector<std::string>& launcherProperties,
                               const std::vector<std::wstring>& launchArguments, const LaunchContext& context,
                               std::vector<std::string>& options) {
    VmOptionList list;
    list.options = launcherProperties;

    ExpandedText configured(context.settings.vmParameters, context, "VM parameters");
    std::vector<std::string> tokens;
    if (!splitNarrowArguments(configured.text, tokens)) {
        logError("unclosed quote in the VM parameters");
        return failure(keys::kMsgWrongParameterUsage);
    }
    logInfo("adding options");
    for (const std::string& option : joinIncludeTokens(tokens))
        addVmOption(option, list, context, 0);

    if (context.settings.javaOptionArguments) {
        for (const std::wstring& option : javaOptionArguments(launchArguments))
            addVmOption(toAnsiCodePage(option), list, context, 0);
    }

    UniqueStdioFile defaultFile = openDefaultOptionsFile(getModulePath());
    logInfo("default vmoptions file: %p", static_cast<void*>(defaultFile.get()));
    readOptionsFile(std::move(defaultFile), list, context, 1);

    ClassPathOption classPath;
    if (MaybeFailure failed = composeClassPath(list.modifiers, context, classPath))
        return failed;
    if (classPath.cut()) {
        logError("class path cut to %u characters; later entries left out",
                 static_cast<unsigned>(classPath.text().size()));
    }
    list.options.push_back(classPath.text());

    logInfo("vmoption count %d", static_cast<int>(list.options.size()));
    for (size_t i = 0; i < list.options.size(); ++i)
        logInfo("vmoption %d: %s", static_cast<int>(i), list.options[i].c_str());
    options = std::move(list.options);
    return std::nullopt;
}

void addVmOption(std::string_view text, VmOptionList& list, const LaunchContext& context, int depth) {
    ClassifiedVmOption option = classifyVmOption(text);
    if (option.kind == VmOptionKind::Include) {
        std::string named(option.rest);
        if (!mayIncludeAt(depth)) {
            logError("-include-options nested deeper than %d files, not read: %s", kMaxIncludeDepth,
                     named.c_str());
            return;
        }
        ExpandedText path(named, context, "include path");
        UniqueStdioFile file(fopen(path.text, "rt"));
        logInfo("adding vmoptions from <%s> (%p)", path.text, static_cast<void*>(file.get()));
        readOptionsFile(std::move(file), list, context, depth + 1);
        return;
    }
    if (!list.modifiers.apply(option))
        list.options.emplace_back(text);
}

void readOptionsFile(UniqueStdioFile file, VmOptionList& list, const LaunchContext& context, int depth) {
    if (!file)
        return;
    char line[kOptionsLineSize];
    while (fgets(line, sizeof line, file.get()) != nullptr) {
        size_t length = strlen(line);
        if (length == sizeof line - 1 && line[length - 1] != '\n')
            logError("options file line longer than %u characters; the rest is read as a line of its own",
                     static_cast<unsigned>(length));
        std::optional<std::string_view> option = optionsFileLine(std::string_view(line, length));
        if (!option)
            continue;
        ExpandedText expanded(*option, context, "options file line");
        addVmOption(expanded.text, list, context, depth);
    }
}

UniqueStdioFile openDefaultOptionsFile(const char* modulePath) {
    char longPath[kTextBufferSize];
    DWORD length = getLongPathName(modulePath, longPath, sizeof longPath);
    if (length == 0 || length >= sizeof longPath)
        copyBounded(longPath, sizeof longPath, modulePath);
    std::string path = longPath;
    // C:\app\tool.exe: first C:\app\tool.vmoptions, then C:\app\tool.exe.vmoptions.
    std::string withoutExe = path.substr(0, path.size() >= 4 ? path.size() - 4 : 0);
    for (const std::string& candidate : {withoutExe + kOptionsFileExtension, path + kOptionsFileExtension}) {
        if (FILE* file = fopen(candidate.c_str(), "rt"))
            return UniqueStdioFile(file);
    }
    return nullptr;
}

MaybeFailure composeClassPath(const ClassPathModifiers& modifiers, const LaunchContext& context,
                              ClassPathOption& classPath) {
    classPath = ClassPathOption();
    if (modifiers.prefix)
        classPath.addEntry(*modifiers.prefix);
    for (const std::string& archive :
         extractedArchives(context.settings.extractionDirectory, context.settings.extractedFiles))
        classPath.addEntry(launcherPath(archive.c_str()));
    if (context.settings.launcherKind == 'q') {
        std::string archive = context.settings.applicationDirectory;
        if (archive.empty() || archive.back() != '\\')
            archive += '\\';
        classPath.addEntry(archive + kQuendrialRuntimeArchive);  // whether it exists or not
    }
    if (modifiers.replacement) {
        classPath.addText(*modifiers.replacement);
    } else if (MaybeFailure failed = addConfiguredClassPath(classPath, context)) {
        return failed;
    }
    if (modifiers.suffix)
        classPath.addSuffix(*modifiers.suffix);
    return std::nullopt;
}

MaybeFailure addConfiguredClassPath(ClassPathOption& classPath, const LaunchContext& context) {
    for (const ClassPathEntry& entry : parseClassPathEntries(context.settings.classPath)) {
        ExpandedText value(entry.value, context, "class path entry");
        MaybeFailure failed;
        bool found = addConfiguredEntry(classPath, entry, value.text, failed);
        if (failed)
            return failed;
        if (entry.required && !found) {
            logError("required class path entry not found: %s", value.text);
            return failure(keys::kMsgFileNotFound, value.text);
        }
    }
    return std::nullopt;
}

bool addArchivesOfDirectory(ClassPathOption& classPath, const char* directory, const char* extension) {
    if (!fileExists(directory))
        return false;
    for (const std::string& name : listFilesWithExtension(directory, extension)) {
        std::string joined = std::string(directory) + "\\" + name;
        classPath.addEntry(launcherPath(joined.c_str()));
    }
    return true;
}

}  // namespace brolt
