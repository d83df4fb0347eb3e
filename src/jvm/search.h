// Java runtime search and VM library loading.
#pragma once

#include <string>

#include "jvm/vm_entry_points.h"

namespace brolt {

// The runtime the search chose: its java executable and the entry points of its loaded VM library.
struct JavaRuntime {
    std::string javaExePath;
    JavaVmEntryPoints entryPoints;
};

}  // namespace brolt

// Finds a runtime for the launcher kind ('q' quendrial, anything else brolt) and loads its VM library.
// True when the library is loaded and its JNI_CreateJavaVM is known; otherwise the failure has been
// shown already.
bool LoadDLL(char launcherKind, brolt::JavaRuntime& runtime);
