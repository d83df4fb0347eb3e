// From the chosen java executable to its loaded VM library and the library's entry points.
#pragma once

#include <windows.h>

#include <string>

#include "jvm/vm_entry_points.h"

namespace brolt::jvm {

// The library of the executable's own bin directory, else of the runtime inside a development kit;
// null when neither loads. "PATH" ends with the bin directory of the library loaded, and is left as
// it was when none loads.
HMODULE loadJvmLibrary(const std::string& javaExecutable, const std::string& preferredKind);
HMODULE loadJvmFromBinDirectory(const std::string& javaExecutable, const std::string& preferredKind);
HMODULE tryJvmKind(const std::string& binDirectory, const std::string& kind);
// Fills the entry points from the library; false for a null handle or one without JNI_CreateJavaVM.
bool resolveCreateJavaVM(HMODULE library, JavaVmEntryPoints& entryPoints);

}  // namespace brolt::jvm
