#include "jvm/search.h"

#include <windows.h>

#include <cstdio>
#include <optional>
#include <vector>

#include "config/config.h"
#include "config/keys.h"
#include "config/messages.h"
#include "core/limits.h"
#include "core/log.h"
#include "core/unique_resource.h"
#include "core/word_size.h"
#include "files/paths.h"
#include "jvm/validation.h"
#include "jvm/unpack.h"
#include "jvm/library.h"
#include "jvm/registry_rules.h"
#include "jvm/search_rules.h"
#include "jvm/validation_rules.h"

namespace brolt::jvm {

namespace {

// Internal error code shown with message 1009 when an unpacker cannot be started.
constexpr const char* kCodeUnpackerNotStarted = "20";

struct Search {
    ValidationSettings validation;
    std::string applicationDirectory;  // key 10003, absolute
    char launcherKind = '\0';
    bool unpackFailed = false;  // ends the search: the launcher cannot go on
};

std::string configured(int32_t key) {
    char value[kTextBufferSize];
    getStr(key, value, sizeof value);
    return value;
}

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
    std::string path = search.applicationDirectory + std::string(fileName);
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
    HomeExecutable candidate = javaExeForHome(home, search.validation.requireDevelopmentKit, exists);
    javaExecutable = candidate.javaExecutable;
    if (noCheck)
        return true;
    if (!candidate.usable) {
        logInfo("%s", candidate.reason.c_str());
        return false;
    }
    std::string version;
    return checkJavaExe(javaExecutable, version, search.validation, true);
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
    HomeExecutable candidate = javaExeForHome(*home.text, search.validation.requireDevelopmentKit, exists);
    javaExecutable = candidate.javaExecutable;
    if (!candidate.usable) {
        logInfo("%s", candidate.reason.c_str());
        return false;
    }
    std::string version;
    return checkJavaExe(javaExecutable, version, search.validation, false);
}

bool checkSystemPath(Search& search, std::string& javaExecutable) {
    char found[kTextBufferSize];
    DWORD length = SearchPathA(nullptr, "java.exe", nullptr, sizeof found, found, nullptr);
    if (length == 0 || length >= sizeof found)
        return false;
    javaExecutable = found;
    std::string version;
    return checkJavaExe(javaExecutable, version, search.validation, false);
}

// A text value of a key under HKEY_LOCAL_MACHINE (or another root), read into bufferSize bytes.
std::optional<std::string> readRegistryText(HKEY root, const std::string& keyName, const char* valueName,
                                            size_t bufferSize) {
    UniqueRegKey key;
    if (RegOpenKeyExA(root, keyName.c_str(), 0, KEY_READ, key.put()) != ERROR_SUCCESS)
        return std::nullopt;
    std::vector<char> buffer(bufferSize);
    DWORD size = static_cast<DWORD>(buffer.size());
    if (RegQueryValueExA(key.get(), valueName, nullptr, nullptr, reinterpret_cast<BYTE*>(buffer.data()),
                         &size) != ERROR_SUCCESS)
        return std::nullopt;
    TextOutcome text = registryText(std::string_view(buffer.data(), size), bufferSize, valueName);
    if (!text) {
        logInfo("%s\\%s: %s", keyName.c_str(), valueName, text.reason.c_str());
        return std::nullopt;
    }
    return text.text;
}

// The names of a key's subkeys, in the order the registry enumerates them.
std::vector<std::string> subkeyNames(HKEY root, std::string_view keyName) {
    std::vector<std::string> names;
    UniqueRegKey key;
    if (RegOpenKeyExA(root, std::string(keyName).c_str(), 0, KEY_READ, key.put()) != ERROR_SUCCESS)
        return names;
    std::vector<char> name(kTextBufferSize);
    for (DWORD index = 0;; ++index) {
        DWORD length = static_cast<DWORD>(name.size());
        LONG result =
            RegEnumKeyExA(key.get(), index, name.data(), &length, nullptr, nullptr, nullptr, nullptr);
        if (result == ERROR_NO_MORE_ITEMS)
            break;
        if (result == ERROR_SUCCESS)
            names.emplace_back(name.data(), length);
        else if (result != ERROR_MORE_DATA)
            break;
    }
    return names;
}

// A registered installation directory, checked with the pre-release rule applied.
std::optional<FoundRuntime> checkRegisteredHome(Search& search, const std::string& subkey) {
    std::optional<std::string> home =
        readRegistryText(HKEY_LOCAL_MACHINE, subkey, "JavaHome", kTextBufferSize);
    if (!home)
        return std::nullopt;
    HomeExecutable candidate = javaExeForHome(*home, search.validation.requireDevelopmentKit, exists);
    if (!candidate.usable) {
        logInfo("%s", candidate.reason.c_str());
        return std::nullopt;
    }
    FoundRuntime found{candidate.javaExecutable, {}};
    if (!checkJavaExe(found.javaExecutable, found.version, search.validation, false))
        return std::nullopt;
    return found;
}

void logNotes(const std::vector<std::string>& notes) {
    for (const std::string& note : notes)
        logInfo("%s", note.c_str());
}

std::optional<FoundRuntime> searchVendorKeys(Search& search) {
    bool kitOnly = search.validation.requireDevelopmentKit;
    for (const VendorStep& step : vendorSearchSteps(kitOnly)) {
        if (step.kind == VendorStepKind::CurrentVersion) {
            CurrentVersions versions;
            versions.developmentKit =
                readRegistryText(HKEY_LOCAL_MACHINE, std::string(step.keys->developmentKit), "CurrentVersion",
                                 kCurrentVersionBufferSize);
            if (!kitOnly)
                versions.runtime = readRegistryText(HKEY_LOCAL_MACHINE, std::string(step.keys->runtime),
                                                    "CurrentVersion", kCurrentVersionBufferSize);
            SubkeyChoice choice =
                currentVersionSubkey(*step.keys, versions, search.validation.range, kitOnly);
            logNotes(choice.notes);
            if (!choice.subkey)
                continue;
            if (std::optional<FoundRuntime> found = checkRegisteredHome(search, *choice.subkey))
                return found;
        } else {
            SubkeyOrder order = versionSubkeysToExamine(
                step.vendorKey, subkeyNames(HKEY_LOCAL_MACHINE, step.vendorKey), search.validation.range);
            logNotes(order.notes);
            for (const std::string& subkey : order.subkeys) {
                if (std::optional<FoundRuntime> found = checkRegisteredHome(search, subkey))
                    return found;
            }
        }
    }
    return std::nullopt;
}

std::optional<FoundRuntime> bestLocatedRuntime(Search& search, HKEY root) {
    std::optional<FoundRuntime> best;
    std::string_view listKey = kLocatedRuntimesKey.substr(0, kLocatedRuntimesKey.size() - 1);
    for (const std::string& name : subkeyNames(root, listKey)) {
        TextOutcome path = locatedRuntimePath(name);
        if (!path) {
            logInfo("%s", path.reason.c_str());
            continue;
        }
        FoundRuntime candidate{*path.text, {}};
        if (checkJavaExe(candidate.javaExecutable, candidate.version, search.validation, true) &&
            replacesBest(best, candidate.version))
            best = candidate;
    }
    return best;
}

bool searchRegistry(Search& search, std::string& javaExecutable) {
    std::optional<FoundRuntime> vendor = searchVendorKeys(search);
    RuntimeChoice located = chooseLocatedRuntime(bestLocatedRuntime(search, HKEY_CURRENT_USER),
                                                 bestLocatedRuntime(search, HKEY_LOCAL_MACHINE));
    if (!located.reason.empty())
        logInfo("%s", located.reason.c_str());
    RuntimeChoice choice = chooseRegistryRuntime(vendor, located.winner);
    if (!choice.reason.empty())
        logInfo("%s", choice.reason.c_str());
    if (!choice.winner)
        return false;
    javaExecutable = choice.winner->javaExecutable;
    return true;
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
            return searchRegistry(search, javaExecutable);
    }
    return false;
}

LocationKind searchJvm(Search& search, std::string& javaExecutable, std::string& locationText) {
    logInfo("Searching for a JVM");
    SearchSequence sequence = parseSearchSequence(configured(keys::kSearchSequence));
    logNotes(sequence.refused);

    if (std::optional<std::string> preferred = readLocationFile(search, kPreferredLocationFile)) {
        logInfo("Has preferred location %s", preferred->c_str());
        if (checkDirectory(search, javaExecutable, *preferred, false)) {
            logInfo("Using preferred location");
            locationText = *preferred;
            return LocationKind::Directory;
        }
    }
    for (const SearchEntry& entry : sequence.entries) {
        if (search.unpackFailed)
            return LocationKind::None;
        logInfo("Testing location %s (type %c)", entry.value.c_str(), entry.letter);
        const SearchLetter* row = searchLetter(entry.letter);
        if (row == nullptr || !checkEntry(search, *row, entry, javaExecutable))
            continue;
        if (row->valueIsLocationText)
            locationText = entry.value;
        return row->kind;
    }
    logInfo("Search sequence finished");

    std::string_view kindVariable = launcherKindVariable(search.launcherKind);
    if (!kindVariable.empty() &&
        checkEnvironmentVariable(search, javaExecutable, std::string(kindVariable))) {
        locationText = kindVariable;
        return LocationKind::EnvironmentVariable;
    }

    if (std::optional<std::string> installer = readLocationFile(search, kInstallerLocationFile)) {
        logInfo("Has installer location %s", installer->c_str());
        if (checkDirectory(search, javaExecutable, *installer, false)) {
            logInfo("Using installer location");
            locationText = *installer;
            return LocationKind::Directory;
        }
    }

    for (const SearchEntry& entry : sequence.entries) {
        if (search.unpackFailed)
            return LocationKind::None;
        if (!fallbackCandidate(entry))
            continue;
        logInfo("Testing relative location %s", entry.value.c_str());
        checkDirectory(search, javaExecutable, entry.value, true);
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

void showFailure(LocationKind kind, const std::string& locationText) {
    FailureMessage message = failureMessage(kind, locationText, kLauncherWordSize);
    showMessage(message.key, message.hasArgument ? message.argument.c_str() : nullptr);
}

}  // namespace

}  // namespace brolt::jvm

bool LoadDLL(char launcherKind, brolt::JavaRuntime& runtime) {
    namespace jvm = brolt::jvm;
    namespace keys = brolt::keys;
    runtime = {};
    logInfo("LoadDLL (%d, %s, %d)", 1, "(null)", 0);

    jvm::Search search;
    search.launcherKind = launcherKind;
    search.validation.range = {jvm::configured(keys::kMinVersion), jvm::configured(keys::kMaxVersion),
                               getInt(keys::kAllowPrerelease) != 0};
    search.validation.windowless = getInt(keys::kExecutableType) == 1;
    search.validation.requireDevelopmentKit = getInt(keys::kRequireJdk) != 0;
    search.applicationDirectory = jvm::fullPath(jvm::configured(keys::kApplicationDirectory), true);

    std::string javaExecutable;
    std::string locationText;
    jvm::LocationKind kind = jvm::searchJvm(search, javaExecutable, locationText);
    if (search.unpackFailed)
        fatalMessage(keys::kMsgInternalError, jvm::kCodeUnpackerNotStarted);
    if (kind == jvm::LocationKind::None) {
        logError("No JVM found");
        jvm::showFailure(kind, locationText);
        return false;
    }

    logInfo("Trying to load JVM-DLL from %s", javaExecutable.c_str());
    HMODULE library = jvm::loadJvmLibrary(javaExecutable, jvm::configured(keys::kPreferredVmKind));
    runtime.javaExePath = javaExecutable;
    if (library == nullptr)
        logError("Could not get DLL-Handle.");
    if (!jvm::resolveCreateJavaVM(library, runtime.entryPoints)) {
        logError("Could not load functions");
        jvm::showFailure(kind, locationText);
        return false;
    }
    logInfo("Loading of JVM-DLL successful");
    return true;
}
