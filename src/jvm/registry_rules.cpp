#include "jvm/registry_rules.h"

#include <algorithm>

#include "jvm/validation_rules.h"

namespace brolt::jvm {

namespace {

std::string describe(const FoundRuntime& runtime) {
    return runtime.javaExecutable + " (" + runtime.version + ")";
}

// Of two runtimes the first wins only when its version compares greater; the second wins ties.
RuntimeChoice chooseGreater(const std::optional<FoundRuntime>& first, std::string_view firstSource,
                            const std::optional<FoundRuntime>& second, std::string_view secondSource) {
    auto from = [](const FoundRuntime& runtime, std::string_view source) {
        return describe(runtime) + " from " + std::string(source);
    };
    if (!first && !second)
        return {std::nullopt,
                "no qualifying runtime in " + std::string(firstSource) + " or " + std::string(secondSource)};
    if (!second)
        return {first, "taking " + from(*first, firstSource) + ", none in " + std::string(secondSource)};
    if (!first)
        return {second, "taking " + from(*second, secondSource) + ", none in " + std::string(firstSource)};
    if (compareVersions(first->version, second->version) > 0)
        return {first, "taking " + from(*first, firstSource) + ", newer than " + from(*second, secondSource)};
    return {second,
            "taking " + from(*second, secondSource) + ", not older than " + from(*first, firstSource)};
}

// A CurrentVersion that is missing, too long or out of range counts as empty.
std::string usableCurrentVersion(const std::optional<std::string>& value, std::string_view key,
                                 const VersionRange& range, std::vector<std::string>& notes) {
    if (!value)
        return {};
    std::string name = "CurrentVersion of " + std::string(key);
    TextOutcome text = registryText(*value, kCurrentVersionBufferSize, name);
    if (!text) {
        notes.push_back(text.reason);
        return {};
    }
    if (Verdict inRange = versionKeyInRange(*text.text, range); !inRange) {
        notes.push_back(name + " left out: " + inRange.reason);
        return {};
    }
    return *text.text;
}

}  // namespace

std::vector<VendorStep> vendorSearchSteps(bool requireDevelopmentKit) {
    std::vector<VendorStep> steps;
    for (const VendorKeys& keys : kVendorKeys) {
        steps.push_back({VendorStepKind::CurrentVersion, &keys, {}});
        if (!requireDevelopmentKit)
            steps.push_back({VendorStepKind::VersionSubkeys, &keys, keys.runtime});
        steps.push_back({VendorStepKind::VersionSubkeys, &keys, keys.developmentKit});
    }
    return steps;
}

SubkeyChoice currentVersionSubkey(const VendorKeys& keys, const CurrentVersions& versions,
                                  const VersionRange& range, bool requireDevelopmentKit) {
    SubkeyChoice choice;
    std::string kit = usableCurrentVersion(versions.developmentKit, keys.developmentKit, range, choice.notes);
    std::string runtime;
    if (!requireDevelopmentKit)
        runtime = usableCurrentVersion(versions.runtime, keys.runtime, range, choice.notes);
    if (!kit.empty() && (runtime.empty() || compareVersions(kit, runtime) > 0))
        choice.subkey = std::string(keys.developmentKit) + "\\" + kit;
    else if (!runtime.empty())
        choice.subkey = std::string(keys.runtime) + "\\" + runtime;
    else
        choice.notes.push_back("no CurrentVersion in range below " + std::string(keys.runtime) + " or " +
                               std::string(keys.developmentKit));
    return choice;
}

SubkeyOrder versionSubkeysToExamine(std::string_view vendorKey, const std::vector<std::string>& names,
                                    const VersionRange& range) {
    SubkeyOrder order;
    std::vector<std::string_view> kept;
    for (const std::string& name : names) {
        if (name.size() > kPathLimit) {
            order.notes.push_back("version key of " + std::to_string(name.size()) +
                                  " characters left out: " + logExcerpt(name));
            continue;
        }
        if (Verdict inRange = versionKeyInRange(name, range); !inRange) {
            order.notes.push_back("version key " + std::string(vendorKey) + "\\" + name +
                                  " left out: " + inRange.reason);
            continue;
        }
        kept.push_back(name);
    }
    std::sort(kept.begin(), kept.end(),
              [](std::string_view a, std::string_view b) { return compareVersions(a, b) > 0; });
    for (std::string_view name : kept)
        order.subkeys.push_back(std::string(vendorKey) + "\\" + std::string(name));
    return order;
}

TextOutcome locatedRuntimePath(std::string_view subkeyName) {
    if (subkeyName.size() > kPathLimit)
        return TextOutcome::refuse("located runtime name of " + std::to_string(subkeyName.size()) +
                                   " characters left out: " + logExcerpt(subkeyName));
    return TextOutcome::of(replaceChar(subkeyName, '/', '\\'));
}

bool replacesBest(const std::optional<FoundRuntime>& best, std::string_view version) {
    return !best || compareVersions(version, best->version) > 0;
}

RuntimeChoice chooseLocatedRuntime(const std::optional<FoundRuntime>& currentUser,
                                   const std::optional<FoundRuntime>& localMachine) {
    return chooseGreater(currentUser, "the current user's list", localMachine, "the local machine's list");
}

RuntimeChoice chooseRegistryRuntime(const std::optional<FoundRuntime>& vendor,
                                    const std::optional<FoundRuntime>& located) {
    return chooseGreater(vendor, "the vendor keys", located, "the located runtimes");
}

}  // namespace brolt::jvm
