#include "jvm/search.h"

#include <windows.h>

#include <cstdio>
#include <optional>
#include <vector>

#include "config/keys.h"
#include "core/limits.h"
#include "core/log.h"
#include "core/unique_resource.h"
#include "core/word_size.h"
#include "files/paths.h"
#include "jvm/validation.h"
#include "jvm/unpack.h"
#include "jvm/library.h"
#include "jvm/registry.h"
#include "jvm/search_rules.h"
#include "jvm/validation_rules.h"

namespace brolt::jvm {

namespace {

// Internal error code shown with message 1009 when an unpacker cannot be started.
constexpr const char* kCodeUnpackerNotStarted = "20";

struct Search {
    const SearchSettings& settings;
    bool unpackFailed = false;  // ends the search at once: the launcher cannot go on
    std::string version;        // of the runtime the last check accepted
};

bool exists(const std::string& path) {
    return fileExists(path.c_str());
}

std::string fullPath(const std::string& path, bool keepCase) {
    char full[kTextBufferSize];
    getFullPath(full, path.c_str(), keepCase);
    return full;
}

// The first line of a location file below the application directory.
std::optional<std::string> readLocationFile(const Search& search, std::string_view fileName) {
    std::string path = search.settings.applicationDirectory + std::string(fileName);
    FILE* file = fopen(path.c_str(), "rt");
    if (file == nullptr)
        return std::nullopt;
    std::vector<char> contents(kTextBufferSize);
    size_t got = fread(contents.data(), 1, contents.size(), file);
    fclose(file);
    TextOutcome line = locationFileLine(std::string_view(contents.data(), got));
    if (!line) {
        if (!line.reason.empty())
            logInfo("%s: %s", path.c_str(), line.reason.c_str());
        return std::nullopt;
    }
    return line.text;
}

bool checkDirectory(Search& search, std::string& javaExecutable, const std::string& directory, bool noCheck) {
    if (directory.size() >= kTextBufferSize) {
        logInfo("directory longer than %u characters", static_cast<unsigned>(kTextBufferSize - 1));
        return false;
    }
    std::string home = fullPath(directory, false);
    if (!prepareJre(home)) {
        search.unpackFailed = true;
        return false;
    }
    HomeExecutable candidate = homeExecutable(home, search.settings.validation.requireDevelopmentKit);
    javaExecutable = candidate.javaExecutable;
    if (noCheck)
        return true;
    if (!candidate.usable) {
        logInfo("%s", candidate.reason.c_str());
        return false;
    }
    return checkJavaExe(javaExecutable, search.version, search.settings.validation, true);
}

bool checkEnvironmentVariable(Search& search, std::string& javaExecutable, const std::string& name) {
    std::vector<char> value(kTextBufferSize);
    DWORD length = GetEnvironmentVariableA(name.c_str(), value.data(), static_cast<DWORD>(value.size()));
    std::string_view text =
        length < value.size() ? std::string_view(value.data(), length) : std::string_view();
    if (length >= value.size())
        logInfo("%s longer than %u characters", name.c_str(), static_cast<unsigned>(kTextBufferSize - 1));
    TextOutcome home = environmentJavaHome(text);
    if (!home)
        return false;
    HomeExecutable candidate = homeExecutable(*home.text, search.settings.validation.requireDevelopmentKit);
    javaExecutable = candidate.javaExecutable;
    if (!candidate.usable) {
        logInfo("%s", candidate.reason.c_str());
        return false;
    }
    return checkJavaExe(javaExecutable, search.version, search.settings.validation, false);
}

bool checkSystemPath(Search& search, std::string& javaExecutable) {
    char found[kTextBufferSize];
    DWORD length = SearchPathA(nullptr, "java.exe", nullptr, sizeof found, found, nullptr);
    if (length == 0 || length >= sizeof found)
        return false;
    javaExecutable = found;
    return checkJavaExe(javaExecutable, search.version, search.settings.validation, false);
}

// One entry of the search sequence in the first pass.
bool checkEntry(Search& search, const SearchLetter& row, const SearchEntry& entry,
                std::string& javaExecutable) {
    switch (row.check) {
        case CandidateCheck::Directory:
            return checkDirectory(search, javaExecutable, entry.value, false);
        case CandidateCheck::SystemPath:
            return checkSystemPath(search, javaExecutable);
        case CandidateCheck::EnvironmentVariable:
            return checkEnvironmentVariable(search, javaExecutable, entry.value);
        case CandidateCheck::Registry:
            return searchRegistry(search.settings.validation, javaExecutable, search.version);
    }
    return false;
}

// The directory a location file names ("preferred" or "installer"), when it holds an accepted runtime.
bool checkLocationFile(Search& search, std::string_view fileName, const char* which,
                       std::string& javaExecutable, std::string& locationText) {
    std::optional<std::string> directory = readLocationFile(search, fileName);
    if (!directory)
        return false;
    logInfo("Has %s location %s", which, directory->c_str());
    if (!checkDirectory(search, javaExecutable, *directory, false))
        return false;
    logInfo("Using %s location", which);
    locationText = *directory;
    return true;
}

LocationKind searchJvm(Search& search, std::string& javaExecutable, std::string& locationText) {
    logInfo("Searching for a JVM");
    SearchSequence sequence = parseSearchSequence(search.settings.searchSequence);
    for (const std::string& note : sequence.refused)
        logInfo("%s", note.c_str());

    if (checkLocationFile(search, kPreferredLocationFile, "preferred", javaExecutable, locationText))
        return LocationKind::Directory;
    if (search.unpackFailed)
        return LocationKind::None;
    for (const SearchEntry& entry : sequence.entries) {
        logInfo("Testing location %s (type %c)", entry.value.c_str(), entry.letter);
        const SearchLetter* row = searchLetter(entry.letter);
        bool usable = row != nullptr && checkEntry(search, *row, entry, javaExecutable);
        if (search.unpackFailed)
            return LocationKind::None;
        if (!usable)
            continue;
        if (row->valueIsLocationText)
            locationText = entry.value;
        return row->kind;
    }
    logInfo("Search sequence finished");

    std::string_view kindVariable = launcherKindVariable(search.settings.launcherKind);
    if (!kindVariable.empty() &&
        checkEnvironmentVariable(search, javaExecutable, std::string(kindVariable))) {
        locationText = kindVariable;
        return LocationKind::EnvironmentVariable;
    }

    if (checkLocationFile(search, kInstallerLocationFile, "installer", javaExecutable, locationText))
        return LocationKind::Directory;
    if (search.unpackFailed)
        return LocationKind::None;

    for (const SearchEntry& entry : sequence.entries) {
        if (!fallbackCandidate(entry))
            continue;
        logInfo("Testing relative location %s", entry.value.c_str());
        checkDirectory(search, javaExecutable, entry.value, true);
        search.version.clear();  // taken unchecked: its version is not known
        if (search.unpackFailed)
            return LocationKind::None;
        if (exists(javaExecutable)) {
            logInfo("%s exists", javaExecutable.c_str());
            // No version is checked here, but a runtime of the other word size could never load, and
            // a later entry may hold one that does.
            Verdict wordSize = runtimeWordSize(readImageMachine(javaExecutable), kLauncherWordSize);
            if (!wordSize) {
                logInfo("wrong word size: %s", wordSize.reason.c_str());
                continue;
            }
            locationText = entry.value;
            return LocationKind::Directory;
        }
    }
    return LocationKind::None;
}

Failure searchFailure(LocationKind kind, const std::string& locationText) {
    FailureMessage message = failureMessage(kind, locationText, kLauncherWordSize);
    return failure(message.key,
                   message.hasArgument ? std::optional<std::string>(message.argument) : std::nullopt);
}

}  // namespace

}  // namespace brolt::jvm

std::optional<brolt::Failure> LoadDLL(const brolt::SearchSettings& settings, brolt::JavaRuntime& runtime) {
    namespace jvm = brolt::jvm;
    runtime = {};
    logInfo("LoadDLL (%d, %s, %d)", 1, "(null)", 0);
    if (settings.rangeRefused) {
        logError("No JVM found");
        return jvm::searchFailure(jvm::LocationKind::None, {});
    }

    jvm::Search search{settings, false, {}};
    std::string javaExecutable;
    std::string locationText;
    jvm::LocationKind kind = jvm::searchJvm(search, javaExecutable, locationText);
    if (search.unpackFailed) {
        logError("an unpacker could not be started");
        return brolt::failure(brolt::keys::kMsgInternalError, jvm::kCodeUnpackerNotStarted);
    }
    if (kind == jvm::LocationKind::None) {
        logError("No JVM found");
        return jvm::searchFailure(kind, locationText);
    }

    logInfo("Trying to load JVM-DLL from %s", javaExecutable.c_str());
    HMODULE library = jvm::loadJvmLibrary(javaExecutable, settings.preferredVmKind);
    runtime.javaExePath = javaExecutable;
    runtime.version = search.version;
    if (library == nullptr)
        logError("Could not get DLL-Handle.");
    if (!jvm::resolveCreateJavaVM(library, runtime.entryPoints)) {
        logError("Could not load functions");
        return jvm::searchFailure(kind, locationText);
    }
    logInfo("Loading of JVM-DLL successful");
    return std::nullopt;
}
