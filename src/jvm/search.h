// The runtime search: the places the configuration names, in order, the first accepted runtime, and the
// loading of its VM library.
#pragma once

#include <optional>
#include <string>

#include "config/failure.h"
#include "jvm/validation.h"
#include "jvm/vm_entry_points.h"

namespace brolt {

// The runtime the search chose: its java executable and the entry points of its loaded VM library.
struct JavaRuntime {
    std::string javaExePath;
    std::string version;  // as the check found it; empty when the runtime was taken unchecked
    JavaVmEntryPoints entryPoints;
};

// What the search takes from the configuration, read once at start-up.
struct SearchSettings {
    jvm::ValidationSettings validation;  // keys 126, 127, 130, 107 and 131
    // A version bound was refused (longer than a configured text may be): no runtime can be accepted.
    bool rangeRefused = false;
    std::string applicationDirectory;  // key 10003, absolute: where the location files lie
    std::string searchSequence;        // key 128
    std::string preferredVmKind;       // key 152
    char launcherKind = '\0';          // first letter of key 2001
};

}  // namespace brolt

// Finds a runtime and loads its VM library. Nothing when the library is loaded and its JNI_CreateJavaVM
// is known; otherwise the failure to show, with what happened logged.
std::optional<brolt::Failure> LoadDLL(const brolt::SearchSettings& settings, brolt::JavaRuntime& runtime);
