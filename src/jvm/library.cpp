#include "jvm/library.h"

#include <cstdlib>
#include <optional>
#include <vector>

#include "core/limits.h"
#include "core/log.h"
#include "core/word_size.h"
#include "files/paths.h"
#include "jvm/validation.h"
#include "jvm/library_rules.h"
#include "jvm/validation_rules.h"

namespace brolt::jvm {

namespace {

// "PATH" as the process has it; absent when unset (or longer than its buffer, which is then left alone).
std::optional<std::string> currentSearchPath() {
    std::vector<char> value(kSearchPathBufferSize);
    SetLastError(ERROR_SUCCESS);
    DWORD length = GetEnvironmentVariableA("PATH", value.data(), static_cast<DWORD>(value.size()));
    if (length == 0 && GetLastError() == ERROR_ENVVAR_NOT_FOUND)
        return std::nullopt;
    if (length >= value.size())
        return std::nullopt;
    return std::string(value.data(), length);
}

// Both copies of the environment: the process's, for what the VM library loads, and the runtime
// library's, for getenv.
void setSearchPath(const std::optional<std::string>& value) {
    logInfo("Setting PATH %s", value ? value->c_str() : "");
    SetEnvironmentVariableA("PATH", value ? value->c_str() : nullptr);
    std::string assignment = std::string(kPathAssignment) + (value ? *value : std::string());
    _putenv(assignment.c_str());
}

}  // namespace

HMODULE tryJvmKind(const std::string& binDirectory, const std::string& kind) {
    std::string library = vmLibraryPath(binDirectory, kind);
    bool present = fileExists(library.c_str());
    logInfo("Trying %s (exists %d)", library.c_str(), present ? 1 : 0);
    HMODULE handle = LoadLibraryA(library.c_str());
    if (handle == nullptr) {
        logInfo("LoadLibraryA %s failed: %lu", library.c_str(), GetLastError());
        // A library of the other word size is the likeliest reason a present one does not load.
        if (present)
            logInfo("%s: %s", library.c_str(),
                    machineNote(readImageMachine(library), kLauncherWordSize).c_str());
    }
    return handle;
}

HMODULE loadJvmFromBinDirectory(const std::string& javaExecutable, const std::string& preferredKind) {
    TextOutcome bin = binDirectory(javaExecutable);
    if (!bin) {
        logInfo("%s", bin.reason.c_str());
        return nullptr;
    }
    std::optional<std::string> oldPath = currentSearchPath();
    TextOutcome newPath = extendedSearchPath(oldPath, *bin.text);
    if (newPath)
        setSearchPath(newPath.text);
    else
        logInfo("PATH not extended: %s", newPath.reason.c_str());

    VmKindOrder order = vmKindOrder(preferredKind);
    if (!order.note.empty())
        logInfo("%s", order.note.c_str());
    HMODULE handle = nullptr;
    for (const std::string& kind : order.kinds) {
        handle = tryJvmKind(*bin.text, kind);
        if (handle != nullptr)
            break;
    }
    if (handle == nullptr && newPath)
        setSearchPath(oldPath);
    return handle;
}

HMODULE loadJvmLibrary(const std::string& javaExecutable, const std::string& preferredKind) {
    HMODULE handle = loadJvmFromBinDirectory(javaExecutable, preferredKind);
    if (handle != nullptr)
        return handle;
    TextOutcome kitRuntime = kitRuntimeExecutable(javaExecutable);
    if (!kitRuntime) {
        logInfo("%s", kitRuntime.reason.c_str());
        return nullptr;
    }
    return loadJvmFromBinDirectory(*kitRuntime.text, preferredKind);
}

bool resolveCreateJavaVM(HMODULE library, JavaVmEntryPoints& entryPoints) {
    entryPoints = {};
    if (library == nullptr)
        return false;
    entryPoints.createJavaVM =
        reinterpret_cast<CreateJavaVmFunction>(GetProcAddress(library, "JNI_CreateJavaVM"));
    entryPoints.getDefaultJavaVMInitArgs = reinterpret_cast<GetDefaultJavaVmInitArgsFunction>(
        GetProcAddress(library, "JNI_GetDefaultJavaVMInitArgs"));
    entryPoints.getCreatedJavaVMs =
        reinterpret_cast<GetCreatedJavaVmsFunction>(GetProcAddress(library, "JNI_GetCreatedJavaVMs"));
    return entryPoints.usable();
}

}  // namespace brolt::jvm
