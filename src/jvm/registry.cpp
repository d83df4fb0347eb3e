#include "jvm/registry.h"

#include <windows.h>

#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "core/limits.h"
#include "core/log.h"
#include "core/unique_resource.h"
#include "jvm/registry_rules.h"
#include "jvm/validation.h"

namespace brolt::jvm {

namespace {

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
std::optional<FoundRuntime> checkRegisteredHome(const ValidationSettings& validation,
                                                const std::string& subkey) {
    std::optional<std::string> home =
        readRegistryText(HKEY_LOCAL_MACHINE, subkey, "JavaHome", kTextBufferSize);
    if (!home)
        return std::nullopt;
    HomeExecutable candidate = homeExecutable(*home, validation.requireDevelopmentKit);
    if (!candidate.usable) {
        logInfo("%s", candidate.reason.c_str());
        return std::nullopt;
    }
    FoundRuntime found{candidate.javaExecutable, {}};
    if (!checkJavaExe(found.javaExecutable, found.version, validation, false))
        return std::nullopt;
    return found;
}

void logNotes(const std::vector<std::string>& notes) {
    for (const std::string& note : notes)
        logInfo("%s", note.c_str());
}

std::optional<FoundRuntime> searchVendorKeys(const ValidationSettings& validation) {
    bool kitOnly = validation.requireDevelopmentKit;
    for (const VendorStep& step : vendorSearchSteps(kitOnly)) {
        if (step.kind == VendorStepKind::CurrentVersion) {
            CurrentVersions versions;
            versions.developmentKit =
                readRegistryText(HKEY_LOCAL_MACHINE, std::string(step.keys->developmentKit), "CurrentVersion",
                                 kCurrentVersionBufferSize);
            if (!kitOnly)
                versions.runtime = readRegistryText(HKEY_LOCAL_MACHINE, std::string(step.keys->runtime),
                                                    "CurrentVersion", kCurrentVersionBufferSize);
            SubkeyChoice choice = currentVersionSubkey(*step.keys, versions, validation.range, kitOnly);
            logNotes(choice.notes);
            if (!choice.subkey)
                continue;
            if (std::optional<FoundRuntime> found = checkRegisteredHome(validation, *choice.subkey))
                return found;
        } else {
            SubkeyOrder order = versionSubkeysToExamine(
                step.vendorKey, subkeyNames(HKEY_LOCAL_MACHINE, step.vendorKey), validation.range);
            logNotes(order.notes);
            for (const std::string& subkey : order.subkeys) {
                if (std::optional<FoundRuntime> found = checkRegisteredHome(validation, subkey))
                    return found;
            }
        }
    }
    return std::nullopt;
}

std::optional<FoundRuntime> bestLocatedRuntime(const ValidationSettings& validation, HKEY root) {
    std::optional<FoundRuntime> best;
    std::string_view listKey = kLocatedRuntimesKey.substr(0, kLocatedRuntimesKey.size() - 1);
    for (const std::string& name : subkeyNames(root, listKey)) {
        TextOutcome path = locatedRuntimePath(name);
        if (!path) {
            logInfo("%s", path.reason.c_str());
            continue;
        }
        FoundRuntime candidate{*path.text, {}};
        if (checkJavaExe(candidate.javaExecutable, candidate.version, validation, true) &&
            replacesBest(best, candidate.version))
            best = candidate;
    }
    return best;
}

}  // namespace

bool searchRegistry(const ValidationSettings& validation, std::string& javaExecutable, std::string& version) {
    std::optional<FoundRuntime> vendor = searchVendorKeys(validation);
    RuntimeChoice located = chooseLocatedRuntime(bestLocatedRuntime(validation, HKEY_CURRENT_USER),
                                                 bestLocatedRuntime(validation, HKEY_LOCAL_MACHINE));
    if (!located.reason.empty())
        logInfo("%s", located.reason.c_str());
    RuntimeChoice choice = chooseRegistryRuntime(vendor, located.winner);
    if (!choice.reason.empty())
        logInfo("%s", choice.reason.c_str());
    if (!choice.winner)
        return false;
    javaExecutable = choice.winner->javaExecutable;
    version = choice.winner->version;
    return true;
}

}  // namespace brolt::jvm
