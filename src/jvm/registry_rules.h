// The registry's part of the runtime search: the vendor keys in their order, which version subkeys
// are worth opening, and which of the runtimes found there wins.
#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "jvm/decision.h"
#include "jvm/version_rules.h"

namespace brolt::jvm {

// One vendor's pair of keys under HKEY_LOCAL_MACHINE, each with "CurrentVersion" and one subkey per
// installed version whose "JavaHome" names the installation directory.
struct VendorKeys {
    std::string_view runtime;
    std::string_view developmentKit;
};

// The classic keys first; runtimes since Java 9 register under the second pair.
inline constexpr VendorKeys kVendorKeys[] = {
    {"SOFTWARE\\JavaSoft\\Java Runtime Environment", "SOFTWARE\\JavaSoft\\Java Development Kit"},
    {"SOFTWARE\\JavaSoft\\JRE", "SOFTWARE\\JavaSoft\\JDK"},
};

// "CurrentVersion" is read into this many bytes; "JavaHome" and subkey names into kTextBufferSize.
inline constexpr size_t kCurrentVersionBufferSize = 100;

enum class VendorStepKind { CurrentVersion, VersionSubkeys };

struct VendorStep {
    VendorStepKind kind;
    const VendorKeys* keys;      // the pair (CurrentVersion)
    std::string_view vendorKey;  // the key whose version subkeys are enumerated (VersionSubkeys)
};

// The vendor-key search, stopping at its first acceptance: for each pair, its CurrentVersion, then
// the runtime key's version subkeys (not when only development kits qualify), then the kit's.
std::vector<VendorStep> vendorSearchSteps(bool requireDevelopmentKit);

// The "CurrentVersion" values as read: absent when the value is missing. The runtime's is not
// looked at (and must not be read) when only development kits qualify.
struct CurrentVersions {
    std::optional<std::string> developmentKit;
    std::optional<std::string> runtime;
};

struct SubkeyChoice {
    std::optional<std::string> subkey;  // vendor key + "\" + version, whose "JavaHome" is read
    std::vector<std::string> notes;     // one log line per value left out
};

// A missing value, one too long for its buffer or one that fails versionKeyInRange counts as empty.
// The kit's version wins when it compares greater than the runtime's, otherwise the runtime's (so
// the runtime wins a tie); when both are empty there is nothing to open.
SubkeyChoice currentVersionSubkey(const VendorKeys& keys, const CurrentVersions& versions,
                                  const VersionRange& range, bool requireDevelopmentKit);

struct SubkeyOrder {
    std::vector<std::string> subkeys;  // vendor key + "\" + name, greatest version first
    std::vector<std::string> notes;    // one log line per name left out
};

// The enumerated subkey names that pass versionKeyInRange, greatest first by compareVersions (byte
// by byte among "1." names). Names longer than kPathLimit are left out.
SubkeyOrder versionSubkeysToExamine(std::string_view vendorKey, const std::vector<std::string>& names,
                                    const VersionRange& range);

// The located-runtimes list, under HKEY_CURRENT_USER and then HKEY_LOCAL_MACHINE; each subkey name
// is the path of a java executable with "/" for "\". The launcher only reads it.
inline constexpr std::string_view kLocatedRuntimesKey = "SOFTWARE\\kelvar-dynamics\\brolt\\locatedjvms\\";

// The java executable a located-runtimes subkey names; refused when longer than kPathLimit.
TextOutcome locatedRuntimePath(std::string_view subkeyName);

struct FoundRuntime {
    std::string javaExecutable;  // as the check of the executable left it
    std::string version;
};

// Walking one located-runtimes list in enumeration order: an accepted runtime becomes the best when
// there is none yet or its version compares greater, so the first of equal versions stays.
bool replacesBest(const std::optional<FoundRuntime>& best, std::string_view version);

struct RuntimeChoice {
    std::optional<FoundRuntime> winner;
    std::string reason;  // which one was taken and why, for the log
};

// The current user's best when only it exists or its version compares greater; otherwise the local
// machine's.
RuntimeChoice chooseLocatedRuntime(const std::optional<FoundRuntime>& currentUser,
                                   const std::optional<FoundRuntime>& localMachine);

// The vendor keys' runtime when only it exists or its version compares greater; otherwise the
// located one.
RuntimeChoice chooseRegistryRuntime(const std::optional<FoundRuntime>& vendor,
                                    const std::optional<FoundRuntime>& located);

}  // namespace brolt::jvm
